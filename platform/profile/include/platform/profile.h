// Private-profile (INI) files with the Win32 rules.
//
// Reading: section and key names are compared without case, the first
// matching section and, inside it, the first matching key win; blanks around
// names and values are trimmed and one pair of surrounding quotes (double or
// single) is removed from a value. Lines starting with ';' are comments. Keys
// above the first section header belong to no section and are never found.
//
// Writing changes only the line it must: a value is replaced in place, a new
// key goes after the last key line of its section, a new section at the end of
// the file; every other byte (comments, blank lines, line endings, unknown
// lines, invalid UTF-8) stays as it was. The file is replaced atomically.
//
// Encodings: UTF-8 (with or without byte-order mark); UTF-16LE or UTF-16BE
// with byte-order mark are read and written back in their own encoding. A new
// file is UTF-8 without byte-order mark and with "\n" line endings.
//
// Thread safety: every function may be called from any thread; writes within
// the process are serialised, so two threads never lose each other's keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Settings files are a few kilobytes; a file larger than this is not one, and
// reads as empty (reading it would only cost memory).
inline constexpr size_t kMaxProfileBytes = 16 * 1024 * 1024;

// ---- Win32-style calls -------------------------------------------------------

// Copies the value of key in section of file_name into out (size characters
// including the terminator) and returns the number of characters copied,
// without the terminator; a longer value is truncated to size - 1 characters.
// A missing file, section or key (or an empty key name) copies default_value
// (nullptr reads as "", trailing blanks removed).
// key == nullptr: copies the key names of the section, each followed by a
// terminator, the list followed by one more; no such section or no keys copies
// default_value. section == nullptr: the same list of all section names.
// A list too long for out is cut and ends in two terminators; the result is
// then size - 2. out == nullptr or size == 0 return 0. A file_name of
// nullptr reads as a missing file; a file that cannot be read (no permission,
// not a regular file, larger than 16 MiB) reads as empty.
uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* default_value, char16_t* out, uint32_t size,
                                  const char16_t* file_name);

// Sets key in section of file_name to value, creating section and file as
// needed. value == nullptr deletes the key; key == nullptr deletes the whole
// section (header, its keys and the lines between). Returns true on success,
// also when there was nothing to delete. Returns false, leaving the file as it
// was, when section or file_name is nullptr, when a name or value would break
// the file's structure (a line break in any text; an empty key, a key with '='
// or starting with '[' or ';'), when an existing file cannot be read, or when
// the new file cannot be written completely.
bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file_name);

// ---- the parsed file ---------------------------------------------------------

enum class ProfileEncoding { Utf8, Utf16Le, Utf16Be };

// One INI file held in memory as its original bytes plus an index of its
// lines. Parse never fails: any bytes give a document, and Bytes() of an
// unedited document returns exactly the bytes parsed. Names and values are
// UTF-16; invalid UTF-8 in a value reads as U+FFFD. A value ends at its first
// NUL character.
class ProfileDocument {
public:
    // An empty UTF-8 document (a file that does not exist yet).
    ProfileDocument();
    ~ProfileDocument();
    ProfileDocument(ProfileDocument&&) noexcept;
    ProfileDocument& operator=(ProfileDocument&&) noexcept;
    ProfileDocument(const ProfileDocument&) = delete;
    ProfileDocument& operator=(const ProfileDocument&) = delete;

    // The parser's single entry point (also the fuzzing entry point).
    static ProfileDocument Parse(const uint8_t* data, size_t size);

    ProfileEncoding Encoding() const;
    std::string Bytes() const;

    // The value of key in the first section named section; nullopt when either
    // is missing or key is empty.
    std::optional<std::u16string> Get(std::u16string_view section, std::u16string_view key) const;
    // Names of all sections, first spelling of each, in file order.
    std::vector<std::u16string> SectionNames() const;
    // Names of the keys of the first section named section, first spelling of
    // each, in file order; nullopt when there is no such section.
    std::optional<std::vector<std::u16string>> KeyNames(std::u16string_view section) const;

    // Each returns false and leaves the document unchanged when a name or the
    // value would break the file's structure (see WritePrivateProfileStringW).
    bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Deleting what does not exist succeeds and changes nothing.
    bool DeleteKey(std::u16string_view section, std::u16string_view key);
    bool DeleteSection(std::u16string_view section);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---- checking a file --------------------------------------------------------

// What the readers of an INI-style file pass over without a word, so that the
// program can tell its user which file it could not read whole.
struct ProfileCheck {
    bool found = false;     // the file exists and can be read
    bool too_large = false; // above the limit given: read as empty
    // Lines neither blank, a comment (';' or '#'), a [section] header nor
    // key=value; key lines before the first section; lines holding NUL bytes
    // or invalid UTF-8. UTF-16 files are not checked line by line.
    size_t lines_ignored = 0;
};
ProfileCheck CheckProfileFile(const std::string& path, size_t max_bytes = kMaxProfileBytes);

} // namespace platform
