#include "platform/devices.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(DeviceNames, WindowsForms) {
    EXPECT_EQ("USB\\VID_0AC8&PID_3610\\SN01a", UsbInstanceId(0x0AC8, 0x3610, "SN01a"));
    EXPECT_EQ("\\\\?\\USB#VID_0AC8&PID_3610#SN01a#{A5DCBF10-6530-11D2-901F-00C04FB951ED}",
              UsbInterfaceName(0x0AC8, 0x3610, "SN01a"));
    EXPECT_EQ("@device:pnp:\\\\?\\usb#vid_0ac8&pid_3610&mi_00#sn01a#"
              "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
              UsbVideoDisplayName(0x0AC8, 0x3610, 0, "SN01a"));
    EXPECT_EQ(0u, UsbVideoDisplayName(0xABCD, 1, 0x12, "x")
                      .find("@device:pnp:\\\\?\\usb#vid_abcd&"
                            "pid_0001&mi_12#x#"));
}

TEST(DeviceNames, SerialPartFallsBackToLocationForUnusableSerials) {
    EXPECT_EQ("A1B2", UsbSerialPart("A1B2", "1-2"));
    EXPECT_EQ("LOC_1-2.3", UsbSerialPart("", "1-2.3"));
    // Characters that would break the '#' and '\' structure of the names.
    EXPECT_EQ("LOC_1-2", UsbSerialPart("AB#CD", "1-2"));
    EXPECT_EQ("LOC_1-2", UsbSerialPart("AB\\CD", "1-2"));
    EXPECT_EQ("LOC_1-2", UsbSerialPart("AB CD", "1-2"));
    EXPECT_EQ("LOC_a_b", UsbSerialPart(std::string(200, 'S'), "a#b"));
    EXPECT_LE(UsbSerialPart("", std::string(500, 'L')).size(), 126u);
}

TEST(DeviceBroadcast, InterfaceRecordCarriesTheNameInUtf16) {
    const DeviceBroadcast broadcast =
        DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE, u"\\\\?\\USB#VID_1");
    const DEV_BROADCAST_HDR* header = broadcast.Header();
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(DBT_DEVTYP_DEVICEINTERFACE, header->dbch_devicetype);
    EXPECT_EQ(28u + 14u * 2u, header->dbch_size);
    EXPECT_EQ(header->dbch_size, broadcast.Size());
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    EXPECT_TRUE(record->dbcc_classguid == GUID_DEVINTERFACE_USB_DEVICE);
    EXPECT_EQ(std::u16string(u"\\\\?\\USB#VID_1"), std::u16string(record->dbcc_name));

    // Copies own their bytes.
    DeviceBroadcast copy = broadcast;
    EXPECT_NE(copy.Header(), broadcast.Header());
    EXPECT_EQ(nullptr, DeviceBroadcast().Header());
    EXPECT_EQ(2u, DeviceBroadcast::OfType(2).Header()->dbch_devicetype);
}

} // namespace
} // namespace platform
