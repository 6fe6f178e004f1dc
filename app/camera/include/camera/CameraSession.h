// CameraSession: the camera of the chosen Device-menu entry and everything
// that lives with it, apart from any window: the camera object and its
// family, attach and play state, the status poll, the command counters, the
// frame fields, the annotation overlay, the snapshot and the library-thread
// callbacks that feed them.
//
// Threads: every member function is for the user-interface thread, except
// the three static callbacks, which the capture libraries call on their own
// threads. The callbacks reach the window only by posting (WindowMessages.h)
// to the receiver given at construction, and otherwise touch only the frame
// fields (atomics), the overlay (its lock) and the snapshot (its lock).
//
// The camera has one open path (Open, Reopen) and one teardown path
// (Teardown), which tolerates a half-open camera and may run twice. A Q5
// camera's first open runs in the background (CameraOpener): Open returns
// kOpening, the camera object is away (Camera() is null) until the opener
// posts CameraOpenedMessage and the window calls FinishOpen.
//
// Play never waits either: it closes the camera, lets the device settle as
// a state of the session (play::State, PlayRules.h) that a timer ends, and
// opens the camera again on the opener's thread; FinishOpen then runs the
// picture (kPlaying). Stop, a second Play or a removal meanwhile change
// what happens once the camera is back.
#pragma once

#include "annotation/FrameOverlay.h"
#include "camera/CameraOpener.h"
#include "camera/ControlSequencer.h"
#include "camera/DocumentCamera.h"
#include "camera/FamilyTraits.h"
#include "camera/PlayRules.h"
#include "capture/PictureGrab.h"
#include "capture/ShownPicture.h"
#include "capture/Snapshot.h"
#include "capture/TimeLapse.h"
#include "page/PageMode.h"
#include "platform/devices.h"
#include "platform/media.h"
#include "platform/thread_annotations.h"
#include "record/Recorder.h"
#include "settings/DeviceCatalogue.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

class CameraSession : public DeviceChangeReceiver, private record::RecorderListener {
public:
    static constexpr int kNormalStatus = 17;
    static constexpr int kStatusPollTicks = 20;      // one status read every 20th poll
    static constexpr uint32_t kRestartWaitMs = 1000; // Play lets the closed device settle

    // receiver gets the posted messages; it must outlive the camera (the
    // window owns the session and tears it down first).
    explicit CameraSession(QObject* receiver);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // ---- device choice --------------------------------------------------------
    void SetCatalogue(std::vector<std::u16string> catalogue) { catalogue_ = std::move(catalogue); }
    const std::vector<std::u16string>& Catalogue() const { return catalogue_; }
    // Tears the current camera down and creates the object of catalogue entry
    // index (none for -1 or an index past the catalogue); counters restart.
    void Choose(int index);
    int DeviceIndex() const { return device_index_; }
    DocumentCamera* Camera() const { return camera_.get(); }
    DeviceFamily Family() const { return family_; }
    const FamilyTraits& Traits() const { return TraitsOf(family_); }

    // What opening found.
    enum class OpenResult {
        kNoCamera, // no camera object
        kAttached, // RVX: opened; the window runs the attach handling
        kDetached, // RVX: no camera answered; the window runs the detach handling
        kOpened,   // Q5: opened; attach comes as a stream event
        kFailed,   // Q5: not opened, no callbacks set: nothing will arrive
        kOpening,  // Q5: opening in the background; FinishOpen tells the rest
        // The open of a Play returned (FinishOpen only):
        kPlaying,    // the picture runs; the window runs its Play handling
        kPlayFailed, // the camera did not open again: stopped, nothing runs
        kStopped,    // a Stop or a removal came meanwhile: nothing runs
        // The judgement of an RVX arrival returned (FinishOpen only), as
        // OnDeviceChangeMessage would have said it:
        kArrived,        // reopened; the window runs the attach handling
        kArrivalFailed,  // did not open; the window runs the detach handling
        kArrivalIgnored, // not about this camera
    };
    // Initialises the library and opens the camera with both callbacks set;
    // an RVX camera also registers this session for device changes. A Q5
    // camera is opened on the opener's thread (its library waits up to 10 s
    // for a camera): kOpening, and CameraOpenedMessage follows.
    OpenResult Open();
    // On CameraOpenedMessage: takes the camera back and sets its callbacks
    // when it opened. kOpened or kFailed as Open would have said, or for the
    // open of a Play kPlaying, kPlayFailed or kStopped; kNoCamera for the
    // message of an open that was given up (Teardown, Choose).
    OpenResult FinishOpen(uint64_t ticket);
    bool Opening() const { return opener_.Pending(); }
    // Removes the callbacks, stops, closes, uninitialises and deletes the
    // camera, and ends the device-change registration. Safe at any stage.
    void Teardown();

