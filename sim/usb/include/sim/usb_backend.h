// platform/usb's emulated back end over the process's emulated bus
// (UsbBus()): drivers see the bus's devices arrive and leave as the libusb
// back end shows real ones. Installed with
// platform::usb::InstallEmulatedBackend(sim::MakeEmulatedUsbBackend), which
// the emulated-device installer does.
#pragma once

#include "platform/usb_backend.h"

#include <memory>

namespace sim {

// A back end for one registration; its devices are UsbBus()'s.
std::unique_ptr<platform::usb::Backend> MakeEmulatedUsbBackend();

} // namespace sim
