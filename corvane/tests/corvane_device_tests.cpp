// Enumeration, device ids and device notifications of TovekCorvane, on the
// emulated devices.
#include "TovekCorvane.h"

#include "platform/system.h"
#include "sim/rvx_camera.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace {

using namespace std::chrono_literals;

class CorvaneDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, Corvane_Intialize()); }
    void TearDown() override {
        Corvane_Intialize();
        sim::DefaultRvxCamera()->SetNodeDisabled(false);
        sim::DefaultRvxCamera()->Plug();
    }
};

TEST_F(CorvaneDeviceTest, DeviceCountFollowsTheCameraBeingPlugged) {
    EXPECT_EQ(1, Corvane_GetDeviceCount());
    sim::DefaultRvxCamera()->Pull();
    EXPECT_EQ(-1, Corvane_GetDeviceCount());
    sim::DefaultRvxCamera()->Plug();
    EXPECT_EQ(1, Corvane_GetDeviceCount());
    sim::DefaultRvxCamera()->SetNodeDisabled(true);
    EXPECT_EQ(-1, Corvane_GetDeviceCount());
}

TEST_F(CorvaneDeviceTest, DeviceIdIsKeptWhenASetIsRefused) {
    EXPECT_EQ(0, Corvane_SetDeviceID("usb#vid_0ac8&pid_9999", 21));
    EXPECT_EQ(-1, Corvane_GetDeviceCount());
    EXPECT_EQ(0, Corvane_SetDeviceID("USB#VID_0AC8&PID_3610", 1)) << "length is not used to copy";
    EXPECT_EQ(1, Corvane_GetDeviceCount());

    EXPECT_EQ(-1, Corvane_SetDeviceID("usb#vid_0ac8&pid_9999", 0));
    EXPECT_EQ(-1, Corvane_SetDeviceID("usb#vid_0ac8&pid_9999", -3));
    EXPECT_EQ(-1, Corvane_SetDeviceID(nullptr, 5));
    const std::string too_long(264, 'u');
    EXPECT_EQ(-1, Corvane_SetDeviceID(too_long.c_str(), 264));
    EXPECT_EQ(1, Corvane_GetDeviceCount()) << "the previous id stays";

    // The whole display name as id: the prefix then equals nothing longer.
    EXPECT_EQ(0, Corvane_SetDeviceID("usb#vid_0ac8&pid_3610&mi_00#rvx0001#"
                                     "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
                                     80));
    EXPECT_EQ(-1, Corvane_GetDeviceCount());
    EXPECT_EQ(0, Corvane_UnIntialize());
}

// Keeps the broadcasts it receives, as the program's window would.
class Receiver final : public DeviceChangeReceiver {
public:
    void OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.emplace_back(event, std::move(broadcast));
        changed_.notify_all();
    }
    // The next event with this code whose interface name holds vid (events
    // posted before the registration may come first); false after 5 s.
    bool Next(uint32_t event, const std::u16string& vid, platform::DeviceBroadcast* broadcast) {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto found = [&] {
            for (; taken_ < events_.size(); ++taken_) {
                const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(
                    events_[taken_].second.Header());
                if (events_[taken_].first == event &&
                    std::u16string(record->dbcc_name).find(vid) != std::u16string::npos) {
                    *broadcast = events_[taken_++].second;
                    return true;
                }
            }
            return false;
        };
        return changed_.wait_for(lock, 5s, found);
    }

private:
    std::mutex mutex_; // guards events_ and taken_
    std::condition_variable changed_;
    std::vector<std::pair<uint32_t, platform::DeviceBroadcast>> events_;
    size_t taken_ = 0;
};

