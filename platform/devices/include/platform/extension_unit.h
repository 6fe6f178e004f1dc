// A video input's UVC extension-unit controls, reached the way
// UVCIOC_CTRL_QUERY reaches them: one query names the unit, the control
// (selector) and the request (SET_CUR, GET_CUR, GET_LEN, GET_INFO, ...).
// DeviceProvider::OpenExtensionUnit opens one for a device.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

class ExtensionUnitTransport {
public:
    virtual ~ExtensionUnitTransport() = default;
    // 0 or a negative errno (-ENODEV the device is gone, -ENOENT no such unit
    // or control, -EINVAL a size or request the control does not take,
    // -EPIPE the device refused). data holds the bytes to write for SET_CUR
    // and receives the bytes read otherwise; its size is the query's size.
    // An object may be called from one thread at a time; its owner
    // serialises.
    virtual int Query(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data) = 0;
};

} // namespace platform
