// What the TovekQ5usb tests share: the program's side of the callbacks, a
// video window that records what it shows, and a fixture with an emptied
// emulated bus that opens, sets up and runs a device the way Play does.
#pragma once

#include "TovekQ5usb.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace q5cap_test {

// The program's side: stream events and samples, with what the sample
// callback paints into the first pixel so the window can be checked.
struct Client {
    static constexpr uint8_t kMark[4] = {0x11, 0x22, 0x33, 0x44};

    static int TOVEK_STDCALL OnStream(int event, BYTE* data, LONG length, void* context) {
        auto* self = static_cast<Client*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->events.push_back(event);
        self->on_caller_thread |= std::this_thread::get_id() == self->caller;
        if (event == Q5_STREAM_PICTURE) {
            self->pictures += length > 4 && data[0] == 0xFF && data[1] == 0xD8 &&
                              data[length - 2] == 0xFF && data[length - 1] == 0xD9;
        }
        return 0;
    }

    static int OnSample(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int,
                        void* context) {
        auto* self = static_cast<Client*>(context);
        BYTE* pixels = nullptr;
        sample->GetPointer(&pixels);
        std::memcpy(pixels, kMark, sizeof kMark);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->samples;
        self->sample_length = sample->GetActualDataLength();
        self->sample_width = sample->GetWidth();
        self->sample_height = sample->GetHeight();
        return 0;
    }

    size_t Count(int event) {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (int e : events) {
            n += e == event;
        }
        return n;
    }
    std::vector<int> Events() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    int Pictures() {
        std::lock_guard<std::mutex> lock(mutex);
        return pictures;
    }
    int Samples() {
        std::lock_guard<std::mutex> lock(mutex);
        return samples;
    }

    std::mutex mutex; // guards everything below
    std::thread::id caller = std::this_thread::get_id();
    std::vector<int> events;
    bool on_caller_thread = false;
    int pictures = 0;
    int samples = 0;
    LONG sample_length = 0;
    int sample_width = 0;
    int sample_height = 0;
};

class TestWindow final : public VideoWindow {
public:
    void PresentFrame(const uint8_t* pixels, int width, int height, int /*stride*/,
                      const RECT& destination) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++frames_;
        marked_ = std::memcmp(pixels, Client::kMark, sizeof Client::kMark) == 0;
        width_ = width;
        height_ = height;
        destination_ = destination;
    }
    void ClearVideo() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++clears_;
    }
    int Frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }
    int Clears() {
        std::lock_guard<std::mutex> lock(mutex_);
        return clears_;
    }
    bool Marked() {
        std::lock_guard<std::mutex> lock(mutex_);
        return marked_;
    }
    RECT Destination() {
        std::lock_guard<std::mutex> lock(mutex_);
        return destination_;
    }

private:
    std::mutex mutex_; // guards everything below
    int frames_ = 0;
    int clears_ = 0;
    bool marked_ = false;
    int width_ = 0;
    int height_ = 0;
    RECT destination_{};
};

class Q5CaptureTest : public testing::Test {
protected:
    void SetUp() override {
        sim::UsbBus().Reset(false);
        ASSERT_EQ(0, Tovek_Q5Usb_Intialize());
    }
    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(0, Tovek_Q5Usb_Close(device_));
        }
        Tovek_Q5Usb_UnIntialize();
        sim::UsbBus().Reset(false);
    }

    std::shared_ptr<sim::EmulatedQ5Camera> Plug(sim::EmulatedDeviceId* id = nullptr) {
        sim::Q5CameraOptions options;
        options.width = 640;
        options.height = 480;
        options.live_marker = true;
        auto camera = std::make_shared<sim::EmulatedQ5Camera>(options);
        camera->SetTimeoutCap(5);
        const sim::EmulatedDeviceId plugged = sim::UsbBus().PlugIn(camera);
        if (id != nullptr) {
            *id = plugged;
        }
        return camera;
    }

    // Open, callbacks, InitDirectShow and SetPosition, as Play does before Run.
    void Prepare() {
        ASSERT_EQ(0, Tovek_Q5Usb_Open(0, &device_));
        ASSERT_NE(nullptr, device_);
        ASSERT_EQ(0, Tovek_Q5Usb_SetStreamCallback(device_, &Client::OnStream, &client_));
        ASSERT_EQ(0, Tovek_Q5Usb_SetSampleCallback(device_, &Client::OnSample, &client_));
        ASSERT_EQ(0, Tovek_Q5Usb_InitDirectShow(device_));
        ASSERT_EQ(0, Tovek_Q5Usb_SetPosition(device_, &window_, 0, 0, 320, 240));
    }
    void Play() {
        ASSERT_NO_FATAL_FAILURE(Prepare());
        ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    }

    TovekQ5UsbDevice* device_ = nullptr;
    Client client_;
    TestWindow window_;
};

} // namespace q5cap_test
