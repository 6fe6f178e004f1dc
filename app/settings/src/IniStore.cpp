#include "settings/IniStore.h"

#include "platform/profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Numbers and flags are short; a longer value is cut to this many characters.
constexpr uint32_t kNumberChars = 64;
// The read buffer starts at this many characters and doubles while a value
// fills it: every try reads the whole file again, so growing by a fixed step
// made a value of a few megabytes take minutes.
constexpr uint32_t kReadStep = 512;

std::u16string Widen(const char* ascii) {
    return std::u16string(ascii, ascii + std::strlen(ascii));
}

bool IsCSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Digit value of c in any base up to 36; 99 for a non-digit.
int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return 99;
}

// wcstoul with a 32-bit unsigned long.
uint32_t ToUnsigned(std::u16string_view s, int base) {
    size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (base == 16 && i + 2 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
        DigitValue(s[i + 2]) < 16) {
        i += 2;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        int digit = DigitValue(s[i]);
        if (digit >= base) {
            break;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) {
            overflow = true;
            value = UINT32_MAX; // keeps the next multiplication in range
        }
    }
    if (overflow) {
        return UINT32_MAX;
    }
    auto result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

bool EqualsAsciiNoCase(std::u16string_view s, const char* word) {
    size_t n = std::strlen(word);
    if (s.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char16_t c = s[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
        if (c != static_cast<char16_t>(word[i])) {
            return false;
        }
    }
    return true;
}

std::u16string CopyOf(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

} // namespace

IniStore::IniStore(const char16_t* ini_path) {
    std::u16string path = CopyOf(ini_path);
    path_ = std::make_unique<char16_t[]>(path.size() + 1);
    std::copy(path.begin(), path.end(), path_.get());
    path_[path.size()] = u'\0';
}

IniStore::~IniStore() = default;

std::u16string IniStore::ReadAll(const char16_t* section, const char16_t* key,
                                 const char16_t* default_text) const {
    if (section == nullptr || key == nullptr) {
        return CopyOf(default_text);
    }
    const char16_t* fallback = default_text ? default_text : u"";
    // A result that fills the buffer may have been cut: read again, larger.
    std::vector<char16_t> buffer;
    uint32_t size = kReadStep;
    uint32_t length = 0;
    for (;;) {
        buffer.assign(size, u'\0');
        length = platform::GetPrivateProfileStringW(section, key, fallback, buffer.data(), size,
                                                    path_.get());
        if (length + 1 < size || size == UINT32_MAX) {
            break;
        }
        size = size > UINT32_MAX / 2 ? UINT32_MAX : size * 2;
    }
    return std::u16string(buffer.data(), length);
}

std::u16string IniStore::ReadShort(const char16_t* section, const char16_t* key) const {
    if (section == nullptr || key == nullptr) {
        return {};
    }
    char16_t buffer[kNumberChars + 1] = {};
    uint32_t length = platform::GetPrivateProfileStringW(section, key, u"", buffer,
                                                         kNumberChars + 1, path_.get());
    return std::u16string(buffer, length);
}

uint32_t IniStore::GetString(const char16_t* section, const char16_t* key, char16_t* out,
                             uint32_t out_len, const char16_t* default_text) const {
    std::u16string value = ReadAll(section, key, default_text);
    if (out == nullptr) {
        return static_cast<uint32_t>(value.size());
    }
    if (out_len == 0) {
        return 0;
    }
    // Always terminated: at most out_len - 1 characters are copied.
    size_t n = std::min<size_t>(value.size(), out_len - 1);
    std::copy_n(value.data(), n, out);
    out[n] = u'\0';
    return static_cast<uint32_t>(n);
}

uint32_t IniStore::GetUInt(const char16_t* section, const char16_t* key, uint32_t default_value,
                           int base) const {
    std::u16string value = ReadShort(section, key);
    if (value.empty()) {
        return default_value;
    }
    if (base != 2 && base != 8 && base != 16) {
        base = 10;
    }
    return ToUnsigned(value, base);
}

bool IniStore::GetBool(const char16_t* section, const char16_t* key, bool default_value) const {
    std::u16string value = ReadShort(section, key);
    if (value.empty()) {
        return default_value;
    }
    if (EqualsAsciiNoCase(value, "true") || EqualsAsciiNoCase(value, "yes")) {
        return true;
    }
    return ToUnsigned(value, 10) != 0;
}

RECT IniStore::GetRect(const char16_t* section, const char16_t* key,
                       const RECT& default_rect) const {
    std::u16string value = ReadAll(section, key, u"");
    constexpr size_t kBytes = sizeof(RECT);
    if (value.size() != 2 * kBytes) {
        return default_rect;
    }
    uint8_t bytes[kBytes];
    for (size_t i = 0; i < kBytes; ++i) {
        int hi = DigitValue(value[2 * i]);
        int lo = DigitValue(value[2 * i + 1]);
        if (hi >= 16 || lo >= 16) {
            return default_rect;
        }
        bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    auto field = [&](size_t index) {
        const uint8_t* b = bytes + 4 * index;
        return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                    static_cast<uint32_t>(b[2]) << 16 |
                                    static_cast<uint32_t>(b[3]) << 24);
    };
    RECT rect{};
    rect.left = field(0);
    rect.top = field(1);
    rect.right = field(2);
    rect.bottom = field(3);
    return rect;
}

bool IniStore::WriteString(const char16_t* section, const char16_t* key, const char16_t* text) {
    if (section == nullptr || key == nullptr) {
        return false;
    }
    return platform::WritePrivateProfileStringW(section, key, text ? text : u"", path_.get());
}

bool IniStore::WriteInt(const char16_t* section, const char16_t* key, int32_t value, int base) {
    char text[40];
    auto bits = static_cast<uint32_t>(value);
    if (base == 16) {
        std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(bits));
    } else if (base == 8) {
        std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(bits));
    } else if (base == 2) {
        char* p = text;
        int top = 31;
        while (top > 0 && ((bits >> top) & 1u) == 0) {
            --top;
        }
        for (int bit = top; bit >= 0; --bit) {
            *p++ = ((bits >> bit) & 1u) ? '1' : '0';
        }
        *p = '\0';
    } else {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    }
    return WriteString(section, key, Widen(text).c_str());
}

bool IniStore::WriteBool(const char16_t* section, const char16_t* key, bool flag) {
    return WriteString(section, key, flag ? u"1" : u"0");
}

bool IniStore::WriteRect(const char16_t* section, const char16_t* key, const RECT& rect) {
    const int32_t fields[4] = {rect.left, rect.top, rect.right, rect.bottom};
    char text[2 * sizeof(RECT) + 1];
    char* p = text;
    for (int32_t field : fields) {
        auto bits = static_cast<uint32_t>(field);
        for (int byte = 0; byte < 4; ++byte) {
            std::snprintf(p, 3, "%02X", static_cast<unsigned>((bits >> (8 * byte)) & 0xFFu));
            p += 2;
        }
    }
    *p = '\0';
    return WriteString(section, key, Widen(text).c_str());
}

std::string IgnoredFileNotice(const std::string& name, size_t max_bytes) {
    const platform::ProfileCheck check = platform::CheckProfileFile(name, max_bytes);
    if (check.too_large)
        return "Ignored " + name + ": larger than " + std::to_string(max_bytes >> 20) +
               " MB, defaults used";
    if (check.lines_ignored == 0)
        return {};
    return "Ignored " + std::to_string(check.lines_ignored) +
           (check.lines_ignored == 1 ? " unreadable line of " : " unreadable lines of ") + name;
}
