// Trace lines of the driver library (narrow variant), switched on by Q5LOG.
#pragma once

#include "trace/trace.h"

namespace q5 {
trace::CTracerWrapper<char>& Tracer();
}

// The source path every line of this library names.
#define Q5_SOURCE "..\\src\\q5_usb.cpp"

#define Q5_TRACE(...) q5::Tracer().Trace(__VA_ARGS__)
#define Q5_TRACE_ENTRY() Q5_TRACE("%s(), file:%s line:%d", __func__, Q5_SOURCE, __LINE__)
#define Q5_TRACE_STEP(text)                                                                        \
    Q5_TRACE("%s(), %s, file:%s line:%d", __func__, (text), Q5_SOURCE, __LINE__)
// A failed consistency check only writes its line; the caller carries on.
#define Q5_CHECK(cond)                                                                             \
    do {                                                                                           \
        if (!(cond))                                                                               \
            Q5_TRACE("Assert failed, file:%s, line:%d, func:%s()", Q5_SOURCE, __LINE__, __func__); \
    } while (0)
#define Q5_CHECK_STATUS(status)                                                                    \
    do {                                                                                           \
        if ((status) != 0)                                                                         \
            Q5_TRACE("Assert failed, file:%s, line:%d, func:%s(), error:%s", Q5_SOURCE, __LINE__,  \
                     __func__, Stat2Str(status));                                                  \
    } while (0)
