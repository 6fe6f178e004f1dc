#include "camera/CameraSession.h"

#include "camera/SessionEvents.h"
#include "camera/ShownRecording.h"
#include "common/CrossThreadEvent.h"
#include "platform/system.h"

#include <QCoreApplication>

namespace {

// The RVX library's notice that its capture graph failed: a call without a
// picture.
constexpr LONG kRvxStreamError = -1;

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
      wait_([](uint32_t ms) { platform::Sleep(ms); }),
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
    if (open_result != 0)
        return OpenResult::kFailed;
    SetCallbacks({});
    camera_->InitDirectShow();
    return OpenResult::kOpened;
}

void CameraSession::Teardown() {
    arrived_unused_ = false;
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

bool CameraSession::Reopen(uint32_t wait_ms, Callbacks callbacks) {
    RemoveCallbacks();
    camera_->Stop();
    camera_->Close();
    if (wait_ms != 0)
        wait_(wait_ms);
    camera_->Initialize();
    sequencer_.ResetCounters();
    if (camera_->Open(0) != 0)
        return false;
    SetCallbacks(callbacks);
    if (Traits().init_direct_show)
        camera_->InitDirectShow();
    return true;
}

void CameraSession::SetCallbacks(Callbacks callbacks) {
    if (callbacks.stream) {
        if (family_ == DeviceFamily::kRVX)
            camera_->SetStreamCallback(DocumentStreamCallback(&RvxStreamProc), this);
        else
            camera_->SetStreamCallback(DocumentStreamCallback(&Q5StreamProc), this);
    }
    if (callbacks.sample)
        camera_->SetSampleCallback(&SampleProc, this);
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
    if (!camera_)
        return PlayResult::kNoCamera;
    // What the libraries post from here on belongs to this run.
    run_.fetch_add(1);
    // A camera that came back has settled already: its arrival waited for
    // its node, and it has not run since.
    const uint32_t settle_ms = arrived_unused_ ? 0 : kRestartWaitMs;
    arrived_unused_ = false;
    if (!Reopen(settle_ms, {})) {
        // Nothing can run: saying it plays would leave the user before a
        // blank picture with no word why.
        OnVideoStopped();
        return PlayResult::kOpenFailed;
    }
    camera_->SetPosition(window, 0, 0, width, height);
    camera_->Run();
    playing_ = true;
    overlay_.SetPlaying(true);
    last_status_ = kNormalStatus;
    poll_counter_ = 0;
    ReadFrameSize();
    return PlayResult::kRunning;
}

void CameraSession::Stop() {
    recorder_.Stop();
    shown_.Unfreeze();
    run_.fetch_add(1);
    overlay_.RequestImmediateRedraw();
    overlay_.SetPresent(false);
    if (camera_) {
        camera_->Refresh(0, 0, 0, 0);
        camera_->Stop();
    }
    // A camera that is gone has nothing to settle.
    if (attached_)
        wait_(kRestartWaitMs);
    playing_ = false;
    overlay_.SetPlaying(false);
    ClearFrame();
}

void CameraSession::OnVideoStopped() {
    recorder_.Stop();
    shown_.Unfreeze();
    playing_ = false;
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
    if (!camera_ || !Traits().device_notification)
        return DeviceChange::kIgnored;
    if (camera_->UpdateDevice(event, header) < 0 || header == nullptr ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return DeviceChange::kIgnored;
    if (event == DBT_DEVICEARRIVAL) {
        // The camera on screen is there already (the device layer also
        // announces a camera that was present at registration): reopening
        // it would stop the picture behind a window that says it plays.
        if (attached_ && playing_)
            return DeviceChange::kIgnored;
        // The sample callback comes with the next Play.
        arrived_unused_ = Reopen(0, {.stream = true, .sample = false});
        return arrived_unused_ ? DeviceChange::kArrived : DeviceChange::kArrivalFailed;
    }
    if (event == DBT_DEVICEREMOVECOMPLETE) {
        arrived_unused_ = false;
        run_.fetch_add(1); // a failure notice of the vanished camera says nothing new
        shown_.Unfreeze();
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
    if (camera_ && playing_)
        camera_->Refresh(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void CameraSession::HideStoppedVideo() {
    if (camera_ && !playing_)
        camera_->Refresh(0, 0, 1, 1);
}

// ---- recording ---------------------------------------------------------------------

int32_t CameraSession::StartRecording(const std::u16string& record_path, int32_t audio_index,
                                      const record::AudioNames& audio, bool as_shown) {
    if (!playing_)
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
    return sequencer_.SendControlKey(camera_.get(), family_, code);
}

bool CameraSession::RunControlCommand(uint32_t id) {
    return sequencer_.RunCommand(camera_.get(), family_, id, wait_);
}

void CameraSession::RestorePictureState() {
    if (!camera_)
        return;
    const replug::PictureState wanted = replug_.Picture();
    replug_.SetPicture({}); // the camera came back as powered up
    for (const uint8_t code : replug::RestoreCodes(family_, wanted))
        SendControlKey(code);
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

// ---- library threads -------------------------------------------------------------------

int TOVEK_STDCALL CameraSession::Q5StreamProc(int event, BYTE* data, LONG length, void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr)
        return 0;
    switch (event) {
    case Q5_STREAM_ATTACHED:
        self->Post(msg::kVideoAttach);
        break;
    case Q5_STREAM_DETACHED:
        self->Post(msg::kVideoDetach);
        break;
    case Q5_STREAM_STOPPED:
        self->Post(msg::kVideoStop, self->run_.load());
        break;
    case Q5_STREAM_PICTURE:
        self->OnStreamFrame(data, length);
        break;
    case Q5_STREAM_ERROR:
        self->Post(msg::kStreamError, self->run_.load());
        break;
    default:
        break;
    }
    return 0;
}

int TOVEK_STDCALL CameraSession::RvxStreamProc(BYTE* data, LONG length, double, void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr)
        return 0;
    if (data == nullptr && length == kRvxStreamError)
        self->Post(msg::kStreamError, self->run_.load());
    else
        self->OnStreamFrame(data, length);
    return 0;
}

void CameraSession::OnStreamFrame(const BYTE* data, LONG length) {
    if (data == nullptr || length <= 0 || static_cast<size_t>(length) > kMaxFrameBytes)
        return;
    last_frame_bytes_.store(length);
    const uint32_t size = (static_cast<uint32_t>(frame_width_.load()) & 0xFFFF) |
                          (static_cast<uint32_t>(frame_height_.load()) << 16);
    Post(msg::kFrame, size, length);
    // A held or turned picture is saved as shown, from the rendered sample.
    snapshot_.OnFrame(data, static_cast<size_t>(length),
                      overlay_.Present() || shown_.Altered() || page_.Active());
    // Saved or read from the rendered sample: this very picture must be
    // decoded, even while nothing shows the pixels.
    if (snapshot_.SampleRequested() || grab_.Requested())
        tovek_media_want_next_picture();
    ChooseDecodeSize();
    recorder_.Append(data, static_cast<size_t>(length));
    timelapse_.OnFrame(data, static_cast<size_t>(length));
    platform::MutexLock hold(tap_lock_);
    if (tap_)
        tap_(data, static_cast<size_t>(length));
}

void CameraSession::SetFrameTap(FrameTap tap) {
    platform::MutexLock hold(tap_lock_);
    tap_ = std::move(tap);
    tapped_.store(static_cast<bool>(tap_));
}

int CameraSession::SampleProc(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int,
                              void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr || sample == nullptr)
        return 1;
    BYTE* buffer = nullptr;
    if (sample->GetPointer(&buffer) != S_OK || buffer == nullptr)
        return 1;
    // A picture decoded smaller than the camera's for a small view carries
    // its own size.
    const int64_t camera_width = self->frame_width_.load();
    const int64_t camera_height = self->frame_height_.load();
    const int64_t width = sample->GetWidth() > 0 ? sample->GetWidth() : camera_width;
    const int64_t height = sample->GetHeight() > 0 ? sample->GetHeight() : camera_height;
    const int64_t length = sample->GetActualDataLength();
    if (width <= 0 || height <= 0 || length != width * height * 4 ||
        static_cast<size_t>(length) > kMaxPictureBytes)
        return 1;
    // Any other size is no picture of this camera.
    const int scale =
        platform::JpegScaleOf(static_cast<int>(camera_width), static_cast<int>(camera_height),
                              static_cast<int>(width), static_cast<int>(height));
    if (scale == 0)
        return 1;
    if (scale != 1) {
        // Only shown: whatever keeps or reads the picture waits for the
        // camera's own pixels (ChooseDecodeSize asks for them).
        self->overlay_.Composite(buffer, static_cast<int>(width * 4), static_cast<int>(width),
                                 static_cast<int>(height));
        return 0;
    }
    // The held picture goes in first: the annotations are drawn over it.
    self->shown_.OnSample(buffer, static_cast<int>(width), static_cast<int>(height));
    // The page without the marks drawn over it, as shown: flattened in page
    // mode, else turned.
    if (self->grab_.Requested()) {
        int shown_width = 0;
        int shown_height = 0;
        const uint8_t* shown = self->PagePicture(
            buffer, static_cast<int>(width), static_cast<int>(height), &shown_width, &shown_height);
        self->grab_.OnSample(shown, shown_width, shown_height);
    }
    // The page is looked for in the camera's picture, without the shapes.
    self->page_.Offer(buffer, static_cast<int>(width), static_cast<int>(height),
                      static_cast<int>(width * 4));
    self->overlay_.Composite(buffer, static_cast<int>(width * 4), static_cast<int>(width),
                             static_cast<int>(height));
    // After compositing, so that the annotations are in the picture; turned
    // as the view shows it, or the page as page mode shows it.
    if (self->snapshot_.SampleRequested()) {
        int shown_width = 0;
        int shown_height = 0;
        const uint8_t* shown = self->PagePicture(
            buffer, static_cast<int>(width), static_cast<int>(height), &shown_width, &shown_height);
        self->snapshot_.OnSample(shown, shown_width, shown_height, self->last_frame_bytes_.load());
    }
    return 0;
}

const uint8_t* CameraSession::PagePicture(const uint8_t* bgrx, int width, int height,
                                          int* shown_width, int* shown_height) {
    if (page_.Active()) {
        // At the page's own resolution in the camera's picture.
        const uint8_t* page =
            snapshot_page_.Render(page_, bgrx, width, height, width * 4, width * 2, height * 2,
                                  false, shown_width, shown_height);
        if (page != nullptr)
            return page;
    }
    return shown_.Turned(bgrx, width, height, shown_width, shown_height);
}

void CameraSession::SetPixelsWanted(bool wanted) {
    tovek_media_set_pixels_wanted(wanted);
}

void CameraSession::OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) {
    PostAcrossThreads(receiver_, new DeviceChangeMessage(event, std::move(broadcast)));
}
