#include "language/language.h"

#include "lng_file.h"
#include "platform/profile.h"
#include "platform/system.h"

#include <QAction>
#include <QMenu>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Where the chosen language is remembered: the file name, "" for the
// compiled-in English.
constexpr char16_t kIniSection[] = u"TovekCamera";
constexpr char16_t kIniKey[] = u"Language";
constexpr char16_t kEnglishName[] = u"English";

struct Language {
    std::string file_name; // "German.lng"; empty for the compiled-in English
    lang::LngFile texts;
};

QString ToQString(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

std::string LngFolder(const LangModule* module, const char16_t* ini_path) {
    std::string folder;
    if (module != nullptr && module->lng_folder != nullptr) {
        folder = module->lng_folder;
    } else if (ini_path != nullptr) {
        folder = platform::Utf16ToUtf8(ini_path);
        const size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    }
    if (folder.empty())
        folder = ".";
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

// File names in folder ending in ext, sorted so the menu order is stable.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& ext) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() > ext.size() && EndsWithNoCase(name, ext))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Copies text into out, cut to the capacity in *size; *size gets the length.
void CopyOut(const std::u16string& text, char16_t* out, uint32_t* size) {
    if (out == nullptr || size == nullptr || *size == 0) {
        if (size != nullptr)
            *size = 0;
        return;
    }
    const size_t n = std::min<size_t>(text.size(), *size - 1);
    std::copy_n(text.data(), n, out);
    out[n] = u'\0';
    *size = static_cast<uint32_t>(n);
}

} // namespace

struct LangContext {
    const LangModule* module = nullptr;
    std::u16string ini_path;
    uint32_t first_id = 0;
    uint32_t last_id = 0;
    std::vector<Language> languages; // English first
    size_t current = 0;

    const lang::LngFile& Current() const { return languages[current].texts; }
    bool IsLanguageId(uint32_t id) const { return id >= first_id && id <= last_id; }
    uint32_t CommandId(size_t index) const { return first_id + static_cast<uint32_t>(index); }
};

namespace {

const char16_t* ModuleString(const LangModule* module, uint32_t id) {
    if (module == nullptr || module->strings == nullptr)
        return nullptr;
    for (size_t i = 0; i < module->string_count; ++i) {
        if (module->strings[i].id == id)
            return module->strings[i].text;
    }
    return nullptr;
}

// The first translation remembers the original text; later ones start from it.
QString DefaultText(QObject* object, const QString& current) {
    const QVariant stored = object->property(kLangDefaultProperty);
    if (stored.isValid())
        return stored.toString();
    object->setProperty(kLangDefaultProperty, current);
    return current;
}

void TranslateActions(const LangContext& ctx, const QList<QAction*>& actions,
                      const std::map<std::string, std::u16string>* texts, const std::string& path) {
    int position = 0;
    for (QAction* action : actions) {
        bool own = false;
        const int own_position = action->property(kLangPositionProperty).toInt(&own);
        const std::string item_path = path + std::to_string(own ? own_position : position++);
        if (action->isSeparator() || action->property(kLangFixedProperty).toBool())
            continue;
        std::string key;
        if (action->menu() != nullptr) {
            key = "P" + item_path;
        } else {
            bool ok = false;
            const uint32_t id = action->data().toUInt(&ok);
            if (!ok || id == 0 || ctx.IsLanguageId(id))
                continue;
            key = std::to_string(id);
        }
        const QString fallback = DefaultText(action, action->text());
        const std::u16string* translated = nullptr;
        if (texts != nullptr) {
            const auto found = texts->find(key);
            if (found != texts->end())
                translated = &found->second;
        }
        action->setText(translated != nullptr ? ToQString(*translated) : fallback);
        if (QMenu* sub = action->menu())
            TranslateActions(ctx, sub->actions(), texts, item_path + ".");
    }
}

void MarkCurrent(const LangContext& ctx, const QList<QAction*>& actions, uint32_t id) {
    for (QAction* action : actions) {
        if (QMenu* sub = action->menu()) {
            MarkCurrent(ctx, sub->actions(), id);
            continue;
        }
        bool ok = false;
        const uint32_t item = action->data().toUInt(&ok);
        if (ok && ctx.IsLanguageId(item)) {
            action->setCheckable(true);
            action->setChecked(item == id);
        }
    }
}

} // namespace

static_assert(kLangMaxFileBytes == lang::kMaxLngFileBytes);

bool LangFindFiles(const LangModule* module, const char16_t* ini_path, const char16_t* ext) {
    if (ext == nullptr)
        return false;
    const std::string folder = LngFolder(module, ini_path);
    lang::LngFile unused;
    for (const std::string& name : ListFiles(folder, platform::Utf16ToUtf8(ext))) {
        if (lang::LoadLng(folder + name, &unused))
            return true;
    }
    return false;
}

bool LangInit(HLANGCTX* ctx, bool no_files, const LangModule* module, const char16_t* ini_path,
              const char16_t* ext, uint32_t first_id, uint32_t last_id) {
    if (ctx == nullptr)
        return false;
    *ctx = nullptr;
    if (ext == nullptr || first_id == 0 || last_id < first_id)
        return false;

    auto context = std::make_unique<LangContext>();
    context->module = module;
    context->ini_path = ini_path != nullptr ? ini_path : u"";
    context->first_id = first_id;
    context->last_id = last_id;

    std::vector<Language> found;
    if (!no_files) {
        const std::string folder = LngFolder(module, ini_path);
        for (const std::string& name : ListFiles(folder, platform::Utf16ToUtf8(ext))) {
            Language language;
            language.file_name = name;
            if (lang::LoadLng(folder + name, &language.texts))
                found.push_back(std::move(language));
        }
    }
    // English leads the list; without a usable English file the compiled-in
    // texts stand in for it.
    const auto english = std::find_if(
        found.begin(), found.end(), [](const Language& l) { return l.texts.name == kEnglishName; });
    if (english != found.end()) {
        context->languages.push_back(std::move(*english));
        found.erase(english);
    } else {
        Language builtin;
        builtin.texts.name = kEnglishName;
        context->languages.push_back(std::move(builtin));
    }
    const size_t room = static_cast<size_t>(last_id - first_id) + 1;
    for (Language& language : found) {
        if (context->languages.size() >= room)
            break;
        context->languages.push_back(std::move(language));
    }

    if (ini_path != nullptr) {
        char16_t chosen[260] = {};
        platform::GetPrivateProfileStringW(kIniSection, kIniKey, u"", chosen, 260, ini_path);
        const std::string chosen_name = platform::Utf16ToUtf8(chosen);
        for (size_t i = 0; i < context->languages.size() && !chosen_name.empty(); ++i) {
            if (context->languages[i].file_name == chosen_name)
                context->current = i;
        }
    }
    *ctx = context.release();
    return true;
}

void LangFree(HLANGCTX ctx) {
    delete ctx;
}

bool LangFillMenu(HLANGCTX ctx, QMenu* language_menu, uint32_t* item_count) {
    if (ctx == nullptr || language_menu == nullptr)
        return false;
    language_menu->clear();
    for (size_t i = 0; i < ctx->languages.size(); ++i) {
        QAction* item = language_menu->addAction(ToQString(ctx->languages[i].texts.name));
        item->setData(ctx->CommandId(i));
        item->setCheckable(true);
        item->setChecked(i == ctx->current);
    }
    if (item_count != nullptr)
        *item_count = static_cast<uint32_t>(ctx->languages.size());
    return true;
}

bool LangSelect(HLANGCTX ctx, QWidget* menu, uint32_t command_id) {
    if (ctx == nullptr || !ctx->IsLanguageId(command_id) ||
        command_id - ctx->first_id >= ctx->languages.size())
        return false;
    ctx->current = command_id - ctx->first_id;
    if (!ctx->ini_path.empty()) {
        const std::u16string value = platform::Utf8ToUtf16(ctx->languages[ctx->current].file_name);
        platform::WritePrivateProfileStringW(kIniSection, kIniKey, value.c_str(),
                                             ctx->ini_path.c_str());
    }
    if (menu != nullptr)
        MarkCurrent(*ctx, menu->actions(), command_id);
    return true;
}

bool LangTranslateMenu(HLANGCTX ctx, QWidget* menu, uint32_t menu_id) {
    if (ctx == nullptr || menu == nullptr)
        return false;
    const auto& menus = ctx->Current().menus;
    const auto found = menus.find(menu_id);
    TranslateActions(*ctx, menu->actions(), found != menus.end() ? &found->second : nullptr, "");
    return true;
}

bool LangTranslateDialog(HLANGCTX ctx, QWidget* dialog, uint32_t dialog_id) {
    if (ctx == nullptr || dialog == nullptr)
        return false;
    const auto& dialogs = ctx->Current().dialogs;
    const auto found = dialogs.find(dialog_id);
    const std::map<uint32_t, std::u16string>* texts =
        found != dialogs.end() ? &found->second : nullptr;
    auto text_of = [texts](uint32_t id, const QString& fallback) {
        if (texts != nullptr) {
            const auto it = texts->find(id);
            if (it != texts->end())
                return ToQString(it->second);
        }
        return fallback;
    };

    dialog->setWindowTitle(text_of(0, DefaultText(dialog, dialog->windowTitle())));
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
        bool ok = false;
        const uint32_t id = control->property(kLangControlIdProperty).toUInt(&ok);
        if (!ok || id == 0 || control->property(kLangFixedProperty).toBool())
            continue;
        // Buttons and labels show "text", group boxes "title".
        const char* property = control->metaObject()->indexOfProperty("text") >= 0    ? "text"
                               : control->metaObject()->indexOfProperty("title") >= 0 ? "title"
                                                                                      : nullptr;
        if (property == nullptr)
            continue;
        const QString fallback = DefaultText(control, control->property(property).toString());
        control->setProperty(property, text_of(id, fallback));
    }
    return true;
}

