// Reading one language file. The format is UTF-8 text (an optional byte-order
// mark), INI-like:
//
//   ; comment            (also '#')
//   [Language]
//   Name=Deutsch         the name the Language menu shows; required
//   [Strings]
//   117=LUMIVUE DEMO     string table texts by decimal id
//   [Keys]
//   2=Bild               texts by key (any key)
//   [Menu128]
//   P0=&Datei            submenu by position path
//   32774=&Abspielen\tStrg+P   item by command id
//   [Dialog132]
//   0=Einstellungen      dialog title
//   1001=Pfad:           control by control id
//
// Values may use \t, \n and \\ escapes; any other backslash stays as it is.
// Blanks around keys and values are trimmed. Lines that are not understood
// (no '=', bad id, invalid UTF-8, unknown section) are skipped. Qt-free, so
// the parser builds and is tested in every configuration.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace lang {

// Files above this size are not language files (kLangMaxFileBytes of the
// library's interface).
inline constexpr size_t kMaxLngFileBytes = 4u * 1024u * 1024u;

struct LngFile {
    std::u16string name;
    std::map<uint32_t, std::u16string> strings;
    std::map<std::string, std::u16string> keys;
    // menu resource id -> item key ("32774", "P0.3") -> text
    std::map<uint32_t, std::map<std::string, std::u16string>> menus;
    // dialog resource id -> control id -> text
    std::map<uint32_t, std::map<uint32_t, std::u16string>> dialogs;
};

// Parses bytes into *out (cleared first). True when the text is a language
// file: it names its language in [Language] Name.
bool ParseLng(std::string_view bytes, LngFile* out);

// Reads and parses the file at path (UTF-8). False for a missing, unreadable
// or oversized file, or one that ParseLng rejects.
bool LoadLng(const std::string& path, LngFile* out);

// Decimal number of at most ten digits that fits 32 bits; nothing else.
bool ParseId(std::string_view text, uint32_t* id);

// Strict UTF-8 to UTF-16; false for invalid or overlong sequences and
// surrogate code points.
bool DecodeUtf8(std::string_view utf8, std::u16string* out);

} // namespace lang
