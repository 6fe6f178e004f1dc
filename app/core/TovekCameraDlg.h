// TovekCameraDlg: the program's main window. It carries the main menu (128),
// dispatches every command id through one table, follows the language
// switch and keeps its placement in the settings.
//
// Every menu command reaches OnCommand with its id, whether it comes from
// the menu, a shortcut or a test. Commands whose behaviour belongs to later
// parts of the window exist and are accepted, but do nothing yet.
//
// The window owns the camera object of the chosen Device-menu entry and
// drives it: open, play, stop, hot-plug. Library threads reach the window
// only through posted messages (WindowMessage, DeviceChangeMessage), except
// for the frame fields and the overlay, which are atomic or locked.
#pragma once

#include "AppSettings.h"
#include "DeviceCatalogue.h"
#include "DocumentCamera.h"
#include "FrameOverlay.h"
#include "Snapshot.h"
#include "language/language.h"
#include "platform/devices.h"

#include <QDialog>
#include <QEvent>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CInfoDlg;
class CVideoView;
class QAction;
class QKeyEvent;
class QActionGroup;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class TovekCameraApp;

// A private window message (types msg::k... of CommandIds.h) with its two
// parameters.
class WindowMessage : public QEvent {
public:
    WindowMessage(int type, uint32_t wparam = 0, int32_t lparam = 0)
        : QEvent(static_cast<QEvent::Type>(type)), wparam(wparam), lparam(lparam) {}
    const uint32_t wparam;
    const int32_t lparam;
};

// A device arrival or removal from the RVX library's notification thread.
class DeviceChangeMessage : public QEvent {
public:
    static QEvent::Type Type();
    DeviceChangeMessage(uint32_t event, platform::DeviceBroadcast broadcast)
        : QEvent(Type()), event(event), broadcast(std::move(broadcast)) {}
    const uint32_t event;
    const platform::DeviceBroadcast broadcast;
};

// The outcome of a snapshot attempt, posted from the library thread that
// took it.
class SnapshotMessage : public QEvent {
public:
    static QEvent::Type Type();
    explicit SnapshotMessage(snapshot::Outcome outcome)
        : QEvent(Type()), outcome(std::move(outcome)) {}
    const snapshot::Outcome outcome;
};

class TovekCameraDlg : public QDialog, public DeviceChangeReceiver {
public:
    explicit TovekCameraDlg(TovekCameraApp& app, QWidget* parent = nullptr);
    ~TovekCameraDlg() override;

    // Runs the handler of command id. False when no handler takes the id.
    bool OnCommand(uint32_t id);

    QMenuBar* MainMenu() const { return menu_bar_; }
    // The menu item of command id, or nullptr.
    QAction* FindCommand(uint32_t id) const;
    // The submenu at position of the main menu, or nullptr.
    QMenu* SubMenu(int position) const;
    uint32_t ZoomMode() const { return zoom_mode_; }
    bool Initialised() const { return initialised_; }
    // The cancel path: asks first while a recording runs, then ends the
    // dialog. Reached by "E&xit" and by the close button.
    void reject() override;

    // ---- camera -------------------------------------------------------------
    static constexpr int kTimerClock = 1;       // 1000 ms, for the window's whole life
    static constexpr int kTimerStatus = 2;      // 50 ms, while playing
    static constexpr int kStatusPollTicks = 20; // status read every 20th tick
    static constexpr int kNormalStatus = 17;
    static constexpr uint32_t kRestartWaitMs = 1000; // Play and Stop let the device settle

