#include "camera/CameraSession.h"

#include "camera/SessionEvents.h"
#include "camera/ShownRecording.h"
#include "common/CrossThreadEvent.h"
#include "platform/system.h"

#include <cstring>
#include <utility>

#include <QCoreApplication>
#include <QTimer>

namespace {

// An arrival job's result: the notice is not about this camera.
constexpr int kArrivalIgnored = 1;

} // namespace

QEvent::Type DeviceChangeMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type SnapshotMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type CameraOpenedMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type UserMessage::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CameraSession::CameraSession(QObject* receiver)
    : receiver_(receiver),
      // On the opener thread: it only posts.
      opener_([receiver](uint64_t ticket) {
          PostAcrossThreads(receiver, new CameraOpenedMessage(ticket));
      }),
      timer_context_(std::make_unique<QObject>()), wait_([](uint32_t ms) { platform::Sleep(ms); }),
      recorder_(static_cast<record::RecorderListener*>(this)) {
    // Runs on the library thread that took the snapshot: it only posts.
    snapshot_.SetNotifier([receiver](const snapshot::Outcome& outcome) {
        PostAcrossThreads(receiver, new SnapshotMessage(outcome));
    });
    // Runs on the stream-callback thread: it only posts.
    timelapse_.SetNotifier([receiver](const timelapse::Progress& progress) {
        PostAcrossThreads(receiver,
                          new WindowMessage(msg::kTimeLapse, progress.count, progress.result));
    });
    overlay_.Reset();
    overlay_.Start();
    sequencer_.SetMemory(&replug_);
}

CameraSession::~CameraSession() {
    recorder_.Stop();
    Teardown();
    overlay_.Stop();
}

void CameraSession::Post(int type, uint32_t wparam, int32_t lparam) const {
    PostAcrossThreads(receiver_, new WindowMessage(type, wparam, lparam));
}

// ---- device choice -------------------------------------------------------------------

void CameraSession::Choose(int index) {
    Teardown();
    device_index_ = index;
    family_ = DeviceFamily::kNone;
    if (index >= 0 && static_cast<size_t>(index) < catalogue_.size()) {
        const DeviceFamily family = DeviceFamilyOf(catalogue_[index]);
        camera_ = CreateDocumentCamera(family);
        if (camera_)
            family_ = family;
    }
    sequencer_.ResetCounters();
    replug_.Forget();
}

CameraSession::OpenResult CameraSession::Open() {
    if (device_index_ == -1 || !camera_)
        return OpenResult::kNoCamera;
    if (Traits().device_notification) {
        camera_->Initialize();
        // Registering again is harmless; the library keeps one registration.
        notification_registered_ =
            camera_->RegisterDeviceNotification(this) >= 0 || notification_registered_;
        if (camera_->GetDeviceCount() < 0 || camera_->Open(0) != 0)
            return OpenResult::kDetached;
        SetCallbacks({});
        fresh_ = true;
        return OpenResult::kAttached;
    }
    // The Q5 library waits for a camera for up to 10 seconds: not here.
    opener_.Start(std::move(camera_));
    return OpenResult::kOpening;
}

