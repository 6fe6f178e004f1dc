// Time-stamped trace lines to a log file and/or the console (standard error).
//
// One design built for two character types:
//   - trace::CTracerWrapper<char>    narrow variant (library tovek_trace_a), used by the
//     Q5 driver library. Text is UTF-8; its log file is UTF-8 without a byte-order mark.
//   - trace::CTracerWrapper<wchar_t> wide variant (library tovek_trace_w), used by the
//     program. Its log file is UTF-16LE with the byte-order mark FF FE; the console
//     gets UTF-8, as a terminal needs.
//
// Formats are printf formats (vsnprintf / vswprintf). In the wide variant the C library's
// wide rules apply: %ls takes a wide (wchar_t) string and %s a narrow (char) string,
// which is how __func__ and source-path literals are passed in both variants. A narrow
// argument of a wide format (and a wide one of a narrow format) is converted in the
// current C locale, so keep such arguments ASCII unless the locale is UTF-8; a failed
// conversion ends the message there, it never breaks the line.
//
// Every line reads "[MM/DD(YYYY),hh:mm:ss]: message\r\n" in local time. A line is at most
// kLineChars - 1 characters; a longer message is cut so that the line still ends "\r\n".
// Log allocates nothing on the heap.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <ctime>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/thread_annotations.h"

namespace trace {

// Fixed buffer sizes, in characters of the variant (bytes in the narrow variant).
inline constexpr size_t kMessageChars = 2046;
inline constexpr size_t kStampChars = 100;
inline constexpr size_t kLineChars = 2046;
// A log file path holds at most kPathChars - 1 characters; a longer one is refused
// (the appender then has no path and writes nothing) rather than cut, because a cut
// path would name some other file.
inline constexpr size_t kPathChars = 520;

// Fills *out with the current local time; false when it cannot be read.
using LocalTimeSource = bool (*)(std::tm* out);
bool CurrentLocalTime(std::tm* out);

// Writes "[MM/DD(YYYY),hh:mm:ss]" for t into buf (cap characters, always terminated
// when cap > 0) and returns its length.
size_t FormatTimeStamp(const std::tm& t, char* buf, size_t cap);
size_t FormatTimeStamp(const std::tm& t, wchar_t* buf, size_t cap);

// Stand-in for the platform's Unicode text test on a whole file's content: true for
// UTF-16LE text, recognised by the byte-order mark FF FE, or without it by an even size,
// no NUL or unpaired-surrogate unit and at least half the units below U+0100 (whose high
// byte is then zero, which never happens in UTF-8 text).
bool IsTextUtf16Le(const unsigned char* data, size_t size);

// One output. Write takes one finished, zero-terminated line (the wide appenders take at
// most kLineChars characters of it) and is true when all of it was written; Open is true
// when the output was acquired. Owners destroy appenders
// through their concrete type (the base destructor is not virtual).
template <typename CharT>
class CAppenderBase {
public:
    virtual bool Write(const CharT* line) = 0;
    virtual void Close() = 0;
    virtual bool Open() = 0;
    virtual bool Flush() = 0;

protected:
    CAppenderBase() = default;
    ~CAppenderBase() = default;
    CAppenderBase(const CAppenderBase&) = delete;
    CAppenderBase& operator=(const CAppenderBase&) = delete;
};

// Appends lines to a file. Open creates the file (mode 0644) when missing and first
// rewrites existing content into the variant's encoding: the narrow variant turns a
// UTF-16LE file into UTF-8 without the mark; the wide variant turns a non-UTF-16 file
// (read as UTF-8) into UTF-16LE with the mark, and gives an empty file just the mark.
// Open is true whenever a path is set, also when the file could not be opened (a folder
// is missing, say): writes then fail quietly. When the content cannot be rewritten
// (read or write error, out of memory) the file is left as it was and nothing is
// written to it, so encodings never mix.
template <typename CharT>
class CAppenderFile final : public CAppenderBase<CharT> {
public:
    CAppenderFile() = default;
    ~CAppenderFile();

    // Copies path; false (and no path) when it is null, empty or too long.
    bool SetPath(const CharT* path);
    const CharT* Path() const { return path_; }

    bool Write(const CharT* line) override;
    void Close() override;
    bool Open() override;
    bool Flush() override;

private:
    // Used under the lock of the sink that lists the appender (or by its single owner).
    int fd_ = -1;
    CharT path_[kPathChars] = {};
};

// Writes lines to the process's standard error (fd 2), which is not closed by Close.
template <typename CharT>
class CAppenderConsole final : public CAppenderBase<CharT> {
public:
    CAppenderConsole() = default;
    ~CAppenderConsole();

    bool Write(const CharT* line) override;
    void Close() override;
    bool Open() override; // true when fd 2 is an open descriptor
    bool Flush() override;

private:
    int fd_ = -1; // used under the lock of the sink that lists the appender
};

// The trace sink: formats lines and hands each to every appender in insertion order.
// Any thread may call any operation; all of them hold the sink's one lock throughout, so
// lines never interleave. The list does not own the appenders; each must outlive its
// membership. Log keeps its buffers on the stack (about 4 KB narrow, 16 KB wide).
template <typename CharT>
class TTrace {
public:
    TTrace();
    virtual ~TTrace(); // closes every appender still listed
    TTrace(const TTrace&) = delete;
    TTrace& operator=(const TTrace&) = delete;

    void AddAppender(CAppenderBase<CharT>* appender) noexcept;
    // Removes the first entry equal to appender; one not listed is ignored.
    void RemoveAppender(CAppenderBase<CharT>* appender) noexcept;
    void Log(const CharT* format, va_list args) noexcept;

