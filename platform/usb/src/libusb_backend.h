// The libusb back end, and the pieces of it that need no device (apart for tests).
#pragma once

#include "platform/usb.h"
#include "platform/usb_backend.h"
#include "platform/usb_description.h"

#include <libusb.h>

#include <memory>

namespace platform::usb {

// Our status for a libusb error code (0 and positive counts are success).
WD_STATUS StatusFromLibusb(int error);
// Our status for the outcome of an asynchronous (isochronous) transfer.
WD_STATUS StatusFromTransfer(libusb_transfer_status status);

// The description of a device from its descriptors; config may be null (an
// unconfigured device has no interfaces). Alternate setting 0 is active.
UsbDeviceDescription DescribeLibusbDevice(const libusb_device_descriptor& device,
                                          const libusb_config_descriptor* config);

// The errno an open or claim failure of libusb stands for (OpenFailure).
int ErrnoFromLibusb(int error);

// The real back end, over the libusb calls of CurrentLibusbCalls() (a fake in
// tests). Without USB access (libusb cannot start, as in a container) it
// starts anyway and never reports a device.
std::unique_ptr<Backend> MakeLibusbBackend();

} // namespace platform::usb
