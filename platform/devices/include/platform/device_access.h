// Cameras that are plugged in but cannot be opened: no permission on their
// device node (the udev rules are missing) or another program holds them.
//
// The layer that opens a device (the libusb back end for the Q5 camera, the
// video node check for the RVX camera) records the failure here, by USB
// vendor and product id; the driver above stops waiting for a camera it
// knows is there, and the program shows the user text in its message pane.
// One record per device, kept until the device opens or leaves, so each
// cause is said once (one line on stderr when the record is made).
//
// Every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr uint16_t kQ5VendorId = 0x0525;
inline constexpr uint16_t kQ5ProductId = 0xA4A5;
inline constexpr uint16_t kRvxVendorId = 0x0AC8;
inline constexpr uint16_t kRvxProductId = 0x3610;

enum class AccessFault {
    kNone = 0,
    kNoPermission = 1, // EACCES, EPERM
    kBusy = 2,         // EBUSY: another program has the device
};

// The fault an errno of open(2) (or its libusb equivalent) means; kNone for
// every other error (a device that left, an I/O error).
AccessFault AccessFaultFromErrno(int error);

struct DeviceAccessError {
    AccessFault fault = AccessFault::kNone;
    std::string camera_model; // "Q5", "RVX", or empty for another device
    std::string usb_id;       // "0AC8:3610"
    std::string user_text;    // one sentence for the user: which device, what to do
    std::string debug_text;   // the call, errno name and the detail given
};

// The texts for fault on the device vendor_id:product_id; detail (the call
// that failed, the node) goes into the debug text.
DeviceAccessError DescribeDeviceAccessError(uint16_t vendor_id, uint16_t product_id,
                                            AccessFault fault, std::string_view detail);

// Records that the device cannot be opened for error (an errno). An error
// that is no access fault removes the record instead. True when a record was
// made or its fault changed (a line then goes to stderr).
bool ReportDeviceAccessError(uint16_t vendor_id, uint16_t product_id, int error,
                             std::string_view detail);
// The device was opened, or left: its record goes.
void ClearDeviceAccessError(uint16_t vendor_id, uint16_t product_id);
// True while a record stands for the device; *error (may be null) receives it.
bool GetDeviceAccessError(uint16_t vendor_id, uint16_t product_id, DeviceAccessError* error);

} // namespace platform
