// Parts of the tracing library shared by both variants: time stamps, message
// formatting, file and console output, and the encoding rewrite of a log file.
#include "detail.h"
#include "trace/trace.h"

#include "platform/system.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace trace {

bool CurrentLocalTime(std::tm* out) {
    std::time_t now = std::time(nullptr);
    return now != static_cast<std::time_t>(-1) && localtime_r(&now, out) != nullptr;
}

size_t FormatTimeStamp(const std::tm& t, char* buf, size_t cap) {
    if (cap == 0) {
        return 0;
    }
    int n = std::snprintf(buf, cap, "[%02d/%02d(%04d),%02d:%02d:%02d]", t.tm_mon + 1, t.tm_mday,
                          t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    if (n < 0) {
        buf[0] = '\0';
    }
    return std::strlen(buf);
}

size_t FormatTimeStamp(const std::tm& t, wchar_t* buf, size_t cap) {
    if (cap == 0) {
        return 0;
    }
    buf[cap - 1] = L'\0';
    int n = std::swprintf(buf, cap, L"[%02d/%02d(%04d),%02d:%02d:%02d]", t.tm_mon + 1, t.tm_mday,
                          t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    if (n < 0) {
        buf[0] = L'\0';
    }
    return std::wcslen(buf);
}

bool IsTextUtf16Le(const unsigned char* data, size_t size) {
    if (size < 2) {
        return false;
    }
    if (data[0] == 0xFF && data[1] == 0xFE) {
        return true;
    }
    if (size % 2 != 0) {
        return false;
    }
    const size_t units = size / 2;
    size_t low_units = 0;
    for (size_t i = 0; i < units; ++i) {
        unsigned u = data[2 * i] | (data[2 * i + 1] << 8);
        if (u == 0) {
            return false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) { // a high surrogate needs a low one next
            if (i + 1 == units) {
                return false;
            }
            unsigned lo = data[2 * i + 2] | (data[2 * i + 3] << 8);
            if (lo < 0xDC00 || lo > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        } else if (u < 0x100) {
            ++low_units;
        }
    }
    return low_units * 2 >= units;
}

namespace detail {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAllAt(int fd, const void* data, size_t size, off_t offset) {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadWholeFile(int fd, std::string& out) {
    out.clear();
    char chunk[65536];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(chunk, static_cast<size_t>(n));
        offset += n;
    }
}

// Puts replacement in place of original. The new content is written over the old
// blocks before the file is cut to length, and on a failed write (a full disk) the
// original is put back, so a failure never loses what the file held.
bool ReplaceContent(int fd, const std::string& original, const std::string& replacement) {
    if (WriteAllAt(fd, replacement.data(), replacement.size(), 0) &&
        ::ftruncate(fd, static_cast<off_t>(replacement.size())) == 0) {
        return true;
    }
    WriteAllAt(fd, original.data(), original.size(), 0);
    ::ftruncate(fd, static_cast<off_t>(original.size()));
    return false;
}

void AppendUtf16Le(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

size_t WideLength(const wchar_t* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n] != L'\0') {
        ++n;
    }
    return n;
}

} // namespace

size_t FormatMessage(char* buf, size_t cap, const char* format, va_list args) {
    if (cap == 0) {
        return 0;
    }
    int n = format ? std::vsnprintf(buf, cap, format, args) : 0;
    buf[cap - 1] = '\0';
    size_t len = std::strlen(buf);
    if (n < 0 || static_cast<size_t>(n) >= cap) {
        len = CompletePrefix(buf, len);
        buf[len] = '\0';
    }
    return len;
}

size_t FormatMessage(wchar_t* buf, size_t cap, const wchar_t* format, va_list args) {
    if (cap == 0) {
        return 0;
    }
    // A cut result makes vswprintf return -1; what fitted stays in the zeroed buffer.
    if (format) {
        std::vswprintf(buf, cap, format, args);
    }
    buf[cap - 1] = L'\0';
    return std::wcslen(buf);
}

size_t CompletePrefix(const char* s, size_t len) {
    // Step back over at most three continuation bytes to the lead byte of the last
    // character and drop that character when its sequence does not fit.
    size_t lead = len;
    for (size_t back = 0; lead > 0 && back < 4; ++back) {
        --lead;
        auto b = static_cast<unsigned char>(s[lead]);
        if ((b & 0xC0) != 0x80) {
            size_t need = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
            return len - lead >= need ? len : lead;
        }
    }
    return len; // only continuation bytes: not UTF-8 to begin with, keep it
}

int OpenLogFile(const char* path) {
    return ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

int OpenLogFile(const wchar_t* path) {
    char utf8[kPathChars * 4 + 1];
    size_t n = platform::WideToUtf8(path, WideLength(path, kPathChars - 1), utf8, sizeof utf8 - 1);
    utf8[n] = '\0';
    return OpenLogFile(utf8);
}

bool NormaliseToUtf8(int fd) {
    try {
        std::string content;
        if (!ReadWholeFile(fd, content)) {
            return false;
        }
        auto bytes = reinterpret_cast<const unsigned char*>(content.data());
        if (!IsTextUtf16Le(bytes, content.size())) {
            return true; // already narrow text
        }
        size_t start = (bytes[0] == 0xFF && bytes[1] == 0xFE) ? 2 : 0;
        std::u16string utf16;
        utf16.reserve((content.size() - start) / 2);
        for (size_t i = start; i + 1 < content.size(); i += 2) {
            utf16.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        }
        return ReplaceContent(fd, content, platform::Utf16ToUtf8(utf16));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool NormaliseToUtf16(int fd) {
    try {
        std::string content;
        if (!ReadWholeFile(fd, content)) {
            return false;
        }
        auto bytes = reinterpret_cast<const unsigned char*>(content.data());
        if (IsTextUtf16Le(bytes, content.size())) {
            return true;
        }
        std::string_view narrow = content;
        if (narrow.starts_with("\xEF\xBB\xBF")) { // a UTF-8 mark would become a second U+FEFF
            narrow.remove_prefix(3);
        }
        std::u16string utf16 = platform::Utf8ToUtf16(narrow);
        std::string rewritten;
        rewritten.reserve(2 + 2 * utf16.size());
        AppendUtf16Le(rewritten, u'\uFEFF');
        for (char16_t unit : utf16) {
            AppendUtf16Le(rewritten, unit);
        }
        return ReplaceContent(fd, content, rewritten);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool WriteFileLine(int fd, const char* line) {
    return WriteAll(fd, line, std::strlen(line));
}

bool WriteFileLine(int fd, const wchar_t* line) {
    // Every wchar_t may need a surrogate pair.
    char16_t utf16[2 * kLineChars];
    size_t units = platform::WideToUtf16(line, WideLength(line, kLineChars), utf16, 2 * kLineChars);
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < units; ++i) {
            utf16[i] = static_cast<char16_t>((utf16[i] << 8) | (utf16[i] >> 8));
        }
    }
    return WriteAll(fd, utf16, units * sizeof(char16_t));
}

bool WriteConsoleLine(int fd, const char* line) {
    return WriteAll(fd, line, std::strlen(line));
}

bool WriteConsoleLine(int fd, const wchar_t* line) {
    char utf8[4 * kLineChars];
    size_t n = platform::WideToUtf8(line, WideLength(line, kLineChars), utf8, sizeof utf8);
    return WriteAll(fd, utf8, n);
}

} // namespace detail
} // namespace trace
