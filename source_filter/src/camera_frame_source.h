// CameraFrameSource: the camera behind the element's pad. It owns the q5_usb
// driver registration, the fetches of the newest picture at the camera's
// frame period (each measured with Pixadec and left in the output buffer),
// and the hand-off of that buffer to the streaming thread.
//
// Threads: the driver's threads call the event handler (events 0 and 1 on a
// USB thread, 2 and 3 on the streaming worker); the streaming thread fetches
// while it waits for a picture, a pacing thread while none waits (FetchTurns),
// never both at once (the frame lock); the element's streaming thread takes
// pictures; client threads start and stop streaming. Lock order: (the pin's
// sample lock,) pacing lock, then frame lock, then output lock; the client's
// callback lock is taken with none of them held.
#pragma once

#include "client_callback.h"
#include "fetch_rules.h"

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace camsrc {

// A picture buffer: fetched into, published, then lent to the pipeline.
struct PictureBlock {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// The picture buffers not in use, kept for the next ones: a picture lent to
// the pipeline comes back here when its buffer is freed, on any thread,
// possibly after the source is gone (each lent picture holds the store).
class PictureBlocks {
public:
    // A block of exactly size bytes: a kept one, else a new one.
    PictureBlock Get(size_t size);
    // Keeps a block of the size last asked for (a few at most); frees others.
    void Give(PictureBlock block);

private:
    static constexpr size_t kKept = 4;
    platform::Mutex lock_;
    std::vector<PictureBlock> kept_ TOVEK_GUARDED_BY(lock_);
    size_t size_ TOVEK_GUARDED_BY(lock_) = 0;
};

// A picture handed over without a copy; its block goes back when it is
// destroyed.
class LentPicture {
public:
    LentPicture(std::shared_ptr<PictureBlocks> home, PictureBlock block, uint32_t length,
                uint32_t arrival_ms)
        : home_(std::move(home)), block_(std::move(block)), length_(length),
          arrival_ms_(arrival_ms) {}
    ~LentPicture() { home_->Give(std::move(block_)); }
    LentPicture(const LentPicture&) = delete;
    LentPicture& operator=(const LentPicture&) = delete;

    uint8_t* Data() const { return block_.bytes.get(); }
    size_t Capacity() const { return block_.size; }
    uint32_t Length() const { return length_; }
    uint32_t ArrivalMs() const { return arrival_ms_; }

private:
    std::shared_ptr<PictureBlocks> home_;
    PictureBlock block_;
    uint32_t length_;
    uint32_t arrival_ms_;
};

// The driver's last event as the device state.
enum DeviceState : uint32_t {
    kAttached = 0,
    kDetached = 1,
    kStreaming = 2,
    kStopped = 3,
};

inline constexpr uint32_t kInitialFetchPeriodMs = 83;
// How long a streaming thread waits for a fetch while no run is on: the
// whole of its time-out.
inline constexpr uint32_t kNoFetchDue = UINT32_MAX;
inline constexpr uint32_t kProbePollMs = 20;
inline constexpr int kProbePolls = 500; // 10 seconds
// The driver's streaming can end without a stop request in two ways: the
// camera was unplugged (event 3, then event 1 at once) or a read or request
// of an attached camera failed (event 3 alone). A stream that ended by
// itself counts as failed once no detach followed for this long.
inline constexpr uint32_t kDetachGraceMs = 500;

class CameraFrameSource {
public:
    // Initialises the driver and probes the picture size (see the element's
    // header). Driver events go to client. The probe's waits end early, with
    // the size unknown, once give_up (when set) returns true.
    using GiveUp = std::function<bool()>;
    explicit CameraFrameSource(ClientCallback& client, const GiveUp& give_up = {});
    // Stops streaming and the pacing thread and releases the driver.
    ~CameraFrameSource();
    CameraFrameSource(const CameraFrameSource&) = delete;
    CameraFrameSource& operator=(const CameraFrameSource&) = delete;

    // Starts the driver's streaming unless the camera is detached; the
    // pacing thread follows with event 2. False when nothing was started.
    bool StartStreaming();
    // Stops the driver's streaming, then the pacing thread. Safe when idle.
    void StopStreaming();

    // Copies the newest picture not yet taken into sample when it fits in
    // capacity bytes; returns its length, 0 when there is none. Each picture
    // is taken at most once. *arrival_ms (unless null) receives the tick
    // count at which the picture had arrived from the camera.
    uint32_t TakeNewestPicture(uint8_t* sample, size_t capacity, uint32_t* arrival_ms = nullptr);
    // The same picture without a copy: its buffer itself, which a new one
    // replaces here. Null when there is none.
    std::unique_ptr<LentPicture> LendNewestPicture();
    // Waits (real time) up to timeout_ms until a picture is ready, done()
    // is true or Wake is called. done() is read with the output lock held.
    // A new picture and a stream that ended by itself wake it too, so a
    // waiter needs no short time-out to notice them. While streaming, the
    // waiter takes the fetches due meanwhile itself.
    void WaitForPicture(uint32_t timeout_ms, const std::function<bool()>& done);
    // Wakes WaitForPicture after state read by its done() changed.
    void Wake();

    // The last measured picture size; false (outputs untouched) before the
    // first measurement. Outputs may be null.
    bool PictureSize(int32_t* width, int32_t* height) const;
    DeviceState State() const { return static_cast<DeviceState>(device_state_.load()); }
    // True when the driver's streaming ended without a stop request and the
    // camera stayed attached for kDetachGraceMs after (replaceable clock):
    // the camera failed. The next start clears it.
    bool StreamEndedByItself() const;

private:
    static void TOVEK_STDCALL OnDriverEvent(uint32_t event, uint32_t, uint32_t, uintptr_t user);
    void HandleDriverEvent(uint32_t event);

    void ProbePictureSize(const GiveUp& give_up);
    void InitDriver();
    void StartPacingThread();
    void StopPacingThread();
    void JoinPacingThreadLocked() TOVEK_REQUIRES(pacing_lock_);
    void PacingLoop();
    // Waits (real time) up to timeout_ms or until the stop request.
    void WaitForStopRequest(uint32_t timeout_ms);
    // Takes the fetch when it is who's turn (FetchTurns); 0 when it did,
    // else the milliseconds until it is due (kNoFetchDue while no run is on).
    uint32_t FetchWhenDue(Fetcher who) TOVEK_EXCLUDES(frame_lock_);
    void FetchAndMeasureLocked() TOVEK_REQUIRES(frame_lock_);
    void Measure(const uint8_t* picture, uint32_t length);
    // Makes the fetched picture the output (the buffers trade places).
    void Publish(uint32_t length) TOVEK_REQUIRES(frame_lock_);

    ClientCallback& client_;

    // The pacing lock: guards pacing_thread_ while it is started or joined.
    platform::Mutex pacing_lock_;
    std::thread pacing_thread_ TOVEK_GUARDED_BY(pacing_lock_);
    // The stop lock: orders stop_request_'s changes with the pacing
    // thread's wait on stop_changed_.
    platform::Mutex stop_lock_;
    platform::CondVar stop_changed_;
    std::atomic<bool> stop_request_{false};

    // Where fetch_ and output_ come from and lent pictures go back to.
    const std::shared_ptr<PictureBlocks> blocks_ = std::make_shared<PictureBlocks>();
    // The frame lock: held around one fetch-and-measure step; guards fetch_
    // (while it is the fetch buffer), fetch_size_ and the fields below it.
    // fetch_ and output_ have the same size (buffer_size_) and trade places
    // when a picture is published; a lent output_ is replaced by a block of
    // the same size.
    platform::Mutex frame_lock_;
    PictureBlock fetch_ TOVEK_GUARDED_BY(frame_lock_);
    // What the driver may fill: its largest picture.
    uint32_t fetch_size_ TOVEK_GUARDED_BY(frame_lock_) = 0;
    // The driver's number of the last new picture; 0 at a run's start.
    uint32_t last_number_ TOVEK_GUARDED_BY(frame_lock_) = 0;
    // When the picture in fetch_ arrived from the camera.
    uint32_t fetch_arrival_ms_ TOVEK_GUARDED_BY(frame_lock_) = 0;
    // From the pacing thread's start to its stop: fetches are taken.
    bool fetching_ TOVEK_GUARDED_BY(frame_lock_) = false;
    FetchTurns turns_ TOVEK_GUARDED_BY(frame_lock_);

    // The output lock: guards output_ and output_length_, and the swap of
    // output_ with fetch_; output_ready_ waits with it.
    platform::Mutex output_lock_;
    platform::CondVar output_ready_;
    PictureBlock output_ TOVEK_GUARDED_BY(output_lock_);
    // Bytes of the newest picture not yet taken.
    uint32_t output_length_ TOVEK_GUARDED_BY(output_lock_) = 0;
    uint32_t output_arrival_ms_ TOVEK_GUARDED_BY(output_lock_) = 0;
    // Bytes of fetch_ and output_ each: at least kCameraSourceMaxPictureSize.
    // Written once, while no other thread runs (construction) or under both
    // the frame and the output lock.
    size_t buffer_size_ TOVEK_GUARDED_BY(frame_lock_) = 0;

    std::atomic<uint32_t> fetch_period_ms_{kInitialFetchPeriodMs};
    std::atomic<uint32_t> device_state_{kDetached};
    // Set by StopStreaming, cleared by StartStreaming: an event 3 while it
    // is clear is the stream ending by itself.
    std::atomic<bool> stop_requested_{true};
    std::atomic<bool> ended_by_itself_{false}; // event 3 without a stop request, nothing since
    std::atomic<uint32_t> ended_at_ms_{0};     // when that event 3 came
    // Width in the high and height in the low 32 bits, so both change at once.
    std::atomic<uint64_t> picture_size_{0};
};

} // namespace camsrc
