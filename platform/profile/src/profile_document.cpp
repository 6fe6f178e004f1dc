// The INI text is kept as its original code units (bytes for UTF-8, 16-bit
// units for UTF-16) and scanned line by line on every query. Nothing is
// decoded except the names and values a query looks at, so bytes that are
// not valid UTF-8 survive an edit untouched, and a file of millions of lines
// costs no per-line index memory.
#include "platform/profile.h"

#include "platform/system.h"

#include <unordered_set>
#include <utility>

namespace platform {
namespace {

template <typename Unit>
using Text = std::basic_string<Unit>;
template <typename Unit>
using View = std::basic_string_view<Unit>;

char32_t Code(char c) {
    return static_cast<unsigned char>(c);
}
char32_t Code(char16_t c) {
    return c;
}

// Win32 trims spaces and tabs; vertical tab and form feed are trimmed too so
// that stray control characters around a name do not hide the key.
bool IsBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::u16string ToUtf16(std::string_view s) {
    return Utf8ToUtf16(s);
}
std::u16string ToUtf16(std::u16string_view s) {
    return std::u16string(s);
}

template <typename Unit>
Text<Unit> FromUtf16(std::u16string_view s);
template <>
std::string FromUtf16<char>(std::u16string_view s) {
    return Utf16ToUtf8(s);
}
template <>
std::u16string FromUtf16<char16_t>(std::u16string_view s) {
    return std::u16string(s);
}

template <typename Unit>
Text<Unit> Ascii(const char* s) {
    Text<Unit> out;
    for (; *s; ++s) {
        out.push_back(static_cast<Unit>(*s));
    }
    return out;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

void CutAtNul(std::u16string& s) {
    size_t nul = s.find(u'\0');
    if (nul != std::u16string::npos) {
        s.resize(nul);
    }
}

// Simple case folding for the scripts a settings name is likely to use:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t FoldCase(char16_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<char16_t>(c + 32);
    }
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x178) {
            return 0xFF;
        }
        bool pairs_from_even = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        bool pairs_from_odd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((pairs_from_even && c % 2 == 0) || (pairs_from_odd && c % 2 == 1)) {
            return static_cast<char16_t>(c + 1);
        }
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) {
        return static_cast<char16_t>(c + 32);
    }
    if (c >= 0x410 && c <= 0x42F) {
        return static_cast<char16_t>(c + 32);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<char16_t>(c + 80);
    }
    return c;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

std::u16string Folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        c = FoldCase(c);
    }
    return out;
}

bool HasLineBreakOrNul(std::u16string_view s) {
    return s.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}

