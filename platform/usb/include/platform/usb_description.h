// A USB device's description as plain C++ values: the device descriptor and,
// for each interface of the active configuration, its alternate settings with
// their pipes and which one is active. The libusb back end reads it from the
// device, an emulated device states it; platform/usb turns it into the
// WDU_DEVICE a driver sees.
#pragma once

#include "platform/usb.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

struct UsbAlternateSetting {
    // bNumEndpoints is taken from pipes.size() wherever it matters.
    WDU_INTERFACE_DESCRIPTOR descriptor{};
    std::vector<WDU_PIPE_INFO> pipes; // endpoints only; the default pipe 0 is implied
};

struct UsbInterfaceDescription {
    std::vector<UsbAlternateSetting> alternate_settings;
    size_t active = 0; // index into alternate_settings
};

struct UsbDeviceDescription {
    WDU_DEVICE_DESCRIPTOR descriptor{};
    std::vector<UsbInterfaceDescription> interfaces;
};

// The pipe numbered pipe (an endpoint address such as 0x81) in the active
// alternate setting of any interface, or null.
inline const WDU_PIPE_INFO* FindActivePipe(const UsbDeviceDescription& device, uint32_t pipe) {
    for (const UsbInterfaceDescription& iface : device.interfaces) {
        if (iface.active >= iface.alternate_settings.size()) {
            continue;
        }
        for (const WDU_PIPE_INFO& info : iface.alternate_settings[iface.active].pipes) {
            if (info.dwNumber == pipe) {
                return &info;
            }
        }
    }
    return nullptr;
}

// True when a transfer in the given direction suits the pipe.
inline bool PipeAllows(const WDU_PIPE_INFO& pipe, bool read) {
    if (pipe.direction == WDU_DIR_IN_OUT) {
        return true;
    }
    return read ? pipe.direction == WDU_DIR_IN : pipe.direction == WDU_DIR_OUT;
}

} // namespace platform
