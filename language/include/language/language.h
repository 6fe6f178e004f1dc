// The localisation library: finds the program's language files (*.lng next to
// the program), keeps the chosen language, and translates Qt menus, dialogs
// and string-table texts into it.
//
// Conventions shared with the program:
//   - A menu item carries its command id as QAction::data() (an integer). A
//     submenu has no command id; it is named by its position path inside the
//     translated menu: "P2" is the third entry of the menu bar, "P0.3" the
//     fourth entry of the first submenu (separators count, as positions do).
//   - A dialog control carries its control id in the dynamic property
//     kLangControlIdProperty (an int); id 0 stands for the dialog's title.
//   - A submenu added after the files were written carries its own key
//     number in the dynamic property kLangPositionProperty (an int) and is
//     not counted: the menus after it keep the positions the files use.
//   - An item or control with the dynamic property kLangFixedProperty set to
//     true keeps its text (device names, file names).
//   - The first translation of an item or control remembers its original
//     (English, compiled-in) text in kLangDefaultProperty; a text missing from
//     the current language falls back to it, so no label is ever empty.
//
// All calls run on the user-interface thread. A context comes from LangInit
// and is released with LangFree; every other call accepts a null context and
// then does nothing but return false.
#pragma once

#include <cstddef>
#include <cstdint>

class QMenu;
class QWidget;

#if defined(_WIN32)
#define LANGUAGE_API __declspec(dllexport)
#else
#define LANGUAGE_API __attribute__((visibility("default")))
#endif

inline constexpr char kLangControlIdProperty[] = "tovekCtrlId";
inline constexpr char kLangFixedProperty[] = "tovekLangFixed";
inline constexpr char kLangPositionProperty[] = "tovekLangPosition";
inline constexpr char kLangDefaultProperty[] = "tovekLangDefault";

// One text of the program's compiled-in string table.
struct LangStringEntry {
    uint32_t id;
    const char16_t* text;
};

// What the program tells the library about itself (the module instance of the
// Windows program): its compiled-in string table, which is the English text
// and the fallback of every lookup, and the folder holding its language files.
struct LangModule {
    const LangStringEntry* strings; // may be null when string_count is 0
    size_t string_count;
    const char* lng_folder; // UTF-8, with or without a trailing '/'; null: the INI file's folder
};

// Language files above this size are not read: a stray file is never read
// whole into memory.
inline constexpr size_t kLangMaxFileBytes = 4u * 1024u * 1024u;

struct LangContext; // opaque; owned by the program between LangInit and LangFree
using HLANGCTX = LangContext*;

// True when at least one valid language file with extension ext (".lng")
// lies in the module's folder.
LANGUAGE_API bool LangFindFiles(const LangModule* module, const char16_t* ini_path,
                                const char16_t* ext);

// Creates the context in *ctx: lists the valid language files (English first,
// a compiled-in English when no English file is usable) and makes the
// language remembered in the INI file current (English when it is gone or
// broken). no_files skips the folder scan. Language menu items use command
// ids first_id to last_id. False (and *ctx null) only for bad arguments.
LANGUAGE_API bool LangInit(HLANGCTX* ctx, bool no_files, const LangModule* module,
                           const char16_t* ini_path, const char16_t* ext, uint32_t first_id,
                           uint32_t last_id);
LANGUAGE_API void LangFree(HLANGCTX ctx);

// Replaces the items of language_menu by one checkable item per language, ids
// from first_id, the current one checked; *item_count gets their number.
LANGUAGE_API bool LangFillMenu(HLANGCTX ctx, QMenu* language_menu, uint32_t* item_count);

// Makes the language of command_id current, remembers it in the INI file and
// moves the check mark among the language items found in menu (a QMenuBar or
// QMenu, searched with its submenus). False for an id that names no language.
LANGUAGE_API bool LangSelect(HLANGCTX ctx, QWidget* menu, uint32_t command_id);

// Replaces the texts of menu (a QMenuBar or QMenu) and its submenus with the
// current language's texts of menu resource menu_id. Language items keep
// their names.
LANGUAGE_API bool LangTranslateMenu(HLANGCTX ctx, QWidget* menu, uint32_t menu_id);

// Replaces the title and the control texts of dialog with the current
// language's texts of dialog resource dialog_id.
LANGUAGE_API bool LangTranslateDialog(HLANGCTX ctx, QWidget* dialog, uint32_t dialog_id);

// Copies the text of key (or default_text when the language has none) into
// out. *size is the capacity of out in characters on entry and the number of
// characters copied (without the terminator) on return; longer texts are cut.
LANGUAGE_API bool LangGetTextByKey(HLANGCTX ctx, char16_t* out, uint32_t* size, const char* key,
                                   const char16_t* default_text);

// Copies the text of string id (the current language's, else the module's
// string table) into out, with *size as above. False, with an empty out, for
// an id known to neither.
LANGUAGE_API bool LangGetText(HLANGCTX ctx, char16_t* out, uint32_t* size, uint32_t string_id);

// Name of the current language as its Language menu item shows it, and the
// number of languages; for the program's own display and for tests.
LANGUAGE_API bool LangCurrentName(HLANGCTX ctx, char16_t* out, uint32_t* size);
LANGUAGE_API uint32_t LangCurrentCommandId(HLANGCTX ctx);
