// TovekCorvane on the real back ends (udev, v4l2src, the UVC query) of a
// machine that has no RVX camera: nothing is found and nothing breaks.
#include "TovekCorvane.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

bool HasVideoNodes() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        if (entry.path().filename().string().rfind("video", 0) == 0) {
            return true;
        }
    }
    return false;
}

class NullReceiver final : public DeviceChangeReceiver {
public:
    void OnDeviceChange(uint32_t, platform::DeviceBroadcast) override {}
};

TEST(CorvaneRealDevices, WithoutACameraNothingIsFoundAndNothingCrashes) {
    ASSERT_FALSE(platform::EmulatedDevicesRequested());
    if (HasVideoNodes()) {
        GTEST_SKIP() << "this machine has video devices";
    }
    ASSERT_EQ(0, Corvane_Intialize());
    EXPECT_EQ(-1, Corvane_GetDeviceCount());
    CorvaneCaptureDevice* device = nullptr;
    EXPECT_EQ(-1, Corvane_Open(0, &device));
    EXPECT_EQ(nullptr, device);

    // An empty prefix takes any video input: there is none.
    EXPECT_EQ(0, Corvane_SetDeviceID("", 1));
    EXPECT_EQ(-1, Corvane_GetDeviceCount());

    NullReceiver receiver;
    const int registered = Corvane_RegisterDeviceNotification(&receiver);
    EXPECT_TRUE(registered == 0 || registered == -1);
    if (registered == 0) {
        EXPECT_EQ(0, Corvane_UnregisterDeviceNotification(&receiver));
    }
    const std::u16string name = u"\\\\?\\USB#VID_0AC8&PID_3610#SN#"
                                u"{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
    const auto broadcast =
        platform::DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE, name);
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEARRIVAL, broadcast.Header()));
    EXPECT_EQ(-1, Corvane_UpdateDevice(DBT_DEVICEREMOVECOMPLETE, broadcast.Header()));
}

} // namespace
