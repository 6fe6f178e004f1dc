// The emulated back end: devices that tests and the emulated cameras plug,
// pull and disable, with the notifications the system would send for them.
#include "receivers.h"

#include "platform/devices.h"
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <strings.h>

namespace platform {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

class EmulatedBackEnd final : public EmulatedDevices, public DeviceProvider {
public:
    // ---- EmulatedDevices ----
    int Plug(const EmulatedUsbDevice& device) override {
        platform::MutexLock lock(mutex_);
        Node node;
        node.id = next_id_;
        node.device = device;
        node.serial_part = UsbSerialPart(device.serial, "EMULATED_" + std::to_string(node.id));
        node.instance_id = UsbInstanceId(device.vendor_id, device.product_id, node.serial_part);
        for (const Node& other : nodes_) {
            if (EqualNoCase(other.instance_id, node.instance_id)) {
                return 0;
            }
        }
        ++next_id_;
        if (std::none_of(known_ids_.begin(), known_ids_.end(), [&](const std::string& id) {
                return EqualNoCase(id, node.instance_id);
            })) {
            known_ids_.push_back(node.instance_id);
        }
        nodes_.push_back(node);
        PostLocked(DBT_DEVICEARRIVAL, node);
        return node.id;
    }

    bool Pull(int id) override {
        platform::MutexLock lock(mutex_);
        auto it = Find(id);
        if (it == nodes_.end()) {
            return false;
        }
        const Node node = *it;
        nodes_.erase(it);
        PostLocked(DBT_DEVICEREMOVECOMPLETE, node);
        return true;
    }

    bool SetDisabled(int id, bool disabled) override {
        platform::MutexLock lock(mutex_);
        auto it = Find(id);
        if (it == nodes_.end()) {
            return false;
        }
        it->disabled = disabled;
        return true;
    }

    bool SetOpenError(int id, int error) override {
        platform::MutexLock lock(mutex_);
        auto it = Find(id);
        if (it == nodes_.end()) {
            return false;
        }
        it->device.open_error = error;
        return true;
    }

    bool IsPlugged(int id) override {
        platform::MutexLock lock(mutex_);
        return Find(id) != nodes_.end();
    }

    DeviceProvider& Provider() override { return *this; }

    // ---- DeviceProvider ----
    std::vector<VideoInputDevice> EnumerateVideoInputs() override {
        platform::MutexLock lock(mutex_);
        std::vector<VideoInputDevice> devices;
        for (const Node& node : nodes_) {
            // A disabled device has no capture node, as with a real one.
            if (!node.device.video_input || node.disabled) {
                continue;
            }
            VideoInputDevice device;
            device.display_name =
                UsbVideoDisplayName(node.device.vendor_id, node.device.product_id,
                                    node.device.interface_number, node.serial_part);
            device.friendly_name = node.device.friendly_name;
            device.path = node.device.node;
            device.source_factory = node.device.source_factory;
            device.emulated = true;
            device.vendor_id = node.device.vendor_id;
            device.product_id = node.device.product_id;
            device.instance_id = node.instance_id;
            devices.push_back(std::move(device));
        }
        return devices;
    }

    bool GetClassDevs(std::string_view enumerator, DWORD flags,
                      std::vector<std::string>* instance_ids) override {
        if (instance_ids == nullptr) {
            return false;
        }
        instance_ids->clear();
        if (!EqualNoCase(enumerator, "USB")) {
            return true;
        }
        platform::MutexLock lock(mutex_);
        if ((flags & DIGCF_PRESENT) != 0) {
            for (const Node& node : nodes_) {
                instance_ids->push_back(node.instance_id);
            }
        } else {
            *instance_ids = known_ids_;
        }
        return true;
    }

    bool GetDevNodeStatus(std::string_view instance_id, DevNodeStatus* status) override {
        if (status == nullptr) {
            return false;
        }
        platform::MutexLock lock(mutex_);
        for (const Node& node : nodes_) {
            if (EqualNoCase(node.instance_id, instance_id)) {
                *status = node.disabled ? DevNodeStatus{DN_HAS_PROBLEM, CM_PROB_DISABLED}
                                        : DevNodeStatus{DN_DRIVER_LOADED | DN_STARTED, 0};
                return true;
            }
        }
        return false;
    }

    bool ReadUsbDescriptors(const VideoInputDevice& device,
                            std::vector<uint8_t>* descriptors) override {
        if (descriptors == nullptr) {
            return false;
        }
        platform::MutexLock lock(mutex_);
        const Node* node = FindVideoInputLocked(device);
        if (node == nullptr) {
            return false;
        }
        *descriptors = node->device.descriptors;
        return true;
    }

