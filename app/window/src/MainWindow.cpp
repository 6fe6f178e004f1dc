#include "window/MainWindow.h"

#include "HelpFile.h"
#include "PixelDemand.h"
#include "ShareControl.h"
#include "StallWatch.h"
#include "TextCopy.h"
#include "WindowTrace.h"
#include "camera/SessionEvents.h"
#include "common/AppTrace.h"
#include "common/CommandIds.h"
#include "common/CrossThreadEvent.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "common/StringTable.h"
#include "platform/system.h"
#include "record/RecordingRepair.h"
#include "view/SavableImage.h"
#include "view/VideoView.h"
#include "widgets/AboutBox.h"
#include "widgets/CommandPanel.h"
#include "widgets/ControlToolBar.h"
#include "widgets/MessageBox.h"
#include "widgets/SettingsDialog.h"
#include "window/Application.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTime>
#include <QTimerEvent>
#include <QUrl>
#include <cstdio>

const MainWindow::CommandRange MainWindow::kCommands[] = {
    {cmd::kPlay, cmd::kPlay, &MainWindow::OnPlay},
    {cmd::kStop, cmd::kStop, &MainWindow::OnStop},
    {cmd::kCapture, cmd::kCapture, &MainWindow::OnCapture},
    {cmd::kStartRecord, cmd::kStartRecord, &MainWindow::OnStartRecord},
    {cmd::kStopRecord, cmd::kStopRecord, &MainWindow::OnStopRecord},
    {cmd::kStartTimeLapse, cmd::kStartTimeLapse, &MainWindow::OnStartTimeLapse},
    {cmd::kStopTimeLapse, cmd::kStopTimeLapse, &MainWindow::OnStopTimeLapse},
    {cmd::kExportPdf, cmd::kExportPdf, &MainWindow::OnExportPdf},
    {cmd::kShare, cmd::kShareStop, &MainWindow::OnShare},
    {cmd::kExit, cmd::kExit, &MainWindow::OnExit},
    {cmd::kFullScreen, cmd::kFullScreen, &MainWindow::OnFullScreen},
    {cmd::kZoomFirst, cmd::kZoomLast, &MainWindow::OnZoomMode},
    {cmd::kFreeze, cmd::kFreeze, &MainWindow::OnFreeze},
    {cmd::kRotateRight, cmd::kRotateLeft, &MainWindow::OnRotate},
    {cmd::kUndo, cmd::kHideAnnotations, &MainWindow::OnEditMenu},
    {cmd::kBlank, cmd::kBlank, &MainWindow::OnBlank},
    {cmd::kSpotlight, cmd::kCurtain, &MainWindow::OnShowEffect},
    {cmd::kGallery, cmd::kGallery, &MainWindow::OnGallery},
    {cmd::kPageMode, cmd::kResetPage, &MainWindow::OnPageMode},
    {cmd::kCompare, cmd::kCompare, &MainWindow::OnCompare},
    {cmd::kCopyText, cmd::kCopyText, &MainWindow::OnCopyText},
    {cmd::kLanguageFirst, cmd::kLanguageLast, &MainWindow::OnLanguage},
    {cmd::kSetting, cmd::kSetting, &MainWindow::OnSetting},
    {cmd::kOptions, cmd::kOptions, &MainWindow::OnOptions},
    {cmd::kDeviceFirst, cmd::kDeviceLast, &MainWindow::OnDevice},
    {cmd::kControlFirst, cmd::kControlLast, &MainWindow::OnControl},
    {cmd::kHelp, cmd::kHelp, &MainWindow::OnHelp},
    {cmd::kAbout, cmd::kAbout, &MainWindow::OnAbout},
};

MainWindow::MainWindow(Application& app, QWidget* parent)
    : QDialog(parent), app_(app), lang_(app.LangContext()),
      session_(std::make_unique<CameraSession>(this)), placer_(this, app.Ini()) {
    SetDialogId(this, static_cast<int>(res::kMainDialog));
    // Runs on the library thread that takes the snapshot.
    session_->GetSnapshot().SetImageWriter(
        [](const std::string& path, const uint8_t* pixels, int width, int height) {
            const QImage image(pixels, width, height, width * 4, QImage::Format_RGB32);
            return SavableImage(image).Save(QString::fromStdString(path));
        });
    OnInitDialog();
}

MainWindow::~MainWindow() {
    OnDestroy();
}

