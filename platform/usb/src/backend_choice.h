// The back end a new registration gets (see platform/usb_backend.h).
#pragma once

#include "platform/usb_backend.h"

#include <memory>

namespace platform::usb {

// Libusb, the installed emulated back end or the null one, by
// platform::EmulatedDevicesRequested() now. Null only when a factory fails.
std::unique_ptr<Backend> MakeBackendForRegistration();

} // namespace platform::usb
