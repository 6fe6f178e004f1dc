#include "camera_frame_source.h"

#include "fetch_rules.h"
#include "jpeg_header.h"
#include "pixadec.h"
#include "platform/system.h"
#include "q5_usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

namespace camsrc {
namespace {

uint64_t PackSize(int32_t width, int32_t height) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) |
           static_cast<uint32_t>(height);
}

// Polls cond every kProbePollMs on the replaceable clock, at most
// kProbePolls times; true as soon as it holds, false once give_up does.
template <typename Cond>
bool Poll(Cond cond, const CameraFrameSource::GiveUp& give_up) {
    for (int i = 0; i < kProbePolls; ++i) {
        if (cond()) {
            return true;
        }
        if (give_up && give_up()) {
            return false;
        }
        platform::Sleep(kProbePollMs);
    }
    return cond();
}

} // namespace

PictureBlock PictureBlocks::Get(size_t size) {
    {
        platform::MutexLock hold(lock_);
        if (size != size_) {
            kept_.clear();
            size_ = size;
        }
        if (!kept_.empty()) {
            PictureBlock block = std::move(kept_.back());
            kept_.pop_back();
            return block;
        }
    }
    // Untouched pages cost no memory: only the pictures' bytes are resident.
    return {std::unique_ptr<uint8_t[]>(new uint8_t[size]), size};
}

void PictureBlocks::Give(PictureBlock block) {
    platform::MutexLock hold(lock_);
    if (block.bytes && block.size == size_ && kept_.size() < kKept) {
        kept_.push_back(std::move(block));
    }
}

CameraFrameSource::CameraFrameSource(ClientCallback& client, const GiveUp& give_up)
    : client_(client), output_(blocks_->Get(kCameraSourceMaxPictureSize)),
      buffer_size_(kCameraSourceMaxPictureSize) {
    TovekCameraUninit(); // whoever used the driver before us is gone
    InitDriver();
    ProbePictureSize(give_up);
    const bool had_camera = State() != kDetached;
    // Start again from a driver that is initialised and idle.
    TovekCameraUninit();
    device_state_.store(kDetached); // no device is active until the driver attaches it again
    InitDriver();
    if (had_camera) {
        // The driver attaches the camera on its own thread; wait for it so
        // that a start right after creation finds the camera.
        Poll([this] { return State() != kDetached; }, give_up);
    }
}

CameraFrameSource::~CameraFrameSource() {
    StopStreaming();
    TovekCameraUninit(); // no driver event arrives after this
}

void CameraFrameSource::InitDriver() {
    TovekCameraInit(&CameraFrameSource::OnDriverEvent, reinterpret_cast<uintptr_t>(this));
}

void CameraFrameSource::ProbePictureSize(const GiveUp& give_up) {
    // A camera known to be there but refused to us never attaches.
    if (!Poll([this] { return State() == kAttached || TovekCameraIsRefused() != 0; }, give_up) ||
        State() != kAttached) {
        return; // no camera within the probe's time: the size stays unknown
    }
    if (StartStreaming()) {
        Poll([this] { return PictureSize(nullptr, nullptr); }, give_up);
    }
    StopStreaming();
    // The probe's pictures were only for measuring.
    platform::MutexLock output(output_lock_);
    output_length_ = 0;
}

bool CameraFrameSource::StartStreaming() {
    if (State() == kDetached) {
        return false;
    }
    stop_requested_.store(false);
    ended_by_itself_.store(false);
    return TovekCameraPlay() != 0;
}

void CameraFrameSource::StopStreaming() {
    // Before the driver stops, so that its event 3 is known as requested.
    stop_requested_.store(true);
    // The driver first: once its worker has ended no event 2 can start a
    // new pacing thread behind our back.
    TovekCameraStop();
    StopPacingThread();
}

void TOVEK_STDCALL CameraFrameSource::OnDriverEvent(uint32_t event, uint32_t, uint32_t,
                                                    uintptr_t user) {
    reinterpret_cast<CameraFrameSource*>(user)->HandleDriverEvent(event);
}

