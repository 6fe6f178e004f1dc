// Definitions of the trace templates; included once per character type by the file
// that instantiates them.
#pragma once

#include "detail.h"
#include "trace/trace.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace trace {
namespace detail {

template <typename CharT>
size_t Length(const CharT* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n] != CharT(0)) {
        ++n;
    }
    return n;
}

// stamp + ": " + message + "\r\n" into line (cap characters). The message is cut, on a
// character boundary, so that the line always ends "\r\n" and is terminated.
template <typename CharT>
size_t ComposeLine(const CharT* stamp, size_t stamp_len, const CharT* message, size_t message_len,
                   CharT* line, size_t cap) {
    static_assert(kLineChars > 3);
    const size_t body_cap = cap - 3; // room for "\r\n" and the terminator
    size_t n = 0;
    auto put = [&](const CharT* s, size_t len) {
        size_t k = std::min(len, body_cap - n);
        if (k < len) {
            k = CompletePrefix(s, k);
        }
        std::copy_n(s, k, line + n);
        n += k;
    };
    const CharT separator[] = {CharT(':'), CharT(' ')};
    put(stamp, stamp_len);
    put(separator, 2);
    put(message, message_len);
    line[n++] = CharT('\r');
    line[n++] = CharT('\n');
    line[n] = CharT(0);
    return n;
}

} // namespace detail

// ---- CAppenderFile ----------------------------------------------------------------------

template <typename CharT>
CAppenderFile<CharT>::~CAppenderFile() {
    Close();
}

template <typename CharT>
bool CAppenderFile<CharT>::SetPath(const CharT* path) {
    path_[0] = CharT(0);
    if (path == nullptr) {
        return false;
    }
    size_t len = detail::Length(path, kPathChars);
    if (len == 0 || len >= kPathChars) {
        return false;
    }
    std::copy_n(path, len + 1, path_);
    return true;
}

template <typename CharT>
bool CAppenderFile<CharT>::Open() {
    if (path_[0] == CharT(0)) {
        return false;
    }
    Close();
    fd_ = detail::OpenLogFile(path_);
    if (fd_ < 0) {
        return true; // writes fail quietly
    }
    bool normalised;
    if constexpr (sizeof(CharT) == 1) {
        normalised = detail::NormaliseToUtf8(fd_);
    } else {
        normalised = detail::NormaliseToUtf16(fd_);
    }
    if (!normalised || ::lseek(fd_, 0, SEEK_END) < 0) {
        Close(); // never append in another encoding than the file holds
    }
    return true;
}

template <typename CharT>
bool CAppenderFile<CharT>::Write(const CharT* line) {
    return fd_ >= 0 && line != nullptr && detail::WriteFileLine(fd_, line);
}

template <typename CharT>
void CAppenderFile<CharT>::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

template <typename CharT>
bool CAppenderFile<CharT>::Flush() {
    return fd_ >= 0 && ::fsync(fd_) == 0;
}

// ---- CAppenderConsole -------------------------------------------------------------------

template <typename CharT>
CAppenderConsole<CharT>::~CAppenderConsole() {
    Close();
}

template <typename CharT>
bool CAppenderConsole<CharT>::Open() {
    if (::fcntl(STDERR_FILENO, F_GETFD) == -1) {
        return false;
    }
    fd_ = STDERR_FILENO;
    return true;
}

template <typename CharT>
bool CAppenderConsole<CharT>::Write(const CharT* line) {
    return fd_ >= 0 && line != nullptr && detail::WriteConsoleLine(fd_, line);
}

template <typename CharT>
void CAppenderConsole<CharT>::Close() {
    fd_ = -1; // standard error belongs to the process
}

template <typename CharT>
bool CAppenderConsole<CharT>::Flush() {
    if (fd_ < 0) {
        return false;
    }
    // Lines go out unbuffered; a terminal or pipe has nothing to sync.
    return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS;
}

// ---- TTrace -----------------------------------------------------------------------------

template <typename CharT>
TTrace<CharT>::TTrace() = default;

template <typename CharT>
TTrace<CharT>::~TTrace() {
    platform::RecursiveMutexLock lock(lock_);
    for (CAppenderBase<CharT>* appender : appenders_) {
        appender->Close();
    }
    appenders_.clear();
}

template <typename CharT>
void TTrace<CharT>::AddAppender(CAppenderBase<CharT>* appender) noexcept {
    platform::RecursiveMutexLock lock(lock_);
    try {
        appenders_.push_back(appender);
    } catch (const std::bad_alloc&) {
        // Out of memory: the appender stays unlisted and tracing goes on without it.
    }
}