// A key that could not be read back as the same key is refused.
bool ValidKey(std::u16string_view key) {
    return !key.empty() && !HasLineBreakOrNul(key) && key.find(u'=') == std::u16string_view::npos &&
           key.front() != u'[' && key.front() != u';';
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// Offsets are code-unit positions in the text. content_end excludes the line
// ending; end includes it. For a section, name is inside the brackets; for a
// key, name is left of the first '=' and value right of it, both trimmed.
struct Line {
    size_t begin = 0;
    size_t content_end = 0;
    size_t end = 0;
    LineKind kind = LineKind::Blank;
    size_t name_begin = 0;
    size_t name_end = 0;
    size_t value_begin = 0;
    size_t value_end = 0;

    bool HasEnding() const { return end > content_end; }
};

template <typename Unit>
void Classify(View<Unit> text, Line& line) {
    size_t s = line.begin;
    size_t e = line.content_end;
    while (s < e && IsBlank(Code(text[s]))) {
        ++s;
    }
    if (s == e) {
        line.kind = LineKind::Blank;
        return;
    }
    auto trim_end = [&](size_t from, size_t to) {
        while (to > from && IsBlank(Code(text[to - 1]))) {
            --to;
        }
        return to;
    };
    auto trim_begin = [&](size_t from, size_t to) {
        while (from < to && IsBlank(Code(text[from]))) {
            ++from;
        }
        return from;
    };
    char32_t first = Code(text[s]);
    if (first == ';') {
        line.kind = LineKind::Comment;
        return;
    }
    if (first == '[') {
        // The last ']' closes the name, so a name may itself contain ']'.
        for (size_t k = e; k > s + 1; --k) {
            if (Code(text[k - 1]) == ']') {
                line.kind = LineKind::Section;
                line.name_begin = trim_begin(s + 1, k - 1);
                line.name_end = trim_end(line.name_begin, k - 1);
                return;
            }
        }
    }
    for (size_t k = s; k < e; ++k) {
        if (Code(text[k]) == '=') {
            line.kind = LineKind::Key;
            line.name_begin = s;
            line.name_end = trim_end(s, k);
            line.value_begin = trim_begin(k + 1, e);
            line.value_end = trim_end(line.value_begin, e);
            return;
        }
    }
    line.kind = LineKind::Other;
}

// Splits the text into lines ending in "\r\n", "\n" or a lone "\r"; the last
// line may have no ending.
template <typename Unit>
class LineScanner {
public:
    explicit LineScanner(View<Unit> text) : text_(text) {}

    bool Next(Line& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        line = Line{};
        line.begin = pos_;
        size_t e = pos_;
        while (e < text_.size() && Code(text_[e]) != '\r' && Code(text_[e]) != '\n') {
            ++e;
        }
        line.content_end = e;
        if (e < text_.size()) {
            bool crlf =
                Code(text_[e]) == '\r' && e + 1 < text_.size() && Code(text_[e + 1]) == '\n';
            e += crlf ? 2 : 1;
        }
        line.end = e;
        pos_ = e;
        Classify(text_, line);
        return true;
    }

private:
    View<Unit> text_;
    size_t pos_ = 0;
};

// A name cut at a NUL loses the blanks before the NUL too, so that a listed
// name is found again by a query, which is trimmed.
template <typename Unit>
std::u16string NameOf(View<Unit> text, const Line& line) {
    std::u16string name = ToUtf16(text.substr(line.name_begin, line.name_end - line.name_begin));
    CutAtNul(name);
    name = std::u16string(Trim(name));
    return name;
}

template <typename Unit>
std::u16string ValueOf(View<Unit> text, const Line& line) {
    size_t b = line.value_begin;
    size_t e = line.value_end;
    if (e - b >= 2) {
        char32_t open = Code(text[b]);
        if ((open == '"' || open == '\'') && Code(text[e - 1]) == open) {
            ++b;
            --e;
        }
    }
    std::u16string value = ToUtf16(text.substr(b, e - b));
    CutAtNul(value);
    return value;
}

// Where a section lies: its header, where its body ends (the next header or
// the end of the text), its last key line and the first line of key.
struct SectionSpan {
    Line header;
    size_t body_end = 0;
    std::optional<Line> last_key;
    std::optional<Line> key;
};

template <typename Unit>
std::optional<SectionSpan> Locate(View<Unit> text, std::u16string_view section,
                                  std::u16string_view key) {
    LineScanner<Unit> scanner(text);
    Line line;
    bool found = false;
    while (!found && scanner.Next(line)) {
        found = line.kind == LineKind::Section && NamesEqual(NameOf(text, line), section);
    }
    if (!found) {
        return std::nullopt;
    }
    SectionSpan span;
    span.header = line;
    span.body_end = text.size();
    while (scanner.Next(line)) {
        if (line.kind == LineKind::Section) {
            span.body_end = line.begin;
            break;
        }
        if (line.kind == LineKind::Key) {
            span.last_key = line;
            if (!span.key && !key.empty() && NamesEqual(NameOf(text, line), key)) {
                span.key = line;
            }
        }
    }
    return span;
}

// The line ending this file already uses (its first one), else fallback.
template <typename Unit>
Text<Unit> LineEnding(View<Unit> text, const char* fallback) {
    LineScanner<Unit> scanner(text);
    Line line;
    while (scanner.Next(line)) {
        if (line.HasEnding()) {
            return Text<Unit>(text.substr(line.content_end, line.end - line.content_end));
        }
    }
    return Ascii<Unit>(fallback);
}

template <typename Unit>
void SetValue(Text<Unit>& text, std::u16string_view section, std::u16string_view key,
              std::u16string_view value, const char* fallback_ending) {
    View<Unit> view(text);
    Text<Unit> eol = LineEnding(view, fallback_ending);
    Text<Unit> key_line = FromUtf16<Unit>(key) + Ascii<Unit>("=") + FromUtf16<Unit>(value) + eol;
    bool ends_open = !text.empty() && Code(text.back()) != '\n' && Code(text.back()) != '\r';

    std::optional<SectionSpan> span = Locate(view, section, key);
    if (!span) {
        Text<Unit> add = ends_open ? eol : Text<Unit>();
        add += Ascii<Unit>("[") + FromUtf16<Unit>(section) + Ascii<Unit>("]") + eol + key_line;
        text += add;
        return;
    }
    if (span->key) {
        const Line& line = *span->key;
        text.replace(line.value_begin, line.value_end - line.value_begin, FromUtf16<Unit>(value));
        return;
    }
    const Line& after = span->last_key ? *span->last_key : span->header;
    // Only the file's last line can lack an ending; give it the file's own.
    Text<Unit> add = after.HasEnding() ? Text<Unit>() : eol;
    add += key_line;
    text.insert(after.end, add);
}

template <typename Unit>
void EraseKey(Text<Unit>& text, std::u16string_view section, std::u16string_view key) {
    std::optional<SectionSpan> span = Locate(View<Unit>(text), section, key);
    if (span && span->key) {
        text.erase(span->key->begin, span->key->end - span->key->begin);
    }
}

template <typename Unit>
void EraseSection(Text<Unit>& text, std::u16string_view section) {
    std::optional<SectionSpan> span = Locate(View<Unit>(text), section, {});
    if (span) {
        text.erase(span->header.begin, span->body_end - span->header.begin);
    }
}

template <typename Unit>
std::vector<std::u16string> ListSections(View<Unit> text) {
    std::vector<std::u16string> names;
    std::unordered_set<std::u16string> seen;
    LineScanner<Unit> scanner(text);
    Line line;
    while (scanner.Next(line)) {
        if (line.kind == LineKind::Section) {
            std::u16string name = NameOf(text, line);
            if (seen.insert(Folded(name)).second) {
                names.push_back(std::move(name));
            }
        }
    }
    return names;
}

template <typename Unit>
std::optional<std::vector<std::u16string>> ListKeys(View<Unit> text, std::u16string_view section) {
    std::optional<SectionSpan> span = Locate(text, section, {});
    if (!span) {
        return std::nullopt;
    }
    std::vector<std::u16string> names;
    std::unordered_set<std::u16string> seen;
    LineScanner<Unit> scanner(text.substr(0, span->body_end));
    Line line;
    while (scanner.Next(line)) {
        if (line.begin > span->header.begin && line.kind == LineKind::Key) {
            std::u16string name = NameOf(text, line);
            if (seen.insert(Folded(name)).second) {
                names.push_back(std::move(name));
            }
        }
    }
    return names;
}

} // namespace

