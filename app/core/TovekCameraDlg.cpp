#include "TovekCameraDlg.h"

#include "AppTrace.h"
#include "CommandIds.h"
#include "DlgItem.h"
#include "MessageBox.h"
#include "StringTable.h"
#include "TovekCameraApp.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <iterator>

#define TRACE_DLG(fn) TOVEK_TRACE_HANDLER("TovekCameraDlg", fn)

namespace {

struct ControlItem {
    uint32_t id;
    const char16_t* text;
    const char* shortcut;
};

// In menu order.
const ControlItem kControlItems[] = {
    {36797, u"Zoom &in\tCtrl+I", "Ctrl+I"},     {36798, u"Zoom &out\tCtrl+O", "Ctrl+O"},
    {36801, u"Focus fa&r\tCtrl+R", "Ctrl+R"},   {36802, u"Focus &near\tCtrl+N", "Ctrl+N"},
    {36799, u"&Bright more\tCtrl+B", "Ctrl+B"}, {36800, u"Bright &less\tCtrl+L", "Ctrl+L"},
    {36803, u"A&uto\tCtrl+U", "Ctrl+U"},        {36804, u"&Mirror\tCtrl+M", "Ctrl+M"},
    {36805, u"Mono/Color\tCtrl+K", "Ctrl+K"},   {36806, u"Ne&g\tCtrl+G", "Ctrl+G"},
};

const char16_t* const kZoomTexts[] = {u"Actual Size", u"Fit Height", u"Fit Width", u"Fit Window",
                                      u"Fit Image"};

QString Q(const char16_t* text) {
    return QString::fromUtf16(text);
}

} // namespace

const TovekCameraDlg::CommandRange TovekCameraDlg::kCommands[] = {
    {cmd::kPlay, cmd::kPlay, &TovekCameraDlg::OnMenuFilePlay},
    {cmd::kStop, cmd::kStop, &TovekCameraDlg::OnMenuFileStop},
    {cmd::kCapture, cmd::kCapture, &TovekCameraDlg::OnMenuFileCaptur},
    {cmd::kStartRecord, cmd::kStartRecord, &TovekCameraDlg::OnStartRecord},
    {cmd::kStopRecord, cmd::kStopRecord, &TovekCameraDlg::OnStopRecord},
    {cmd::kExit, cmd::kExit, &TovekCameraDlg::OnExit},
    {cmd::kFullScreen, cmd::kFullScreen, &TovekCameraDlg::OnMenuFullscr},
    {cmd::kZoomFirst, cmd::kZoomLast, &TovekCameraDlg::OnMenuZoomMode},
    {cmd::kLanguageFirst, cmd::kLanguageLast, &TovekCameraDlg::OnLanguage},
    {cmd::kSetting, cmd::kSetting, &TovekCameraDlg::OnSetting},
    {cmd::kOptions, cmd::kOptions, &TovekCameraDlg::OnOptions},
    {cmd::kDeviceFirst, cmd::kDeviceLast, &TovekCameraDlg::OnDevice},
    {cmd::kControlFirst, cmd::kControlLast, &TovekCameraDlg::OnControl},
    {cmd::kHelp, cmd::kHelp, &TovekCameraDlg::OnHelp},
    {cmd::kAbout, cmd::kAbout, &TovekCameraDlg::OnAbout},
};

TovekCameraDlg::TovekCameraDlg(TovekCameraApp& app, QWidget* parent)
    : QDialog(parent), app_(app), lang_(app.LangContext()) {
    SetDialogId(this, static_cast<int>(res::kMainDialog));
    OnInitDialog();
}

TovekCameraDlg::~TovekCameraDlg() {
    TRACE_DLG("OnDestroy");
}

bool TovekCameraDlg::OnInitDialog() {
    TRACE_DLG("OnInitDialog");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    BuildMainMenu();
    initialised_ = true;
    ApplyPlacement();
    setWindowTitle(LoadText(lang_, ids::kStrTitle));
    return true;
}

QAction* TovekCameraDlg::AddCommand(QMenu* menu, uint32_t id, const char16_t* text,
                                    const char* shortcut) {
    QAction* action = menu->addAction(Q(text));
    action->setData(id);
    if (shortcut != nullptr)
        action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return action;
}

