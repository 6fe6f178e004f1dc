// MainWindow: the program's main window. It wires the parts together:
// the camera session (camera, callbacks, frame fields), the main menu, the
// key router, the status panes and banner, the video view and the window
// placement. It keeps the command table, routes posted messages, runs the
// timers, help and about, and derives every widget's state from the
// session's state in one place (Refresh).
//
// Every command reaches OnCommand with its id, whether it comes from the
// menu, a key or a test. Library threads reach the window only through
// posted messages (WindowMessages.h).
#pragma once

#include "annotation/AnnotationEditor.h"
#include "annotation/AnnotationStore.h"
#include "camera/CameraSession.h"
#include "capture/PdfExport.h"
#include "capture/SessionCaptures.h"
#include "common/CommandIds.h"
#include "language/language.h"
#include "record/AudioChoices.h"
#include "widgets/CommandPanelHost.h"
#include "window/KeyRouter.h"
#include "window/MainLayout.h"
#include "window/MainMenu.h"
#include "window/RemoteWiring.h"
#include "window/StatusBanner.h"
#include "window/StatusPanes.h"
#include "window/WindowPlacer.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;
class GalleryStrip;
class TextCopy;
class GraphicPanel;
class SettingsDialog;
class CommandPanel;
class ControlToolBar;
class VideoView;
class Application;
class ShareControl;
class PixelDemand;
struct TimeLapseChoice;

class MainWindow : public QDialog, private KeyActions, private CommandPanelHost {
public:
    static constexpr int kTimerClock = 1;  // 1000 ms, for the window's whole life
    static constexpr int kTimerStatus = 2; // 50 ms, while playing
    static constexpr int kIdleUpdateMs = 200;
    // While nobody can see the picture: nothing shows the update.
    static constexpr int kUnseenIdleUpdateMs = 1000;