CameraSession::OpenResult CameraSession::FinishOpen(uint64_t ticket) {
    int open_result = -1;
    std::unique_ptr<DocumentCamera> camera = opener_.Take(ticket, &open_result);
    if (!camera)
        return OpenResult::kNoCamera;
    camera_ = std::move(camera);
    if (opening_for_arrival_) {
        opening_for_arrival_ = false;
        const bool removed = std::exchange(removed_while_away_, false);
        if (open_result == kArrivalIgnored)
            return removed ? OpenResult::kStopped : OpenResult::kArrivalIgnored;
        if (removed || open_result != 0) {
            RemoveCallbacks();
            camera_->Stop();
            camera_->Close();
            return removed ? OpenResult::kStopped : OpenResult::kArrivalFailed;
        }
        sequencer_.ResetCounters();
        arrived_unused_ = true;
        return OpenResult::kArrived;
    }
    if (opening_for_play_) {
        opening_for_play_ = false;
        const bool removed = removed_while_away_;
        if (removed) {
            // Gone while it opened: closed as a removal closes it.
            removed_while_away_ = false;
            RemoveCallbacks();
            camera_->Stop();
            camera_->Close();
        }
        const bool was_starting = Starting();
        std::vector<std::function<void()>> waiting = std::move(after_open_);
        if (open_result != 0 || removed)
            open_runs_ = false; // nothing runs
        Apply(open_result == 0 ? play::Input::kOpened : play::Input::kOpenFailed);
        if (std::exchange(open_runs_, false) && !Playing()) {
            // Started by the open, stopped since.
            camera_->Refresh(0, 0, 0, 0);
            camera_->Stop();
        }
        if (open_result == 0 && !removed)
            for (const std::function<void()>& send : waiting)
                send();
        if (Playing())
            return OpenResult::kPlaying;
        return was_starting && open_result != 0 ? OpenResult::kPlayFailed : OpenResult::kStopped;
    }
    if (open_result != 0)
        return OpenResult::kFailed;
    SetCallbacks({});
    camera_->InitDirectShow();
    fresh_ = true;
    return OpenResult::kOpened;
}

void CameraSession::Teardown() {
    arrived_unused_ = false;
    fresh_ = false;
    open_runs_ = false;
    opening_for_play_ = false;
    opening_for_arrival_ = false;
    removed_while_away_ = false;
    ++settle_ticket_;
    play_ = play::Next(play_, play::Input::kRemoved, 0, 0).state;
    after_open_.clear();
    ForgetPacedCodes();
    grab_.Abandon();
    opener_.Abandon();
    shown_.Unfreeze();
    timelapse_.Stop();
    if (notification_registered_) {
        Corvane_UnregisterDeviceNotification(this);
        notification_registered_ = false;
    }
    if (!camera_)
        return;
    RemoveCallbacks();
    camera_->Stop();
    camera_->Close();
    camera_->Uninitialize();
    camera_.reset();
}

void CameraSession::StartArrivalOpen(uint32_t event, const DEV_BROADCAST_HDR* header) {
    // The library waits for the camera's video node (up to seconds): the
    // notice is judged, and the camera reopened, on the opener's thread.
    std::vector<uint32_t> notice((header->dbch_size + 3) / 4);
    std::memcpy(notice.data(), header, header->dbch_size);
    opening_for_arrival_ = true;
    const DeviceFamily family = family_;
    const bool init_direct_show = Traits().init_direct_show;
    opener_.Start(std::move(camera_), [this, event, notice = std::move(notice), family,
                                       init_direct_show](DocumentCamera& camera) {
        if (camera.UpdateDevice(event, reinterpret_cast<const DEV_BROADCAST_HDR*>(notice.data())) <
            0)
            return kArrivalIgnored;
        camera.SetStreamCallback(DocumentStreamCallback(nullptr), nullptr);
        camera.SetSampleCallback(nullptr, nullptr);
        camera.Stop();
        camera.Close();
        camera.Initialize();
        if (camera.Open(0) != 0)
            return -1;
        // The sample callback comes with the next Play.
        SetCallbacksOn(camera, family, {.stream = true, .sample = false}, this);
        if (init_direct_show)
            camera.InitDirectShow();
        return 0;
    });
}

void CameraSession::SetCallbacks(Callbacks callbacks) {
    SetCallbacksOn(*camera_, family_, callbacks, this);
}

void CameraSession::SetCallbacksOn(DocumentCamera& camera, DeviceFamily family, Callbacks callbacks,
                                   CameraSession* context) {
    if (callbacks.stream) {
        if (family == DeviceFamily::kRVX)
            camera.SetStreamCallback(DocumentStreamCallback(&RvxStreamProc), context);
        else
            camera.SetStreamCallback(DocumentStreamCallback(&Q5StreamProc), context);
    }
    if (callbacks.sample)
        camera.SetSampleCallback(&SampleProc, context);
}

