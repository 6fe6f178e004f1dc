// TovekQ5usb end to end on the emulated camera, the way the program uses it.
#include "TovekQ5usb.h"
#include "platform/system.h"
#include "q5_test_support.h"
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

using q5cap_test::Client;
using q5cap_test::Q5CaptureTest;

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

TEST_F(Q5CaptureTest, OpenNeedsIndexZeroAndACamera) {
    TovekQ5UsbDevice* device = reinterpret_cast<TovekQ5UsbDevice*>(0x1);
    EXPECT_EQ(-1, Tovek_Q5Usb_Open(1, &device));
    EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, nullptr));
    {
        platform::FakeClock clock; // the 10-second wait for a camera passes at once
        EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, &device));
        EXPECT_GE(clock.Slept(), 10000u);
        // Cancelled, an open gives up without its wait until the next Intialize.
        auto camera = Plug();
        EXPECT_EQ(0, Tovek_Q5Usb_CancelOpen());
        const uint64_t slept = clock.Slept();
        EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, &device)) << "even with a camera plugged in";
        EXPECT_LT(clock.Slept() - slept, 1000u);
        sim::UsbBus().Reset(false);
        ASSERT_EQ(0, Tovek_Q5Usb_Intialize());
        const uint64_t renewed = clock.Slept();
        EXPECT_EQ(-1, Tovek_Q5Usb_Open(0, &device));
        EXPECT_GE(clock.Slept() - renewed, 10000u) << "the next open waits again";
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
    ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_ATTACHED) >= 1; }))
        << "InitDirectShow reports the camera";
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return client_.Pictures() >= 3 && client_.Samples() >= 3; }));
    {
        std::lock_guard<std::mutex> lock(client_.mutex);
        EXPECT_EQ(640 * 480 * 4, client_.sample_length);
        EXPECT_EQ(640, client_.sample_width);
        EXPECT_EQ(480, client_.sample_height);
        EXPECT_FALSE(client_.on_caller_thread) << "callbacks come on library threads";
    }
    // What the sample callback painted is what the window shows.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return window_.Frames() >= 1 && window_.Marked(); }));
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
    EXPECT_TRUE(testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_STOPPED) >= 1; }));

    // With the callbacks removed nothing more arrives.
    EXPECT_EQ(0, Tovek_Q5Usb_SetStreamCallback(device_, nullptr, nullptr));
    EXPECT_EQ(0, Tovek_Q5Usb_SetSampleCallback(device_, nullptr, nullptr));
    const int pictures = client_.Pictures();
    const uint64_t read = camera->Counters().pictures;
    ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    // Pictures flow again (the camera gives them), yet none is reported.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return camera->Counters().pictures >= read + 3; }));
    EXPECT_EQ(pictures, client_.Pictures());
}

TEST_F(Q5CaptureTest, UnplugStopsAndDetachesAndTheCameraRunsAgainAfterReplug) {
    sim::EmulatedDeviceId id = 0;
    Plug(&id);
    Play();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Pictures() >= 1; }));

    ASSERT_TRUE(sim::UsbBus().PullOut(id));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return client_.Count(Q5_STREAM_STOPPED) >= 1 && client_.Count(Q5_STREAM_DETACHED) >= 1;
    }));
    EXPECT_EQ(0, Tovek_Q5Usb_GetDeviceCount());
    // Unplugging is no failure, also once the camera source has waited for
    // the detach that explains its stream's end.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(0u, client_.Count(Q5_STREAM_ERROR));
    EXPECT_EQ(1, Tovek_Q5Usb_GetLastError(device_, nullptr, 0, nullptr, 0));
    EXPECT_EQ(0, Tovek_Q5Usb_Stop(device_)); // the program's detach handling

    const size_t attached = client_.Count(Q5_STREAM_ATTACHED);
    Plug();
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_ATTACHED) > attached; }));
    EXPECT_EQ(1, Tovek_Q5Usb_GetDeviceCount());
    const int pictures = client_.Pictures();
    const int samples = client_.Samples();
    ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return client_.Pictures() > pictures + 2 && client_.Samples() > samples + 2; }));
}

TEST_F(Q5CaptureTest, CloseWhileRunningLeavesNoThreadAndFreesTheCamera) {
    Plug();
    Play();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Samples() >= 2; }));
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