    int CheckOpen(const VideoInputDevice& device) override {
        platform::MutexLock lock(mutex_);
        const Node* node = FindVideoInputLocked(device);
        return node == nullptr ? ENOENT : node->device.open_error;
    }

    std::unique_ptr<ExtensionUnitTransport>
    OpenExtensionUnit(const VideoInputDevice& device) override {
        platform::MutexLock lock(mutex_);
        const Node* node = FindVideoInputLocked(device);
        if (node == nullptr || !node->device.extension_unit || node->device.open_error != 0) {
            return nullptr;
        }
        return std::make_unique<SharedUnit>(node->device.extension_unit);
    }

    std::unique_ptr<DeviceNotification>
    RegisterDeviceNotification(DeviceChangeReceiver* receiver) override {
        return receivers_.Add(receiver);
    }

private:
    struct Node {
        int id = 0;
        EmulatedUsbDevice device;
        std::string serial_part;
        std::string instance_id;
        bool disabled = false;
    };
    struct Pending {
        uint32_t event;
        DeviceBroadcast broadcast;
    };

    // A transport over the unit a device was plugged with; the unit outlives
    // the device's pull-out for as long as the transport lives.
    class SharedUnit final : public ExtensionUnitTransport {
    public:
        explicit SharedUnit(std::shared_ptr<ExtensionUnitTransport> unit)
            : unit_(std::move(unit)) {}
        int Query(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data) override {
            return unit_->Query(unit, selector, query, data);
        }

    private:
        const std::shared_ptr<ExtensionUnitTransport> unit_;
    };

    // The plugged video input device names; mutex_ held.
    const Node* FindVideoInputLocked(const VideoInputDevice& device) const TOVEK_REQUIRES(mutex_) {
        for (const Node& node : nodes_) {
            if (node.device.video_input && node.device.node == device.path &&
                EqualNoCase(node.instance_id, device.instance_id)) {
                return &node;
            }
        }
        return nullptr;
    }

    std::vector<Node>::iterator Find(int id) TOVEK_REQUIRES(mutex_) {
        return std::find_if(nodes_.begin(), nodes_.end(),
                            [id](const Node& node) { return node.id == id; });
    }

    // Queues the broadcast for the notification thread; mutex_ held.
    void PostLocked(uint32_t event, const Node& node) TOVEK_REQUIRES(mutex_) {
        const std::string name =
            UsbInterfaceName(node.device.vendor_id, node.device.product_id, node.serial_part);
        pending_.push_back(
            {event, DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE,
                                                  std::u16string(name.begin(), name.end()))});
        if (!thread_.joinable()) {
            // Runs until the process ends, like the system's own notifier.
            thread_ = std::thread([this] { NotifyLoop(); });
        }
        wake_.NotifyOne();
    }

    void NotifyLoop() {
        platform::MutexLock lock(mutex_);
        for (;;) {
            wake_.Wait(mutex_, [this] {
                mutex_.AssertHeld();
                return !pending_.empty();
            });
            Pending next = std::move(pending_.front());
            pending_.pop_front();
            lock.Unlock();
            receivers_.Deliver(next.event, next.broadcast);
            lock.Lock();
        }
    }

    platform::Mutex mutex_;
    platform::CondVar wake_;
    std::vector<Node> nodes_ TOVEK_GUARDED_BY(mutex_);
    // Every instance id ever plugged.
    std::vector<std::string> known_ids_ TOVEK_GUARDED_BY(mutex_);
    int next_id_ TOVEK_GUARDED_BY(mutex_) = 1;
    std::deque<Pending> pending_ TOVEK_GUARDED_BY(mutex_);
    std::thread thread_ TOVEK_GUARDED_BY(mutex_);
    ReceiverList receivers_; // has its own locks
};

EmulatedBackEnd& BackEnd() {
    // Never destroyed: its notification thread runs until the process ends.
    static EmulatedBackEnd* back_end = new EmulatedBackEnd;
    return *back_end;
}

} // namespace

EmulatedDevices& Emulated() {
    return BackEnd();
}

DeviceProvider& Devices() {
    static DeviceProvider* provider =
        EmulatedDevicesRequested() ? static_cast<DeviceProvider*>(&BackEnd()) : &UdevDevices();
    return *provider;
}

} // namespace platform
