#include "common/AppTrace.h"

trace::CTracerWrapper<wchar_t>& AppTracer() {
    static trace::CTracerWrapper<wchar_t> tracer;
    return tracer;
}
