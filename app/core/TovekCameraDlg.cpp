#include "TovekCameraDlg.h"

#include "AppTrace.h"
#include "CommandIds.h"
#include "ControlKeys.h"
#include "DlgItem.h"
#include "ImageShow.h"
#include "InfoDlg.h"
#include "MessageBox.h"
#include "ModelessDlgAbout.h"
#include "StringTable.h"
#include "TovekCameraApp.h"
#include "VideoView.h"
#include "platform/system.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>
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

// The control codes of each Control-menu command, with the wait after each
// code that lets the motion run before it is ended.
struct ControlStep {
    uint8_t code;
    uint32_t wait_ms;
};
struct ControlSequence {
    uint32_t id;
    ControlStep steps[3];
    int count;
};
const ControlSequence kControlSequences[] = {
    {36797, {{ctl::kZoomIn, 100}, {ctl::kMotionEnd, 20}, {ctl::kZoomClose, 0}}, 3},
    {36798, {{ctl::kZoomOut, 100}, {ctl::kMotionEnd, 20}, {ctl::kZoomClose, 0}}, 3},
    {36801, {{ctl::kFocusFar, 100}, {ctl::kMotionEnd, 0}}, 2},
    {36802, {{ctl::kFocusNear, 100}, {ctl::kMotionEnd, 0}}, 2},
    {36799, {{ctl::kBrighter, 0}}, 1},
    {36800, {{ctl::kDarker, 0}}, 1},
    {36803, {{ctl::kAuto, 0}}, 1},
    {36804, {{ctl::kMirror, 0}}, 1},
    {36805, {{ctl::kMonoColor, 0}}, 1},
    {36806, {{ctl::kNegative, 0}}, 1},
};