void MainWindow::OnInitDialog() {
    TRACE_DLG("OnInitDialog");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    menu_ = std::make_unique<MainMenu>(this, lang_, [this](uint32_t id) { OnCommand(id); });
    setWindowIcon(app_.ProgramIcon());

    // The Device menu and the stored choice, kept when it names an item.
    session_->SetCatalogue(ReadDeviceCatalogue(app_.ProgramFolder() + kDeviceCatalogueFile));
    std::vector<QString> labels;
    for (const std::u16string& name : session_->Catalogue())
        labels.push_back(QString::fromStdU16String(DeviceMenuLabel(name)));
    menu_->FillDevices(labels);
    const int device_index = menu_->SelectStoredDevice(
        app_.Ini()->GetUInt(settings::kSectionApp, settings::kDeviceSelect, cmd::kDeviceFirst, 10));

    panes_ = std::make_unique<StatusPanes>(this, lang_);
    ShowStartupNotice(record::RepairUnfinishedRecordings(app_.Settings().record_path));
    timer_ids_[kTimerClock] = startTimer(1000);
    OnTimer(kTimerClock);
    idle_timer_ = startTimer(kIdleUpdateMs);

    CreateViewAndPanels();
    stall_watch::StartFromEnvironment(this, view_);
    layout_ = std::make_unique<MainLayout>(this, menu_->Bar(), panes_->Bar(), app_.Ini());
    layout_->Create(view_, command_panel_, tool_bar_);
    CreateGallery();
    CreateTextCopy();
    CreateAnnotationPanel();
    CreateShare();
    // The panels' tooltips and labels, made in English, in the chosen language.
    for (QWidget* panel : findChildren<QWidget*>()) {
        bool ok = false;
        const uint32_t dialog_id = panel->property(kDialogIdProperty).toUInt(&ok);
        if (ok && dialog_id != 0)
            LangTranslateDialog(lang_, panel, dialog_id);
    }
    TranslateKeyedTexts(lang_, this);
    banner_.SetLanguage(lang_);

    // Keys reach the window's rules before any child or shortcut sees them.
    keys_ = std::make_unique<KeyRouter>(this, static_cast<KeyActions*>(this));
    remote_ = CreateRemoteServer(*this, app_);

    placer_.SetInitialised();
    session_->Choose(device_index);
    if (session_->Camera() != nullptr)
        StartAudioListing();
    OpenCamera(true);

    // The enable rules are applied again before any menu opens.
    for (QAction* top : menu_->Bar()->actions()) {
        if (QMenu* menu = top->menu())
            connect(menu, &QMenu::aboutToShow, this, [this] {
                TRACE_DLG("OnInitMenuPopup");
                Refresh();
            });
    }

    const settings::WindowPlacement placement = placer_.Apply();
    stored_zoom_mode_ = static_cast<int>(placement.zoom_mode);
    view_->SetZoomCommand(cmd::kZoomFirst + placement.zoom_mode);
    setWindowTitle(LoadText(lang_, ids::kStrTitle));
    Layout();
    Refresh();
}

// Start-up's notices (with the application's own, on files it ignored) go to
// the message pane and, for whoever started the program, to its error output.
void MainWindow::ShowStartupNotice(const std::string& repair_text) {
    std::vector<std::string> notices = app_.StartupNotices();
    notices.push_back(repair_text);
    QStringList texts;
    for (const std::string& text : notices) {
        if (text.empty())
            continue;
        std::fprintf(stderr, "TovekCamera: %s\n", text.c_str());
        texts << QString::fromStdString(text);
    }
    message_.notice = texts.join(QStringLiteral("; "));
    message_.notice_tick = platform::GetTickCount();
}

// Nothing of the camera, its callbacks or the overlay worker runs once this
// returns, and nothing the libraries posted reaches the window.
void MainWindow::OnDestroy() {
    TRACE_DLG("OnDestroy");
    remote_.reset();
    // Its feed reads the session's overlay and shown picture.
    share_.reset();
    keys_.reset();
    // A reading in progress stops within a few words.
    text_copy_.reset();
    OnVideoStop();
    // It tells the window its last word as it goes: now, while the window
    // is whole, not when the view's children go after it.
    delete pixel_demand_;
    StopStatusTimer();
    banner_.Destroy();
    if (view_ != nullptr)
        view_->SetPageMode(nullptr); // the session's, which goes now
    session_.reset();
    // The writer posts its result here: it ends before the window does, a
    // reading of the text stopped within a few words.
    StopPdfExport();
    for (int* id : {&timer_ids_[kTimerClock], &idle_timer_}) {
        if (*id != 0)
            killTimer(*id);
        *id = 0;
    }
    QCoreApplication::removePostedEvents(this);
}

bool MainWindow::OnCommand(uint32_t id) {
    for (const CommandRange& range : kCommands) {
        if (id >= range.first && id <= range.last) {
            (this->*range.handler)(id);
            return true;
        }
    }
    return false;
}