    // ---- attach and play -------------------------------------------------------
    bool Attached() const { return attached_; }
    // A camera that has just attached answered already: its next Play does
    // not let it settle first.
    void SetAttached(bool attached) {
        arrived_unused_ = arrived_unused_ || (attached && !attached_);
        attached_ = attached;
    }
    // True once, at the first attach after start-up: that attach plays.
    bool TakeAutoPlay();
    void CancelAutoPlay() { auto_play_pending_ = false; }
    bool Playing() const { return play_.phase == play::Phase::kPlaying; }
    // A Play under way: the device settles or the camera opens, and the
    // picture runs once it is open.
    bool Starting() const { return play::Starting(play_); }

    // Restarts the camera into window (width x height of its client area)
    // and runs it: closes it now, lets it settle unless its arrival or its
    // first open has just opened it, opens it on the opener's thread, and
    // FinishOpen runs it, reads the frame size and sets the family's frame
    // rate. A Play while one is under way starts nothing new.
    // kNoCamera: nothing runs without a camera object.
    enum class PlayResult { kNoCamera, kStarting };
    PlayResult Play(VIDEO_WINDOW window, int width, int height);
    // Hides and stops the picture, and marks the session stopped with the
    // frame fields cleared; a Play under way leaves the camera open and
    // stopped.
    void Stop();
    // The capture library stopped by itself (message 1144): stopped, frame
    // fields cleared; the camera stays open.
    void OnVideoStopped();
    // Whether a stop or failure the libraries posted (its wparam) belongs to
    // the picture now running: one posted before a Play, a stop or a removal
    // must not stop the next picture nor hide why the last one ended.
    bool CurrentRun(uint32_t run) const { return run == run_.load(); }
    // Frame size, last frame bytes to 0.
    void ClearFrame();

    // What an RVX device-change notice meant for the camera.
    enum class DeviceChange { kIgnored, kJudging, kRemoved };
    // Judges a notice (message of OnDeviceChange) and closes the camera of a
    // removal; the window runs the video-stopped and detach handling for it.
    // An arrival is judged, and the camera reopened, on the opener's thread
    // (the library waits for the camera's video node): kJudging, and
    // FinishOpen tells kArrived, kArrivalFailed or kArrivalIgnored.
    DeviceChange OnDeviceChangeMessage(uint32_t event, const DEV_BROADCAST_HDR* header);

    // RVX capture-format choice in owner's dialog, then runs into window:
    // the library's result (negative on failure); 0 and nothing done for Q5
    // or without a camera.
    int ChooseCaptureFormat(CORVANE_OWNER_WINDOW owner, VIDEO_WINDOW window, int width, int height);

    // Forwards the view's display rectangle while playing.
    void Refresh(const RECT& rect);
    // While stopped, has the camera hide any video it still shows.
    void HideStoppedVideo();

    // ---- control commands and status --------------------------------------------
    // See ControlSequencer; sent through this session's camera and family.
    // During a Play under way they wait for the camera to be open again (its
    // open restarts the counters they are translated with).
    int SendControlKey(int code);
    bool RunControlCommand(uint32_t id);
    int CommandCounter(int index) const { return sequencer_.Counter(index); }
    // What a camera plugged back in gets back (forgotten at a device choice).
    replug::ReplugMemory& Replug() { return replug_; }
    // Sends the codes that set a freshly powered camera to the picture states
    // the user had set, one after the other as the camera takes them (timed
    // on this thread's events); the memory then holds those states again.
    // Codes sent meanwhile follow them.
    void RestorePictureState();
    // One tick of the status poll while playing: the camera is read every
    // kStatusPollTicks-th call. False when a read failed (the banner stays as
    // it was); otherwise true with the last status read in *status.
    bool PollStatus(int* status);
    int LastStatus() const { return last_status_; }

    // The failure a capture graph reported (message kStreamError): the user
    // text, and the debug text for the trace. False when the camera keeps
    // none.
    bool TakeStreamError(std::string* user_text, std::string* debug_text);

    // ---- frame fields --------------------------------------------------------------
    int FrameWidth() const { return frame_width_.load(); }
    int FrameHeight() const { return frame_height_.load(); }
    int FrameRate() const { return frame_rate_; }
    // 100000 / frame rate, in units of 10 microseconds.
    int FramePeriod() const { return 100000 / frame_rate_; }
    int32_t LastFrameBytes() const { return last_frame_bytes_.load(); }

