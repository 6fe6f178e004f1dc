// The capture graph, callbacks and camera commands of TovekCorvane on the
// emulated RVX camera.
#include "TovekCorvane.h"

#include "platform/system.h"
#include "sim/rvx_camera.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// What the callbacks saw; written on the streaming thread.
struct Seen {
    std::atomic<int> pictures{0};
    std::atomic<int> samples{0};
    std::atomic<int> sample_bytes{0};
    std::atomic<bool> jpeg_ok{true};
    std::atomic<bool> times_ok{true};
    std::mutex mutex; // guards last_time, width, height, stride
    double last_time = -1;
    int width = 0;
    int height = 0;
    int stride = 0;
};

int TOVEK_STDCALL OnPicture(BYTE* data, LONG length, double time, void* user) {
    auto* seen = static_cast<Seen*>(user);
    if (length < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        seen->jpeg_ok = false;
    }
    {
        std::lock_guard<std::mutex> lock(seen->mutex);
        if (time < seen->last_time) {
            seen->times_ok = false;
        }
        seen->last_time = time;
    }
    seen->pictures.fetch_add(1);
    return 0;
}

int OnSample(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int, void* user) {
    auto* seen = static_cast<Seen*>(user);
    BYTE* pixels = nullptr;
    if (sample->GetPointer(&pixels) == S_OK && sample->GetActualDataLength() > 0) {
        pixels[0] = 0x12; // frames are writable
        std::lock_guard<std::mutex> lock(seen->mutex);
        seen->width = sample->GetWidth();
        seen->height = sample->GetHeight();
        seen->stride = sample->GetStride();
    }
    seen->samples.fetch_add(1);
    return 0;
}

int TOVEK_STDCALL OnSampleBytes(BYTE*, LONG length, double, int, void* user) {
    if (length > 0) {
        static_cast<Seen*>(user)->sample_bytes.fetch_add(1);
    }
    return 0;
}

class CountingWindow final : public VideoWindow {
public:
    void PresentFrame(const uint8_t* pixels, int width, int, int,
                      const RECT& destination) override {
        if (pixels[0] == 0x12 && width > 0) {
            drawn_over.store(true);
        }
        right.store(destination.right);
        frames.fetch_add(1);
    }
    void ClearVideo() override { cleared.fetch_add(1); }
    std::atomic<int> frames{0};
    std::atomic<int> cleared{0};
    std::atomic<bool> drawn_over{false};
    std::atomic<int> right{0};
};

// The bound of a wait on the graph: a hang detector, not a speed limit.
constexpr std::chrono::milliseconds kBound = 20s;

class CorvaneGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        camera_ = sim::DefaultRvxCamera();
        camera_->Plug();
        Corvane_Intialize();
        ASSERT_EQ(0, Corvane_Open(0, &device_));
        ASSERT_NE(nullptr, device_);
    }
    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(0, Corvane_Close(device_));
        }
        camera_->Plug();
    }
    std::shared_ptr<sim::EmulatedRvxCamera> camera_;
    CorvaneCaptureDevice* device_ = nullptr;
    Seen seen_;
};

TEST_F(CorvaneGraphTest, PicturesAndDecodedFramesReachTheirCallbacksAndTheWindow) {
    CountingWindow window;
    ASSERT_EQ(0, Corvane_SetStreamCallback(device_, OnPicture, &seen_));
    ASSERT_EQ(0, Corvane_SetSampleStreamCallback(device_, OnSample, &seen_));
    ASSERT_EQ(0, Corvane_SetSampleStreamCallbackEx(device_, OnSampleBytes, &seen_));
    EXPECT_EQ(-1, Corvane_SetPosition(device_, nullptr, 0, 0, 640, 360));
    ASSERT_EQ(0, Corvane_SetPosition(device_, &window, 0, 0, 640, 360));
    ASSERT_EQ(0, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            return seen_.pictures >= 3 && seen_.samples >= 3 && seen_.sample_bytes >= 3 &&
                   window.frames >= 3;
        },
        kBound));
    EXPECT_TRUE(seen_.jpeg_ok);
    EXPECT_TRUE(seen_.times_ok);
    {
        std::lock_guard<std::mutex> lock(seen_.mutex);
        EXPECT_EQ(1280, seen_.width);
        EXPECT_EQ(720, seen_.height);
        EXPECT_GE(seen_.stride, 1280 * 4);
    }
    EXPECT_TRUE(window.drawn_over) << "the window shows what the sample callback drew";
    EXPECT_EQ(640, window.right.load());

    VIDEOINFOHEADER info{};
    ASSERT_EQ(0, Corvane_GetStreamMediaType(device_, &info));
    EXPECT_EQ(1280, info.bmiHeader.biWidth);
    EXPECT_EQ(720, info.bmiHeader.biHeight);
    EXPECT_EQ(333333, info.AvgTimePerFrame);

    ASSERT_EQ(0, Corvane_Refresh(device_, 0, 0, 1, 1));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return window.cleared >= 1; }, kBound));
    EXPECT_EQ(0, Corvane_Stop(device_));
    EXPECT_EQ(0, Corvane_Run(device_)) << "a stopped graph runs again";
}