struct ProfileDocument::Impl {
    ProfileEncoding encoding = ProfileEncoding::Utf8;
    std::string bom;      // the byte-order mark as found, written back unchanged
    std::string utf8;     // the text of a UTF-8 file
    std::u16string utf16; // the text of a UTF-16 file, in native byte order
    std::string odd_byte; // a UTF-16 file of odd length keeps its stray last byte

    // Calls f with the text in its own code units.
    template <typename F>
    decltype(auto) WithText(F&& f) {
        if (encoding == ProfileEncoding::Utf8) {
            return f(utf8);
        }
        return f(utf16);
    }
    template <typename F>
    decltype(auto) WithView(F&& f) const {
        if (encoding == ProfileEncoding::Utf8) {
            return f(std::string_view(utf8));
        }
        return f(std::u16string_view(utf16));
    }
    // Files written on Windows in UTF-16 use CRLF; our own new files use LF.
    const char* FallbackEnding() const { return encoding == ProfileEncoding::Utf8 ? "\n" : "\r\n"; }
};

ProfileDocument::ProfileDocument() : impl_(std::make_unique<Impl>()) {}
ProfileDocument::~ProfileDocument() = default;
ProfileDocument::ProfileDocument(ProfileDocument&&) noexcept = default;
ProfileDocument& ProfileDocument::operator=(ProfileDocument&&) noexcept = default;

