// The record of cameras that are plugged in but refused, and the emulated
// back end's refusing capture node.
#include "platform/device_access.h"
#include "platform/devices.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

using platform::AccessFault;

TEST(DeviceAccess, ErrnoValuesMeanAFaultOnlyForPermissionAndBusy) {
    const struct {
        int error;
        AccessFault fault;
    } cases[] = {{EACCES, AccessFault::kNoPermission},
                 {EPERM, AccessFault::kNoPermission},
                 {EBUSY, AccessFault::kBusy},
                 {ENODEV, AccessFault::kNone},
                 {ENOENT, AccessFault::kNone},
                 {EIO, AccessFault::kNone},
                 {0, AccessFault::kNone}};
    for (const auto& c : cases) {
        EXPECT_EQ(platform::AccessFaultFromErrno(c.error), c.fault) << c.error;
    }
}

TEST(DeviceAccess, TextsNameTheCameraItsIdsAndWhatToDo) {
    const auto q5 = platform::DescribeDeviceAccessError(
        platform::kQ5VendorId, platform::kQ5ProductId, AccessFault::kNoPermission, "libusb_open");
    EXPECT_EQ(q5.user_text, "No permission to use the Q5 camera (USB 0525:A4A5). Install the "
                            "udev rules: sudo scripts/install-udev-rules");
    EXPECT_EQ(q5.debug_text, "Q5 camera (USB 0525:A4A5): EACCES, libusb_open");
    const auto rvx = platform::DescribeDeviceAccessError(
        platform::kRvxVendorId, platform::kRvxProductId, AccessFault::kBusy, "open(/dev/video0)");
    EXPECT_EQ(rvx.user_text, "The RVX camera (USB 0AC8:3610) is in use by another program. Close "
                             "that program, then choose the camera again.");
    const auto other = platform::DescribeDeviceAccessError(0x1234, 0xABCD, AccessFault::kBusy, "");
    EXPECT_NE(other.user_text.find("USB device (USB 1234:ABCD)"), std::string::npos);
    EXPECT_TRUE(
        platform::DescribeDeviceAccessError(1, 2, AccessFault::kNone, "").user_text.empty());
}

// Each cause is said once: a repeated report of the same fault is no news;
// another fault is; an error that is no access fault, or a clear, ends it.
TEST(DeviceAccess, ARecordIsNewOncePerCause) {
    constexpr uint16_t kVendor = 0x1111;
    constexpr uint16_t kProduct = 0x2222;
    platform::ClearDeviceAccessError(kVendor, kProduct);
    EXPECT_FALSE(platform::GetDeviceAccessError(kVendor, kProduct, nullptr));
    EXPECT_TRUE(platform::ReportDeviceAccessError(kVendor, kProduct, EACCES, "a"));
    EXPECT_FALSE(platform::ReportDeviceAccessError(kVendor, kProduct, EACCES, "b"));
    platform::DeviceAccessError error;
    ASSERT_TRUE(platform::GetDeviceAccessError(kVendor, kProduct, &error));
    EXPECT_EQ(error.fault, AccessFault::kNoPermission);
    EXPECT_TRUE(platform::ReportDeviceAccessError(kVendor, kProduct, EBUSY, "c"));
    ASSERT_TRUE(platform::GetDeviceAccessError(kVendor, kProduct, &error));
    EXPECT_EQ(error.fault, AccessFault::kBusy);
    EXPECT_FALSE(platform::ReportDeviceAccessError(kVendor, kProduct, ENODEV, "gone"));
    EXPECT_FALSE(platform::GetDeviceAccessError(kVendor, kProduct, nullptr));
    EXPECT_TRUE(platform::ReportDeviceAccessError(kVendor, kProduct, EACCES, "again"));
    platform::ClearDeviceAccessError(kVendor, kProduct);
    EXPECT_FALSE(platform::GetDeviceAccessError(kVendor, kProduct, nullptr));
}

TEST(DeviceAccess, AnEmulatedNodeRefusesOpeningAsItWasSet) {
    platform::EmulatedUsbDevice device;
    device.vendor_id = 0x0AC8;
    device.product_id = 0x3611;
    device.serial = "ACCESS1";
    device.video_input = true;
    device.friendly_name = "Access test";
    device.node = "access-test:0";
    device.open_error = EACCES;
    const int id = platform::Emulated().Plug(device);
    ASSERT_GT(id, 0);
    platform::VideoInputDevice input;
    for (const auto& found : platform::Emulated().Provider().EnumerateVideoInputs()) {
        if (found.path == device.node) {
            input = found;
        }
    }
    ASSERT_EQ(input.path, device.node);
    platform::DeviceProvider& provider = platform::Emulated().Provider();
    EXPECT_EQ(provider.CheckOpen(input), EACCES);
    EXPECT_TRUE(platform::Emulated().SetOpenError(id, EBUSY));
    EXPECT_EQ(provider.CheckOpen(input), EBUSY);
    EXPECT_TRUE(platform::Emulated().SetOpenError(id, 0));
    EXPECT_EQ(provider.CheckOpen(input), 0);
    EXPECT_TRUE(platform::Emulated().Pull(id));
    EXPECT_EQ(provider.CheckOpen(input), ENOENT);
    EXPECT_FALSE(platform::Emulated().SetOpenError(id, EACCES));
}

} // namespace
