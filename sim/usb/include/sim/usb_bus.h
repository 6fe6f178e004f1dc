// The emulated USB bus: emulated devices are plugged in and pulled out at any
// moment, from tests, from the command line (sim/control) or by a device
// itself, and the emulated USB back end (sim/usb_backend.h) shows them to
// drivers exactly as the libusb back end shows real ones.
//
// Threads: every call may come from any thread. Device handlers run on the
// thread of the transfer, without the bus lock, several at once. A transfer to
// a device that is pulled out while it runs returns WD_DEVICE_NOT_FOUND as soon
// as its handler returns, and the handler's waits (EmulatedUsbDevice::WaitFor)
// end at once on a pull-out, so no transfer outlasts one.
#pragma once

#include "platform/thread_annotations.h"
#include "platform/usb.h"
#include "platform/usb_description.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace sim {

class EmulatedUsbBus;

// Names one plugging-in of a device; never reused within a process. 0 is none.
using EmulatedDeviceId = uint32_t;

struct EmulatedTransferResult {
    WD_STATUS status = WD_STATUS_SUCCESS;
    uint32_t transferred = 0; // bytes moved, at most the data size
};

// The 8-byte setup packet of a control transfer, decoded.
struct ControlSetup {
    uint8_t request_type = 0; // bit 7 set: device to host
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0; // bytes of the data stage
};

// Given to a handler with each transfer.
struct TransferContext {
    EmulatedDeviceId device_id = 0; // the plugging-in the transfer was sent to
    uint32_t timeout_ms = 0;        // the caller's time-out; 0 waits without limit
};

// An emulated device: its description and what it does with transfers.
// Subclasses keep their state under Mutex() and wait with WaitFor, which a
// pull-out interrupts.
class EmulatedUsbDevice {
public:
    enum class WaitResult { kReady, kTimedOut, kPulledOut };

    EmulatedUsbDevice() = default;
    virtual ~EmulatedUsbDevice() = default;
    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    // Read once, when the device is plugged in.
    virtual platform::UsbDeviceDescription Description() const = 0;

    // A control transfer on the default pipe. data holds setup.length bytes
    // (to fill for device-to-host requests).
    virtual EmulatedTransferResult HandleControl(const TransferContext& context,
                                                 const ControlSetup& setup,
                                                 std::span<uint8_t> data) = 0;
    // A transfer on pipe, which the bus has checked is an active pipe of the
    // device that allows the direction. data is the caller's buffer.
    virtual EmulatedTransferResult HandlePipe(const TransferContext& context,
                                              const WDU_PIPE_INFO& pipe, bool read,
                                              uint32_t options, std::span<uint8_t> data) = 0;

    // What opening the device gives its driver: 0, or the errno of a device
    // that refuses (EACCES, EBUSY), as a real one without the udev rules or
    // held by another program does. Any thread.
    virtual int OpenError() const { return 0; }

    // The id of the current plugging-in, 0 while not plugged in.
    EmulatedDeviceId BusId() const { return bus_id_.load(); }

protected:
    // Called after the device was pulled out (its waits have been woken),
    // without any lock held; for a device that forgets pending work.
    virtual void OnPulledOut() {}

    // Guards the subclass's state; also the lock WaitFor waits with.
    platform::Mutex& Mutex() const TOVEK_RETURN_CAPABILITY(mutex_) { return mutex_; }

    // Called with Mutex() held, which it releases while it waits (real time)
    // until ready() is true, timeout_ms passed (0: no limit) or the
    // plugging-in that context names ended. ready() runs with the lock held
    // (a lambda reading guarded state begins with Mutex().AssertHeld()).
    WaitResult WaitFor(const TransferContext& context, uint32_t timeout_ms,
                       const std::function<bool()>& ready) TOVEK_REQUIRES(mutex_);
    // Wakes WaitFor after state that ready() reads changed.
    void Wake() { cv_.NotifyAll(); }