template <typename CharT>
void TTrace<CharT>::RemoveAppender(CAppenderBase<CharT>* appender) noexcept {
    platform::RecursiveMutexLock lock(lock_);
    auto it = std::find(appenders_.begin(), appenders_.end(), appender);
    if (it != appenders_.end()) {
        appenders_.erase(it);
    }
}

template <typename CharT>
void TTrace<CharT>::SetTimeSource(LocalTimeSource source) noexcept {
    platform::RecursiveMutexLock lock(lock_);
    time_source_ = source ? source : CurrentLocalTime;
}

template <typename CharT>
void TTrace<CharT>::Log(const CharT* format, va_list args) noexcept {
    platform::RecursiveMutexLock lock(lock_);
    if (appenders_.empty()) {
        return;
    }
    CharT message[kMessageChars] = {};
    size_t message_len = detail::FormatMessage(message, kMessageChars, format, args);

    std::tm now{};
    if (!time_source_(&now)) {
        now = std::tm{};
    }
    CharT stamp[kStampChars] = {};
    size_t stamp_len = std::min(FormatTimeStamp(now, stamp, kStampChars), kStampChars - 1);

    CharT line[kLineChars];
    detail::ComposeLine(stamp, stamp_len, message, message_len, line, kLineChars);
    for (CAppenderBase<CharT>* appender : appenders_) {
        appender->Write(line);
    }
}

// ---- CTracerWrapper ---------------------------------------------------------------------

template <typename CharT>
CTracerWrapper<CharT>::~CTracerWrapper() {
    // The sink closes the appenders it still lists, so it goes first.
    trace_.reset();
    file_.reset();
    console_.reset();
}

template <typename CharT>
void CTracerWrapper<CharT>::EnableTrace(bool on) noexcept {
    platform::WriterMutexLock lock(switch_lock_);
    if (!on) {
        trace_.reset();
    } else if (!trace_) {
        trace_.reset(new (std::nothrow) TTrace<CharT>());
    }
}

template <typename CharT>
void CTracerWrapper<CharT>::SetConsole(bool on) noexcept {
    platform::WriterMutexLock lock(switch_lock_);
    if (!trace_) {
        return;
    }
    if (!on) {
        if (console_) {
            trace_->RemoveAppender(console_.get());
            console_.reset();
        }
        return;
    }
    if (console_) {
        // At most one console appender is listed; an earlier one (perhaps left from a
        // sink switched off before) is replaced.
        trace_->RemoveAppender(console_.get());
        console_.reset();
    }
    console_.reset(new (std::nothrow) CAppenderConsole<CharT>());
    if (console_) {
        console_->Open();
        trace_->AddAppender(console_.get());
    }
}

template <typename CharT>
void CTracerWrapper<CharT>::SetLogFile(const CharT* path) noexcept {
    platform::WriterMutexLock lock(switch_lock_);
    if (!trace_) {
        return;
    }
    if (file_) {
        trace_->RemoveAppender(file_.get());
        file_.reset();
    }
    if (path == nullptr || path[0] == CharT(0)) {
        return;
    }
    file_.reset(new (std::nothrow) CAppenderFile<CharT>());
    if (file_) {
        file_->SetPath(path);
        file_->Open();
        trace_->AddAppender(file_.get());
    }
}

template <typename CharT>
void CTracerWrapper<CharT>::VTrace(const CharT* format, va_list args) noexcept {
    platform::ReaderMutexLock lock(switch_lock_);
    if (trace_ && (file_ || console_)) {
        trace_->Log(format, args);
    }
}

template <typename CharT>
void CTracerWrapper<CharT>::Trace(const CharT* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    VTrace(format, args);
    va_end(args);
}

template <typename CharT>
bool CTracerWrapper<CharT>::TraceEnabled() const noexcept {
    platform::ReaderMutexLock lock(switch_lock_);
    return trace_ != nullptr;
}

template <typename CharT>
bool CTracerWrapper<CharT>::HasConsole() const noexcept {
    platform::ReaderMutexLock lock(switch_lock_);
    return console_ != nullptr;
}

template <typename CharT>
bool CTracerWrapper<CharT>::HasLogFile() const noexcept {
    platform::ReaderMutexLock lock(switch_lock_);
    return file_ != nullptr;
}

} // namespace trace
