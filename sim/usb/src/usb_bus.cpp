#include "sim/usb_bus.h"

#include <algorithm>

namespace sim {
namespace {

// Ids are unique across every bus of the process, so a device's id names
// one plugging-in wherever it happened.
std::atomic<EmulatedDeviceId> g_next_id{1};

ControlSetup ParseSetup(const uint8_t* s) {
    ControlSetup setup;
    setup.request_type = s[0];
    setup.request = s[1];
    setup.value = static_cast<uint16_t>(s[2] | (s[3] << 8));
    setup.index = static_cast<uint16_t>(s[4] | (s[5] << 8));
    setup.length = static_cast<uint16_t>(s[6] | (s[7] << 8));
    return setup;
}

EmulatedTransferResult Fail(WD_STATUS status) {
    return EmulatedTransferResult{status, 0};
}

} // namespace

// ---- device -------------------------------------------------------------------------

EmulatedUsbDevice::WaitResult EmulatedUsbDevice::WaitFor(const TransferContext& context,
                                                         uint32_t timeout_ms,
                                                         const std::function<bool()>& ready) {
    auto pulled = [&] { return bus_id_.load() != context.device_id; };
    auto done = [&] { return pulled() || ready(); };
    if (timeout_ms == 0) {
        cv_.Wait(mutex_, done);
    } else if (!cv_.WaitFor(mutex_, std::chrono::milliseconds(timeout_ms), done)) {
        return WaitResult::kTimedOut;
    }
    return pulled() ? WaitResult::kPulledOut : WaitResult::kReady;
}

void EmulatedUsbDevice::PullOutSelf(const TransferContext& context) {
    if (EmulatedUsbBus* bus = bus_.load()) {
        bus->PullOut(context.device_id);
    }
}

// ---- bus ----------------------------------------------------------------------------

struct EmulatedUsbBus::Port {
    EmulatedDeviceId id = 0;
    std::shared_ptr<EmulatedUsbDevice> device;
    platform::UsbDeviceDescription description;
    std::atomic<bool> connected{true};
};

EmulatedUsbBus::~EmulatedUsbBus() {
    PullOutAll();
}

EmulatedDeviceId EmulatedUsbBus::PlugIn(std::shared_ptr<EmulatedUsbDevice> device) {
    if (!device) {
        return 0;
    }
    EmulatedDeviceId id = g_next_id.fetch_add(1);
    EmulatedDeviceId none = 0;
    if (!device->bus_id_.compare_exchange_strong(none, id)) {
        return 0; // plugged in already
    }
    device->bus_.store(this);
    auto port = std::make_shared<Port>();
    port->id = id;
    port->device = device;
    port->description = device->Description();
    EmulatedDeviceInfo info{id, port->description};
    platform::MutexLock lock(mutex_);
    ports_.emplace(id, std::move(port));
    for (auto& [listener_id, listener] : listeners_) {
        listener->DevicePlugged(info);
    }
    return id;
}

bool EmulatedUsbBus::PullOut(EmulatedDeviceId id) {
    std::shared_ptr<Port> port;
    {
        platform::MutexLock lock(mutex_);
        auto it = ports_.find(id);
        if (it == ports_.end()) {
            return false;
        }
        port = std::move(it->second);
        ports_.erase(it);
        port->connected = false;
        for (auto& [listener_id, listener] : listeners_) {
            listener->DevicePulled(id);
        }
    }
    EmulatedUsbDevice& device = *port->device;
    {
        // Under the device's lock, so a waiter between its test and its wait
        // cannot miss the wake-up.
        platform::MutexLock lock(device.mutex_);
        device.bus_.store(nullptr);
        device.bus_id_.store(0);
    }
    device.cv_.NotifyAll();
    device.OnPulledOut();
    return true;
}

size_t EmulatedUsbBus::PullOutAll() {
    size_t count = 0;
    for (const EmulatedDeviceInfo& device : Devices()) {
        count += PullOut(device.id) ? 1 : 0;
    }
    return count;
}

size_t EmulatedUsbBus::DeviceCount() const {
    platform::MutexLock lock(mutex_);
    return ports_.size();
}

std::vector<EmulatedDeviceInfo> EmulatedUsbBus::Devices() const {
    platform::MutexLock lock(mutex_);
    std::vector<EmulatedDeviceInfo> devices;
    for (const auto& [id, port] : ports_) {
        devices.push_back(EmulatedDeviceInfo{id, port->description});
    }
    return devices;
}

std::shared_ptr<EmulatedUsbDevice> EmulatedUsbBus::Device(EmulatedDeviceId id) const {
    std::shared_ptr<Port> port = FindPort(id);
    return port ? port->device : nullptr;
}

void EmulatedUsbBus::SetDefaultDeviceFactory(DeviceFactory factory) {
    platform::MutexLock lock(mutex_);
    factory_ = std::move(factory);
}

void EmulatedUsbBus::PlugDefaultDeviceOnce() {
    DeviceFactory factory;
    {
        platform::MutexLock lock(mutex_);
        if (started_) {
            return;
        }
        started_ = true;
        factory = factory_;
    }
    if (factory) {
        PlugIn(factory());
    }
}

void EmulatedUsbBus::Reset(bool with_default_device) {
    DeviceFactory factory;
    {
        platform::MutexLock lock(mutex_);
        started_ = true;
        factory = factory_;
    }
    PullOutAll();
    if (with_default_device && factory) {
        PlugIn(factory());
    }
}

std::shared_ptr<EmulatedUsbBus::Port> EmulatedUsbBus::FindPort(EmulatedDeviceId id) const {
    platform::MutexLock lock(mutex_);
    auto it = ports_.find(id);
    return it != ports_.end() ? it->second : nullptr;
}

EmulatedTransferResult EmulatedUsbBus::ControlTransfer(EmulatedDeviceId id, const uint8_t* setup,
                                                       std::span<uint8_t> data,
                                                       uint32_t timeout_ms) {
    if (setup == nullptr) {
        return Fail(WD_INVALID_PARAMETER);
    }
    ControlSetup parsed = ParseSetup(setup);
    if (parsed.length > data.size()) {
        return Fail(WD_INVALID_PARAMETER);
    }
    std::shared_ptr<Port> port = FindPort(id);
    if (!port) {
        return Fail(WD_DEVICE_NOT_FOUND);
    }
    TransferContext context{id, timeout_ms};
    EmulatedTransferResult result =
        port->device->HandleControl(context, parsed, data.first(parsed.length));
    if (!port->connected) {
        return Fail(WD_DEVICE_NOT_FOUND);
    }
    result.transferred = std::min<uint32_t>(result.transferred, parsed.length);
    return result;
}

EmulatedTransferResult EmulatedUsbBus::PipeTransfer(EmulatedDeviceId id, uint32_t pipe, bool read,
                                                    uint32_t options, std::span<uint8_t> data,
                                                    uint32_t timeout_ms) {
    std::shared_ptr<Port> port = FindPort(id);
    if (!port) {
        return Fail(WD_DEVICE_NOT_FOUND);
    }
    const WDU_PIPE_INFO* info = platform::FindActivePipe(port->description, pipe);
    if (info == nullptr || !platform::PipeAllows(*info, read)) {
        return Fail(WD_INVALID_PARAMETER);
    }
    TransferContext context{id, timeout_ms};
    EmulatedTransferResult result = port->device->HandlePipe(context, *info, read, options, data);
    if (!port->connected) {
        return Fail(WD_DEVICE_NOT_FOUND);
    }
    result.transferred = std::min<uint32_t>(result.transferred, static_cast<uint32_t>(data.size()));
    return result;
}

EmulatedUsbBus::ListenerId EmulatedUsbBus::Subscribe(EmulatedBusListener* listener) {
    platform::MutexLock lock(mutex_);
    ListenerId id = next_listener_++;
    listeners_.emplace(id, listener);
    for (const auto& [device_id, port] : ports_) {
        listener->DevicePlugged(EmulatedDeviceInfo{device_id, port->description});
    }
    return id;
}

void EmulatedUsbBus::Unsubscribe(ListenerId id) {
    platform::MutexLock lock(mutex_);
    listeners_.erase(id);
}

EmulatedUsbBus& UsbBus() {
    static auto* bus = new EmulatedUsbBus;
    return *bus;
}

std::array<uint8_t, 8> MakeSetup(const ControlSetup& setup) {
    return {setup.request_type,
            setup.request,
            static_cast<uint8_t>(setup.value & 0xFF),
            static_cast<uint8_t>(setup.value >> 8),
            static_cast<uint8_t>(setup.index & 0xFF),
            static_cast<uint8_t>(setup.index >> 8),
            static_cast<uint8_t>(setup.length & 0xFF),
            static_cast<uint8_t>(setup.length >> 8)};
}

} // namespace sim