    // Pulls the device out of its bus, as a user would in the middle of the
    // transfer context names. Call without Mutex() held.
    void PullOutSelf(const TransferContext& context);

private:
    friend class EmulatedUsbBus;

    mutable platform::Mutex mutex_;
    platform::CondVar cv_;
    std::atomic<EmulatedDeviceId> bus_id_{0};
    std::atomic<EmulatedUsbBus*> bus_{nullptr};
};

// A device on the bus as listeners and callers see it.
struct EmulatedDeviceInfo {
    EmulatedDeviceId id = 0;
    platform::UsbDeviceDescription description;
};

// Told of every plug-in and pull-out. Called with the bus lock held, in the
// order of the events: an implementation only takes note (queues), and never
// calls the bus.
class EmulatedBusListener {
public:
    virtual ~EmulatedBusListener() = default;
    virtual void DevicePlugged(const EmulatedDeviceInfo& device) = 0;
    virtual void DevicePulled(EmulatedDeviceId id) = 0;
};

class EmulatedUsbBus {
public:
    using DeviceFactory = std::function<std::shared_ptr<EmulatedUsbDevice>()>;
    using ListenerId = uint64_t;

    EmulatedUsbBus() = default;
    // Pulls out every device.
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    // Plugs device in; its id, or 0 for a null device or one that is plugged
    // in already (a device may be plugged in again once PullOut returned).
    EmulatedDeviceId PlugIn(std::shared_ptr<EmulatedUsbDevice> device);
    // False when no device with this id is plugged in.
    bool PullOut(EmulatedDeviceId id);
    // Returns how many devices were pulled out.
    size_t PullOutAll();
    size_t DeviceCount() const;
    std::vector<EmulatedDeviceInfo> Devices() const;
    std::shared_ptr<EmulatedUsbDevice> Device(EmulatedDeviceId id) const;

    // The device a fresh bus starts with (see PlugDefaultDeviceOnce and
    // Reset); the emulated-device installer sets the emulated Q5 camera.
    void SetDefaultDeviceFactory(DeviceFactory factory);
    // The first call plugs in the default device; later calls, and calls
    // after Reset, do nothing. The emulated-device installer calls it, so a
    // program finds its camera without being told to.
    void PlugDefaultDeviceOnce();
    // Pulls out every device, then plugs in the default one if asked to.
    // Tests start with Reset(false) to have an empty bus.
    void Reset(bool with_default_device);

    // Transfers, checked as platform/usb checks them. setup is 8 bytes;
    // data must hold the setup's length bytes.
    EmulatedTransferResult ControlTransfer(EmulatedDeviceId id, const uint8_t* setup,
                                           std::span<uint8_t> data, uint32_t timeout_ms);
    EmulatedTransferResult PipeTransfer(EmulatedDeviceId id, uint32_t pipe, bool read,
                                        uint32_t options, std::span<uint8_t> data,
                                        uint32_t timeout_ms);

    // Reports the devices present, then every change, to listener until
    // Unsubscribe returns.
    ListenerId Subscribe(EmulatedBusListener* listener);
    void Unsubscribe(ListenerId id);

private:
    struct Port;
    std::shared_ptr<Port> FindPort(EmulatedDeviceId id) const;

    mutable platform::Mutex mutex_;
    std::map<EmulatedDeviceId, std::shared_ptr<Port>> ports_ TOVEK_GUARDED_BY(mutex_);
    std::map<ListenerId, EmulatedBusListener*> listeners_ TOVEK_GUARDED_BY(mutex_);
    ListenerId next_listener_ TOVEK_GUARDED_BY(mutex_) = 1;
    DeviceFactory factory_ TOVEK_GUARDED_BY(mutex_);
    bool started_ TOVEK_GUARDED_BY(mutex_) = false;
};

// The process's bus: the one the emulated USB back end uses. Never
// destroyed, so threads still running at exit may use it.
EmulatedUsbBus& UsbBus();

// The setup packet of a request, in USB byte order.
std::array<uint8_t, 8> MakeSetup(const ControlSetup& setup);

} // namespace sim
