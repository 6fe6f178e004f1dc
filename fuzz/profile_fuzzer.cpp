// The INI reader and writer (platform/profile) on any bytes: UTF-8 with or
// without byte-order mark, UTF-16LE and UTF-16BE. The input is the file.
//
// Invariants: an unedited document gives back exactly its bytes; every listed
// section and key is found again; a value that was set reads back, also after
// the edited bytes are parsed anew; an edit never breaks the bytes of a file
// that is parsed again.
#include "fuzz_support.h"
#include "platform/profile.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::ProfileDocument;

// Lists are cut to this many names: enough to reach every kind of line,
// while a file of many thousand sections stays fast.
constexpr size_t kMaxNames = 32;

constexpr std::u16string_view kAddedSection = u"FuzzAddedSection";
constexpr std::u16string_view kAddedKey = u"Key";

// Names compared as the reader compares ASCII names: without case.
bool SameName(std::u16string_view a, std::u16string_view b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

// What a value reads back as when it was written verbatim: the blanks around
// it trimmed and one pair of matching quotes removed.
std::u16string AsRead(std::u16string_view value) {
    while (!value.empty() && IsBlank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && IsBlank(value.back())) {
        value.remove_suffix(1);
    }
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::u16string(value);
}

ProfileDocument Reparse(const ProfileDocument& doc) {
    std::string bytes = doc.Bytes();
    return ProfileDocument::Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Sets section/key to value where allowed and checks that it reads back.
void SetAndCheck(ProfileDocument& doc, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value) {
    if (!doc.Set(section, key, value)) {
        return;
    }
    std::u16string expected = AsRead(value);
    FUZZ_CHECK(doc.Get(section, key) == expected);
    FUZZ_CHECK(Reparse(doc).Get(section, key) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProfileDocument doc = ProfileDocument::Parse(data, size);
    FUZZ_CHECK(doc.Bytes() == std::string(reinterpret_cast<const char*>(data), size));

    std::vector<std::u16string> sections = doc.SectionNames();
    sections.resize(std::min(sections.size(), kMaxNames));
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    for (const std::u16string& section : sections) {
        std::optional<std::vector<std::u16string>> keys = doc.KeyNames(section);
        FUZZ_CHECK(keys.has_value());
        for (size_t k = 0; k < keys->size() && k < kMaxNames; ++k) {
            const std::u16string& key = (*keys)[k];
            std::optional<std::u16string> value = doc.Get(section, key);
            // An empty name is listed but cannot be asked for.
            FUZZ_CHECK(value.has_value() || key.empty());
            if (value) {
                pairs.emplace_back(section, key);
            }
        }
    }

    // Edits: a value in place, a new key in an existing section, a new
    // section, deletions; each checked against a fresh parse. A name taken
    // from the file serves as a value too.
    std::u16string value = pairs.empty() ? u"'quoted'" : pairs.front().second;
    if (!pairs.empty()) {
        SetAndCheck(doc, pairs.back().first, pairs.back().second, value);
    }
    if (!sections.empty()) {
        SetAndCheck(doc, sections.front(), u"FuzzAddedKey", u" 42 ");
    }
    SetAndCheck(doc, kAddedSection, kAddedKey, value);
    bool added_kept = true;
    if (pairs.size() > 1) {
        // Names read from a file never hold a line break or NUL.
        FUZZ_CHECK(doc.DeleteKey(pairs[1].first, pairs[1].second));
        added_kept =
            !(SameName(pairs[1].first, kAddedSection) && SameName(pairs[1].second, kAddedKey));
    }
    if (sections.size() > 1) {
        FUZZ_CHECK(doc.DeleteSection(sections[1]));
        added_kept = added_kept && !SameName(sections[1], kAddedSection);
    }
    ProfileDocument again = Reparse(doc);
    FUZZ_CHECK(again.Bytes() == doc.Bytes());
    if (added_kept) {
        FUZZ_CHECK(again.Get(kAddedSection, kAddedKey) == AsRead(value));
    }
    return 0;
}
