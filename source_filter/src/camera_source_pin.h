// CameraSourcePin: the element's output side. It holds the announced
// picture size, the stopping flag and the camera, and fills each outgoing
// buffer with the newest picture (FillBuffer).
#pragma once

#include "camera_frame_source.h"
#include "client_callback.h"

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace camsrc {

// How long FillBuffer waits for a picture before it looks again. A new
// picture, a stop and an interruption wake it at once; the time-out only
// bounds how late it notices a stream that ended by itself.
inline constexpr uint32_t kFillWaitMs = 100;

class CameraSourcePin {
public:
    // Creates the camera (driver set-up and size probe, which give_up ends).
    explicit CameraSourcePin(ClientCallback& client, const CameraFrameSource::GiveUp& give_up = {});
    // Stops the camera and releases the driver.
    ~CameraSourcePin();
    CameraSourcePin(const CameraSourcePin&) = delete;
    CameraSourcePin& operator=(const CameraSourcePin&) = delete;

    enum class FillResult {
        kPicture,     // *length bytes of a new picture are in data
        kEmpty,       // stopped and no new picture: *length is 0
        kInterrupted, // Interrupt(true) is in force: *length is 0
        kStreamEnded, // the camera's stream ended by itself while attached: *length is 0
    };
    // Runs on the streaming thread, under the sample lock. Waits until a
    // picture not delivered before is ready and copies it into data (which
    // must hold kCameraSourceMaxPictureSize bytes to take every picture),
    // after sending event 4 with data and the length to the client. Returns
    // at once, without a picture, while stopped or interrupted, and once
    // the camera's stream has ended by itself (see CameraFrameSource). With a
    // picture, *arrival_ms (unless null) receives the tick count at which it
    // had arrived from the camera.
    FillResult FillBuffer(uint8_t* data, size_t capacity, size_t* length,
                          uint32_t* arrival_ms = nullptr);
    // The same without a copy: *picture is the picture's own buffer (kPicture
    // only; event 4 carries its bytes).
    FillResult LendPicture(std::unique_ptr<LentPicture>* picture);
    // While stopped: waits up to timeout_ms (real time) for a start, a
    // picture or an interruption, so a streaming thread need not spin.
    void WaitWhileStopped(uint32_t timeout_ms);
    // Interrupts FillBuffer and keeps it returning at once (the element's
    // unlock) until called with false.
    void Interrupt(bool on);

    // Control 0 and 1 of the control interface; other codes do nothing.
    void Control(int32_t code);
    bool Stopping() const { return stopping_.load(); }

    void SetAnnouncedSize(int32_t width, int32_t height);
    void AnnouncedSize(int32_t* width, int32_t* height) const;

    CameraFrameSource& Camera() { return *camera_; }

private:
    // FillBuffer's wait around take, which says whether it took a picture.
    template <typename Take>
    FillResult WaitAndTake(Take take);

    // Announced width in the high and height in the low 32 bits.
    std::atomic<uint64_t> announced_size_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> interrupted_{false};
    ClientCallback& client_;
    std::unique_ptr<CameraFrameSource> camera_;
    // The sample lock: held through FillBuffer, so one buffer is filled at a time.
    platform::Mutex sample_lock_;
};

} // namespace camsrc
