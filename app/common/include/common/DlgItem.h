// How windows name their parts for the localisation library and for code
// that looks them up by id (like Win32 GetDlgItem):
//   - a dialog control carries its control id in the dynamic property
//     kLangControlIdProperty ("tovekCtrlId");
//   - a dialog carries its dialog resource id in kDialogIdProperty
//     ("tovekDialogId"); a language switch re-translates every open one;
//   - a menu other than the main menu bar (the view's context menu, 131)
//     carries its menu resource id in kMenuIdProperty ("tovekMenuId") and is
//     re-translated on a language switch too;
//   - an item or control whose text is data, not a label (device names,
//     folders), sets kLangFixedProperty so that no translation touches it.
// Sizes from dialog templates convert from dialog units with the base units
// of "MS Shell Dlg" 8 at 96 dpi.
#pragma once

#include "language/language.h"

#include <QVariant>
#include <QWidget>

inline constexpr char kDialogIdProperty[] = "tovekDialogId";
inline constexpr char kMenuIdProperty[] = "tovekMenuId";

inline void SetDlgCtrlId(QWidget* control, int id) {
    control->setProperty(kLangControlIdProperty, id);
}

inline int GetDlgCtrlId(const QWidget* control) {
    return control->property(kLangControlIdProperty).toInt();
}

// The first descendant of dialog with control id id, or nullptr.
inline QWidget* GetDlgItem(const QWidget* dialog, int id) {
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (child->property(kLangControlIdProperty).toInt() == id)
            return child;
    }
    return nullptr;
}

inline void SetDialogId(QWidget* dialog, int id) {
    dialog->setProperty(kDialogIdProperty, id);
}

inline void SetFixedText(QObject* item) {
    item->setProperty(kLangFixedProperty, true);
}

inline constexpr int DluToPixelsX(int dlu) {
    return dlu * 6 / 4;
}
inline constexpr int DluToPixelsY(int dlu) {
    return dlu * 13 / 8;
}
