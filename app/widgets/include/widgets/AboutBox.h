// AboutBox: the about box (template 100), modeless. It deletes
// itself once closed, so the opener keeps no pointer to it.
#pragma once

#include "language/language.h"

#include <QDialog>
#include <QIcon>

class AboutBox : public QDialog {
public:
    static constexpr int kTemplateId = 100;
    static constexpr int kIconId = 1006;
    static constexpr int kVersionId = 1004;
    static constexpr int kTextId = 1005;
    static constexpr int kOkId = 1;

    // owner is only centred on and translated for; the box has no parent so
    // that it lives on its own beside the main window. lang may be null.
    AboutBox(const QIcon& icon, HLANGCTX lang, QWidget* owner = nullptr);

    const QIcon& Icon() const { return icon_; }

private:
    QIcon icon_;
};
