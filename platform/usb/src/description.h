// The WDU_DEVICE a driver sees, built from a UsbDeviceDescription, and the
// match-table test.
#pragma once

#include "platform/usb.h"
#include "platform/usb_description.h"

#include <memory>
#include <vector>

namespace platform::usb {

// One WDU_DEVICE with every array it points to. Not movable: the pointers
// inside point at its own members.
class DeviceInfoBlock {
public:
    explicit DeviceInfoBlock(const UsbDeviceDescription& description);
    DeviceInfoBlock(const DeviceInfoBlock&) = delete;
    DeviceInfoBlock& operator=(const DeviceInfoBlock&) = delete;

    WDU_DEVICE* Device() { return &device_; }

private:
    WDU_DEVICE device_{};
    std::vector<WDU_INTERFACE> interfaces_;
    std::vector<WDU_INTERFACE*> interface_pointers_;
    std::vector<WDU_ALTERNATE_SETTING> settings_;
    std::vector<WDU_PIPE_INFO> pipes_;
};

// True when entry matches the device; zero fields match anything, and the
// interface fields match when the active setting of one interface has them.
bool Matches(const WDU_MATCH_TABLE& entry, const UsbDeviceDescription& device);
bool MatchesAny(const std::vector<WDU_MATCH_TABLE>& table, const UsbDeviceDescription& device);

// Descriptions handed out by WDU_GetDeviceInfo until WDU_PutDeviceInfo.
WDU_DEVICE* LendDeviceInfo(const UsbDeviceDescription& description);
void ReturnDeviceInfo(WDU_DEVICE* info);

} // namespace platform::usb
