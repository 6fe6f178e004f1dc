// Character-type specific pieces behind the trace templates.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace trace::detail {

// Formats into buf (cap characters, zeroed by the caller). The result is always
// terminated; a cut narrow message never ends in a partial UTF-8 sequence. Returns the
// length.
size_t FormatMessage(char* buf, size_t cap, const char* format, va_list args);
size_t FormatMessage(wchar_t* buf, size_t cap, const wchar_t* format, va_list args);

// Longest prefix of s[0..len) that ends on a character boundary.
size_t CompletePrefix(const char* s, size_t len);
inline size_t CompletePrefix(const wchar_t*, size_t len) {
    return len;
}

// POSIX open for read and write, created with 0644 when missing; -1 on failure.
int OpenLogFile(const char* path);
int OpenLogFile(const wchar_t* path);

// Rewrite an open file's whole content into the variant's encoding. False when it
// could not be done; the content is then as it was.
bool NormaliseToUtf8(int fd);
bool NormaliseToUtf16(int fd);

// One line to a file: the narrow line's bytes, the wide line as UTF-16LE.
bool WriteFileLine(int fd, const char* line);
bool WriteFileLine(int fd, const wchar_t* line);
// One line to the console: UTF-8 in both variants.
bool WriteConsoleLine(int fd, const char* line);
bool WriteConsoleLine(int fd, const wchar_t* line);

} // namespace trace::detail