void CameraFrameSource::HandleDriverEvent(uint32_t event) {
    if (event > kStopped) {
        return;
    }
    if (event == kStopped && !stop_requested_.load()) {
        ended_at_ms_.store(platform::GetTickCount());
        ended_by_itself_.store(true);
    } else if (event != kStopped) {
        ended_by_itself_.store(false); // a detach explains the end; a start or attach is new
    }
    device_state_.store(event);
    if (event == kStreaming) {
        StartPacingThread();
    }
    client_.Send(event, 0, 0);
}

bool CameraFrameSource::StreamEndedByItself() const {
    if (!ended_by_itself_.load() || State() != kStopped) {
        return false;
    }
    return platform::GetTickCount() - ended_at_ms_.load() >= kDetachGraceMs;
}

void CameraFrameSource::StartPacingThread() {
    platform::MutexLock pacing(pacing_lock_);
    JoinPacingThreadLocked();
    {
        platform::MutexLock frame(frame_lock_);
        fetch_size_ = TovekCameraGetMaxFrameSize();
        last_number_ = 0;
        // A picture left from the previous run is stale now.
        platform::MutexLock output(output_lock_);
        output_length_ = 0;
        if (!fetch_.bytes || buffer_size_ < fetch_size_) {
            // Once: later runs fetch into the same buffers, which stay mapped.
            buffer_size_ = std::max<size_t>(fetch_size_, kCameraSourceMaxPictureSize);
            fetch_ = blocks_->Get(buffer_size_);
            output_ = blocks_->Get(buffer_size_);
        }
    }
    uint32_t period = 0;
    TovekCameraGetPerFrameTime(&period);
    if (period != 0) {
        fetch_period_ms_.store(period);
    }
    {
        platform::MutexLock frame(frame_lock_);
        turns_.Restart(platform::GetTickCount());
        fetching_ = true;
    }
    try {
        pacing_thread_ = std::thread(&CameraFrameSource::PacingLoop, this);
    } catch (const std::system_error&) {
        // Pictures only while a streaming thread waits for them; the client
        // can stop and start again.
    }
}

void CameraFrameSource::StopPacingThread() {
    platform::MutexLock pacing(pacing_lock_);
    JoinPacingThreadLocked();
    platform::MutexLock frame(frame_lock_);
    fetching_ = false; // a waiting streaming thread fetches no more either
}

void CameraFrameSource::JoinPacingThreadLocked() {
    if (!pacing_thread_.joinable()) {
        return;
    }
    {
        platform::MutexLock stop(stop_lock_);
        stop_request_.store(true);
    }
    stop_changed_.NotifyAll();
    pacing_thread_.join();
    stop_request_.store(false);
}

void CameraFrameSource::WaitForStopRequest(uint32_t timeout_ms) {
    platform::MutexLock stop(stop_lock_);
    stop_changed_.WaitFor(stop_lock_, std::chrono::milliseconds(timeout_ms),
                          [this] { return stop_request_.load(); });
}

// Fetches once per fetch period on a fixed-rate schedule (a thread that fell
// behind catches up), sleeping until the next fetch is due rather than
// looking at the clock in short steps: every wake-up costs as much as
// copying a picture. While a streaming thread waits for pictures it takes
// the fetches itself and this thread sleeps.
void CameraFrameSource::PacingLoop() {
    pthread_setname_np(pthread_self(), "tovek-pacing");
    while (!stop_request_.load()) {
        const uint32_t wait_ms = FetchWhenDue(Fetcher::kPacing);
        if (wait_ms > 0) {
            WaitForStopRequest(wait_ms == kNoFetchDue ? fetch_period_ms_.load() : wait_ms);
        }
    }
}

uint32_t CameraFrameSource::FetchWhenDue(Fetcher who) {
    platform::MutexLock frame(frame_lock_);
    if (!fetching_) {
        return kNoFetchDue;
    }
    const uint32_t period = fetch_period_ms_.load();
    const uint32_t wait_ms = turns_.MsUntilTurn(who, platform::GetTickCount(), period);
    if (wait_ms > 0) {
        return wait_ms;
    }
    turns_.Fetched(period);
    FetchAndMeasureLocked();
    return 0;
}