bool LangGetTextByKey(HLANGCTX ctx, char16_t* out, uint32_t* size, const char* key,
                      const char16_t* default_text) {
    if (ctx == nullptr || key == nullptr) {
        CopyOut(default_text != nullptr ? default_text : u"", out, size);
        return false;
    }
    const auto& keys = ctx->Current().keys;
    const auto found = keys.find(key);
    CopyOut(found != keys.end() ? found->second
                                : std::u16string(default_text != nullptr ? default_text : u""),
            out, size);
    return true;
}

bool LangGetText(HLANGCTX ctx, char16_t* out, uint32_t* size, uint32_t string_id) {
    if (ctx == nullptr) {
        CopyOut(u"", out, size);
        return false;
    }
    const auto& strings = ctx->Current().strings;
    const auto found = strings.find(string_id);
    if (found != strings.end()) {
        CopyOut(found->second, out, size);
        return true;
    }
    const char16_t* builtin = ModuleString(ctx->module, string_id);
    CopyOut(builtin != nullptr ? builtin : u"", out, size);
    return builtin != nullptr;
}

bool LangCurrentName(HLANGCTX ctx, char16_t* out, uint32_t* size) {
    if (ctx == nullptr) {
        CopyOut(u"", out, size);
        return false;
    }
    CopyOut(ctx->Current().name, out, size);
    return true;
}

uint32_t LangCurrentCommandId(HLANGCTX ctx) {
    return ctx != nullptr ? ctx->CommandId(ctx->current) : 0;
}
