#include "camera_source_pin.h"

namespace camsrc {
namespace {

uint64_t PackSize(int32_t width, int32_t height) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) |
           static_cast<uint32_t>(height);
}

} // namespace

CameraSourcePin::CameraSourcePin(ClientCallback& client, const CameraFrameSource::GiveUp& give_up)
    : announced_size_(PackSize(kCameraSourceDefaultWidth, kCameraSourceDefaultHeight)),
      client_(client), camera_(std::make_unique<CameraFrameSource>(client, give_up)) {}

CameraSourcePin::~CameraSourcePin() {
    stopping_.store(true);
    camera_->StopStreaming();
}

template <typename Take>
CameraSourcePin::FillResult CameraSourcePin::WaitAndTake(Take take) {
    platform::MutexLock sample(sample_lock_);
    for (;;) {
        if (interrupted_.load()) {
            return FillResult::kInterrupted;
        }
        if (take()) {
            return FillResult::kPicture;
        }
        if (stopping_.load()) {
            return FillResult::kEmpty;
        }
        if (camera_->StreamEndedByItself()) {
            return FillResult::kStreamEnded;
        }
        // Woken early by a new picture, a stop or an interruption, so a
        // camera that is gone never holds the streaming thread here.
        camera_->WaitForPicture(kFillWaitMs,
                                [this] { return interrupted_.load() || stopping_.load(); });
    }
}

CameraSourcePin::FillResult CameraSourcePin::FillBuffer(uint8_t* data, size_t capacity,
                                                        size_t* length, uint32_t* arrival_ms) {
    *length = 0;
    return WaitAndTake([&] {
        const uint32_t picture = camera_->TakeNewestPicture(data, capacity, arrival_ms);
        if (picture == 0) {
            return false;
        }
        client_.Send(CAMERA_SOURCE_PICTURE, reinterpret_cast<uintptr_t>(data), picture);
        *length = picture;
        return true;
    });
}

CameraSourcePin::FillResult CameraSourcePin::LendPicture(std::unique_ptr<LentPicture>* picture) {
    picture->reset();
    return WaitAndTake([&] {
        *picture = camera_->LendNewestPicture();
        if (!*picture) {
            return false;
        }
        client_.Send(CAMERA_SOURCE_PICTURE, reinterpret_cast<uintptr_t>((*picture)->Data()),
                     (*picture)->Length());
        return true;
    });
}

void CameraSourcePin::WaitWhileStopped(uint32_t timeout_ms) {
    camera_->WaitForPicture(timeout_ms,
                            [this] { return interrupted_.load() || !stopping_.load(); });
}

void CameraSourcePin::Interrupt(bool on) {
    interrupted_.store(on);
    camera_->Wake();
}

void CameraSourcePin::Control(int32_t code) {
    if (code == 0) {
        stopping_.store(true);
        camera_->Wake();
        camera_->StopStreaming();
    } else if (code == 1) {
        stopping_.store(false);
        camera_->Wake();
        camera_->StartStreaming(); // does nothing while detached: the client waits for event 0
    }
}

void CameraSourcePin::SetAnnouncedSize(int32_t width, int32_t height) {
    announced_size_.store(PackSize(width, height));
}

void CameraSourcePin::AnnouncedSize(int32_t* width, int32_t* height) const {
    const uint64_t size = announced_size_.load();
    *width = static_cast<int32_t>(size >> 32);
    *height = static_cast<int32_t>(size & 0xFFFFFFFFu);
}

} // namespace camsrc