void MainWindow::Refresh() {
    TRACE_DLG("OnUpdMenuFile");
    if (!session_ || view_ == nullptr) // before the window is built, after it is torn down
        return;
    MenuState menu;
    menu.attached = session_->Attached();
    menu.playing = session_->Playing();
    menu.starting = session_->Starting();
    menu.recording = session_->Recording();
    menu.time_lapse = session_->GetTimeLapse().Running();
    menu.full_screen = view_->IsFullScreen();
    menu.zoom_mode = static_cast<uint32_t>(view_->ZoomMode());
    menu.frozen = session_->Shown().Frozen();
    RefreshShownPicture(menu.frozen);
    menu.device_index = session_->DeviceIndex();
    menu.can_undo = annotations_.CanUndo();
    menu.can_redo = annotations_.CanRedo();
    menu.has_shapes = annotations_.HasShapes();
    menu.annotations_hidden = annotations_.Hidden();
    menu.blanked = view_->Blanked();
    menu.spotlight = view_->ShowEffect().kind == view::ShowEffectKind::kSpotlight;
    menu.curtain = view_->ShowEffect().kind == view::ShowEffectKind::kCurtain;
    menu_->Apply(menu);
    RefreshExport();
    RefreshGallery();
    RefreshCopyText();
    RefreshPageMode();

    message_.now = platform::GetTickCount();
    message_.attached = menu.attached;
    message_.playing = menu.playing;
    message_.starting = menu.starting;
    const Recorder& recorder = session_->GetRecorder();
    message_.recording = menu.recording;
    message_.recording_result = recorder.RecordingResult();
    message_.recording_tick = recorder.StartTick();
    message_.megabytes = recorder.MegabytesWritten();
    message_.video_path = QString::fromStdString(recorder.VideoPath());
    panes_->SetMessage(message_);
    const bool running = menu.attached && menu.playing;
    command_panel_->EnableCommands(running);
    tool_bar_->EnableButtons(running);
    if (!running)
        layout_->SetAnnotationMode(false);
}

// The idle update: command states and timed texts, at most every 200 ms.
void MainWindow::OnKickIdle() {
    TRACE_DLG("OnKickIdle");
    Refresh();
}

void MainWindow::Layout() {
    TRACE_DLG("Layout");
    if (layout_)
        layout_->Layout();
}

// ---- window --------------------------------------------------------------------

void MainWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    placer_.OnMoved();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    TRACE_DLG("OnSize");
    QDialog::resizeEvent(event);
    Layout();
    placer_.OnResized();
}

void MainWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        placer_.OnStateChanged();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Esc does not close the main window; only Exit and the close button do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::LeaveFullScreen() {
    if (view_ != nullptr && view_->IsFullScreen())
        view_->ToggleFullScreen();
}

void MainWindow::NudgeSelection(int dx, int dy) {
    view_->NudgeSelection(dx, dy);
}

void MainWindow::reject() {
    if (session_->Recording() &&
        MessageBox(this, LangText(lang_, "Video is recording! Sure to exit?"), app_.Caption(),
                   msgbox::kOkCancel | msgbox::kIconExclamation) != msgbox::kIdOk)
        return;
    QDialog::reject();
}

// ---- commands ----------------------------------------------------------------

void MainWindow::OnCapture(uint32_t) {
    TRACE_DLG("OnMenuFileCaptur");
    // The snapshot itself is taken on the next frame, on a library thread.
    if (session_->Playing())
        session_->GetSnapshot().Request(app_.Settings().capture_path);
}

void MainWindow::OnExit(uint32_t) {
    reject();
}

void MainWindow::OnFullScreen(uint32_t id) {
    TRACE_DLG("OnMenuFullscr");
    view_->OnCommand(id);
    Refresh();
}

void MainWindow::OnZoomMode(uint32_t id) {
    TRACE_DLG("OnMenuZoomMode");
    view_->SetZoomCommand(id); // the zoom-mode handler stores the choice
}

void MainWindow::OnLanguage(uint32_t id) {
    if (!menu_->SelectLanguage(id))
        return;
    TranslateOtherWindows(lang_, this, menu_->Bar());
    setWindowTitle(LoadText(lang_, ids::kStrTitle));
    // The status bar's words follow at once, not at the next frame.
    panes_->SetFrame(session_->FrameWidth(), session_->FrameHeight(), session_->LastFrameBytes());
    Refresh();
}

void MainWindow::OnControl(uint32_t id) {
    session_->RunControlCommand(id);
}

int SendControlKey(MainWindow* main_window, int key) {
    return main_window != nullptr ? main_window->Session().SendControlKey(key) : -1;
}

void MainWindow::OnHelp(uint32_t) {
    const QString caption = app_.Caption();
    if (help::OpenHelp(QString::fromStdU16String(app_.ProgramFolder()), caption) !=
        help::Action::kMissing)
        return;
    // The caption goes in by replacement: a translated text is no format.
    const QString text = LangText(lang_, "Can not find the help file: %s.chm!");
    MessageBox(this, QString(text).replace(QStringLiteral("%s"), caption), caption,
               msgbox::kOk | msgbox::kIconExclamation);
}

void MainWindow::OnAbout(uint32_t) {
    // Modeless: it deletes itself when closed.
    auto* about = new AboutBox(windowIcon(), lang_, this);
    about->show();
}
