// The libudev back end on whatever machine runs the tests: usually no camera,
// sometimes no udev daemon. Nothing may crash, and what is found must be
// named in the Windows forms.
#include "platform/devices.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(UdevDevices, VideoInputsAreCaptureNodesWithWindowsDisplayNames) {
    for (const VideoInputDevice& device : UdevDevices().EnumerateVideoInputs()) {
        EXPECT_EQ(0u, device.display_name.find("@device:pnp:\\\\?\\")) << device.display_name;
        EXPECT_EQ(0u, device.path.find("/dev/video")) << device.path;
        EXPECT_FALSE(device.emulated);
        EXPECT_EQ(kV4l2SourceFactory, device.source_factory);
        std::vector<uint8_t> descriptors;
        if (!device.instance_id.empty() && UdevDevices().ReadUsbDescriptors(device, &descriptors)) {
            EXPECT_EQ(0x01, descriptors.at(1)) << "starts with the device descriptor";
        }
    }
}

TEST(UdevDevices, UsbDeviceNodesAndStatus) {
    std::vector<std::string> ids;
    if (!UdevDevices().GetClassDevs("USB", DIGCF_PRESENT | DIGCF_ALLCLASSES, &ids)) {
        GTEST_SKIP() << "udev cannot list devices here";
    }
    for (const std::string& id : ids) {
        EXPECT_EQ(0u, id.find("USB\\VID_")) << id;
        DevNodeStatus status;
        EXPECT_TRUE(UdevDevices().GetDevNodeStatus(id, &status)) << id;
    }
    DevNodeStatus status;
    EXPECT_FALSE(UdevDevices().GetDevNodeStatus("USB\\VID_FFFF&PID_FFFF\\NONE", &status));
    EXPECT_TRUE(UdevDevices().GetClassDevs("ROOT", DIGCF_PRESENT, &ids));
    EXPECT_TRUE(ids.empty());
    VideoInputDevice missing;
    missing.path = "/dev/video999";
    std::vector<uint8_t> descriptors;
    EXPECT_FALSE(UdevDevices().ReadUsbDescriptors(missing, &descriptors));
}

TEST(UdevDevices, ExtensionUnitsAreQueriedOnTheCaptureNode) {
    // A node that is no UVC camera opens and refuses the query; nothing else
    // happens.
    VideoInputDevice not_a_camera;
    not_a_camera.path = "/dev/null";
    auto transport = UdevDevices().OpenExtensionUnit(not_a_camera);
    ASSERT_NE(nullptr, transport);
    uint8_t data[4] = {};
    EXPECT_LT(transport->Query(4, 4, 0x81, data), 0);

    VideoInputDevice missing;
    missing.path = "/nonexistent/video0";
    EXPECT_EQ(nullptr, UdevDevices().OpenExtensionUnit(missing));
    VideoInputDevice emulated = not_a_camera;
    emulated.emulated = true;
    EXPECT_EQ(nullptr, UdevDevices().OpenExtensionUnit(emulated)) << "not a node of ours";
}

class NullReceiver final : public DeviceChangeReceiver {
public:
    void OnDeviceChange(uint32_t, DeviceBroadcast) override {}
};

TEST(UdevDevices, NotificationRegistrationComesAndGoes) {
    NullReceiver receiver;
    // Null where no netlink socket can be had; either way nothing breaks.
    auto registration = UdevDevices().RegisterDeviceNotification(&receiver);
    registration.reset();
    EXPECT_EQ(nullptr, UdevDevices().RegisterDeviceNotification(nullptr));
}

} // namespace
} // namespace platform