void TovekCameraDlg::BuildMainMenu() {
    menu_bar_ = new QMenuBar(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(menu_bar_);

    // Position 0.
    QMenu* file = menu_bar_->addMenu(Q(u"&File"));
    AddCommand(file, cmd::kPlay, u"&Play\tCtrl+P", "Ctrl+P");
    AddCommand(file, cmd::kStop, u"S&top\tCtrl+T", "Ctrl+T");
    AddCommand(file, cmd::kCapture, u"Captur&e\tCtrl+E", "Ctrl+E");
    file->addSeparator();
    AddCommand(file, cmd::kStartRecord, u"&Start Record");
    AddCommand(file, cmd::kStopRecord, u"Stop &Record");
    file->addSeparator();
    AddCommand(file, cmd::kSetting, u"Se&tting");
    file->addSeparator();
    AddCommand(file, cmd::kExit, u"E&xit");

    // Position 1.
    QMenu* view = menu_bar_->addMenu(Q(u"&View"));
    AddCommand(view, cmd::kFullScreen, u"Full Screen\tCtrl+Shift+Enter", "Ctrl+Shift+Return");
    QMenu* zoom = view->addMenu(Q(u"Zoom"));
    zoom_group_ = new QActionGroup(this);
    for (uint32_t mode = 0; mode < std::size(kZoomTexts); ++mode) {
        QAction* item = AddCommand(zoom, cmd::kZoomFirst + mode, kZoomTexts[mode]);
        item->setCheckable(true);
        zoom_group_->addAction(item);
    }

    // Position 2: filled by the localisation library.
    QMenu* language = menu_bar_->addMenu(Q(u"Language"));
    uint32_t language_count = 0;
    LangFillMenu(lang_, language, &language_count);
    connect(language, &QMenu::triggered, this, [this](QAction* action) {
        bool ok = false;
        const uint32_t id = action->data().toUInt(&ok);
        if (ok && id >= cmd::kLanguageFirst && id <= cmd::kLanguageLast)
            OnCommand(id);
    });

    // Position 3.
    QMenu* control = menu_bar_->addMenu(Q(u"&Control"));
    for (const ControlItem& item : kControlItems)
        AddCommand(control, item.id, item.text, item.shortcut);

    // Position 4: the device catalogue replaces "None" and appends its entries.
    QMenu* device = menu_bar_->addMenu(Q(u"Device"));
    device_group_ = new QActionGroup(this);
    QAction* none = AddCommand(device, cmd::kDeviceFirst, u"None");
    none->setCheckable(true);
    none->setChecked(true);
    device_group_->addAction(none);

    // Position 5.
    QMenu* help = menu_bar_->addMenu(Q(u"&Help"));
    AddCommand(help, cmd::kHelp, u"&Lumivue Help\tF1", "F1");
    help->addSeparator();
    AddCommand(help, cmd::kAbout, u"&About Lumivue");

    LangTranslateMenu(lang_, menu_bar_, res::kMainMenu);
}

bool TovekCameraDlg::OnCommand(uint32_t id) {
    for (const CommandRange& range : kCommands) {
        if (id >= range.first && id <= range.last) {
            (this->*range.handler)(id);
            return true;
        }
    }
    return false;
}

QAction* TovekCameraDlg::FindCommand(uint32_t id) const {
    for (QAction* action : menu_bar_->findChildren<QAction*>()) {
        bool ok = false;
        if (action->data().toUInt(&ok) == id && ok && action->menu() == nullptr)
            return action;
    }
    return nullptr;
}

QMenu* TovekCameraDlg::SubMenu(int position) const {
    const QList<QAction*> top = menu_bar_->actions();
    return position >= 0 && position < top.size() ? top.at(position)->menu() : nullptr;
}

// ---- placement ---------------------------------------------------------------

RECT TovekCameraDlg::DesktopRect() const {
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    return RECT{desktop.left(), desktop.top(), desktop.left() + desktop.width(),
                desktop.top() + desktop.height()};
}

void TovekCameraDlg::ApplyPlacement() {
    const int caption_height = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    placement_ = settings::LoadWindowPlacement(*app_.Ini(), DesktopRect(), caption_height);
    zoom_mode_ = placement_.zoom_mode;
    if (QAction* item = FindCommand(cmd::kZoomFirst + zoom_mode_))
        item->setChecked(true);

    // The rectangle is the normal position also when the window starts
    // minimised or maximised: Qt restores to it.
    const RECT& r = placement_.rect;
    move(r.left, r.top);
    resize(std::max<LONG>(r.right - r.left, 1), std::max<LONG>(r.bottom - r.top, 1));
    if (placement_.show_mode == 1)
        setWindowState(Qt::WindowMinimized);
    else if (placement_.show_mode == 2)
        setWindowState(Qt::WindowMaximized);
}

// The stored rectangle is the window's position (its frame's top-left, where
// the title strip starts) and the size Qt restores with resize, so a
// stored placement reproduces itself without drifting by the frame.
void TovekCameraDlg::SavePlacement() {
    if (!initialised_ || isMinimized() || isMaximized() || isFullScreen())
        return;
    const RECT r{x(), y(), x() + width(), y() + height()};
    app_.Ini()->WriteRect(settings::kSectionApp, settings::kWindowPos, r);
}

void TovekCameraDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    SavePlacement();
}

