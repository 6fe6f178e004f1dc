// The narrow variant (UTF-8), used by the Q5 driver library, and its switches.
#include "trace_impl.h"

#include <cstdlib>
#include <cstring>

namespace trace {

template <>
void CTracerWrapper<char>::Trace(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    VTrace(format, args);
    va_end(args);
}

template class TTrace<char>;
template class CAppenderFile<char>;
template class CAppenderConsole<char>;
template class CTracerWrapper<char>;

namespace {

// Copies the variable's value into value, cut to fit; empty when unset.
void ReadSwitch(const char* name, char (&value)[kSwitchValueBytes]) {
    value[0] = '\0';
    if (const char* text = std::getenv(name)) {
        size_t len = strnlen(text, kSwitchValueBytes - 1);
        std::memcpy(value, text, len);
        value[len] = '\0';
    }
}

} // namespace

void ApplyDriverTraceSwitches(CTracerWrapper<char>& tracer) noexcept {
    char log[kSwitchValueBytes];
    char console[kSwitchValueBytes];
    char file[kSwitchValueBytes];
    ReadSwitch("Q5LOG", log);
    ReadSwitch("Q5LOGCONSOLE", console);
    ReadSwitch("Q5LOGFILE", file);

    tracer.EnableTrace(std::strcmp(log, "1") == 0);
    tracer.SetConsole(std::strcmp(console, "1") == 0);
    tracer.SetLogFile(file[0] != '\0' ? file : nullptr);
}

void ReleaseDriverTraceSwitches(CTracerWrapper<char>& tracer) noexcept {
    tracer.SetConsole(false);
    tracer.SetLogFile(nullptr);
    tracer.EnableTrace(false);
}

} // namespace trace