void CameraSession::RemoveCallbacks() {
    camera_->SetStreamCallback(DocumentStreamCallback(nullptr), nullptr);
    camera_->SetSampleCallback(nullptr, nullptr);
}

// ---- attach and play ----------------------------------------------------------------

bool CameraSession::TakeAutoPlay() {
    const bool pending = auto_play_pending_;
    auto_play_pending_ = false;
    return pending;
}

CameraSession::PlayResult CameraSession::Play(VIDEO_WINDOW window, int width, int height) {
    overlay_.RequestImmediateRedraw();
    overlay_.SetPresent(false);
    shown_.Unfreeze();
    frame_rate_ = Traits().frame_rate;
    if (!camera_ && !opening_for_play_)
        return PlayResult::kNoCamera;
    // What the libraries post from here on belongs to this run.
    run_.fetch_add(1);
    run_window_ = window;
    run_width_ = width;
    run_height_ = height;
    // A camera that came back has settled already: its arrival waited for
    // its node, and it has not run since.
    const uint32_t settle_ms = arrived_unused_ || fresh_ ? 0 : kRestartWaitMs;
    Apply(play::Input::kPlay, settle_ms);
    return PlayResult::kStarting;
}

void CameraSession::Apply(play::Input input, uint32_t settle_ms) {
    const uint32_t now = platform::GetTickCount();
    const play::Step step = play::Next(play_, input, now, settle_ms);
    play_ = step.state;
    if (play_.phase == play::Phase::kStopped || play_.phase == play::Phase::kPlaying)
        after_open_.clear(); // nothing opens for them any more
    const play::Actions& act = step.actions;
    if (act.stop_picture && camera_) {
        camera_->Refresh(0, 0, 0, 0);
        camera_->Stop();
    }
    if (act.close) {
        arrived_unused_ = false;
        // A camera its first open has just opened needs no second open.
        if (!fresh_ && camera_) {
            RemoveCallbacks();
            camera_->Stop();
            camera_->Close();
        }
    }
    if (act.arm_timer)
        ArmSettle(play_.due_ms - now);
    if (act.open)
        StartPlayOpen();
    if (act.run)
        RunPicture();
    if (act.failed) {
        // Nothing can run: saying it plays would leave the user before a
        // blank picture with no word why.
        OnVideoStopped();
    }
}

void CameraSession::ArmSettle(uint32_t ms) {
    const uint64_t ticket = ++settle_ticket_;
    std::function<void()> due = [this, ticket] {
        if (ticket == settle_ticket_)
            Apply(play::Input::kSettled);
    };
    if (settle_timer_)
        settle_timer_(ms, std::move(due));
    else
        QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, timer_context_.get(),
                           std::move(due));
}

void CameraSession::StartPlayOpen() {
    if (!camera_) {
        // Away already (a Play while the first open runs): nothing to open.
        Apply(play::Input::kOpenFailed);
        return;
    }
    sequencer_.ResetCounters();
    const bool fresh = fresh_;
    fresh_ = false;
    opening_for_play_ = true;
    const DeviceFamily family = family_;
    const bool init_direct_show = Traits().init_direct_show;
    // Starting the graph waits for it to play (tens of milliseconds): there
    // too when the picture is wanted now; a Stop meanwhile stops it again.
    open_runs_ = play_.run_when_open;
    struct Run {
        bool now;
        VIDEO_WINDOW window;
        int width;
        int height;
    } const run{open_runs_, run_window_, run_width_, run_height_};
    // On the opener's thread, which alone calls the camera meanwhile.
    opener_.Start(std::move(camera_),
                  [this, fresh, family, init_direct_show, run](DocumentCamera& camera) {
                      if (!fresh) {
                          camera.Initialize();
                          if (camera.Open(0) != 0)
                              return -1;
                      }
                      SetCallbacksOn(camera, family, {}, this);
                      if (init_direct_show && !fresh)
                          camera.InitDirectShow();
                      if (run.now) {
                          camera.SetPosition(run.window, 0, 0, run.width, run.height);
                          camera.Run();
                      }
                      return 0;
                  });
}

