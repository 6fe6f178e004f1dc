// The program's tracer. The program only writes lines; tracing stays off
// unless something switches it on.
#pragma once

#include "trace/trace.h"

trace::CTracerWrapper<wchar_t>& AppTracer();

// The entry line of a window handler: "TovekCameraDlg::OnSize(), file:..\src\TovekCameraDlg
// line:42".
#define TOVEK_TRACE_HANDLER(cls, fn)                                                               \
    AppTracer().Trace(L"%s(), file:%s line:%d", cls "::" fn, "..\\src\\" cls, __LINE__)
