#include "lng_file.h"

#include <fstream>
#include <sys/stat.h>

namespace lang {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char ca = a[i], cb = b[i];
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char next = s[i + 1];
            if (next == 't' || next == 'n' || next == '\\') {
                out.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : '\\');
                ++i;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// "P" followed by dot-separated positions: "P0", "P1.3".
bool IsPositionPath(std::string_view key) {
    if (key.size() < 2 || key[0] != 'P')
        return false;
    key.remove_prefix(1);
    size_t start = 0;
    while (start <= key.size()) {
        const size_t dot = key.find('.', start);
        const std::string_view part =
            key.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        uint32_t unused = 0;
        if (!ParseId(part, &unused))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
    return false;
}

enum class Section { None, Language, Strings, Keys, Menu, Dialog };

} // namespace

bool ParseId(std::string_view text, uint32_t* id) {
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFull)
        return false;
    *id = static_cast<uint32_t>(value);
    return true;
}

bool DecodeUtf8(std::string_view utf8, std::u16string* out) {
    out->clear();
    out->reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0;
        size_t len = 0;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1Fu;
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0Fu;
            len = 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07u;
            len = 4;
        } else {
            return false;
        }
        if (i + len > utf8.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0u) != 0x80u)
                return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FFu)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return true;
}

bool ParseLng(std::string_view bytes, LngFile* out) {
    *out = LngFile{};
    if (bytes.size() > kMaxLngFileBytes)
        return false;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);

    Section section = Section::None;
    uint32_t resource_id = 0;
    while (!bytes.empty()) {
        const size_t eol = bytes.find('\n');
        const std::string_view raw = bytes.substr(0, eol);
        bytes.remove_prefix(eol == std::string_view::npos ? bytes.size() : eol + 1);

        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            // Any header ends the previous section, even one we do not know,
            // so its lines are not taken for another section's.
            section = Section::None;
            if (line.back() != ']')
                continue;
            const std::string_view name = Trim(line.substr(1, line.size() - 2));
            if (EqualsNoCase(name, "Language"))
                section = Section::Language;
            else if (EqualsNoCase(name, "Strings"))
                section = Section::Strings;
            else if (EqualsNoCase(name, "Keys"))
                section = Section::Keys;
            else if (StartsWithNoCase(name, "Menu") && ParseId(name.substr(4), &resource_id))
                section = Section::Menu;
            else if (StartsWithNoCase(name, "Dialog") && ParseId(name.substr(6), &resource_id))
                section = Section::Dialog;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || section == Section::None)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        std::u16string text;
        if (key.empty() || !DecodeUtf8(Unescape(Trim(line.substr(eq + 1))), &text))
            continue;

        uint32_t id = 0;
        switch (section) {
        case Section::Language:
            if (EqualsNoCase(key, "Name"))
                out->name = text;
            break;
        case Section::Strings:
            if (ParseId(key, &id))
                out->strings[id] = std::move(text);
            break;
        case Section::Keys:
            out->keys[std::string(key)] = std::move(text);
            break;
        case Section::Menu:
            if (ParseId(key, &id) || IsPositionPath(key))
                out->menus[resource_id][std::string(key)] = std::move(text);
            break;
        case Section::Dialog:
            if (ParseId(key, &id))
                out->dialogs[resource_id][id] = std::move(text);
            break;
        case Section::None:
            break;
        }
    }
    return !out->name.empty();
}

bool LoadLng(const std::string& path, LngFile* out) {
    *out = LngFile{};
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxLngFileBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    // Bounded read: the file may have grown since stat.
    char buffer[8192];
    while (in && bytes.size() <= kMaxLngFileBytes) {
        in.read(buffer, sizeof buffer);
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
        return false;
    return ParseLng(bytes, out);
}

} // namespace lang
