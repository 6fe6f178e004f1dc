#include "platform/system.h"

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-8 at s[i], advancing i; malformed input
// (bad lead byte, missing continuation, overlong form, surrogate, > U+10FFFF)
// yields U+FFFD and consumes one byte.
char32_t DecodeUtf8(std::string_view s, size_t& i) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + extra >= s.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return cp;
}

// Decodes one code point from UTF-16 at s[i], advancing i; a lone surrogate
// yields U+FFFD.
template <typename Unit>
char32_t DecodeUtf16(const Unit* s, size_t n, size_t& i) {
    char32_t u = static_cast<char16_t>(s[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
        char32_t lo = static_cast<char16_t>(s[i + 1]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
            i += 2;
            return 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        }
    }
    ++i;
    return (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u;
}

char32_t SanitizeWide(wchar_t w) {
    auto cp = static_cast<char32_t>(w);
    return (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ? kReplacement : cp;
}

// Writes cp as UTF-8 into out[0..3]; returns the byte count.
size_t EncodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

size_t EncodeUtf16(char32_t cp, char16_t* out) {
    if (cp < 0x10000) {
        out[0] = static_cast<char16_t>(cp);
        return 1;
    }
    cp -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return 2;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    char16_t units[2];
    for (size_t i = 0; i < utf8.size();) {
        out.append(units, EncodeUtf16(DecodeUtf8(utf8, i), units));
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    char bytes[4];
    for (size_t i = 0; i < utf16.size();) {
        out.append(bytes, EncodeUtf8(DecodeUtf16(utf16.data(), utf16.size(), i), bytes));
    }
    return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        out.push_back(static_cast<wchar_t>(DecodeUtf8(utf8, i)));
    }
    return out;
}

std::string WideToUtf8(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    char bytes[4];
    for (wchar_t w : wide) {
        out.append(bytes, EncodeUtf8(SanitizeWide(w), bytes));
    }
    return out;
}

std::u16string WideToUtf16(std::wstring_view wide) {
    std::u16string out;
    out.reserve(wide.size());
    char16_t units[2];
    for (wchar_t w : wide) {
        out.append(units, EncodeUtf16(SanitizeWide(w), units));
    }
    return out;
}

std::wstring Utf16ToWide(std::u16string_view utf16) {
    std::wstring out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size();) {
        out.push_back(static_cast<wchar_t>(DecodeUtf16(utf16.data(), utf16.size(), i)));
    }
    return out;
}

namespace {
// Encodes wide characters into dst as long as whole characters fit.
template <typename Unit, size_t (*Encode)(char32_t, Unit*)>
size_t EncodeWideInto(const wchar_t* src, size_t len, Unit* dst, size_t cap) {
    size_t n = 0;
    Unit units[4];
    for (size_t i = 0; i < len; ++i) {
        size_t k = Encode(SanitizeWide(src[i]), units);
        if (n + k > cap) {
            break;
        }
        for (size_t j = 0; j < k; ++j) {
            dst[n++] = units[j];
        }
    }
    return n;
}
} // namespace

size_t WideToUtf16(const wchar_t* src, size_t len, char16_t* dst, size_t cap) {
    return EncodeWideInto<char16_t, EncodeUtf16>(src, len, dst, cap);
}

size_t WideToUtf8(const wchar_t* src, size_t len, char* dst, size_t cap) {
    return EncodeWideInto<char, EncodeUtf8>(src, len, dst, cap);
}

} // namespace platform