    explicit MainWindow(Application& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the handler of command id. False when no handler takes the id.
    bool OnCommand(uint32_t id);
    // The cancel path: asks first while a recording runs, then ends the
    // dialog. Reached by "E&xit" and by the close button.
    void reject() override;
    // Timer handler; tests drive it directly.
    void OnTimer(int timer);
    bool TimerActive(int timer) const;

    CameraSession& Session() { return *session_; }
    MainMenu& Menu() { return *menu_; }
    StatusPanes& Panes() { return *panes_; }
    StatusBanner& Banner() { return banner_; }
    VideoView* View() const { return view_; }
    CommandPanel* GetCommandPanel() const { return command_panel_; }
    ControlToolBar* ToolBar() const { return tool_bar_; }
    GraphicPanel* AnnotationPanel() const { return annotation_panel_; }
    SettingsDialog* SettingDialog() const;
    KeyRouter& Keys() { return *keys_; }
    annotation::AnnotationStore& Annotations() { return annotations_; }

    MainLayout& Layouter() { return *layout_; }
    GalleryStrip* Gallery() const { return gallery_; }
    // The pictures chosen in the gallery (Ctrl+click), oldest first; empty
    // when none is chosen. For whatever takes them further (an export).
    std::vector<std::string> ChosenCapturePaths() const;
    // The capture held in the view (empty while live) and whether the view
    // compares (GalleryHandlers.cpp).
    const std::string& HeldCapture() const { return held_capture_; }
    bool Comparing() const { return comparing_; }
    // Sharing with the class (ShareHandlers.cpp): its control, and the first
    // address with its token (empty while not sharing).
    ShareControl& Share() { return *share_; }
    std::string ShareUrl() const;

    // Starts a time-lapse as the dialog chose it (the dialog's OK; tests call
    // it directly): timelapse::kOk, or the refusal the user was shown.
    int32_t StartTimeLapse(const TimeLapseChoice& choice);
    // Widget state from session state: the menu rules and the message pane.
    void Refresh();
    // Places the panels, the splitter and the status bar.
    void Layout();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    using Handler = void (MainWindow::*)(uint32_t id);
    struct CommandRange {
        uint32_t first;
        uint32_t last;
        Handler handler;
    };
    static const CommandRange kCommands[];

    void OnInitDialog();
    void CreateViewAndPanels();
    void CreateAnnotationPanel();
    void StartAudioListing();
    record::AudioChoices TakeAudioChoices();
    void OnDestroy();
    void OnKickIdle();

    // Command handlers.
    void OnPlay(uint32_t id);
    void OnStop(uint32_t id);
    void OnCapture(uint32_t id);
    void OnStartRecord(uint32_t id);
    void OnStopRecord(uint32_t id);
    void OnStartTimeLapse(uint32_t id);
    void OnStopTimeLapse(uint32_t id);
    void OnTimeLapseMessage(uint32_t count, int32_t result);
    void OnExportPdf(uint32_t id);
    // Sharing with the class (ShareHandlers.cpp).
    void CreateShare();
    void OnShare(uint32_t id);
    void OnExit(uint32_t id);
    void OnFullScreen(uint32_t id);
    void OnZoomMode(uint32_t id);
    void OnFreeze(uint32_t id);
    void OnEditMenu(uint32_t id);
    void OnBlank(uint32_t id);
    void OnShowEffect(uint32_t id);
    void OnRotate(uint32_t id);
    // Page mode, the document filter and Reset Page (PageHandlers.cpp).
    void OnPageMode(uint32_t id);
    void RefreshPageMode();
    // Gallery and compare (GalleryHandlers.cpp).
    void CreateGallery();
    void OnGallery(uint32_t id);
    void OnCompare(uint32_t id);
    void ShowCapture(const std::string& path);
    // What the view shows of the captures, from held_capture_, comparing_
    // and the gallery's choice.
    void ApplyCaptureShow();
    // Back to live; false when no capture was shown.
    bool EndCaptureShow();
    void RefreshGallery();
    // The view's freeze mark from the session's state (part of Refresh).
    void RefreshShownPicture(bool frozen);
    void OnLanguage(uint32_t id);
    void OnSetting(uint32_t id);
    void OnOptions(uint32_t id);
    void OnDevice(uint32_t id);
    void OnControl(uint32_t id);
    void OnHelp(uint32_t id);
    void OnAbout(uint32_t id);

    // Camera events.
    void OpenCamera(bool initial);
    void OnCameraOpened(uint64_t ticket);
    // A Play's picture runs: the banner, the status timer, the view's size.
    void OnPictureRunning();
    void OnVideoAttach();
    // The attach of a camera that was removed, with the replug option on:
    // play, picture states and recording as the user left them.
    void ResumeReturnedCamera();
    // Ends the picture: the user's Stop and the detach handling.
    void StopPicture();
    void OnVideoDetach();
    void OnVideoStop();
    void OnStreamError();
    void OnDeviceChangeMessage(uint32_t event, const DEV_BROADCAST_HDR* header);
    void OnSnapshotMessage(const snapshot::Outcome& outcome);
    void StartStatusTimer();
    void StopStatusTimer();

    // The PDF export (ExportHandlers.cpp): the captures chosen in the
    // gallery, else this run's snapshots.
    std::vector<std::string> CapturesToExport() const;
    // The item's enable rule (part of Refresh).
    void RefreshExport();
    void OnPdfExported(const pdf_export::Result& result, const std::string& output);
    // The searchable export's progress in the status bar, and its stop.
    struct PdfProgress {
        text::Monitor reading;    // the picture being read
        std::atomic<int> page{0}; // pictures begun
        int pages = 0;            // set before the worker starts
    };
    void StartPdfProgress();
    void StopPdfExport();

    // Copy Text (TextHandlers.cpp): the shown picture's text, read on a
    // worker, onto the clipboard.
    void CreateTextCopy();
    void OnCopyText(uint32_t id);
    void OnTextPicture(const PictureGrab::Picture& picture);
    // The item's enable rule; the reading of a picture that stopped ends
    // (part of Refresh).
    void RefreshCopyText();

    // KeyActions.
    bool KeyAttached() const override { return session_->Attached(); }
    bool KeyPlaying() const override { return session_->Playing() || session_->Starting(); }
    bool KeysMoveOptics() const override { return session_->Traits().keys_move_optics; }
    void KeyCommand(uint32_t id) override { OnCommand(id); }
    bool KeyMenuCommand(uint32_t id) override {
        return MenuCommandEnabled(*this, id) && OnCommand(id);
    }
    void LeaveFullScreen() override;
    bool EndShowEffect() override;
    void NudgeSelection(int dx, int dy) override;
    void DeleteSelection() override;
    bool TypingText() const override { return annotations_.TypingText(); }
    void TypeText(annotation::TextKey key, const std::string& utf8) override {
        annotations_.TypeText(key, utf8);
    }
    void FinishText() override { annotations_.FinishText(); }
    bool KeyTool(annotation::DrawTool tool) override;

    // CommandPanelHost.
    bool IsRecording() const override { return session_->Recording(); }
    void SetToolBarShown(bool shown) override { layout_->SetToolBarShown(shown); }
    void SetAnnotationMode(int mode) override {
        layout_->SetAnnotationMode(mode == CommandPanelHost::kAnnotationOn);
    }
    void OpenSettingDialog() override { OnSetting(cmd::kSetting); }
    bool ShowLogo() const override;
    HLANGCTX Language() const override { return lang_; }

    Application& app_;
    const HLANGCTX lang_; // owned by the application
    // Before the session: the overlay worker draws the shapes until the
    // session is gone.
    annotation::AnnotationStore annotations_;
    std::unique_ptr<annotation::AnnotationEditor> editor_;
    std::unique_ptr<CameraSession> session_;
    std::unique_ptr<MainMenu> menu_;
    std::unique_ptr<StatusPanes> panes_;
    std::unique_ptr<KeyRouter> keys_;
    std::unique_ptr<MainLayout> layout_;
    StatusBanner banner_;
    WindowPlacer placer_;
    VideoView* view_ = nullptr;
    CommandPanel* command_panel_ = nullptr; // children of the window
    ControlToolBar* tool_bar_ = nullptr;
    GraphicPanel* annotation_panel_ = nullptr; // hosted by the right panel
    QPointer<SettingsDialog> setting_dlg_;     // made when first opened, again each time
    GalleryStrip* gallery_ = nullptr;          // a child of the window
    std::string held_capture_;                 // shown instead of live; empty while live
    bool comparing_ = false;
    // A returned camera's Play under way: its picture states (and, when true,
    // its recording) come back once the picture runs.
    std::optional<bool> resume_on_run_;

    // What the message pane shows besides the session's state.
    MessagePaneState message_;
    void ShowStartupNotice(const std::string& repair_text);
    int timer_ids_[3] = {0, 0, 0}; // Qt timer ids of timers 1 and 2; 0 when stopped
    int idle_timer_ = 0;
    // The status timer runs while both hold: asked for (playing) and the
    // picture seen (PixelDemand, which pixel_demand_ is while it lives).
    bool status_asked_ = false;
    bool picture_seen_ = true;
    bool idle_seen_ = true; // the pace idle_timer_ runs at
    QPointer<PixelDemand> pixel_demand_;
    void OnPictureSeen(bool seen);
    void PaceTimers();
    int stored_zoom_mode_ = -1;                       // ZoomMode as the settings hold it
    std::future<record::AudioChoices> audio_listing_; // user-interface thread
    std::unique_ptr<RemoteServer> remote_;            // commands of other starts
    SessionCaptures captures_;                        // this run's snapshots
    std::future<void> pdf_job_;           // the PDF writer while it runs; user-interface thread
    std::unique_ptr<TextCopy> text_copy_; // Copy Text; user-interface thread
    std::shared_ptr<PdfProgress> pdf_progress_; // shared with the writer while it runs
    QTimer* pdf_tick_ = nullptr;                // a child: the progress in the status bar
    bool pdf_searchable_ = false;               // the dialog's last choice
    std::unique_ptr<ShareControl> share_;       // sharing with the class; gone before session_
};

// The control tool bar's entry to the camera: sends key through the session's
// translation. Nothing is sent without a main window.
int SendControlKey(MainWindow* main_window, int key);