    // ---- recording ------------------------------------------------------------------
    // Starts recording the picture into record_path with the sound source
    // audio_index (0: none) through the named encoder; the recording result
    // (record::kRecording, or why not). Only while playing. as_shown records
    // the picture annotated and turned as shown (RecordAsShown) instead of
    // the camera's frames.
    int32_t StartRecording(const std::u16string& record_path, int32_t audio_index,
                           const record::AudioNames& audio, bool as_shown = false);
    // The recording ends at once; the file is finished in the background
    // (Recorder::StopInBackground), and kRecorderChanged follows.
    void StopRecording() { recorder_.StopInBackground(); }
    // Returns once the file is whole.
    void StopRecordingAndWait() { recorder_.Stop(); }
    bool Recording() const { return recorder_.Recording(); }
    const Recorder& GetRecorder() const { return recorder_; }

    // Fed with every compressed frame; stopped with the camera's teardown.
    TimeLapse& GetTimeLapse() { return timelapse_; }
    OverlayWorker& Overlay() { return overlay_; }
    // Freeze and turn of the picture on screen; the freeze ends with every
    // stop, removal, teardown and Play.
    ShownPicture& Shown() { return shown_; }
    Snapshot& GetSnapshot() { return snapshot_; }
    PictureGrab& Grab() { return grab_; }

    // Called with every compressed frame on the stream thread (sharing the
    // picture with the class); empty: none. Replacing it waits for a call
    // that runs, so the old tap is unused once this returns.
    using FrameTap = std::function<void(const uint8_t* jpeg, size_t length)>;
    void SetFrameTap(FrameTap tap);
    // Page mode and the document filter: fed with every rendered sample;
    // snapshots then take the picture it makes (the flattened page).
    page::PageMode& Page() { return page_; }
    // Whether anything shows the decoded picture (user-interface thread): a
    // minimised or covered window or a headless run says no, and the camera's
    // pictures are then not decoded (recording, time-lapse and snapshots
    // still get every frame; a snapshot as shown has its one picture
    // decoded). The next picture after a yes is decoded and shown.
    static void SetPixelsWanted(bool wanted);
    // The size, in device pixels and the camera's orientation, at which the
    // view shows the picture (user-interface thread; 0 x 0: unknown). The
    // pictures are decoded only as large as that needs, except while
    // anything needs the camera's own pixels: a held or turned picture, page
    // mode, a snapshot or grab of the picture as shown, a recording as shown
    // and sharing.
    void SetViewSize(int width, int height);

    // Waits of the control sequences (platform::Sleep by default; tests
    // count them instead).
    void SetWaitFunction(std::function<void(uint32_t)> wait) { wait_ = std::move(wait); }
    // The settle of a Play: arm(ms, due) must call due once, ms later, on the
    // user-interface thread (a timer of the session's by default; tests may
    // call it sooner). A due of a settle that ended otherwise does nothing.
    using SettleTimer = std::function<void(uint32_t ms, std::function<void()> due)>;
    void SetSettleTimer(SettleTimer arm) { settle_timer_ = std::move(arm); }

    // ---- library threads ---------------------------------------------------------
    // context is the session.
    static int TOVEK_STDCALL Q5StreamProc(int event, BYTE* data, LONG length, void* context);
    static int TOVEK_STDCALL RvxStreamProc(BYTE* data, LONG length, double sample_time,
                                           void* context);
    static int SampleProc(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                          int flag, void* context);
    // The rendering thread's picture as shown, of a width x height BGRX
    // sample: the page as page mode makes it, else turned; valid until the
    // next call.
    const uint8_t* PagePicture(const uint8_t* bgrx, int width, int height, int* shown_width,
                               int* shown_height);
    // DeviceChangeReceiver, on the library's notification thread: posted on.
    void OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) override;

