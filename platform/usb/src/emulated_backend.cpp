// Devices of the emulated bus (sim/usb). The bus reports plug-ins and
// pull-outs under its lock; they are queued for the registration's driver
// thread like libusb's hot-plug notices.
#include "backend.h"

#if TOVEK_HAVE_EMULATED_BUS

#include "sim/q5_camera.h"
#include "sim/usb_bus.h"

#include <mutex>

namespace platform::usb {
namespace {

class EmulatedOpenDevice final : public OpenDevice {
public:
    explicit EmulatedOpenDevice(sim::EmulatedDeviceId id) : id_(id) {}

    WD_STATUS Control(const uint8_t* setup, uint8_t* data, uint32_t* transferred,
                      uint32_t timeout_ms) override {
        size_t length = setup[6] | (setup[7] << 8);
        sim::EmulatedTransferResult result =
            sim::UsbBus().ControlTransfer(id_, setup, std::span<uint8_t>(data, length), timeout_ms);
        *transferred = result.transferred;
        return result.status;
    }

    WD_STATUS Pipe(const WDU_PIPE_INFO& pipe, bool read, uint32_t options, uint8_t* data,
                   uint32_t size, uint32_t* transferred, uint32_t timeout_ms) override {
        sim::EmulatedTransferResult result = sim::UsbBus().PipeTransfer(
            id_, pipe.dwNumber, read, options, std::span<uint8_t>(data, size), timeout_ms);
        *transferred = result.transferred;
        return result.status;
    }

private:
    const sim::EmulatedDeviceId id_;
};

class EmulatedCandidate final : public Candidate {
public:
    explicit EmulatedCandidate(const sim::EmulatedDeviceInfo& info) : info_(info) {}

    bool Describe(UsbDeviceDescription* description) override {
        *description = info_.description;
        return true;
    }

    std::shared_ptr<OpenDevice> Open(UsbDeviceDescription* /*description*/) override {
        if (!sim::UsbBus().Device(info_.id)) {
            return nullptr; // pulled out before its driver got to it
        }
        return std::make_shared<EmulatedOpenDevice>(info_.id);
    }

private:
    const sim::EmulatedDeviceInfo info_;
};

class EmulatedBackend final : public Backend, private sim::EmulatedBusListener {
public:
    ~EmulatedBackend() override { Stop(); }

    WD_STATUS Start(EventSink* sink) override {
        // The process's first registration brings up the camera a user of
        // TOVEK_SIMULATE expects, and the command line's "q5" plug and pull.
        sim::RegisterQ5SimCommand();
        sim::UsbBus().PlugDefaultDeviceOnce();
        // Held through Subscribe: a callback of the first device may already
        // end the registration (Stop) on the driver thread.
        std::lock_guard<std::mutex> lock(mutex_);
        sink_ = sink;
        listener_ = sim::UsbBus().Subscribe(this);
        return WD_STATUS_SUCCESS;
    }

    void Stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (listener_ != 0) {
            sim::UsbBus().Unsubscribe(listener_);
            listener_ = 0;
        }
    }

private:
    void DevicePlugged(const sim::EmulatedDeviceInfo& device) override {
        sink_->Arrived(device.id, std::make_shared<EmulatedCandidate>(device));
    }
    void DevicePulled(sim::EmulatedDeviceId id) override { sink_->Left(id); }

    std::mutex mutex_;          // serialises Start and Stop; guards listener_
    EventSink* sink_ = nullptr; // set before the subscription
    sim::EmulatedUsbBus::ListenerId listener_ = 0;
};

} // namespace

std::unique_ptr<Backend> MakeEmulatedBackend() {
    return std::make_unique<EmulatedBackend>();
}

} // namespace platform::usb

#else

namespace platform::usb {
std::unique_ptr<Backend> MakeEmulatedBackend() {
    return nullptr;
}
} // namespace platform::usb

#endif