    const std::vector<std::u16string>& Catalogue() const { return catalogue_; }
    CDocumentCamera* Camera() const { return camera_.get(); }
    int Family() const { return family_; }
    int DeviceIndex() const { return device_index_; }
    bool Attached() const { return attached_; }
    bool Playing() const;
    bool Recording() const { return recording_; }
    // Recording itself is driven by the recorder; this only sets the flag.
    void SetRecording(bool recording) { recording_ = recording; }
    int CommandCounter(int i) const { return command_counters_[i]; }
    CVideoView* View() const { return view_; }
    int FrameWidth() const { return frame_width_.load(); }
    int FrameHeight() const { return frame_height_.load(); }
    int FrameRate() const { return frame_rate_; }
    int32_t LastFrameBytes() const { return last_frame_bytes_.load(); }
    // Messages 1148 handled since start-up.
    uint64_t FrameMessages() const { return frame_messages_; }
    int LastStatus() const;
    bool TimerActive(int timer) const;
    QString FramePaneText() const;
    // "Frame: [WxH] k,bbbBytes" with the looked-up words "Frame" and "Bytes".
    QString FramePaneText(int width, int height, int32_t length) const;
    QString MessagePaneText() const;
    QString ClockText() const { return clock_text_; }
    OverlayWorker& Overlay() { return overlay_; }

    // ---- snapshot -------------------------------------------------------------
    CSnapshot& Snapshot() { return snapshot_; }
    // The last picture written, empty before the first.
    QString PicturePath() const { return picture_path_; }
    // Snapshot outcomes received since start-up.
    uint64_t SnapshotMessages() const { return snapshot_messages_; }

    // ---- control commands and status banner ---------------------------------
    // Translates control code key (ctl::k...) for the camera family and sends
    // it when a camera object exists; RVX mirror, negative and mono/colour
    // advance the command counters. User-interface thread only, like every
    // other use of the camera object and the counters. The result of the send
    // is not examined: 0 when a byte went out, -1 when there was no camera.
    int SendControlKey(int key);
    // The status banner while one exists (from a start of playing to stop).
    CInfoDlg* InfoDlg() const;
    // Key pre-translation: sees every key event of this window and of the
    // windows it owns before they are dispatched. True when consumed.
    bool PreTranslateMessage(QObject* target, QEvent* event);

    // Timer handler; tests drive it directly.
    void OnTimer(int timer);
    // The waits of Play and Stop go through wait (platform::Sleep by default).
    void SetWaitFunction(std::function<void(uint32_t)> wait) { wait_ = std::move(wait); }

    // The library callbacks; context is the window.
    static int TOVEK_STDCALL Q5StreamProc(int event, BYTE* data, LONG length, void* context);
    static int TOVEK_STDCALL RvxStreamProc(BYTE* data, LONG length, double sample_time,
                                           void* context);
    static int SampleProc(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                          int flag, void* context);

    // DeviceChangeReceiver, on the library's notification thread.
    void OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    using Handler = void (TovekCameraDlg::*)(uint32_t id);
    struct CommandRange {
        uint32_t first;
        uint32_t last;
        Handler handler;
    };
    static const CommandRange kCommands[];

    bool OnInitDialog();
    void BuildMainMenu();
    QAction* AddCommand(QMenu* menu, uint32_t id, const char16_t* text,
                        const char* shortcut = nullptr);
    void ApplyPlacement();
    void SavePlacement();
    RECT DesktopRect() const;

    // Command handlers.
    void OnMenuFilePlay(uint32_t id);
    void OnMenuFileStop(uint32_t id);
    void OnMenuFileCaptur(uint32_t id);
    void OnStartRecord(uint32_t id);
    void OnStopRecord(uint32_t id);
    void OnExit(uint32_t id);
    void OnMenuFullscr(uint32_t id);
    void OnMenuZoomMode(uint32_t id);
    void OnLanguage(uint32_t id);
    void OnSetting(uint32_t id);
    void OnOptions(uint32_t id);
    void OnDevice(uint32_t id);
    void OnControl(uint32_t id);
    void OnHelp(uint32_t id);
    void OnAbout(uint32_t id);

