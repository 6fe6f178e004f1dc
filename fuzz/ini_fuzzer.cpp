// The settings store IniStore and the program's settings rules on any settings
// file. The input is the file; every key it holds (and every key the program
// reads) is read with each typed read.
//
// Invariants: numbers follow wcstoul's rules for a 32-bit unsigned long,
// checked against the C library's strtoull; flags and rectangles follow their
// documented forms; a written number, flag or rectangle reads back; loaded
// settings are always valid.
#include "fuzz_support.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "settings/AppSettings.h"
#include "settings/IniStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every typed read reads the file again: a dozen keys keep an input fast.
constexpr size_t kMaxSections = 4;
constexpr size_t kMaxKeys = 12;
// IniStore reads numbers and flags from at most this many characters.
constexpr size_t kNumberChars = 64;

const fuzz::ScratchFile& File() {
    static const fuzz::ScratchFile file("TovekCamera.ini");
    return file;
}

// The names in a double-NUL list from GetPrivateProfileStringW.
std::vector<std::u16string> SplitList(const std::vector<char16_t>& buffer, uint32_t length) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (uint32_t i = 0; i < length; ++i) {
        if (buffer[i] == u'\0') {
            names.push_back(name);
            name.clear();
        } else {
            name.push_back(buffer[i]);
        }
    }
    return names;
}

std::vector<std::u16string> ListOf(const char16_t* section, const std::u16string& path,
                                   uint32_t size) {
    std::vector<char16_t> buffer(size + 1, u'\x7F7F');
    uint32_t length = platform::GetPrivateProfileStringW(section, nullptr, u"", buffer.data(), size,
                                                         path.c_str());
    FUZZ_CHECK(size == 0 ? length == 0 : length < size);
    FUZZ_CHECK(buffer[size] == u'\x7F7F'); // nothing written past the buffer
    if (size >= 2 && length > 0) {
        // A list ends in two terminators: its last name's and one more, or,
        // when it was cut, the last two characters of the buffer.
        bool cut = length == size - 2 && buffer[length + 1] == u'\0';
        FUZZ_CHECK(buffer[length] == u'\0' && (buffer[length - 1] == u'\0' || cut));
    }
    return SplitList(buffer, length);
}