    // Replaces the local-time source (tests give a fixed time); nullptr restores it.
    void SetTimeSource(LocalTimeSource source) noexcept;

private:
    platform::RecursiveMutex lock_; // guards everything below and every write
    std::vector<CAppenderBase<CharT>*> appenders_ TOVEK_GUARDED_BY(lock_);
    LocalTimeSource time_source_ TOVEK_GUARDED_BY(lock_) = CurrentLocalTime;
};

// A module's front object: owns the sink and at most one file and one console appender.
// Trace may be called from any thread. The switches (EnableTrace, SetConsole, SetLogFile)
// are meant for start-up and shutdown; they are nonetheless safe against concurrent
// Trace calls, which they exclude while they change the outputs.
template <typename CharT>
class CTracerWrapper {
public:
    using char_type = CharT;

    CTracerWrapper() = default;
    virtual ~CTracerWrapper(); // deletes the sink, then the file, then the console appender
    CTracerWrapper(const CTracerWrapper&) = delete;
    CTracerWrapper& operator=(const CTracerWrapper&) = delete;

    // On creates the sink (when tracing is already on, nothing changes); off deletes it,
    // which closes the outputs still attached.
    void EnableTrace(bool on) noexcept;
    // Nothing happens while tracing is off. On attaches a console appender (replacing
    // any earlier one); off detaches and destroys it.
    void SetConsole(bool on) noexcept;
    // Nothing happens while tracing is off. A non-empty path attaches a file appender for
    // it (replacing any earlier one); null or empty detaches and destroys the file
    // appender. A path of kPathChars characters or more leaves the appender without a
    // path: it stays attached and writes nothing.
    void SetLogFile(const CharT* path) noexcept;

    // Writes one line when tracing is on and a file or console appender is attached.
    void Trace(const CharT* format, ...) noexcept;
    void VTrace(const CharT* format, va_list args) noexcept;

    bool TraceEnabled() const noexcept;
    bool HasConsole() const noexcept;
    bool HasLogFile() const noexcept;

private:
    mutable platform::SharedMutex switch_lock_; // Trace shares it; the switches hold it alone
    // Owned. Destroyed in the order sink, file, console.
    std::unique_ptr<TTrace<CharT>> trace_ TOVEK_GUARDED_BY(switch_lock_);
    std::unique_ptr<CAppenderFile<CharT>> file_ TOVEK_GUARDED_BY(switch_lock_);
    std::unique_ptr<CAppenderConsole<CharT>> console_ TOVEK_GUARDED_BY(switch_lock_);
};

// The narrow Trace is checked against its arguments like printf.
template <>
__attribute__((format(printf, 2, 3))) void CTracerWrapper<char>::Trace(const char* format,
                                                                       ...) noexcept;

// ---- driver library switches ------------------------------------------------------------

// Reads Q5LOG, Q5LOGCONSOLE and Q5LOGFILE (each into a 1024-byte buffer; a longer value is
// cut) and applies them in this order: EnableTrace(Q5LOG is exactly "1"),
// SetConsole(Q5LOGCONSOLE is exactly "1"), SetLogFile(Q5LOGFILE when non-empty, else null).
// Called by TovekCameraInit.
inline constexpr size_t kSwitchValueBytes = 1024;
void ApplyDriverTraceSwitches(CTracerWrapper<char>& tracer) noexcept;
// SetConsole(false), SetLogFile(nullptr), EnableTrace(false). Called by TovekCameraUninit.
void ReleaseDriverTraceSwitches(CTracerWrapper<char>& tracer) noexcept;

// ---- message formats ------------------------------------------------------------------

template <typename CharT>
struct Formats;
template <>
struct Formats<char> {
    static constexpr const char* kEntry = "%s(), file:%s line:%d";
    static constexpr const char* kStep = "%s(), %s, file:%s line:%d";
    static constexpr const char* kAssert = "Assert failed, file:%s, line:%d, func:%s()";
    static constexpr const char* kAssertError =
        "Assert failed, file:%s, line:%d, func:%s(), error:%s";
};
template <>
struct Formats<wchar_t> {
    static constexpr const wchar_t* kEntry = L"%s(), file:%s line:%d";
    static constexpr const wchar_t* kStep = L"%s(), %s, file:%s line:%d";
    static constexpr const wchar_t* kAssert = L"Assert failed, file:%s, line:%d, func:%s()";
    static constexpr const wchar_t* kAssertError =
        L"Assert failed, file:%s, line:%d, func:%s(), error:%s";
};

extern template class TTrace<char>;
extern template class TTrace<wchar_t>;
extern template class CAppenderFile<char>;
extern template class CAppenderFile<wchar_t>;
extern template class CAppenderConsole<char>;
extern template class CAppenderConsole<wchar_t>;
extern template class CTracerWrapper<char>;
extern template class CTracerWrapper<wchar_t>;

} // namespace trace

// Function-entry line "<func>(), file:<source> line:<n>". source is narrow text in both
// variants, e.g. "..\\src\\q5_usb.cpp".
#define TOVEK_TRACE_ENTRY(tracer, source)                                                          \
    (tracer).Trace(                                                                                \
        ::trace::Formats<typename std::remove_reference_t<decltype(tracer)>::char_type>::kEntry,   \
        __func__, source, __LINE__)

// Writes "Assert failed, file:<source>, line:<n>, func:<func>()" when cond is false;
// cond is always evaluated and execution goes on either way.
#define TOVEK_TRACE_ASSERT(tracer, cond, source)                                                   \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            (tracer).Trace(                                                                        \
                ::trace::Formats<                                                                  \
                    typename std::remove_reference_t<decltype(tracer)>::char_type>::kAssert,       \
                source, __LINE__, __func__);                                                       \
        }                                                                                          \
    } while (0)