private:
    struct Callbacks {
        bool stream = true;
        bool sample = true;
    };
    // Hands the camera to the opener to judge an RVX arrival notice and, for
    // this camera, reopen it with the stream callback.
    void StartArrivalOpen(uint32_t event, const DEV_BROADCAST_HDR* header);
    void SetCallbacks(Callbacks callbacks);
    static void SetCallbacksOn(DocumentCamera& camera, DeviceFamily family, Callbacks callbacks,
                               CameraSession* context);
    void RemoveCallbacks();
    // One step of the play rules: the new state, then its actions.
    void Apply(play::Input input, uint32_t settle_ms = 0);
    void ArmSettle(uint32_t ms);
    void SendPacedCode(bool waited);
    void ForgetPacedCodes(); // the camera is gone or another
    // Hands the closed camera to the opener to open again (or, fresh, only
    // to have its callbacks set), with both callbacks set.
    void StartPlayOpen();
    void RunPicture();
    void ReadFrameSize();
    void OnStreamFrame(const BYTE* data, LONG length);
    // Tells the decoders, before this frame is decoded, the size to decode
    // it for (stream thread).
    void ChooseDecodeSize();
    void Post(int type, uint32_t wparam = 0, int32_t lparam = 0) const;
    // record::RecorderListener, from any thread: posted on.
    void OnRecorderMessage(const std::string& text, record::MessageIcon icon) override;
    void OnRecorderStateChanged() override;

    QObject* const receiver_; // outlives every callback: Teardown removes them first
    std::vector<std::u16string> catalogue_;

    // Holds the camera object while a Q5 open runs; user-interface thread.
    // Declared before camera_ so that its thread is joined after the camera
    // on screen is gone.
    CameraOpener opener_;

    // User-interface thread only.
    std::unique_ptr<DocumentCamera> camera_;
    DeviceFamily family_ = DeviceFamily::kNone;
    int device_index_ = -1;
    bool attached_ = false;
    bool auto_play_pending_ = true;
    play::State play_;
    // The opener's camera is a Play's, or an arrival's, not the first open's.
    bool opening_for_play_ = false;
    bool opening_for_arrival_ = false;
    // Opened with both callbacks by the first open and not run yet: a Play
    // need not close and open it again.
    bool fresh_ = false;
    // The opener's thread starts the picture with the open of a Play.
    bool open_runs_ = false;
    // A removal came while the camera was away with the opener: it is closed
    // when it comes back.
    bool removed_while_away_ = false;
    // Control codes and commands that came during a Play under way: sent
    // once the camera is open again, dropped when it does not open.
    std::vector<std::function<void()>> after_open_;
    // A restore's codes still to go out, paced by a timer; its ticket
    // outdates the timer of codes forgotten.
    std::deque<int> paced_codes_;
    bool pacing_ = false;
    uint64_t pacing_ticket_ = 0;
    // Where the Play under way runs the picture.
    VIDEO_WINDOW run_window_{};
    int run_width_ = 0;
    int run_height_ = 0;
    uint64_t settle_ticket_ = 0; // the armed settle's; a due of another does nothing
    SettleTimer settle_timer_;
    std::unique_ptr<QObject> timer_context_; // the default timers' context: gone with the session
    bool notification_registered_ = false;
    // Reopened by its arrival or just attached, and not played since: the
    // next Play need not let it settle again.
    bool arrived_unused_ = false;
    int last_status_ = kNormalStatus;
    int poll_counter_ = 0;
    int frame_rate_ = 16;
    replug::ReplugMemory replug_; // fed by sequencer_
    ControlSequencer sequencer_;
    std::function<void(uint32_t)> wait_;

    // Written by the user-interface thread, read by the callbacks.
    std::atomic<int> frame_width_{0};
    std::atomic<int> frame_height_{0};
    // Counts the starts of the picture; written by the user-interface thread,
    // read by the stream callbacks, which tag their stop and failure posts.
    std::atomic<uint32_t> run_{0};
    // Written by the stream callbacks, read by the sample callback and the window.
    std::atomic<int32_t> last_frame_bytes_{0};
    // Stream callbacks only: frames since the window was last told of one.
    std::atomic<uint32_t> frames_untold_{0};
    // Written by the user-interface thread, read by the stream callbacks.
    std::atomic<int> view_width_{0};
    std::atomic<int> view_height_{0};
    std::atomic<bool> recording_as_shown_{false};
    std::atomic<bool> tapped_{false}; // a frame tap is set

    OverlayWorker overlay_; // its own lock and atomics
    Snapshot snapshot_;     // its own lock and atomics
    ShownPicture shown_;    // its own lock and atomics
    PictureGrab grab_;      // an atomic; its receiver is set before frames come
    page::PageMode page_;   // its own lock, atomics and worker
    // The snapshot's and the grab's page picture: the rendering thread's only
    // (one sample callback at a time).
    page::PageRenderer snapshot_page_;
    Recorder recorder_;   // its own locks; stream callbacks append to it
    TimeLapse timelapse_; // its own lock and atomics; stream callbacks feed it
    platform::Mutex tap_lock_;
    FrameTap tap_ TOVEK_GUARDED_BY(tap_lock_); // stream callbacks call it
};
