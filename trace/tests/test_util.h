// Helpers shared by the trace tests.
#pragma once

#include "testsupport/temp_folder.h"
#include "trace/trace.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace trace_test {

// 5 March 2010 08:07:06.
inline bool FixedTime(std::tm* out) {
    *out = std::tm{};
    out->tm_year = 110, out->tm_mon = 2, out->tm_mday = 5;
    out->tm_hour = 8, out->tm_min = 7, out->tm_sec = 6;
    return true;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Utf16Le(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    }
    return out;
}

// Sends standard error into a file while alive.
class StderrCapture {
public:
    StderrCapture() : saved_(dup(STDERR_FILENO)) {
        int fd = open(dir_.File("err").c_str(), O_WRONLY | O_CREAT, 0644);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() { dup2(saved_, STDERR_FILENO), close(saved_); }
    std::string Text() const { return ReadBytes(dir_.File("err")); }

private:
    testsupport::TempFolder dir_{"trace_test"};
    int saved_;
};

template <typename CharT>
class MemoryAppender final : public trace::CAppenderBase<CharT> {
public:
    bool Write(const CharT* line) override { return lines.emplace_back(line), true; }
    void Close() override { ++closes; }
    bool Open() override { return true; }
    bool Flush() override { return true; }
    std::vector<std::basic_string<CharT>> lines;
    int closes = 0;
};

template <typename CharT>
void Log(trace::TTrace<CharT>& sink, const CharT* format, ...) {
    va_list args;
    va_start(args, format);
    sink.Log(format, args);
    va_end(args);
}

} // namespace trace_test