TEST_F(CorvaneGraphTest, ACallbackClearedWhileRunningIsNeverCalledAgain) {
    Corvane_SetStreamCallback(device_, OnPicture, &seen_);
    Corvane_SetSampleStreamCallback(device_, OnSample, &seen_);
    ASSERT_EQ(0, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.pictures >= 2; }, kBound));
    ASSERT_EQ(0, Corvane_SetStreamCallback(device_, nullptr, nullptr));
    const int pictures = seen_.pictures;
    const int samples = seen_.samples;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.samples >= samples + 5; }, kBound));
    EXPECT_EQ(pictures, seen_.pictures.load());
}

TEST_F(CorvaneGraphTest, CommandsChangeTheCameraAndItsStatusReturnsToNormal) {
    platform::FakeClock clock;
    int state = 0;
    ASSERT_EQ(0, Corvane_GetState(device_, &state));
    EXPECT_EQ(0x11, state);
    const auto before = camera_->Commands().size();
    ASSERT_EQ(0, Corvane_SendCmd(device_, 0x131)); // only the low byte counts
    EXPECT_EQ(1, camera_->State().zoom);
    ASSERT_EQ(0, Corvane_SendCmd(device_, 0x1F));
    const auto commands = camera_->Commands();
    ASSERT_EQ(before + 2, commands.size());
    EXPECT_EQ(0x31, commands[before]);
    EXPECT_EQ(0x1F, commands[before + 1]);

    ASSERT_EQ(0, Corvane_SendCmd(device_, 0x38)); // negative
    ASSERT_EQ(0, Corvane_GetState(device_, &state));
    EXPECT_EQ(0x81, state);
    clock.Advance(1999);
    ASSERT_EQ(0, Corvane_GetState(device_, &state));
    EXPECT_EQ(0x81, state);
    clock.Advance(1);
    ASSERT_EQ(0, Corvane_GetState(device_, &state));
    EXPECT_EQ(0x11, state);
    EXPECT_EQ(-1, Corvane_GetState(device_, nullptr));

    camera_->Pull();
    EXPECT_EQ(-1, Corvane_SendCmd(device_, 0x31));
    EXPECT_EQ(-1, Corvane_GetState(device_, &state));
}

TEST_F(CorvaneGraphTest, CommandsFromTwoThreadsNeverInterleave) {
    const auto refused = camera_->Counters().refused;
    const auto executed = camera_->Counters().commands;
    std::atomic<int> failures{0};
    auto sender = [&](uint8_t command) {
        for (int i = 0; i < 25; ++i) {
            int state = 0;
            if (Corvane_SendCmd(device_, command) != 0 || Corvane_GetState(device_, &state) != 0) {
                failures.fetch_add(1);
            }
        }
    };
    std::thread first(sender, 0x41);
    std::thread second(sender, 0x40);
    first.join();
    second.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(refused, camera_->Counters().refused);
    EXPECT_EQ(executed + 50, camera_->Counters().commands);
}

