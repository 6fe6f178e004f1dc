// TovekQ5usb end to end on the emulated camera, the way the program uses it.
#include "TovekQ5usb.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Polls cond for up to 10 s (a hang detector, not a speed limit).
bool Eventually(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

// Names of this process's threads.
std::vector<std::string> ThreadNames() {
    std::vector<std::string> names;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = tasks != nullptr ? readdir(tasks) : nullptr) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name)) {
            names.push_back(name);
        }
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
    return names;
}

size_t LibraryThreads() {
    size_t n = 0;
    for (const std::string& name : ThreadNames()) {
        n += name == "tovek-pacing" || name == "tovek-q5events";
    }
    return n;
}

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

    // Open, callbacks, InitDirectShow, SetPosition and Run, as Play does.
    void Play() {
        ASSERT_EQ(0, Tovek_Q5Usb_Open(0, &device_));
        ASSERT_NE(nullptr, device_);
        ASSERT_EQ(0, Tovek_Q5Usb_SetStreamCallback(device_, &Client::OnStream, &client_));
        ASSERT_EQ(0, Tovek_Q5Usb_SetSampleCallback(device_, &Client::OnSample, &client_));
        ASSERT_EQ(0, Tovek_Q5Usb_InitDirectShow(device_));
        ASSERT_EQ(0, Tovek_Q5Usb_SetPosition(device_, &window_, 0, 0, 320, 240));
        ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    }

    TovekQ5UsbDevice* device_ = nullptr;
    Client client_;
    TestWindow window_;
};

TEST_F(Q5CaptureTest, OpenNeedsIndexZeroAndACamera) {
    TovekQ5UsbDevice* device = reinterpret_cast<TovekQ5UsbDevice*>(0x1);
    EXPECT_EQ(-1, Tovek_Q5Usb_Open(1, &device));
    EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, nullptr));
    {
        platform::FakeClock clock; // the 10-second wait for a camera passes at once
        EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, &device));
    }
    EXPECT_EQ(reinterpret_cast<TovekQ5UsbDevice*>(0x1), device) << "left as it was";
    EXPECT_EQ(0, Tovek_Q5Usb_GetDeviceCount());

    // Without a device every operation fails and does nothing.
    VIDEOINFOHEADER format{};
    EXPECT_EQ(-1, Tovek_Q5Usb_Close(nullptr));
    EXPECT_EQ(-1, Tovek_Q5Usb_SendCmd(nullptr, 0xB1));
    EXPECT_EQ(-1, Tovek_Q5Usb_SetPosition(nullptr, &window_, 0, 0, 1, 1));
    EXPECT_EQ(-1, Tovek_Q5Usb_Refresh(nullptr, 0, 0, 0, 0));
    EXPECT_EQ(-1, Tovek_Q5Usb_Run(nullptr));
    EXPECT_EQ(-1, Tovek_Q5Usb_Stop(nullptr));
    EXPECT_EQ(-1, Tovek_Q5Usb_SetStreamCallback(nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, Tovek_Q5Usb_SetSampleCallback(nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, Tovek_Q5Usb_GetStreamMediaType(nullptr, &format));
    EXPECT_EQ(-1, Tovek_Q5Usb_InitDirectShow(nullptr));
    // Attach and detach come as stream events only.
    EXPECT_EQ(-1, Tovek_Q5Usb_RegisterDeviceNotification(&window_));
    EXPECT_EQ(-1, Tovek_Q5Usb_UpdateDevice(0x8000, nullptr));
}

TEST_F(Q5CaptureTest, PlayDeliversCompressedPicturesAndDecodedSamplesToTheWindow) {
    auto camera = Plug();
    ASSERT_EQ(0, Tovek_Q5Usb_Open(0, &device_));
    EXPECT_EQ(1, Tovek_Q5Usb_GetDeviceCount());
    TovekQ5UsbDevice* second = nullptr;
    EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, &second)) << "the driver serves one device";
    EXPECT_EQ(-1, Tovek_Q5Usb_Run(device_)) << "nothing to run before InitDirectShow";
    EXPECT_EQ(0, Tovek_Q5Usb_Close(device_));
    device_ = nullptr;

    Play();
    ASSERT_TRUE(Eventually([&] { return client_.Count(Q5_STREAM_ATTACHED) >= 1; }))
        << "InitDirectShow reports the camera";
    ASSERT_TRUE(Eventually([&] { return client_.Pictures() >= 3 && client_.Samples() >= 3; }));
    {
        std::lock_guard<std::mutex> lock(client_.mutex);
        EXPECT_EQ(640 * 480 * 4, client_.sample_length);
        EXPECT_EQ(640, client_.sample_width);
        EXPECT_EQ(480, client_.sample_height);
        EXPECT_FALSE(client_.on_caller_thread) << "callbacks come on library threads";
    }
    // What the sample callback painted is what the window shows.
    ASSERT_TRUE(Eventually([&] { return window_.Frames() >= 1 && window_.Marked(); }));
    const RECT destination = window_.Destination();
    EXPECT_EQ(0, destination.left);
    EXPECT_EQ(320, destination.right);
    EXPECT_EQ(240, destination.bottom);

    VIDEOINFOHEADER format{};
    ASSERT_EQ(0, Tovek_Q5Usb_GetStreamMediaType(device_, &format));
    EXPECT_EQ(640, format.bmiHeader.biWidth);
    EXPECT_EQ(480, format.bmiHeader.biHeight);
    EXPECT_EQ(-1, Tovek_Q5Usb_GetStreamMediaType(device_, nullptr));

    EXPECT_EQ(0, Tovek_Q5Usb_SendCmd(device_, 0xB6));
    ASSERT_FALSE(camera->Commands().empty());
    EXPECT_EQ(0xB6, camera->Commands().back());

    // Stopping as the program does: Refresh with zeros, then Stop.
    EXPECT_EQ(0, Tovek_Q5Usb_Refresh(device_, 0, 0, 0, 0));
    EXPECT_EQ(1, window_.Clears());
    EXPECT_EQ(0, Tovek_Q5Usb_Stop(device_));
    EXPECT_TRUE(Eventually([&] { return client_.Count(Q5_STREAM_STOPPED) >= 1; }));

    // With the callbacks removed nothing more arrives.
    EXPECT_EQ(0, Tovek_Q5Usb_SetStreamCallback(device_, nullptr, nullptr));
    EXPECT_EQ(0, Tovek_Q5Usb_SetSampleCallback(device_, nullptr, nullptr));
    const int pictures = client_.Pictures();
    ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(pictures, client_.Pictures());
}

