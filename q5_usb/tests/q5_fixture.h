// Shared set-up of the driver tests: an empty emulated bus, an event
// recorder, and helpers that wait (bounded) for what the driver does.
#pragma once

#include "module.h"
#include "q5_usb.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class EventRecorder {
public:
    static void TOVEK_STDCALL Callback(uint32_t event, uint32_t, uint32_t, uintptr_t user) {
        auto* self = reinterpret_cast<EventRecorder*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back(event);
        self->cv_.notify_all();
    }

    std::vector<uint32_t> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    // Waits up to 10 s until event has been seen count times.
    bool WaitFor(uint32_t event, size_t count = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] {
            size_t n = 0;
            for (uint32_t e : events_) {
                n += e == event;
            }
            return n >= count;
        });
    }

private:
    std::mutex mutex_; // guards events_
    std::condition_variable cv_;
    std::vector<uint32_t> events_;
};

class Q5DriverTest : public ::testing::Test {
protected:
    void SetUp() override { sim::UsbBus().Reset(false); }
    void TearDown() override {
        TovekCameraStop();
        TovekCameraUninit();
        sim::UsbBus().Reset(false);
    }

    std::shared_ptr<sim::EmulatedQ5Camera> Plug(const sim::Q5CameraOptions& options = {}) {
        auto camera = std::make_shared<sim::EmulatedQ5Camera>(options);
        camera->SetTimeoutCap(5);
        ids_.push_back(sim::UsbBus().PlugIn(camera));
        return camera;
    }
    bool Init() {
        return TovekCameraInit(&EventRecorder::Callback, reinterpret_cast<uintptr_t>(&events_)) !=
               0;
    }

    EventRecorder events_;
    std::vector<sim::EmulatedDeviceId> ids_;
};