// Picks the format with the given size and rate; counts its calls.
struct Chooser : CorvaneOwnerWindow {
    Chooser(int width, int fps) : wanted_width(width), wanted_fps(fps) {
        ChooseCaptureFormat = &Choose;
        context = this;
    }
    static int Choose(CorvaneOwnerWindow* window, const CorvaneVideoFormat* formats, int count,
                      int current) {
        auto* self = static_cast<Chooser*>(window->context);
        ++self->calls;
        self->offered = count;
        self->current = current;
        if (self->wanted_width < 0) {
            return self->wanted_width; // -1 cancel, below that: no dialog
        }
        for (int i = 0; i < count; ++i) {
            if (formats[i].width == self->wanted_width &&
                formats[i].fps_numerator == self->wanted_fps * formats[i].fps_denominator) {
                return i;
            }
        }
        return -2;
    }
    int wanted_width;
    int wanted_fps;
    int calls = 0;
    int offered = 0;
    int current = -2;
};

TEST_F(CorvaneGraphTest, CapturePinChangesTheFormatAndClearsTheStreamCallbacks) {
    Corvane_SetStreamCallback(device_, OnPicture, &seen_);
    Corvane_SetSampleStreamCallback(device_, OnSample, &seen_);
    ASSERT_EQ(0, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.pictures >= 1; }, kBound));

    Chooser chooser(640, 15);
    ASSERT_EQ(0, Corvane_VideoCapturePin(device_, &chooser));
    EXPECT_EQ(1, chooser.calls);
    EXPECT_GE(chooser.offered, 8);
    EXPECT_EQ(-1, chooser.current) << "the camera chose until now";

    // Stopped and without a stream callback: running again shows frames
    // (the sample callback stays) but no compressed picture arrives.
    const int pictures = seen_.pictures;
    const int samples = seen_.samples;
    ASSERT_EQ(0, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.samples >= samples + 3; }, kBound));
    EXPECT_EQ(pictures, seen_.pictures.load());
    {
        std::lock_guard<std::mutex> lock(seen_.mutex);
        EXPECT_EQ(640, seen_.width);
        EXPECT_EQ(480, seen_.height);
    }
    Corvane_SetStreamCallback(device_, OnPicture, &seen_);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.pictures >= pictures + 2; }, kBound));
    VIDEOINFOHEADER info{};
    ASSERT_EQ(0, Corvane_GetStreamMediaType(device_, &info));
    EXPECT_EQ(640, info.bmiHeader.biWidth);
    EXPECT_EQ(666666, info.AvgTimePerFrame);

    // Cancelling keeps the chosen format, and the dialog shows it as current.
    Chooser cancel(-1, 0);
    ASSERT_EQ(0, Corvane_VideoCapturePin(device_, &cancel));
    EXPECT_GE(cancel.current, 0);
    ASSERT_EQ(0, Corvane_GetStreamMediaType(device_, &info));
    EXPECT_EQ(640, info.bmiHeader.biWidth) << "the chosen format before anything flows";
}

TEST_F(CorvaneGraphTest, CapturePinWithoutADialogFailsCleanly) {
    EXPECT_EQ(-1, Corvane_VideoCapturePin(device_, nullptr));
    Corvane_SetSampleStreamCallback(device_, OnSample, &seen_);
    ASSERT_EQ(0, Corvane_Run(device_)) << "a null window changes nothing";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.samples >= 1; }, kBound));

    Chooser broken(-3, 0);
    EXPECT_EQ(-1, Corvane_VideoCapturePin(device_, &broken));
    EXPECT_EQ(-1, Corvane_Run(device_)) << "left unconnected";
    VIDEOINFOHEADER info{};
    EXPECT_EQ(-1, Corvane_GetStreamMediaType(device_, &info));
    int state = 0;
    EXPECT_EQ(0, Corvane_GetState(device_, &state)) << "commands still work";

    Chooser good(1280, 30);
    ASSERT_EQ(0, Corvane_VideoCapturePin(device_, &good));
    EXPECT_EQ(0, Corvane_Run(device_));
}

TEST_F(CorvaneGraphTest, PullingTheCameraWhileRunningIsSurvived) {
    Corvane_SetStreamCallback(device_, OnPicture, &seen_);
    ASSERT_EQ(0, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen_.pictures >= 1; }, kBound));
    camera_->Pull();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(0, Corvane_Stop(device_));
    EXPECT_EQ(0, Corvane_Close(device_));
    device_ = nullptr;
    CorvaneCaptureDevice* again = nullptr;
    EXPECT_EQ(-1, Corvane_Open(0, &again));
}

} // namespace
