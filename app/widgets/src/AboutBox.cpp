#include "widgets/AboutBox.h"

#include "common/DlgItem.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

AboutBox::AboutBox(const QIcon& icon, HLANGCTX lang, QWidget* owner)
    : QDialog(nullptr), icon_(icon) {
    setAttribute(Qt::WA_DeleteOnClose); // OK and Cancel both end the object
    SetDialogId(this, kTemplateId);
    setWindowTitle(QStringLiteral("About Lumivue"));

    auto* picture = new QLabel(this);
    SetDlgCtrlId(picture, kIconId);
    picture->setAlignment(Qt::AlignCenter);
    picture->setFixedSize(DluToPixelsX(20), DluToPixelsY(20));
    if (!icon_.isNull())
        picture->setPixmap(icon_.pixmap(32, 32));
    auto* version = new QLabel(QStringLiteral("Lumivue Version 1.0"), this);
    SetDlgCtrlId(version, kVersionId);
    auto* text = new QLabel(QStringLiteral("Viewer for USB document cameras"), this);
    SetDlgCtrlId(text, kTextId);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetDlgCtrlId(ok, kOkId);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* lines = new QVBoxLayout;
    lines->addWidget(version);
    lines->addWidget(text);
    auto* row = new QHBoxLayout(this);
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addLayout(lines, 1);
    row->addWidget(ok, 0, Qt::AlignTop);

    if (lang != nullptr)
        LangTranslateDialog(lang, this, kTemplateId);
    adjustSize();
    const QRect around = owner != nullptr ? owner->frameGeometry()
                         : QGuiApplication::primaryScreen() != nullptr
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect();
    if (around.isValid())
        move(around.center() - rect().center());
}
