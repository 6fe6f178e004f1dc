// IniStore: the program's settings store, a thin layer over the private-profile
// calls that adds typed reads and writes (numbers in a base, flags and
// rectangles stored as hex data blocks). Used from the user-interface thread
// only; the object holds no state but its own copy of the file path.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>
#include <memory>
#include <string>

class IniStore {
public:
    // ini_path is copied; nullptr gives a store whose reads give their
    // defaults and whose writes fail.
    explicit IniStore(const char16_t* ini_path);
    virtual ~IniStore();
    IniStore(const IniStore&) = delete;
    IniStore& operator=(const IniStore&) = delete;

    const char16_t* GetPathName() const { return path_.get(); }

    // Copies the value (or default_text when the key is missing; "" when
    // default_text is nullptr) into out, at most out_len - 1 characters plus a
    // terminator, and returns the number of characters copied. A null section
    // or key gives the default. With out == nullptr, returns the value's full
    // length; with out_len == 0, copies nothing and returns 0.
    uint32_t GetString(const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t out_len, const char16_t* default_text) const;
    // The value as an unsigned number in base 2, 8 or 16 (any other base
    // means 10), by the rules of wcstoul with a 32-bit unsigned long: leading
    // blanks, an optional sign ('-' negates modulo 2^32), "0x" allowed in base
    // 16, conversion stops at the first non-digit, no digits give 0, overflow
    // gives 0xFFFFFFFF. An empty or missing value gives default_value.
    uint32_t GetUInt(const char16_t* section, const char16_t* key, uint32_t default_value,
                     int base) const;
    // "true" or "yes" (any case) and non-zero decimal numbers are true; any
    // other text is false; an empty or missing value gives default_value.
    bool GetBool(const char16_t* section, const char16_t* key, bool default_value) const;
    // The value as a hex data block of exactly 16 bytes (32 hex digits):
    // left, top, right, bottom, each a little-endian int32. Anything else
    // gives default_rect.
    RECT GetRect(const char16_t* section, const char16_t* key, const RECT& default_rect) const;

    // Each returns the platform's success flag. A null section or key writes
    // nothing and returns false; a null text writes an empty value.
    bool WriteString(const char16_t* section, const char16_t* key, const char16_t* text);
    // Base 16: "%X", base 8: "%o", base 2: binary digits, most significant
    // first (no leading zeros); any other base: "%d".
    bool WriteInt(const char16_t* section, const char16_t* key, int32_t value, int base);
    // "1" or "0".
    bool WriteBool(const char16_t* section, const char16_t* key, bool flag);
    // 32 upper-case hex digits, "%02X" per byte of left, top, right, bottom
    // (little-endian int32 each).
    bool WriteRect(const char16_t* section, const char16_t* key, const RECT& rect);

private:
    // Reads at most 64 characters: enough for any number or flag.
    std::u16string ReadShort(const char16_t* section, const char16_t* key) const;
    // Reads the whole value, however long.
    std::u16string ReadAll(const char16_t* section, const char16_t* key,
                           const char16_t* default_text) const;

    std::unique_ptr<char16_t[]> path_; // heap copy of the INI path, never null
};

// The start-up notice for a file read by INI rules (settings, the device
// catalogue, language files; path in UTF-8) when its readers pass over part of it
// (platform::CheckProfileFile), or empty when it was read whole or is
// missing:
//   "Ignored <path>: larger than <n> MB, defaults used"
//   "Ignored <k> unreadable lines of <path>"
std::string IgnoredFileNotice(const std::string& path, size_t max_bytes);