// Ctrl + key, on release: the command it stands for and whether the Q5
// family alone takes it (the RVX family's motions are too slow for keys).
struct ControlShortcut {
    int key;
    uint32_t id;
    bool q5_only;
};
const ControlShortcut kControlShortcuts[] = {
    {Qt::Key_B, 36799, false}, {Qt::Key_L, 36800, false}, {Qt::Key_U, 36803, false},
    {Qt::Key_M, 36804, false}, {Qt::Key_K, 36805, false}, {Qt::Key_G, 36806, false},
    {Qt::Key_I, 36797, true},  {Qt::Key_O, 36798, true},  {Qt::Key_R, 36801, true},
    {Qt::Key_N, 36802, true},
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

QEvent::Type SnapshotMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type DeviceChangeMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TovekCameraDlg::TovekCameraDlg(TovekCameraApp& app, QWidget* parent)
    : QDialog(parent), app_(app), lang_(app.LangContext()),
      wait_([](uint32_t ms) { platform::Sleep(ms); }) {
    SetDialogId(this, static_cast<int>(res::kMainDialog));
    // Both steps run on library threads: the picture is encoded there, the
    // outcome goes to this thread as a posted message.
    snapshot_.SetImageWriter(
        [](const std::string& path, const uint8_t* pixels, int width, int height) {
            const QImage image(pixels, width, height, width * 4, QImage::Format_RGB32);
            return CImageShow(image).Save(QString::fromStdString(path));
        });
    snapshot_.SetNotifier([this](const snapshot::Outcome& outcome) {
        QCoreApplication::postEvent(this, new SnapshotMessage(outcome));
    });
    play_tick_ = platform::GetTickCount();
    OnInitDialog();
}

TovekCameraDlg::~TovekCameraDlg() {
    OnDestroy();
}

bool TovekCameraDlg::OnInitDialog() {
    TRACE_DLG("OnInitDialog");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    BuildMainMenu();

    auto_play_pending_ = true;
    overlay_.Reset();
    overlay_.Start();

    catalogue_ = ReadDeviceCatalogue(app_.ProgramFolder() + kDeviceCatalogueFile);
    FillDeviceMenu();

    status_bar_ = new QStatusBar(this);
    message_pane_ = new QLabel(status_bar_);
    frame_pane_ = new QLabel(status_bar_);
    frame_pane_->setFixedWidth(200);
    clock_pane_ = new QLabel(status_bar_);
    clock_pane_->setFixedWidth(60);
    status_bar_->addWidget(message_pane_, 1);
    status_bar_->addPermanentWidget(frame_pane_);
    status_bar_->addPermanentWidget(clock_pane_);

    timer_ids_[kTimerClock] = startTimer(1000);
    OnTimer(kTimerClock);

    view_ = new CVideoView(this);
    view_->SetDisplayRectHandler([this](const RECT& r) {
        if (camera_ && Playing())
            camera_->Refresh(r.left, r.top, r.right - r.left, r.bottom - r.top);
    });
    view_->SetPlayingQuery([this] { return Playing(); });
    // The view owns the zoom mode; the window keeps the menu check and the
    // setting in step with it.
    view_->SetZoomModeHandler([this](int mode) {
        const bool changed = static_cast<uint32_t>(mode) != zoom_mode_;
        zoom_mode_ = static_cast<uint32_t>(mode);
        if (QAction* item = FindCommand(cmd::kZoomFirst + zoom_mode_))
            item->setChecked(true);
        if (changed)
            app_.Ini()->WriteInt(settings::kSectionApp, settings::kZoomMode,
                                 static_cast<int32_t>(zoom_mode_), 10);
    });
    layout()->addWidget(view_);
    layout()->addWidget(status_bar_);

    // Keys reach the window's rules before any child or shortcut sees them.
    qApp->installEventFilter(this);

    initialised_ = true;
    CreateCamera();
    if (device_index_ != -1 && camera_) {
        camera_->Intialize();
        if (family_ == static_cast<int>(DeviceFamily::kRVX)) {
            notification_registered_ = camera_->RegisterDeviceNotification(this) >= 0;
            if (camera_->GetDeviceCount() < 0 || camera_->Open(0) != 0) {
                OnVideoDetach();
            } else {
                SetCallbacks(true);
                OnVideoAttach();
            }
        } else if (camera_->Open(0) == 0) {
            SetCallbacks(true);
            camera_->InitDirectShow();
        }
        {
            std::lock_guard<std::mutex> guard(state_lock_);
            ReplaceInfoDlg(true);
            last_status_ = kNormalStatus;
        }
        StartStatusTimer();
    }

    // The enable rules are applied again before any menu opens.
    for (QAction* top : menu_bar_->actions()) {
        if (QMenu* menu = top->menu())
            connect(menu, &QMenu::aboutToShow, this, [this] { UpdateControls(); });
    }

    ApplyPlacement();
    setWindowTitle(LoadText(lang_, ids::kStrTitle));
    UpdateControls();
    frame_pane_->setText(FramePaneText(0, 0, 0));
    message_pane_->setText(MessagePaneText());
    return true;
}

// Nothing of the camera, its callbacks or the worker runs once this returns.
void TovekCameraDlg::OnDestroy() {
    TRACE_DLG("OnDestroy");
    if (notification_registered_) {
        Corvane_UnregisterDeviceNotification(this);
        notification_registered_ = false;
    }
    qApp->removeEventFilter(this);
    OnVideoStop();
    StopStatusTimer();
    {
        std::lock_guard<std::mutex> guard(state_lock_);
        ReplaceInfoDlg(false);
    }
    DestroyCamera();
    overlay_.Stop();
    if (timer_ids_[kTimerClock] != 0) {
        killTimer(timer_ids_[kTimerClock]);
        timer_ids_[kTimerClock] = 0;
    }
    // Messages the libraries posted before they stopped must not reach a
    // half-destroyed window.
    QCoreApplication::removePostedEvents(this);
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
    if (view_ != nullptr)
        view_->SetZoomCommand(cmd::kZoomFirst + zoom_mode_);

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

// ---- keyboard ------------------------------------------------------------------

bool TovekCameraDlg::OwnsWidget(const QObject* target) const {
    // Walks parents rather than windows: the full-screen view is a window of
    // its own but still ours.
    for (const QObject* o = target; o != nullptr; o = o->parent()) {
        if (o == this)
            return true;
    }
    return false;
}

bool TovekCameraDlg::eventFilter(QObject* watched, QEvent* e) {
    if (PreTranslateMessage(watched, e))
        return true;
    return QDialog::eventFilter(watched, e);
}

bool TovekCameraDlg::PreTranslateMessage(QObject* target, QEvent* e) {
    switch (e->type()) {
    case QEvent::Shortcut: {
        // Play, Stop, Capture and the Control menu answer Ctrl + key on its
        // release, under the rules below; their menu shortcuts only label
        // the items.
        const auto* action = qobject_cast<const QAction*>(target);
        if (action == nullptr || !OwnsWidget(action))
            return false;
        bool ok = false;
        const uint32_t id = action->data().toUInt(&ok);
        return ok && (id == cmd::kPlay || id == cmd::kStop || id == cmd::kCapture ||
                      (id >= cmd::kControlFirst && id <= cmd::kControlLast));
    }
    case QEvent::KeyRelease: {
        if (!OwnsWidget(target))
            return false;
        const auto& key = static_cast<const QKeyEvent&>(*e);
        if (key.key() == Qt::Key_Escape)
            return true;
        if (!key.isAutoRepeat() && (key.modifiers() & Qt::ControlModifier))
            OnControlKeyRelease(key);
        return false;
    }
    case QEvent::KeyPress: {
        if (!OwnsWidget(target))
            return false;
        const auto& key = static_cast<const QKeyEvent&>(*e);
        switch (key.key()) {
        case Qt::Key_Escape:
            // Never closes the window; only leaves full screen.
            LeaveFullScreen();
            return true;
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
        case Qt::Key_Delete:
            // Keys of the annotation selection, not of the focused child.
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Ctrl+Shift+Enter reaches the full-screen command through its
            // menu shortcut; Enter never presses a default button here.
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void TovekCameraDlg::OnControlKeyRelease(const QKeyEvent& key) {
    if (!attached_)
        return;
    const bool playing = Playing();
    for (const ControlShortcut& shortcut : kControlShortcuts) {
        if (shortcut.key != key.key())
            continue;
        if (playing && (!shortcut.q5_only || family_ == static_cast<int>(DeviceFamily::kQ5)))
            OnCommand(shortcut.id);
        return;
    }
    switch (key.key()) {
    case Qt::Key_E:
        if (playing)
            OnMenuFileCaptur(cmd::kCapture);
        break;
    case Qt::Key_P:
        if (!playing)
            OnMenuFilePlay(cmd::kPlay);
        break;
    case Qt::Key_T:
        if (playing) {
            OnMenuFileStop(cmd::kStop);
            LeaveFullScreen();
        }
        break;
    default:
        break;
    }
}

void TovekCameraDlg::LeaveFullScreen() {
    if (view_ != nullptr && view_->IsFullScreen())
        view_->ToggleFullScreen();
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
    overlay_.RequestImmediateRedraw();
    overlay_.SetPresent(false);
    play_tick_ = platform::GetTickCount();

    if (camera_) {
        RemoveCallbacks();
        camera_->Stop();
        camera_->Close();
        wait_(kRestartWaitMs);
        camera_->Intialize();
        ResetCommandCounters();
        if (camera_->Open(0) == 0) {
            SetCallbacks(true);
            if (family_ == static_cast<int>(DeviceFamily::kQ5))
                camera_->InitDirectShow();
        }
        camera_->SetPosition(view_->Handle(), 0, 0, view_->width(), view_->height());
        camera_->Run();
        {
            std::lock_guard<std::mutex> guard(state_lock_);
            ReplaceInfoDlg(true);
            last_status_ = kNormalStatus;
            poll_counter_ = 0;
        }
        SetPlaying(true);
        StartStatusTimer();
    }

    frame_rate_ = family_ == static_cast<int>(DeviceFamily::kRVX) ? 30 : 16;
    VIDEOINFOHEADER format{};
    if (camera_ && camera_->GetStreamMediaType(&format) == 0) {
        frame_width_.store(format.bmiHeader.biWidth);
        frame_height_.store(format.bmiHeader.biHeight);
    }
    frame_period_ = 100000 / frame_rate_;
    view_->SetImageSize(frame_width_.load(), frame_height_.load());
    // The rectangle follows once the commands queued before it are done.
    QMetaObject::invokeMethod(
        view_, [view = view_] { view->CalcDisplayRect(view->width(), view->height()); },
        Qt::QueuedConnection);
    UpdateControls();
}

void TovekCameraDlg::OnMenuFileStop(uint32_t) {
    TRACE_DLG("OnMenuFileStop");
    overlay_.RequestImmediateRedraw();
    overlay_.SetPresent(false);
    view_->update();
    play_tick_ = platform::GetTickCount();

    // The recorder stops here once it exists.
    recording_ = false;

    if (camera_) {
        camera_->Refresh(0, 0, 0, 0);
        camera_->Stop();
        view_->update();
    }

    wait_(kRestartWaitMs);
    StopStatusTimer();
    SetPlaying(false);
    {
        std::lock_guard<std::mutex> guard(state_lock_);
        ReplaceInfoDlg(false);
    }

    UpdateControls();
    last_frame_bytes_.store(0);
    frame_width_.store(0);
    frame_height_.store(0);
    frame_pane_->setText(FramePaneText(0, 0, 0));
}

void TovekCameraDlg::OnMenuFileCaptur(uint32_t) {
    TRACE_DLG("OnMenuFileCaptur");
    // The snapshot itself is taken on the next frame, on a library thread.
    if (Playing())
        snapshot_.Request(app_.Settings().capture_path);
}
void TovekCameraDlg::OnStartRecord(uint32_t) {}
void TovekCameraDlg::OnStopRecord(uint32_t) {}
void TovekCameraDlg::OnExit(uint32_t) {
    reject();
}
void TovekCameraDlg::OnMenuFullscr(uint32_t id) {
    TRACE_DLG("OnMenuFullscr");
    view_->OnCommand(id);
}

void TovekCameraDlg::OnMenuZoomMode(uint32_t id) {
    TRACE_DLG("OnMenuZoomMode");
    view_->SetZoomCommand(id); // the zoom-mode handler stores the choice
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
void TovekCameraDlg::OnControl(uint32_t id) {
    for (const ControlSequence& sequence : kControlSequences) {
        if (sequence.id != id)
            continue;
        for (int i = 0; i < sequence.count; ++i) {
            SendControlKey(sequence.steps[i].code);
            if (sequence.steps[i].wait_ms != 0)
                wait_(sequence.steps[i].wait_ms);
        }
        return;
    }
}

int TovekCameraDlg::SendControlKey(int key) {
    if (!camera_)
        return -1;
    const uint8_t command =
        ctl::TranslateControlKey(static_cast<DeviceFamily>(family_), key, command_counters_);
    camera_->SendCmd(command);
    return 0;
}

int SendControlKey(TovekCameraDlg* main_window, int key) {
    return main_window != nullptr ? main_window->SendControlKey(key) : -1;
}

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

void TovekCameraDlg::OnAbout(uint32_t) {
    // Modeless: it deletes itself when closed.
    auto* about = new CModelessDlgAbout(windowIcon(), lang_, this);
    about->show();
}

// ---- device --------------------------------------------------------------------

void TovekCameraDlg::FillDeviceMenu() {
    QMenu* device = SubMenu(res::kDeviceMenuPosition);
    device_items_ = 0;
    for (size_t i = 0; i < catalogue_.size(); ++i) {
        const uint32_t id = cmd::kDeviceFirst + static_cast<uint32_t>(i);
        if (id > cmd::kDeviceLast)
            break;
        const QString label = QString::fromStdU16String(DeviceMenuLabel(catalogue_[i]));
        QAction* item = i == 0 ? FindCommand(cmd::kDeviceFirst) : AddCommand(device, id, u"");
        item->setText(label);
        SetFixedText(item);
        item->setCheckable(true);
        device_group_->addAction(item);
        ++device_items_;
    }
    if (device_items_ == 0)
        return;
    const uint32_t stored =
        app_.Ini()->GetUInt(settings::kSectionApp, settings::kDeviceSelect, cmd::kDeviceFirst, 10);
    int32_t select = static_cast<int32_t>(cmd::kDeviceFirst);
    if (stored >= cmd::kDeviceFirst &&
        stored <= cmd::kDeviceFirst + static_cast<uint32_t>(device_items_) - 1)
        select = static_cast<int32_t>(stored);
    if (QAction* item = FindCommand(static_cast<uint32_t>(select)))
        item->setChecked(true);
    device_index_ = select - static_cast<int32_t>(cmd::kDeviceFirst);
}

void TovekCameraDlg::CreateCamera() {
    std::unique_ptr<CDocumentCamera> camera;
    if (device_index_ >= 0 && static_cast<size_t>(device_index_) < catalogue_.size()) {
        const DeviceFamily family = DeviceFamilyOf(catalogue_[device_index_]);
        camera = CreateDocumentCamera(family);
        if (camera)
            family_ = static_cast<int>(family);
    }
    {
        std::lock_guard<std::mutex> guard(camera_lock_);
        camera_ = std::move(camera);
    }
    ResetCommandCounters();
}

void TovekCameraDlg::DestroyCamera() {
    if (!camera_)
        return;
    RemoveCallbacks();
    camera_->Stop();
    camera_->Close();
    camera_->UnIntialize();
    std::unique_ptr<CDocumentCamera> old;
    {
        std::lock_guard<std::mutex> guard(camera_lock_);
        old = std::move(camera_);
    }
}

void TovekCameraDlg::SetCallbacks(bool with_sample) {
    if (family_ == static_cast<int>(DeviceFamily::kRVX))
        camera_->SetStreamCallback(DocumentStreamCallback(&RvxStreamProc), this);
    else
        camera_->SetStreamCallback(DocumentStreamCallback(&Q5StreamProc), this);
    if (with_sample)
        camera_->SetSampleCallback(&SampleProc, this);
}

void TovekCameraDlg::RemoveCallbacks() {
    camera_->SetStreamCallback(DocumentStreamCallback(nullptr), nullptr);
    camera_->SetSampleCallback(nullptr, nullptr);
}

void TovekCameraDlg::ResetCommandCounters() {
    command_counters_[0] = command_counters_[1] = command_counters_[2] = 0;
}

void TovekCameraDlg::OnDevice(uint32_t id) {
    // An id without a menu item chooses nothing: the open camera stays.
    const int32_t select = static_cast<int32_t>(id);
    if (select - static_cast<int32_t>(cmd::kDeviceFirst) >= device_items_)
        return;
    if (camera_)
        DestroyCamera();
    OnVideoDetach();
    // A device chosen from the menu waits for the user's Play.
    auto_play_pending_ = false;

    if (QAction* item = FindCommand(id))
        item->setChecked(true);
    app_.Ini()->WriteInt(settings::kSectionApp, settings::kDeviceSelect, select, 10);
    device_index_ = select - static_cast<int32_t>(cmd::kDeviceFirst);

    CreateCamera();
    if (device_index_ == -1 || !camera_) {
        UpdateControls();
        return;
    }
    camera_->Intialize();
    if (family_ == static_cast<int>(DeviceFamily::kRVX)) {
        notification_registered_ =
            camera_->RegisterDeviceNotification(this) >= 0 || notification_registered_;
        if (camera_->GetDeviceCount() >= 0 && camera_->Open(0) == 0) {
            SetCallbacks(true);
            OnVideoAttach();
        } else {
            OnVideoDetach();
        }
    } else if (camera_->Open(0) == 0) {
        SetCallbacks(true);
        camera_->InitDirectShow();
    }
    UpdateControls();
}

void TovekCameraDlg::OnOptions(uint32_t) {
    if (family_ != static_cast<int>(DeviceFamily::kRVX) || !camera_)
        return;
    if (recording_) {
        MessageBox(this, QStringLiteral("It is recording now,Stop recording,please !\t"),
                   QStringLiteral("System prompt"), msgbox::kOk | msgbox::kIconExclamation);
        return;
    }
    overlay_.RequestImmediateRedraw();
    if (camera_->VideoCapturePin(nullptr) < 0) {
        MessageBox(this, QStringLiteral("Get video capture pin failed !\t"),
                   QStringLiteral("System prompt"), msgbox::kOk | msgbox::kIconExclamation);
        return;
    }
    SetCallbacks(true);
    camera_->SetPosition(view_->Handle(), 0, 0, view_->width(), view_->height());
    camera_->Run();
    VIDEOINFOHEADER format{};
    if (camera_->GetStreamMediaType(&format) == 0) {
        frame_width_.store(format.bmiHeader.biWidth);
        frame_height_.store(format.bmiHeader.biHeight);
    }
    frame_rate_ = 11;
    frame_period_ = 100000 / frame_rate_;
    view_->SetImageSize(frame_width_.load(), frame_height_.load());
    view_->CalcDisplayRect(view_->width(), view_->height());
}

void TovekCameraDlg::OnVideoAttach() {
    TRACE_DLG("OnVideoAttach");
    attached_ = true;
    if (auto_play_pending_) {
        auto_play_pending_ = false;
        OnMenuFilePlay(cmd::kPlay);
    }
    UpdateControls();
    message_pane_->setText(MessagePaneText());
}

void TovekCameraDlg::OnVideoDetach() {
    LeaveFullScreen();
    OnMenuFileStop(cmd::kStop);
    TRACE_DLG("OnVideoDetach");
    attached_ = false;
    UpdateControls();
    last_frame_bytes_.store(0);
    frame_width_.store(0);
    frame_height_.store(0);
    frame_pane_->setText(FramePaneText(0, 0, 0));
    message_pane_->setText(MessagePaneText());
}

void TovekCameraDlg::OnVideoStop() {
    TRACE_DLG("OnVideoStop");
    StopStatusTimer();
    SetPlaying(false);
    {
        std::lock_guard<std::mutex> guard(state_lock_);
        ReplaceInfoDlg(false);
    }
    // The recorder stops here once it exists.
    recording_ = false;
    UpdateControls();
    view_->update();
    last_frame_bytes_.store(0);
    frame_width_.store(0);
    frame_height_.store(0);
    frame_pane_->setText(FramePaneText(0, 0, 0));
}

void TovekCameraDlg::OnFrameMessage(uint32_t size, int32_t length) {
    ++frame_messages_;
    frame_pane_->setText(
        FramePaneText(static_cast<int>(size & 0xFFFF), static_cast<int>(size >> 16), length));
}

void TovekCameraDlg::OnSnapshotMessage(const snapshot::Outcome& outcome) {
    snapshot_taken_ = true;
    ++snapshot_messages_;
    snapshot_tick_ = platform::GetTickCount();
    app_.snapshot_result = outcome.result;
    if (outcome.result == snapshot::kSaved)
        picture_path_ = QString::fromStdString(outcome.path);
    message_pane_->setText(MessagePaneText());
    if (outcome.create_failed)
        MessageBox(this, QStringLiteral("Create file failed!"), app_.Caption(),
                   msgbox::kOk | msgbox::kIconExclamation);
}

void TovekCameraDlg::OnDeviceChangeMessage(uint32_t event, const DEV_BROADCAST_HDR* header) {
    if (family_ != static_cast<int>(DeviceFamily::kRVX) || !camera_)
        return;
    if (camera_->UpdateDevice(event, header) < 0 || header == nullptr ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return;
    if (event == DBT_DEVICEARRIVAL) {
        // The camera on screen is there already (the device layer also
        // announces a camera that was present at registration): reopening
        // it would stop the picture behind a window that says it plays.
        if (attached_ && Playing())
            return;
        camera_->Stop();
        camera_->Close();
        camera_->Intialize();
        ResetCommandCounters();
        if (camera_->Open(0) == 0) {
            SetCallbacks(false); // the sample callback comes with the next Play
            OnVideoAttach();
        } else {
            OnVideoDetach();
        }
    } else if (event == DBT_DEVICEREMOVECOMPLETE) {
        StopStatusTimer();
        OnVideoStop();
        camera_->Stop();
        camera_->Close();
        OnVideoDetach();
    }
}

bool TovekCameraDlg::Playing() const {
    std::lock_guard<std::mutex> guard(state_lock_);
    return playing_;
}

void TovekCameraDlg::SetPlaying(bool playing) {
    {
        std::lock_guard<std::mutex> guard(state_lock_);
        playing_ = playing;
    }
    overlay_.SetPlaying(playing);
    if (message_pane_ != nullptr)
        message_pane_->setText(MessagePaneText());
}

int TovekCameraDlg::LastStatus() const {
    std::lock_guard<std::mutex> guard(state_lock_);
    return last_status_;
}

// ---- library threads -----------------------------------------------------------

int TOVEK_STDCALL TovekCameraDlg::Q5StreamProc(int event, BYTE* data, LONG length, void* context) {
    auto* self = static_cast<TovekCameraDlg*>(context);
    if (self == nullptr)
        return 0;
    switch (event) {
    case Q5_STREAM_ATTACHED:
        QCoreApplication::postEvent(self, new WindowMessage(msg::kVideoAttach));
        break;
    case Q5_STREAM_DETACHED:
        QCoreApplication::postEvent(self, new WindowMessage(msg::kVideoDetach));
        break;
    case Q5_STREAM_STOPPED:
        QCoreApplication::postEvent(self, new WindowMessage(msg::kVideoStop));
        break;
    case Q5_STREAM_PICTURE:
        self->StreamFrame(data, length);
        break;
    default:
        break;
    }
    return 0;
}

int TOVEK_STDCALL TovekCameraDlg::RvxStreamProc(BYTE* data, LONG length, double, void* context) {
    auto* self = static_cast<TovekCameraDlg*>(context);
    if (self != nullptr)
        self->StreamFrame(data, length);
    return 0;
}

void TovekCameraDlg::StreamFrame(const BYTE* data, LONG length) {
    if (data == nullptr || length <= 0 || static_cast<size_t>(length) > kMaxFrameBytes)
        return;
    last_frame_bytes_.store(length);
    const uint32_t size = (static_cast<uint32_t>(frame_width_.load()) & 0xFFFF) |
                          (static_cast<uint32_t>(frame_height_.load()) << 16);
    QCoreApplication::postEvent(this, new WindowMessage(msg::kFrame, size, length));
    snapshot_.OnFrame(data, static_cast<size_t>(length), overlay_.Present());
}

int TovekCameraDlg::SampleProc(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int,
                               void* context) {
    auto* self = static_cast<TovekCameraDlg*>(context);
    if (self == nullptr || sample == nullptr)
        return 1;
    BYTE* buffer = nullptr;
    if (sample->GetPointer(&buffer) != S_OK || buffer == nullptr)
        return 1;
    const int64_t width = self->frame_width_.load();
    const int64_t height = self->frame_height_.load();
    const int64_t length = sample->GetActualDataLength();
    if (width <= 0 || height <= 0 || length != width * height * 4 ||
        static_cast<size_t>(length) > kMaxFrameBytes)
        return 1;
    if (self->overlay_.Present()) {
        std::lock_guard<std::mutex> guard(self->overlay_.Lock());
        CompositeOverlay(buffer, static_cast<int>(width * 4), self->overlay_.Buffer(),
                         static_cast<int>(width), static_cast<int>(height));
    }
    // After compositing, so that the annotations are in the picture.
    self->snapshot_.OnSample(buffer, static_cast<int>(width), static_cast<int>(height),
                             self->last_frame_bytes_.load());
    return 0;
}

void TovekCameraDlg::OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) {
    QCoreApplication::postEvent(this, new DeviceChangeMessage(event, std::move(broadcast)));
}

bool TovekCameraDlg::event(QEvent* e) {
    const int type = static_cast<int>(e->type());
    if (e->type() == SnapshotMessage::Type()) {
        OnSnapshotMessage(static_cast<SnapshotMessage*>(e)->outcome);
        return true;
    }
    if (e->type() == DeviceChangeMessage::Type()) {
        auto* m = static_cast<DeviceChangeMessage*>(e);
        OnDeviceChangeMessage(m->event, m->broadcast.Header());
        return true;
    }
    switch (type) {
    case msg::kVideoStop:
        OnVideoStop();
        return true;
    case msg::kVideoAttach:
        OnVideoAttach();
        return true;
    case msg::kVideoDetach:
        OnVideoDetach();
        return true;
    case msg::kMouseMove:
        return true;
    case msg::kFrame: {
        auto* m = static_cast<WindowMessage*>(e);
        OnFrameMessage(m->wparam, m->lparam);
        return true;
    }
    case msg::kCapture:
        OnMenuFileCaptur(cmd::kCapture);
        return true;
    case msg::kStartRecord:
        if (Playing())
            OnStartRecord(cmd::kStartRecord);
        return true;
    case msg::kStopRecord:
        OnStopRecord(cmd::kStopRecord);
        return true;
    case msg::kSetting:
        OnSetting(cmd::kSetting);
        return true;
    default:
        return QDialog::event(e);
    }
}

// ---- timers --------------------------------------------------------------------

void TovekCameraDlg::StartStatusTimer() {
    if (timer_ids_[kTimerStatus] == 0)
        timer_ids_[kTimerStatus] = startTimer(50);
}

void TovekCameraDlg::StopStatusTimer() {
    if (timer_ids_[kTimerStatus] != 0) {
        killTimer(timer_ids_[kTimerStatus]);
        timer_ids_[kTimerStatus] = 0;
    }
}

bool TovekCameraDlg::TimerActive(int timer) const {
    return (timer == kTimerClock || timer == kTimerStatus) && timer_ids_[timer] != 0;
}

void TovekCameraDlg::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_ids_[kTimerClock] && timer_ids_[kTimerClock] != 0)
        OnTimer(kTimerClock);
    else if (e->timerId() == timer_ids_[kTimerStatus] && timer_ids_[kTimerStatus] != 0)
        OnTimer(kTimerStatus);
    else
        QDialog::timerEvent(e);
}

void TovekCameraDlg::OnTimer(int timer) {
    TRACE_DLG("OnTimer");
    if (timer == kTimerClock) {
        clock_text_ = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        if (clock_pane_ != nullptr)
            clock_pane_->setText(LoadText(lang_, ids::kStrClockFormat).replace("%s", clock_text_));
        // Timed texts of the message pane (a snapshot's outcome) run out.
        if (message_pane_ != nullptr)
            message_pane_->setText(MessagePaneText());
        return;
    }
    if (timer != kTimerStatus)
        return;
    // The camera is read once a second; the banner shows what is not normal.
    std::unique_lock<std::mutex> guard(state_lock_);
    if (!camera_ || !info_dlg_ || view_ == nullptr)
        return;
    CInfoDlg* banner = info_dlg_.get();
    if (!playing_ || isMinimized()) {
        if (banner->isVisible())
            banner->hide();
        return;
    }
    if (++poll_counter_ >= kStatusPollTicks) {
        int status = kNormalStatus;
        if (camera_->GetState(&status) < 0)
            return; // the last status and the banner stay as they were
        last_status_ = status;
        poll_counter_ = 0;
    }
    const int status = last_status_;
    // The banner is shown outside the lock: showing a window delivers events
    // at once, and their handlers may ask whether the picture plays. Only
    // this thread replaces the banner, so it stays valid.
    guard.unlock();
    UpdateInfoDlg(banner, status);
}

void TovekCameraDlg::UpdateInfoDlg(CInfoDlg* banner, int status) {
    if (status == kNormalStatus) {
        if (banner->isVisible())
            banner->hide();
        return;
    }
    banner->SetInfoText(ctl::StatusText(status).c_str());
    const QPoint centre = view_->mapToGlobal(view_->rect().center());
    banner->move(centre - banner->rect().center());
    if (!banner->isVisible())
        banner->show();
    if (view_->IsFullScreen())
        banner->raise();
}

void TovekCameraDlg::ReplaceInfoDlg(bool create) {
    info_dlg_.reset();
    if (create)
        info_dlg_ = std::make_unique<CInfoDlg>();
}

CInfoDlg* TovekCameraDlg::InfoDlg() const {
    std::lock_guard<std::mutex> guard(state_lock_);
    return info_dlg_.get();
}

// ---- status bar and menu rules -------------------------------------------------

QString TovekCameraDlg::FramePaneText() const {
    return frame_pane_->text();
}

QString TovekCameraDlg::FramePaneText(int width, int height, int32_t length) const {
    return QStringLiteral("%1: [%2x%3] %4,%5%6")
        .arg(LoadTextByKey(lang_, "2", QStringLiteral("Frame")))
        .arg(width)
        .arg(height)
        .arg(length / 1000)
        .arg(length % 1000, 3, 10, QLatin1Char('0'))
        .arg(LoadTextByKey(lang_, "3", QStringLiteral("Bytes")));
}

QString TovekCameraDlg::MessagePaneText() const {
    if (snapshot_taken_ && platform::GetTickCount() - snapshot_tick_ < snapshot::kMessageMs) {
        if (app_.snapshot_result == snapshot::kSaved)
            return QStringLiteral("Save a picture to: ") + picture_path_;
        if (app_.snapshot_result == snapshot::kNoSpace)
            return QStringLiteral("Image capture failed! Not enough space on disk!");
        return QStringLiteral("Image capture failed! Unknown reason!");
    }
    if (Playing())
        return LoadText(lang_, ids::kStrPlaying);
    return LoadText(lang_, attached_ ? ids::kStrAttached : ids::kStrDetached);
}

void TovekCameraDlg::UpdateControls() {
    const bool playing = Playing();
    const bool running = attached_ && playing;
    auto enable = [this](uint32_t id, bool on) {
        if (QAction* item = FindCommand(id))
            item->setEnabled(on);
    };
    enable(cmd::kPlay, !running && attached_);
    enable(cmd::kStop, running);
    enable(cmd::kCapture, running);
    enable(cmd::kStartRecord, running && !recording_);
    enable(cmd::kStopRecord, running && recording_);
    enable(cmd::kSetting, running && !recording_);
    enable(cmd::kFullScreen, playing);
    for (uint32_t id = cmd::kZoomFirst; id <= cmd::kZoomLast; ++id)
        enable(id, playing);
    for (uint32_t id = cmd::kControlFirst; id <= cmd::kControlLast; ++id)
        enable(id, playing);
    for (int i = 0; i < std::max(device_items_, 1); ++i)
        enable(cmd::kDeviceFirst + static_cast<uint32_t>(i), !playing && device_index_ != -1);
}
