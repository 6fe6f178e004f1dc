// Q5Camera and RvxCamera on the emulated cameras, driven the way the main
// window drives them. CTest runs each test in its own process,
// so the Q5 library's process-wide state never meets the RVX tests.
#include "camera/DocumentCamera.h"

#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

using testsupport::WaitUntil;

// What the callbacks and the window saw, on library threads.
struct Seen : VideoWindow {
    std::atomic<int> pictures{0}, bad_pictures{0}, samples{0}, attached{0}, stopped{0};
    std::atomic<int> frames{0}, clears{0};

    void Picture(const BYTE* data, LONG length) {
        const bool jpeg = length > 4 && data[0] == 0xFF && data[1] == 0xD8 &&
                          data[length - 2] == 0xFF && data[length - 1] == 0xD9;
        (jpeg ? pictures : bad_pictures).fetch_add(1);
    }
    void PresentFrame(const uint8_t*, int, int, int, const RECT&) override { frames.fetch_add(1); }
    void ClearVideo() override { clears.fetch_add(1); }
};

int OnQ5Stream(int event, BYTE* data, LONG length, void* context) {
    auto* seen = static_cast<Seen*>(context);
    if (event == Q5_STREAM_PICTURE) {
        seen->Picture(data, length);
    } else if (event == Q5_STREAM_ATTACHED) {
        ++seen->attached;
    } else if (event == Q5_STREAM_STOPPED) {
        ++seen->stopped;
    }
    return 0;
}
int OnRvxStream(BYTE* data, LONG length, double, void* context) {
    static_cast<Seen*>(context)->Picture(data, length);
    return 0;
}
int OnSample(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int, void* context) {
    static_cast<Seen*>(context)->samples += sample->GetActualDataLength() > 0;
    return 0;
}

class CameraTest : public testing::Test {
protected:
    // Play on an opened camera, then Stop as the main window does, and close.
    // stopped: what the family's stream callback reports after Stop; it is
    // delivered on the library's event thread, so it is awaited before the
    // callback goes (once removed, a late event is rightly dropped).
    void PlayAndStop(
        DocumentCamera& camera, int width, int height,
        const std::function<bool()>& stopped = [] { return true; }) {
        ASSERT_EQ(0, camera.SetPosition(&seen_, 0, 0, 320, 240));
        ASSERT_EQ(0, camera.Run());
        ASSERT_TRUE(WaitUntil([&] { return seen_.pictures >= 3 && seen_.samples >= 3; }));
        EXPECT_TRUE(WaitUntil([&] { return seen_.frames >= 1; }));
        EXPECT_EQ(0, seen_.bad_pictures.load());
        VIDEOINFOHEADER format{};
        ASSERT_EQ(0, camera.GetStreamMediaType(&format));
        EXPECT_EQ(width, format.bmiHeader.biWidth);
        EXPECT_EQ(height, format.bmiHeader.biHeight);

        EXPECT_EQ(0, camera.Refresh(0, 0, 0, 0));
        EXPECT_TRUE(WaitUntil([&] { return seen_.clears >= 1; }));
        EXPECT_EQ(0, camera.Stop());
        EXPECT_TRUE(WaitUntil(stopped));
        EXPECT_EQ(0, camera.SetStreamCallback(nullptr, nullptr));
        EXPECT_EQ(0, camera.SetSampleCallback(nullptr, nullptr));
        EXPECT_EQ(0, camera.Close());
        EXPECT_EQ(-1, camera.Run());
    }

    Seen seen_;
};

TEST_F(CameraTest, M4410PlaysAndStopsTheQ5Camera) {
    sim::UsbBus().Reset(false);
    sim::Q5CameraOptions options;
    options.width = 640;
    options.height = 480;
    auto device = std::make_shared<sim::EmulatedQ5Camera>(options);
    device->SetTimeoutCap(5);
    sim::UsbBus().PlugIn(device);

    auto camera = CreateDocumentCamera(u"Q5M4410");
    ASSERT_EQ(0, camera->Initialize());
    ASSERT_EQ(0, camera->Open(0));
    ASSERT_EQ(0, camera->SetStreamCallback(&OnQ5Stream, &seen_));
    ASSERT_EQ(0, camera->SetSampleCallback(&OnSample, &seen_));
    ASSERT_EQ(0, camera->InitDirectShow());
    EXPECT_TRUE(WaitUntil([&] { return seen_.attached >= 1; }));
    int state = 0;
    EXPECT_EQ(0, camera->GetState(&state));
    EXPECT_EQ(17, state);
    EXPECT_EQ(0, camera->SendCmd(0xB6));
    EXPECT_EQ(0xB6, device->Commands().back());

    PlayAndStop(*camera, 640, 480, [&] { return seen_.stopped >= 1; });
    // The library serves one device at a time: this opens only if Close let
    // the first one go.
    EXPECT_EQ(0, camera->Initialize());
    EXPECT_EQ(0, camera->Open(0));
    camera.reset();
    sim::UsbBus().Reset(false);
}

TEST_F(CameraTest, M4410OpensNothingWithoutACamera) {
    sim::UsbBus().Reset(false);
    platform::FakeClock clock; // the library's wait for a camera passes at once
    Q5Camera camera;
    ASSERT_EQ(0, camera.Initialize());
    EXPECT_NE(0, camera.Open(0));
    EXPECT_EQ(-1, camera.InitDirectShow());
    EXPECT_EQ(-1, camera.Run());
}

TEST_F(CameraTest, M4120PlaysAndStopsTheRvxCamera) {
    sim::DefaultRvxCamera()->Plug();
    auto camera = CreateDocumentCamera(u"rvxm4120");
    ASSERT_EQ(0, camera->Initialize());
    ASSERT_GE(camera->GetDeviceCount(), 0);
    ASSERT_EQ(0, camera->Open(0));
    ASSERT_EQ(0, camera->SetStreamCallback(&OnRvxStream, &seen_));
    ASSERT_EQ(0, camera->SetSampleCallback(&OnSample, &seen_));
    ASSERT_EQ(0, camera->InitDirectShow());
    PlayAndStop(*camera, sim::kRvxDefaultWidth, sim::kRvxDefaultHeight);
}

TEST_F(CameraTest, M4120CommandsAndStatusReadsReachTheRvxCamera) {
    auto device = sim::DefaultRvxCamera();
    device->Plug();
    RvxCamera camera;
    ASSERT_EQ(0, camera.Initialize());
    ASSERT_EQ(0, camera.Open(0));
    platform::FakeClock clock;
    int state = 0;
    ASSERT_EQ(0, camera.GetState(&state));
    EXPECT_EQ(17, state);
    ASSERT_EQ(0, camera.SendCmd(0x31));
    EXPECT_EQ(0x31, device->Commands().back());
    ASSERT_EQ(0, camera.GetState(&state));
    EXPECT_EQ(device->Status(), state);

    // A pulled camera answers nothing, and cannot be opened.
    device->Pull();
    EXPECT_EQ(-1, camera.SendCmd(0x31));
    EXPECT_EQ(-1, camera.GetState(&state));
    EXPECT_NE(0, camera.Open(0));
    EXPECT_FALSE(camera.IsOpen());
    device->Plug();
}

} // namespace