void CameraFrameSource::FetchAndMeasureLocked() {
    if (!fetch_.bytes) {
        return;
    }
    uint32_t length = fetch_size_;
    const bool fetched =
        TovekCameraGetNewFrameData(fetch_.bytes.get(), &length, &last_number_, &fetch_arrival_ms_);
    if (JudgeFetch(fetched, length, kCameraSourceMaxPictureSize) == FetchOutcome::kPublish) {
        Measure(fetch_.bytes.get(), length);
        Publish(length);
    }
}

void CameraFrameSource::Measure(const uint8_t* picture, uint32_t length) {
    int32_t width = 0;
    int32_t height = 0;
    int header_width = 0;
    int header_height = 0;
    // The JPEG library's verdict could only confirm the size already
    // measured, so a picture whose header says that size needs no decoding.
    if (PictureSize(&width, &height) &&
        ReadJpegFrameSize(picture, length, &header_width, &header_height) &&
        header_width == width && header_height == height) {
        return;
    }
    LibJpeg_Initialize();
    int components = 0;
    PIXADEC_HANDLE image =
        LibJpeg_Open(picture, static_cast<int>(length), &header_width, &header_height, &components);
    if (image != nullptr) {
        if (header_width > 0 && header_height > 0) {
            picture_size_.store(PackSize(header_width, header_height));
        }
        LibJpeg_Close(image);
    }
    LibJpeg_UnInitialize();
}

void CameraFrameSource::Publish(uint32_t length) {
    {
        platform::MutexLock output(output_lock_);
        std::swap(output_, fetch_);
        output_length_ = length;
        output_arrival_ms_ = fetch_arrival_ms_;
    }
    output_ready_.NotifyAll();
}

uint32_t CameraFrameSource::TakeNewestPicture(uint8_t* sample, size_t capacity,
                                              uint32_t* arrival_ms) {
    platform::MutexLock output(output_lock_);
    const uint32_t length = output_length_;
    if (length == 0 || sample == nullptr || capacity < length) {
        return 0;
    }
    std::memcpy(sample, output_.bytes.get(), length);
    output_length_ = 0;
    if (arrival_ms != nullptr) {
        *arrival_ms = output_arrival_ms_;
    }
    return length;
}

std::unique_ptr<LentPicture> CameraFrameSource::LendNewestPicture() {
    platform::MutexLock output(output_lock_);
    const uint32_t length = output_length_;
    if (length == 0) {
        return nullptr;
    }
    PictureBlock lent = std::exchange(output_, blocks_->Get(output_.size));
    output_length_ = 0;
    return std::make_unique<LentPicture>(blocks_, std::move(lent), length, output_arrival_ms_);
}

void CameraFrameSource::WaitForPicture(uint32_t timeout_ms, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const auto ready = [&] {
        output_lock_.AssertHeld();
        return output_length_ > 0 || done();
    };
    for (;;) {
        {
            platform::MutexLock output(output_lock_);
            if (ready()) {
                return;
            }
        }
        // The fetch due is this thread's to take: it waits anyway, and the
        // pacing thread need not wake as well.
        const uint32_t due_ms = FetchWhenDue(Fetcher::kPuller);
        if (due_ms == 0) {
            continue; // fetched: a picture, or catching up
        }
        platform::MutexLock output(output_lock_);
        const Clock::time_point due = Clock::now() + std::chrono::milliseconds(due_ms);
        if (output_ready_.WaitUntil(output_lock_, std::min(due, deadline), ready) ||
            Clock::now() >= deadline) {
            return;
        }
    }
}

void CameraFrameSource::Wake() {
    {
        // Taking the lock orders the waker's change before a waiter's check.
        platform::MutexLock output(output_lock_);
    }
    output_ready_.NotifyAll();
}

bool CameraFrameSource::PictureSize(int32_t* width, int32_t* height) const {
    const uint64_t size = picture_size_.load();
    const auto w = static_cast<int32_t>(size >> 32);
    const auto h = static_cast<int32_t>(size & 0xFFFFFFFFu);
    if (w <= 0 || h <= 0) {
        return false;
    }
    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
    return true;
}

} // namespace camsrc
