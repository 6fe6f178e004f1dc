// Devices of the emulated bus as a platform/usb back end. The bus reports
// plug-ins and pull-outs under its lock; they are queued for the
// registration's driver thread like libusb's hot-plug notices.
#include "sim/usb_backend.h"

#include "sim/usb_bus.h"

#include "platform/thread_annotations.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace sim {
namespace {

using platform::UsbDeviceDescription;
using platform::usb::Backend;
using platform::usb::Candidate;
using platform::usb::EventSink;
using platform::usb::OpenDevice;

class EmulatedOpenDevice final : public OpenDevice {
public:
    explicit EmulatedOpenDevice(EmulatedDeviceId id) : id_(id) {}

    WD_STATUS Control(const uint8_t* setup, uint8_t* data, uint32_t* transferred,
                      uint32_t timeout_ms) override {
        size_t length = setup[6] | (setup[7] << 8);
        EmulatedTransferResult result =
            UsbBus().ControlTransfer(id_, setup, std::span<uint8_t>(data, length), timeout_ms);
        *transferred = result.transferred;
        return result.status;
    }

    WD_STATUS Pipe(const WDU_PIPE_INFO& pipe, bool read, uint32_t options, uint8_t* data,
                   uint32_t size, uint32_t* transferred, uint32_t timeout_ms) override {
        EmulatedTransferResult result = UsbBus().PipeTransfer(
            id_, pipe.dwNumber, read, options, std::span<uint8_t>(data, size), timeout_ms);
        *transferred = result.transferred;
        return result.status;
    }

private:
    const EmulatedDeviceId id_;
};

class EmulatedCandidate final : public Candidate {
public:
    explicit EmulatedCandidate(const EmulatedDeviceInfo& info) : info_(info) {}

    bool Describe(UsbDeviceDescription* description) override {
        *description = info_.description;
        return true;
    }

    std::shared_ptr<OpenDevice> Open(UsbDeviceDescription* /*description*/,
                                     platform::usb::OpenFailure* failure) override {
        std::shared_ptr<EmulatedUsbDevice> device = UsbBus().Device(info_.id);
        if (!device) {
            failure->error = ENODEV; // pulled out before its driver got to it
            failure->detail = "emulated device: gone";
            return nullptr;
        }
        if (const int error = device->OpenError(); error != 0) {
            failure->error = error;
            failure->detail =
                std::string("emulated device: open refused, ") + strerrorname_np(error);
            return nullptr;
        }
        return std::make_shared<EmulatedOpenDevice>(info_.id);
    }

private:
    const EmulatedDeviceInfo info_;
};

class EmulatedBackend final : public Backend, private EmulatedBusListener {
public:
    ~EmulatedBackend() override { Stop(); }

    WD_STATUS Start(EventSink* sink) override {
        // Held through Subscribe: a callback of the first device may already
        // end the registration (Stop) on the driver thread.
        platform::MutexLock lock(mutex_);
        sink_ = sink;
        listener_ = UsbBus().Subscribe(this);
        return WD_STATUS_SUCCESS;
    }

    void Stop() override {
        platform::MutexLock lock(mutex_);
        if (listener_ != 0) {
            UsbBus().Unsubscribe(listener_);
            listener_ = 0;
        }
    }

private:
    // Called by the bus under its lock, only while subscribed.
    void DevicePlugged(const EmulatedDeviceInfo& device) override {
        sink_->Arrived(device.id, std::make_shared<EmulatedCandidate>(device));
    }
    void DevicePulled(EmulatedDeviceId id) override { sink_->Left(id); }

    platform::Mutex mutex_; // serialises Start and Stop
    // Written by Start before the subscription, read by the bus's calls
    // (under the bus lock), which come only while subscribed.
    EventSink* sink_ = nullptr;
    EmulatedUsbBus::ListenerId listener_ TOVEK_GUARDED_BY(mutex_) = 0;
};

} // namespace

std::unique_ptr<Backend> MakeEmulatedUsbBackend() {
    return std::make_unique<EmulatedBackend>();
}

} // namespace sim