ProfileDocument ProfileDocument::Parse(const uint8_t* data, size_t size) {
    ProfileDocument doc;
    Impl& d = *doc.impl_;
    if (data == nullptr) {
        return doc;
    }
    bool le = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    bool be = size >= 2 && data[0] == 0xFE && data[1] == 0xFF;
    if (le || be) {
        d.encoding = le ? ProfileEncoding::Utf16Le : ProfileEncoding::Utf16Be;
        d.bom.assign(reinterpret_cast<const char*>(data), 2);
        size_t units = (size - 2) / 2;
        d.utf16.resize(units);
        for (size_t i = 0; i < units; ++i) {
            uint8_t a = data[2 + 2 * i];
            uint8_t b = data[3 + 2 * i];
            d.utf16[i] =
                le ? static_cast<char16_t>(a | (b << 8)) : static_cast<char16_t>(b | (a << 8));
        }
        if ((size - 2) % 2 != 0) {
            d.odd_byte.assign(1, static_cast<char>(data[size - 1]));
        }
        return doc;
    }
    size_t skip = (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) ? 3 : 0;
    d.bom.assign(reinterpret_cast<const char*>(data), skip);
    d.utf8.assign(reinterpret_cast<const char*>(data) + skip, size - skip);
    return doc;
}

ProfileEncoding ProfileDocument::Encoding() const {
    return impl_->encoding;
}

std::string ProfileDocument::Bytes() const {
    const Impl& d = *impl_;
    std::string out = d.bom;
    if (d.encoding == ProfileEncoding::Utf8) {
        out += d.utf8;
    } else {
        bool le = d.encoding == ProfileEncoding::Utf16Le;
        out.reserve(out.size() + d.utf16.size() * 2 + 1);
        for (char16_t u : d.utf16) {
            char lo = static_cast<char>(u & 0xFF);
            char hi = static_cast<char>(u >> 8);
            out.push_back(le ? lo : hi);
            out.push_back(le ? hi : lo);
        }
    }
    out += d.odd_byte;
    return out;
}

std::optional<std::u16string> ProfileDocument::Get(std::u16string_view section,
                                                   std::u16string_view key) const {
    section = Trim(section);
    key = Trim(key);
    if (key.empty()) {
        return std::nullopt;
    }
    return impl_->WithView([&](auto text) -> std::optional<std::u16string> {
        auto span = Locate(text, section, key);
        if (!span || !span->key) {
            return std::nullopt;
        }
        return ValueOf(text, *span->key);
    });
}

std::vector<std::u16string> ProfileDocument::SectionNames() const {
    return impl_->WithView([](auto text) { return ListSections(text); });
}

std::optional<std::vector<std::u16string>>
ProfileDocument::KeyNames(std::u16string_view section) const {
    section = Trim(section);
    return impl_->WithView([&](auto text) { return ListKeys(text, section); });
}

bool ProfileDocument::Set(std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (HasLineBreakOrNul(section) || !ValidKey(key) || HasLineBreakOrNul(value)) {
        return false;
    }
    const char* fallback = impl_->FallbackEnding();
    impl_->WithText([&](auto& text) { SetValue(text, section, key, value, fallback); });
    return true;
}

bool ProfileDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
    section = Trim(section);
    key = Trim(key);
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key)) {
        return false;
    }
    if (!key.empty()) {
        impl_->WithText([&](auto& text) { EraseKey(text, section, key); });
    }
    return true;
}

bool ProfileDocument::DeleteSection(std::u16string_view section) {
    section = Trim(section);
    if (HasLineBreakOrNul(section)) {
        return false;
    }
    impl_->WithText([&](auto& text) { EraseSection(text, section); });
    return true;
}

} // namespace platform
