#include "settings/DeviceCatalogue.h"

#include "platform/install_layout.h"
#include "platform/system.h"
#include "settings/IniStore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::u16string_view kQ5Tag = u"Q5";
constexpr std::u16string_view kRVXTag = u"RVX";

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// True when name starts with tag (upper-case ASCII), compared without case.
bool StartsWithTag(std::u16string_view name, std::u16string_view tag) {
    if (name.size() < tag.size()) {
        return false;
    }
    for (size_t i = 0; i < tag.size(); ++i) {
        if (AsciiUpper(name[i]) != tag[i]) {
            return false;
        }
    }
    return true;
}

// At most max_length characters of text, without a lone high surrogate left
// at the cut.
std::u16string CutText(std::u16string_view text, size_t max_length) {
    std::u16string cut(text.substr(0, max_length));
    if (!cut.empty() && cut.back() >= 0xD800 && cut.back() <= 0xDBFF) {
        cut.pop_back();
    }
    return cut;
}

// The number at the start of text by strtol's rules with a 32-bit long:
// leading blanks, a sign, decimal digits up to the first other character; no
// digits give 0, a value out of range the nearest limit.
int32_t ParseCount(std::u16string_view text) {
    const std::string narrow = platform::Utf16ToUtf8(text);
    const long long value = std::strtoll(narrow.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

std::u16string ReadValue(const IniStore& ini, const char16_t* key) {
    char16_t value[kMaxDeviceNameLength + 1] = {};
    const uint32_t length =
        ini.GetString(kDeviceSection, key, value, kMaxDeviceNameLength + 1, u"");
    return CutText(std::u16string_view(value, std::min<size_t>(length, kMaxDeviceNameLength)),
                   kMaxDeviceNameLength);
}

std::u16string DeviceKey(int index) {
    char key[16];
    std::snprintf(key, sizeof key, "Dev%02d", index);
    return platform::Utf8ToUtf16(key);
}

} // namespace

DeviceFamily DeviceFamilyOf(std::u16string_view name) {
    if (StartsWithTag(name, kQ5Tag)) {
        return DeviceFamily::kQ5;
    }
    if (StartsWithTag(name, kRVXTag)) {
        return DeviceFamily::kRVX;
    }
    return DeviceFamily::kNone;
}

std::u16string DeviceMenuLabel(std::u16string_view name) {
    switch (DeviceFamilyOf(name)) {
    case DeviceFamily::kQ5:
        name.remove_prefix(kQ5Tag.size());
        break;
    case DeviceFamily::kRVX:
        name.remove_prefix(kRVXTag.size());
        break;
    case DeviceFamily::kNone:
        break;
    }
    return CutText(name, kMaxDeviceLabelLength);
}

std::u16string DeviceCataloguePath() {
    return platform::Utf8ToUtf16(platform::DataFolder()) + kDeviceCatalogueFile;
}

std::vector<std::u16string> ReadDeviceCatalogue(const std::u16string& ini_path) {
    const IniStore ini(ini_path.c_str());
    const int32_t count = ParseCount(ReadValue(ini, kDeviceCountKey));
    if (count < 1) {
        return {kDefaultDeviceName};
    }
    std::vector<std::u16string> catalogue;
    const int keys = std::min<int32_t>(count, kMaxDeviceKeys);
    for (int i = 1; i <= keys; ++i) {
        std::u16string name = ReadValue(ini, DeviceKey(i).c_str());
        if (!name.empty() && DeviceFamilyOf(name) != DeviceFamily::kNone) {
            catalogue.push_back(std::move(name));
        }
    }
    return catalogue;
}

std::vector<std::u16string> ReadDeviceCatalogue() {
    return ReadDeviceCatalogue(DeviceCataloguePath());
}