void TovekCameraDlg::resizeEvent(QResizeEvent* event) {
    TRACE_DLG("OnSize");
    QDialog::resizeEvent(event);
    if (!initialised_)
        return;
    const int type = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    app_.Ini()->WriteInt(settings::kSectionApp, settings::kShowWindowMode, type, 10);
    SavePlacement();
}

void TovekCameraDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Minimising does not always resize; the show mode follows the state.
    if (event->type() == QEvent::WindowStateChange && initialised_) {
        const int type = isMinimized() ? 1 : isMaximized() ? 2 : 0;
        app_.Ini()->WriteInt(settings::kSectionApp, settings::kShowWindowMode, type, 10);
    }
}

void TovekCameraDlg::keyPressEvent(QKeyEvent* event) {
    // Esc does not close the main window; only Exit and the close button do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TovekCameraDlg::reject() {
    if (recording_ &&
        MessageBox(this, QStringLiteral("Video is recording! Sure to exit?"), app_.Caption(),
                   msgbox::kOkCancel | msgbox::kIconExclamation) != msgbox::kIdOk)
        return;
    QDialog::reject();
}

// ---- commands ----------------------------------------------------------------

void TovekCameraDlg::OnMenuFilePlay(uint32_t) {
    TRACE_DLG("OnMenuFilePlay");
}
void TovekCameraDlg::OnMenuFileStop(uint32_t) {
    TRACE_DLG("OnMenuFileStop");
}
void TovekCameraDlg::OnMenuFileCaptur(uint32_t) {
    TRACE_DLG("OnMenuFileCaptur");
}
void TovekCameraDlg::OnStartRecord(uint32_t) {}
void TovekCameraDlg::OnStopRecord(uint32_t) {}
void TovekCameraDlg::OnExit(uint32_t) {
    reject();
}
void TovekCameraDlg::OnMenuFullscr(uint32_t) {
    TRACE_DLG("OnMenuFullscr");
}

void TovekCameraDlg::OnMenuZoomMode(uint32_t id) {
    TRACE_DLG("OnMenuZoomMode");
    zoom_mode_ = id - cmd::kZoomFirst;
    if (QAction* item = FindCommand(id))
        item->setChecked(true);
    app_.Ini()->WriteInt(settings::kSectionApp, settings::kZoomMode,
                         static_cast<int32_t>(zoom_mode_), 10);
}

void TovekCameraDlg::OnLanguage(uint32_t id) {
    // LangFillMenu's items are checkable, so Qt has already toggled the item
    // that was clicked; what counts is whether it is the current language.
    if (id == LangCurrentCommandId(lang_)) {
        if (QAction* item = FindCommand(id))
            item->setChecked(true);
        return;
    }
    if (!LangSelect(lang_, menu_bar_, id))
        return;
    TranslateAll();
}

void TovekCameraDlg::TranslateAll() {
    LangTranslateMenu(lang_, menu_bar_, res::kMainMenu);
    menu_bar_->update();
    // Other menus (the view's context menu) and open dialogs carry their
    // resource ids.
    for (QWidget* widget : QApplication::allWidgets()) {
        bool ok = false;
        const uint32_t menu_id = widget->property(kMenuIdProperty).toUInt(&ok);
        if (ok && menu_id != 0 && widget != menu_bar_) {
            LangTranslateMenu(lang_, widget, menu_id);
            continue;
        }
        const uint32_t dialog_id = widget->property(kDialogIdProperty).toUInt(&ok);
        if (ok && dialog_id != 0 && widget != this && widget->isVisible())
            LangTranslateDialog(lang_, widget, dialog_id);
    }
    setWindowTitle(LoadText(lang_, ids::kStrTitle));
}

void TovekCameraDlg::OnSetting(uint32_t) {}
void TovekCameraDlg::OnOptions(uint32_t) {}
void TovekCameraDlg::OnDevice(uint32_t) {}
void TovekCameraDlg::OnControl(uint32_t) {}

void TovekCameraDlg::OnHelp(uint32_t) {
    const QString caption = app_.Caption();
    const QString file =
        QString::fromStdU16String(app_.ProgramFolder()) + caption + QStringLiteral(".chm");
    if (QFileInfo::exists(file)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
        return;
    }
    MessageBox(this, QStringLiteral("Can not find the help file: %1.chm!").arg(caption), caption,
               msgbox::kOk | msgbox::kIconExclamation);
}

void TovekCameraDlg::OnAbout(uint32_t) {}
