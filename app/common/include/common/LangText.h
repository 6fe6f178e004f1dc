// Texts that the program builds in code rather than in a menu or dialog
// template (messages, tooltips, labels without a control id, the camera
// status words, the status bar's messages) are looked up in the [Keys]
// section of the language file with their English text as the key:
//
//   [Keys]
//   Please enter an integer!=Bitte geben Sie eine ganze Zahl ein!
//
// Blanks around the English text and any '=' in it (the file's separator) are
// left out of the key. A text the language file lacks shows in English. A
// widget given its text with SetLangText or SetLangTip, and a list entry
// added by AddLangItem, remembers the English text, so a language switch can
// translate it again (TranslateKeyedTexts). User-interface thread only; a null
// context gives the English text.
#pragma once

#include "language/language.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <string>

inline constexpr char kLangTextKeyProperty[] = "tovekTextKey";
inline constexpr char kLangTipKeyProperty[] = "tovekTipKey";
// A list entry given by its English text keeps it in this item role.
inline constexpr int kLangItemRole = Qt::UserRole + 1;

// The current language's text for the English text english.
inline QString LangText(HLANGCTX lang, const QString& english) {
    // Blanks around a key do not survive the language file's reader.
    const std::string key = QString(english).remove(QLatin1Char('=')).trimmed().toStdString();
    if (lang == nullptr || key.empty())
        return english;
    constexpr uint32_t kChars = 1024;
    char16_t buffer[kChars];
    uint32_t size = kChars;
    const std::u16string fallback = english.toStdU16String();
    LangGetTextByKey(lang, buffer, &size, key.c_str(), fallback.c_str());
    return QString::fromUtf16(buffer, size);
}

inline QString LangText(HLANGCTX lang, const char* english) {
    return LangText(lang, QString::fromUtf8(english));
}

// Fills the printf-style directives of a translated pattern (%d, %s, %02u,
// %02X, ...) in order with args, without handing the file's text to printf.
// Directives beyond args stay as they are.
inline QString LangFormat(const QString& pattern, const QStringList& args) {
    static const QRegularExpression kDirective(QStringLiteral("%[0-9]*[dusX]"));
    QString out;
    qsizetype from = 0;
    qsizetype next = 0;
    auto it = kDirective.globalMatch(pattern);
    while (it.hasNext() && next < args.size()) {
        const QRegularExpressionMatch m = it.next();
        out += pattern.mid(from, m.capturedStart() - from) + args[next++];
        from = m.capturedEnd();
    }
    return out + pattern.mid(from);
}

// Which property shows a widget's own text: buttons and labels "text",
// group boxes "title", anything else its window title.
inline const char* LangTextProperty(const QWidget* widget) {
    if (widget->metaObject()->indexOfProperty("text") >= 0)
        return "text";
    if (widget->metaObject()->indexOfProperty("title") >= 0)
        return "title";
    return "windowTitle";
}

inline void SetLangText(HLANGCTX lang, QWidget* widget, const QString& english) {
    widget->setProperty(kLangTextKeyProperty, english);
    widget->setProperty(LangTextProperty(widget), LangText(lang, english));
}

// A SkinButton follows its widget tooltip, so this serves skinned buttons too.
inline void SetLangTip(HLANGCTX lang, QWidget* widget, const QString& english) {
    widget->setProperty(kLangTipKeyProperty, english);
    widget->setToolTip(LangText(lang, english));
}

// Appends an entry shown in the current language to list.
inline void AddLangItem(HLANGCTX lang, QComboBox* list, const QString& english) {
    list->addItem(LangText(lang, english));
    list->setItemData(list->count() - 1, english, kLangItemRole);
}

// Translates root and every descendant given its text by SetLangText or
// SetLangTip into the current language.
inline void TranslateKeyedTexts(HLANGCTX lang, QWidget* root) {
    auto translate = [lang](QWidget* widget) {
        const QVariant text = widget->property(kLangTextKeyProperty);
        if (text.isValid())
            widget->setProperty(LangTextProperty(widget), LangText(lang, text.toString()));
        const QVariant tip = widget->property(kLangTipKeyProperty);
        if (tip.isValid())
            widget->setToolTip(LangText(lang, tip.toString()));
        if (auto* list = qobject_cast<QComboBox*>(widget)) {
            for (int i = 0; i < list->count(); ++i) {
                const QVariant item = list->itemData(i, kLangItemRole);
                if (item.isValid())
                    list->setItemText(i, LangText(lang, item.toString()));
            }
        }
    };
    translate(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        translate(child);
}
