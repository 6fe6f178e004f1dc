// A small emulated device for the bus and WDU tests: control requests echo
// their request byte; reads on 0x81 wait for bytes fed by the test.
#pragma once

#include "sim/usb_bus.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace sim::testing {

class TestDevice : public EmulatedUsbDevice {
public:
    explicit TestDevice(uint16_t vendor, uint16_t product = 0x0001, uint8_t iface_class = 0xFF)
        : vendor_(vendor), product_(product), iface_class_(iface_class) {}

    platform::UsbDeviceDescription Description() const override {
        platform::UsbDeviceDescription d;
        d.descriptor.bLength = 18;
        d.descriptor.bDescriptorType = 1;
        d.descriptor.idVendor = vendor_;
        d.descriptor.idProduct = product_;
        platform::UsbAlternateSetting setting;
        setting.descriptor.bInterfaceNumber = 3;
        setting.descriptor.bInterfaceClass = iface_class_;
        setting.pipes.push_back({0x81, 64, PIPE_TYPE_BULK, WDU_DIR_IN, 0});
        setting.pipes.push_back({0x02, 64, PIPE_TYPE_BULK, WDU_DIR_OUT, 0});
        platform::UsbInterfaceDescription iface;
        iface.alternate_settings.push_back(setting);
        d.interfaces.push_back(iface);
        return d;
    }

    EmulatedTransferResult HandleControl(const TransferContext&, const ControlSetup& setup,
                                         std::span<uint8_t> data) override {
        std::fill(data.begin(), data.end(), setup.request);
        return {WD_STATUS_SUCCESS, static_cast<uint32_t>(data.size())};
    }

    EmulatedTransferResult HandlePipe(const TransferContext& context, const WDU_PIPE_INFO& pipe,
                                      bool read, uint32_t, std::span<uint8_t> data) override {
        platform::MutexLock lock(Mutex());
        if (!read) {
            written_ += data.size();
            return {WD_STATUS_SUCCESS, static_cast<uint32_t>(data.size())};
        }
        (void)pipe;
        ++waiting_;
        Wake();
        WaitResult result = WaitFor(context, context.timeout_ms, [this] {
            Mutex().AssertHeld();
            return !fed_.empty();
        });
        --waiting_;
        if (result == WaitResult::kTimedOut) {
            return {WD_TIME_OUT_EXPIRED, 0};
        }
        if (result == WaitResult::kPulledOut) {
            return {WD_DEVICE_NOT_FOUND, 0};
        }
        size_t n = std::min(data.size(), fed_.size());
        std::copy(fed_.begin(), fed_.begin() + static_cast<long>(n), data.begin());
        fed_.erase(fed_.begin(), fed_.begin() + static_cast<long>(n));
        return {WD_STATUS_SUCCESS, static_cast<uint32_t>(n)};
    }

    void Feed(const std::vector<uint8_t>& bytes) {
        platform::MutexLock lock(Mutex());
        fed_.insert(fed_.end(), bytes.begin(), bytes.end());
        Wake();
    }

    // Waits until a read is blocked inside the device.
    void AwaitBlockedRead() {
        platform::MutexLock lock(Mutex());
        TransferContext forever{BusId(), 0};
        WaitFor(forever, 10000, [this] {
            Mutex().AssertHeld();
            return waiting_ > 0;
        });
    }

    size_t Written() const {
        platform::MutexLock lock(Mutex());
        return written_;
    }

private:
    const uint16_t vendor_;
    const uint16_t product_;
    const uint8_t iface_class_;
    std::deque<uint8_t> fed_ TOVEK_GUARDED_BY(Mutex());
    size_t written_ TOVEK_GUARDED_BY(Mutex()) = 0;
    int waiting_ TOVEK_GUARDED_BY(Mutex()) = 0;
};

} // namespace sim::testing