void CameraSession::RunPicture() {
    if (!std::exchange(open_runs_, false)) {
        camera_->SetPosition(run_window_, 0, 0, run_width_, run_height_);
        camera_->Run();
    }
    overlay_.SetPlaying(true);
    last_status_ = kNormalStatus;
    poll_counter_ = 0;
    ReadFrameSize();
}

void CameraSession::Stop() {
    recorder_.StopInBackground();
    shown_.Unfreeze();
    run_.fetch_add(1);
    overlay_.RequestImmediateRedraw();
    overlay_.SetPresent(false);
    Apply(play::Input::kStop);
    overlay_.SetPlaying(false);
    ClearFrame();
}

void CameraSession::OnVideoStopped() {
    recorder_.StopInBackground();
    shown_.Unfreeze();
    if (Playing())
        play_ = play::State{};
    overlay_.SetPlaying(false);
    ClearFrame();
}

void CameraSession::ClearFrame() {
    last_frame_bytes_.store(0);
    frame_width_.store(0);
    frame_height_.store(0);
}

void CameraSession::ReadFrameSize() {
    VIDEOINFOHEADER format{};
    if (camera_ && camera_->GetStreamMediaType(&format) == 0) {
        frame_width_.store(format.bmiHeader.biWidth);
        frame_height_.store(format.bmiHeader.biHeight);
    }
}

CameraSession::DeviceChange CameraSession::OnDeviceChangeMessage(uint32_t event,
                                                                 const DEV_BROADCAST_HDR* header) {
    if (!Traits().device_notification)
        return DeviceChange::kIgnored;
    if (!camera_) {
        // Away with the opener for a Play or an arrival: only a removal
        // matters, and the library's judgement of it waits for the camera.
        if ((!opening_for_play_ && !opening_for_arrival_) || event != DBT_DEVICEREMOVECOMPLETE)
            return DeviceChange::kIgnored;
        removed_while_away_ = true;
        ForgetPacedCodes();
        arrived_unused_ = false;
        run_.fetch_add(1);
        shown_.Unfreeze();
        Apply(play::Input::kRemoved);
        return DeviceChange::kRemoved;
    }
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_HDR))
        return DeviceChange::kIgnored;
    if (event == DBT_DEVICEARRIVAL) {
        // The camera on screen is there already (the device layer also
        // announces a camera that was present at registration): reopening
        // it would stop the picture behind a window that says it plays.
        if (attached_ && (Playing() || Starting()))
            return DeviceChange::kIgnored;
        StartArrivalOpen(event, header);
        return DeviceChange::kJudging;
    }
    if (camera_->UpdateDevice(event, header) < 0)
        return DeviceChange::kIgnored;
    if (event == DBT_DEVICEREMOVECOMPLETE) {
        arrived_unused_ = false;
        run_.fetch_add(1); // a failure notice of the vanished camera says nothing new
        shown_.Unfreeze();
        ++settle_ticket_;
        Apply(play::Input::kRemoved);
        ForgetPacedCodes();
        camera_->Stop();
        camera_->Close();
        return DeviceChange::kRemoved;
    }
    return DeviceChange::kIgnored;
}

int CameraSession::ChooseCaptureFormat(CORVANE_OWNER_WINDOW owner, VIDEO_WINDOW window, int width,
                                       int height) {
    if (family_ != DeviceFamily::kRVX || !camera_)
        return 0;
    overlay_.RequestImmediateRedraw();
    const int result = camera_->VideoCapturePin(owner);
    if (result < 0)
        return result;
    SetCallbacks({});
    camera_->SetPosition(window, 0, 0, width, height);
    camera_->Run();
    ReadFrameSize();
    frame_rate_ = kCapturePinFrameRate;
    return result;
}

