// The wide variant (wchar_t), used by the program.
#include "trace_impl.h"

namespace trace {

template class TTrace<wchar_t>;
template class CAppenderFile<wchar_t>;
template class CAppenderConsole<wchar_t>;
template class CTracerWrapper<wchar_t>;

} // namespace trace