TEST_F(Q5CaptureTest, UnplugStopsAndDetachesAndTheCameraRunsAgainAfterReplug) {
    sim::EmulatedDeviceId id = 0;
    Plug(&id);
    Play();
    ASSERT_TRUE(Eventually([&] { return client_.Pictures() >= 1; }));

    ASSERT_TRUE(sim::UsbBus().PullOut(id));
    ASSERT_TRUE(Eventually([&] {
        return client_.Count(Q5_STREAM_STOPPED) >= 1 && client_.Count(Q5_STREAM_DETACHED) >= 1;
    }));
    EXPECT_EQ(0, Tovek_Q5Usb_GetDeviceCount());
    EXPECT_EQ(0, Tovek_Q5Usb_Stop(device_)); // the program's detach handling

    const size_t attached = client_.Count(Q5_STREAM_ATTACHED);
    Plug();
    ASSERT_TRUE(Eventually([&] { return client_.Count(Q5_STREAM_ATTACHED) > attached; }));
    EXPECT_EQ(1, Tovek_Q5Usb_GetDeviceCount());
    const int pictures = client_.Pictures();
    const int samples = client_.Samples();
    ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    EXPECT_TRUE(Eventually(
        [&] { return client_.Pictures() > pictures + 2 && client_.Samples() > samples + 2; }));
}

TEST_F(Q5CaptureTest, CloseWhileRunningLeavesNoThreadAndFreesTheCamera) {
    Plug();
    Play();
    ASSERT_TRUE(Eventually([&] { return client_.Samples() >= 2; }));
    EXPECT_EQ(2u, LibraryThreads());

    EXPECT_EQ(0, Tovek_Q5Usb_Close(device_));
    device_ = nullptr;
    EXPECT_EQ(0u, LibraryThreads());
    EXPECT_EQ(0, Tovek_Q5Usb_GetDeviceCount());
    const int samples = client_.Samples();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(samples, client_.Samples()) << "no callback after Close";

    // The camera is free for the next device.
    ASSERT_EQ(0, Tovek_Q5Usb_Open(0, &device_));
}

} // namespace
