// Shared helpers of the camera source tests: an empty emulated bus with
// cameras to plug in, a recorder for the client callback, bounded waits.
#pragma once

#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/wait.h"
#include "tovek_camera_source.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace camsrc_test {

using Bytes = std::vector<uint8_t>;

// A camera of the given size on a freshly emptied bus, with short emulated
// time-outs.
inline std::shared_ptr<sim::EmulatedQ5Camera> PlugCamera(int width = 640, int height = 480,
                                                         sim::EmulatedDeviceId* id = nullptr) {
    sim::Q5CameraOptions options;
    options.width = width;
    options.height = height;
    options.live_marker = true; // every picture differs from the one before
    auto camera = std::make_shared<sim::EmulatedQ5Camera>(options);
    camera->SetTimeoutCap(5);
    const sim::EmulatedDeviceId plugged = sim::UsbBus().PlugIn(camera);
    if (id != nullptr) {
        *id = plugged;
    }
    return camera;
}

// Records what reaches the client callback: events, and for event 4 the
// pointer, length and a copy of the bytes.
class EventRecorder {
public:
    struct Picture {
        uintptr_t data = 0;
        size_t length = 0;
        Bytes bytes;
    };

    static void TOVEK_STDCALL Callback(uint32_t event, uintptr_t value1, uintptr_t value2,
                                       uintptr_t user) {
        auto* self = reinterpret_cast<EventRecorder*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back(event);
        if (event == CAMERA_SOURCE_PICTURE) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(value1);
            self->pictures_.push_back(Picture{value1, value2, Bytes(bytes, bytes + value2)});
        }
    }

    uintptr_t User() { return reinterpret_cast<uintptr_t>(this); }

    size_t Count(uint32_t event) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (uint32_t e : events_) {
            n += e == event;
        }
        return n;
    }
    // Waits up to 10 s until event was seen count times in all.
    bool WaitFor(uint32_t event, size_t count = 1) {
        return testsupport::WaitUntil([&] { return Count(event) >= count; });
    }
    std::vector<Picture> Pictures() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pictures_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
        pictures_.clear();
    }

private:
    std::mutex mutex_; // guards events_ and pictures_
    std::vector<uint32_t> events_;
    std::vector<Picture> pictures_;
};

} // namespace camsrc_test