// wcstoul with a 32-bit unsigned long, from the C library's 64-bit strtoull.
uint32_t ReferenceUnsigned(std::u16string_view text, int base) {
    std::string narrow = platform::Utf16ToUtf8(text);
    const char* p = narrow.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    // strtoull would take a second sign; wcstoul takes one.
    if (*p == '-' || *p == '+' || *p == ' ' || (*p >= '\t' && *p <= '\r')) {
        return 0;
    }
    errno = 0;
    unsigned long long magnitude = std::strtoull(p, nullptr, base);
    if (errno == ERANGE || magnitude > UINT32_MAX) {
        return UINT32_MAX;
    }
    auto value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void CheckTypedReads(const IniStore& ini, const char16_t* section, const char16_t* key) {
    std::u16string value(ini.GetString(section, key, nullptr, 0, u""), u'\0');
    std::vector<char16_t> buffer(value.size() + 2, u'\x7F7F');
    uint32_t copied =
        ini.GetString(section, key, buffer.data(), static_cast<uint32_t>(value.size() + 1), u"");
    FUZZ_CHECK(copied == value.size() && buffer[copied] == u'\0' &&
               buffer[copied + 1] == u'\x7F7F');
    value.assign(buffer.data(), copied);
    // Short buffers: always terminated, never overrun.
    for (uint32_t size : {0u, 1u, 2u, 7u}) {
        std::vector<char16_t> small(size + 1, u'\x7F7F');
        uint32_t n = ini.GetString(section, key, small.data(), size, u"default");
        FUZZ_CHECK(small[size] == u'\x7F7F');
        FUZZ_CHECK(size == 0 ? n == 0 : n < size && small[n] == u'\0');
    }

    std::u16string_view number = std::u16string_view(value).substr(0, kNumberChars);
    for (int base : {2, 8, 10, 16, 0}) {
        uint32_t got = ini.GetUInt(section, key, 0xDEFA017u, base);
        int effective = (base == 2 || base == 8 || base == 16) ? base : 10;
        FUZZ_CHECK(got == (number.empty() ? 0xDEFA017u : ReferenceUnsigned(number, effective)));
    }

    bool flag = ini.GetBool(section, key, true);
    if (number.empty()) {
        FUZZ_CHECK(flag);
    } else {
        auto lower = platform::Utf16ToUtf8(number);
        for (char& c : lower) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        }
        bool word = lower == "true" || lower == "yes";
        FUZZ_CHECK(flag == (word || ReferenceUnsigned(number, 10) != 0));
    }

    const RECT fallback{-1, -2, -3, -4};
    RECT rect = ini.GetRect(section, key, fallback);
    bool hex = value.size() == 32;
    for (char16_t c : value) {
        hex = hex && IsHexDigit(c);
    }
    if (!hex) {
        FUZZ_CHECK(std::memcmp(&rect, &fallback, sizeof rect) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::ScratchFile& file = File();
    file.Write(data, size);
    const std::u16string path = platform::Utf8ToUtf16(file.Path());
    IniStore ini(path.c_str());

    std::vector<std::u16string> sections = ListOf(nullptr, path, 4096);
    ListOf(nullptr, path, static_cast<uint32_t>(size % 16)); // a list cut short
    size_t checked = 0;
    for (size_t s = 0; s < sections.size() && s < kMaxSections; ++s) {
        std::vector<std::u16string> keys = ListOf(sections[s].c_str(), path, 4096);
        for (size_t k = 0; k < keys.size() && checked < kMaxKeys; ++k, ++checked) {
            CheckTypedReads(ini, sections[s].c_str(), keys[k].c_str());
        }
    }

    // The program's own reads, then what start-up writes back.
    RECT desktop{0, 0, 1920, 1080};
    settings::WindowPlacement placement = settings::LoadWindowPlacement(ini, desktop, 23);
    FUZZ_CHECK(placement.show_mode < settings::kShowModeCount);
    FUZZ_CHECK(placement.zoom_mode < settings::kZoomModeCount);
    settings::AppSettings loaded = settings::LoadAppSettings(ini, u"/opt/tovek/", u"/home/u/Doc");
    FUZZ_CHECK(settings::IsValidCaption(loaded.caption));
    for (const std::u16string& folder : {loaded.capture_path, loaded.record_path}) {
        FUZZ_CHECK((folder.size() >= 3 && folder.back() == u'/') || folder == u"/home/u/Doc");
    }
    for (int32_t width : {loaded.graphic.line_width, loaded.graphic.rect_width,
                          loaded.graphic.circle_width, loaded.graphic.curve_width}) {
        FUZZ_CHECK(width >= settings::kMinWidth && width <= settings::kMaxWidth);
    }
    FUZZ_CHECK(ini.GetBool(settings::kSectionApp, settings::kShowLogo, !loaded.show_logo) ==
               loaded.show_logo);

    // Typed writes read back, whatever the file held before.
    int32_t number = static_cast<int32_t>(size * 2654435761u);
    for (int base : {2, 8, 10, 16}) {
        if (ini.WriteInt(u"FuzzWrites", u"Number", number, base)) {
            FUZZ_CHECK(ini.GetUInt(u"FuzzWrites", u"Number", 0, base) ==
                       static_cast<uint32_t>(number));
        }
    }
    RECT rect{number, static_cast<int32_t>(0u - static_cast<uint32_t>(number)), INT32_MIN,
              INT32_MAX};
    if (ini.WriteRect(u"FuzzWrites", u"Rect", rect)) {
        RECT back = ini.GetRect(u"FuzzWrites", u"Rect", RECT{});
        FUZZ_CHECK(std::memcmp(&back, &rect, sizeof rect) == 0);
    }
    return 0;
}