void CameraSession::Refresh(const RECT& r) {
    if (camera_ && Playing())
        camera_->Refresh(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void CameraSession::HideStoppedVideo() {
    if (camera_ && !Playing())
        camera_->Refresh(0, 0, 1, 1);
}

// ---- recording ---------------------------------------------------------------------

int32_t CameraSession::StartRecording(const std::u16string& record_path, int32_t audio_index,
                                      const record::AudioNames& audio, bool as_shown) {
    if (!Playing())
        return record::kIdle;
    record::RecordParams params;
    params.record_path = record_path;
    params.width = frame_width_.load();
    params.height = frame_height_.load();
    params.frame_rate = frame_rate_;
    params.audio_index = audio_index;
    params.audio = audio;
    if (as_shown)
        RecordAsShown(&overlay_, &shown_, &page_, &params);
    // Its frames composite the overlay drawn for the camera's own size.
    recording_as_shown_.store(as_shown);
    return recorder_.Start(params);
}

void CameraSession::OnRecorderMessage(const std::string& text, record::MessageIcon icon) {
    PostAcrossThreads(receiver_, new UserMessage(text, icon == record::MessageIcon::kWarning));
}

void CameraSession::OnRecorderStateChanged() {
    Post(msg::kRecorderChanged);
}

// ---- control commands and status ---------------------------------------------------

int CameraSession::SendControlKey(int code) {
    if (Starting()) {
        after_open_.push_back([this, code] { SendControlKey(code); });
        return 0;
    }
    // After the codes of a restore still going out.
    if (pacing_) {
        paced_codes_.push_back(code);
        return 0;
    }
    return sequencer_.SendControlKey(camera_.get(), family_, code);
}

bool CameraSession::RunControlCommand(uint32_t id) {
    if (Starting() && ControlSequencer::Sequence(id).size() != 0) {
        after_open_.push_back([this, id] { RunControlCommand(id); });
        return true;
    }
    return sequencer_.RunCommand(camera_.get(), family_, id, wait_);
}

void CameraSession::RestorePictureState() {
    if (!camera_)
        return;
    const replug::PictureState wanted = replug_.Picture();
    replug_.SetPicture({}); // the camera came back as powered up
    for (const uint8_t code : replug::RestoreCodes(family_, wanted))
        paced_codes_.push_back(code);
    if (!pacing_)
        SendPacedCode(false);
}

void CameraSession::SendPacedCode(bool waited) {
    pacing_ = false;
    if (paced_codes_.empty())
        return;
    // Each code once the camera takes one again, so that no command waits
    // for its spacing on this thread (after the timer, what SendCmd might
    // still wait is a rounding of the clock).
    uint32_t wait = waited || !camera_ ? 0 : camera_->CommandWaitMs();
    if (wait == 0) {
        sequencer_.SendControlKey(camera_.get(), family_, paced_codes_.front());
        paced_codes_.pop_front();
        if (paced_codes_.empty())
            return;
        wait = camera_ ? camera_->CommandWaitMs() : 0;
    }
    pacing_ = true;
    QTimer::singleShot(static_cast<int>(wait), Qt::PreciseTimer, timer_context_.get(),
                       [this, ticket = pacing_ticket_] {
                           if (ticket == pacing_ticket_)
                               SendPacedCode(true);
                       });
}

void CameraSession::ForgetPacedCodes() {
    paced_codes_.clear();
    pacing_ = false;
    ++pacing_ticket_;
}

bool CameraSession::PollStatus(int* status) {
    if (!camera_)
        return false;
    if (++poll_counter_ >= kStatusPollTicks) {
        int read = kNormalStatus;
        if (camera_->GetState(&read) < 0)
            return false;
        last_status_ = read;
        poll_counter_ = 0;
    }
    *status = last_status_;
    return true;
}

bool CameraSession::TakeStreamError(std::string* user_text, std::string* debug_text) {
    user_text->clear();
    debug_text->clear();
    return camera_ && camera_->GetLastError(user_text, debug_text) == 0;
}