TEST_F(CorvaneDeviceTest, NotificationsOfTheCameraAndOfOtherDevicesAreJudged) {
    platform::FakeClock clock;
    Receiver receiver;
    EXPECT_EQ(-1, Corvane_RegisterDeviceNotification(nullptr));
    ASSERT_EQ(0, Corvane_RegisterDeviceNotification(&receiver));
    ASSERT_EQ(0, Corvane_RegisterDeviceNotification(&receiver)) << "once only";
    const std::u16string mouse_vid = u"VID_046D";
    const std::u16string camera_vid = u"VID_0AC8";
    platform::DeviceBroadcast broadcast;

    // Another USB device: rejected without the wait.
    platform::EmulatedUsbDevice mouse;
    mouse.vendor_id = 0x046D;
    mouse.product_id = 0xC077;
    const int mouse_id = platform::Emulated().Plug(mouse);
    ASSERT_TRUE(receiver.Next(DBT_DEVICEARRIVAL, mouse_vid, &broadcast));
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, broadcast.Header()));
    EXPECT_EQ(0u, clock.Slept());
    platform::Emulated().Pull(mouse_id);
    ASSERT_TRUE(receiver.Next(DBT_DEVICEREMOVECOMPLETE, mouse_vid, &broadcast));
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEREMOVECOMPLETE, broadcast.Header()));

    // The camera: its removal at once, its arrival as soon as its node opens
    // (the emulated one's does at once).
    auto camera = sim::DefaultRvxCamera();
    camera->Pull();
    ASSERT_TRUE(receiver.Next(DBT_DEVICEREMOVECOMPLETE, camera_vid, &broadcast));
    EXPECT_EQ(0, Corvane_UpdateDevice(DBT_DEVICEREMOVECOMPLETE, broadcast.Header()));
    camera->Plug();
    ASSERT_TRUE(receiver.Next(DBT_DEVICEARRIVAL, camera_vid, &broadcast));
    EXPECT_EQ(0, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, broadcast.Header()));
    EXPECT_EQ(0u, clock.Slept());

    // The camera with a disabled node: rejected at once.
    camera->SetNodeDisabled(true);
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, broadcast.Header()));
    EXPECT_EQ(0u, clock.Slept());
    EXPECT_EQ(-1, Corvane_UpdateDevice(0x8001, broadcast.Header()));

    EXPECT_EQ(0, Corvane_UnregisterDeviceNotification(&receiver));
    EXPECT_EQ(-1, Corvane_UnregisterDeviceNotification(&receiver));
}

TEST_F(CorvaneDeviceTest, RootDevicesAreNeverTheCamera) {
    const std::u16string root = u"\\\\?\\ROOT#VID_0AC8&PID_3610#0000#"
                                u"{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
    const auto broadcast =
        platform::DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE, root);
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, broadcast.Header()));
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, nullptr));
}

TEST_F(CorvaneDeviceTest, OpenRefusesOtherIndexesAndNullArguments) {
    CorvaneCaptureDevice* device = reinterpret_cast<CorvaneCaptureDevice*>(0x1);
    const auto queries = sim::DefaultRvxCamera()->Counters().control_queries;
    EXPECT_EQ(-1, Corvane_Open(1, &device));
    EXPECT_EQ(reinterpret_cast<CorvaneCaptureDevice*>(0x1), device);
    EXPECT_EQ(queries, sim::DefaultRvxCamera()->Counters().control_queries);
    EXPECT_EQ(-1, Corvane_Open(0, nullptr));

    int state = 0;
    EXPECT_EQ(-1, Corvane_Close(nullptr));
    EXPECT_EQ(-1, Corvane_GetState(nullptr, &state));
    EXPECT_EQ(-1, Corvane_VideoCapturePin(nullptr, nullptr));
}

TEST_F(CorvaneDeviceTest, OpenFailsWithoutACameraAndLeavesNothingBehind) {
    sim::DefaultRvxCamera()->Pull();
    CorvaneCaptureDevice* device = nullptr;
    EXPECT_EQ(-1, Corvane_Open(0, &device));
    EXPECT_EQ(nullptr, device);
}

} // namespace
