// The language file parser (.lng) on any bytes. The input is the file.
//
// Invariants: a file is accepted exactly when it names its language; every
// text is well-formed UTF-16; menu keys are ids or position paths. The strict
// UTF-8 decoder agrees with the program's lenient one (platform/system) on
// every input it accepts, and the lenient one never gives a broken surrogate
// pair.
#include "fuzz_support.h"
#include "lng_file.h"
#include "platform/system.h"

#include <string>
#include <string_view>

namespace {

bool IsMenuKey(const std::string& key) {
    uint32_t id = 0;
    if (lang::ParseId(key, &id)) {
        return true;
    }
    if (key.size() < 2 || key[0] != 'P' || key.back() == '.') {
        return false;
    }
    for (size_t i = 1; i < key.size(); ++i) {
        bool digit = key[i] >= '0' && key[i] <= '9';
        bool dot = key[i] == '.' && key[i - 1] != '.' && i > 1;
        if (!digit && !dot) {
            return false;
        }
    }
    return true;
}

void CheckUtf8Decoders(std::string_view bytes) {
    std::u16string strict;
    std::u16string lenient = platform::Utf8ToUtf16(bytes);
    FUZZ_CHECK(fuzz::IsWellFormedUtf16(lenient));
    if (lang::DecodeUtf8(bytes, &strict)) {
        FUZZ_CHECK(strict == lenient);
        FUZZ_CHECK(platform::Utf16ToUtf8(strict) == bytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    lang::LngFile file;
    bool accepted = lang::ParseLng(bytes, &file);
    FUZZ_CHECK(accepted == !file.name.empty());
    FUZZ_CHECK(fuzz::IsWellFormedUtf16(file.name));
    for (const auto& [id, text] : file.strings) {
        FUZZ_CHECK(fuzz::IsWellFormedUtf16(text));
    }
    for (const auto& [key, text] : file.keys) {
        FUZZ_CHECK(!key.empty() && fuzz::IsWellFormedUtf16(text));
    }
    for (const auto& [menu, items] : file.menus) {
        for (const auto& [key, text] : items) {
            FUZZ_CHECK(IsMenuKey(key) && fuzz::IsWellFormedUtf16(text));
        }
    }
    for (const auto& [dialog, controls] : file.dialogs) {
        for (const auto& [control, text] : controls) {
            FUZZ_CHECK(fuzz::IsWellFormedUtf16(text));
        }
    }
    CheckUtf8Decoders(bytes);
    return 0;
}