    // Device handling.
    void FillDeviceMenu();
    void CreateCamera();
    void DestroyCamera();
    void SetCallbacks(bool with_sample);
    void RemoveCallbacks();
    void ResetCommandCounters();
    void OnVideoAttach();
    void OnVideoDetach();
    void OnVideoStop();
    void OnFrameMessage(uint32_t size, int32_t length);
    void OnSnapshotMessage(const snapshot::Outcome& outcome);
    void OnDeviceChangeMessage(uint32_t event, const DEV_BROADCAST_HDR* header);
    void StartStatusTimer();
    void StopStatusTimer();
    void SetPlaying(bool playing);
    void StreamFrame(const BYTE* data, LONG length);
    void OnDestroy();
    // Under the state lock; a new banner is hidden and blank.
    void ReplaceInfoDlg(bool create);
    void UpdateInfoDlg(CInfoDlg* banner, int status);
    bool OwnsWidget(const QObject* target) const;
    void OnControlKeyRelease(const QKeyEvent& key);
    void LeaveFullScreen();

    // Enables and checks the menu items for the current state.
    void UpdateControls();

    // Re-translates the main menu, every other menu and open dialog that
    // carries its resource id, and the title.
    void TranslateAll();

    TovekCameraApp& app_;
    HLANGCTX lang_; // owned by the application
    QMenuBar* menu_bar_ = nullptr;
    QActionGroup* zoom_group_ = nullptr;
    QActionGroup* device_group_ = nullptr;
    bool initialised_ = false; // moves and resizes are saved only after OnInitDialog
    bool recording_ = false;   // set by the recorder once it exists

    std::vector<std::u16string> catalogue_;
    std::mutex camera_lock_; // guards replacing and deleting camera_
    std::unique_ptr<CDocumentCamera> camera_;
    int family_ = 0;
    int device_index_ = -1;
    int device_items_ = 0; // items of the Device menu
    bool attached_ = false;
    bool auto_play_pending_ = true;
    bool notification_registered_ = false;
    // Guards playing_, last_status_, poll_counter_ and info_dlg_.
    mutable std::mutex state_lock_;
    bool playing_ = false;
    int last_status_ = kNormalStatus;
    int poll_counter_ = 0;
    std::unique_ptr<CInfoDlg> info_dlg_;  // guarded by state_lock_
    int command_counters_[3] = {0, 0, 0}; // ctl::Counter; user-interface thread
    // Written by the user-interface thread, read by the callbacks.
    std::atomic<int> frame_width_{0};
    std::atomic<int> frame_height_{0};
    int frame_rate_ = 16;
    int frame_period_ = 100000 / 16;
    std::atomic<int32_t> last_frame_bytes_{0}; // written by the stream callbacks
    // The capture request, its hand-off to the rendered sample and the frame
    // copy; its own lock and atomics (see Snapshot.h).
    CSnapshot snapshot_;
    // The last snapshot attempt, for the status pane; user-interface thread.
    bool snapshot_taken_ = false;
    uint64_t snapshot_messages_ = 0;
    uint32_t snapshot_tick_ = 0;
    QString picture_path_;
    OverlayWorker overlay_;
    uint64_t frame_messages_ = 0;
    int timer_ids_[3] = {0, 0, 0}; // Qt timer id of timers 1 and 2; 0 when stopped
    QString clock_text_;
    uint32_t play_tick_ = 0;
    std::function<void(uint32_t)> wait_;

    CVideoView* view_ = nullptr;
    QStatusBar* status_bar_ = nullptr;
    QLabel* message_pane_ = nullptr;
    QLabel* frame_pane_ = nullptr;
    QLabel* clock_pane_ = nullptr;
    settings::WindowPlacement placement_;
    uint32_t zoom_mode_ = settings::kDefaultZoomMode;
};

// The control tool bar's entry to the camera: sends key through main_window's
// translation. Nothing is sent without a main window. See
// TovekCameraDlg::SendControlKey.
int SendControlKey(TovekCameraDlg* main_window, int key);
