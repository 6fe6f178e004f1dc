// The libudev back end: V4L2 capture nodes as video input devices, USB
// devices as the "USB" enumerator's device nodes, and the udev monitor as the
// source of arrival and removal notifications.
//
// A libudev context must not be used by two threads at once, so each call
// makes its own, and the monitor thread has one of its own.
#include "receivers.h"
#include "uvc_extension_unit.h"

#include "platform/devices.h"

#include <libudev.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// RAII owners of libudev objects.
struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeleter>;
using UdevEnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevDeleter>;

const char* Attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    return value != nullptr ? value : "";
}

bool ParseHex16(const char* text, uint16_t* value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text, &end, 16);
    if (errno != 0 || end == text || parsed > 0xFFFF) {
        return false;
    }
    *value = static_cast<uint16_t>(parsed);
    return true;
}

// What names a USB device: vendor, product and the serial part of its names.
struct UsbIdentity {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    std::string serial_part;

    std::string InstanceId() const { return UsbInstanceId(vendor_id, product_id, serial_part); }
};

// From the attributes of a present usb_device.
bool IdentityFromAttributes(udev_device* usb, UsbIdentity* identity) {
    if (!ParseHex16(Attribute(usb, "idVendor"), &identity->vendor_id) ||
        !ParseHex16(Attribute(usb, "idProduct"), &identity->product_id)) {
        return false;
    }
    identity->serial_part = UsbSerialPart(Attribute(usb, "serial"), udev_device_get_sysname(usb));
    return true;
}

// From the properties a removal event carries (the attributes are gone).
bool IdentityFromProperties(udev_device* usb, UsbIdentity* identity) {
    const char* vendor = udev_device_get_property_value(usb, "ID_VENDOR_ID");
    const char* product = udev_device_get_property_value(usb, "ID_MODEL_ID");
    if (!ParseHex16(vendor, &identity->vendor_id) || !ParseHex16(product, &identity->product_id)) {
        // The kernel's own "PRODUCT=vid/pid/bcd", without leading zeros.
        const char* kernel = udev_device_get_property_value(usb, "PRODUCT");
        unsigned vid = 0;
        unsigned pid = 0;
        if (kernel == nullptr || std::sscanf(kernel, "%x/%x/", &vid, &pid) != 2 || vid > 0xFFFF ||
            pid > 0xFFFF) {
            return false;
        }
        identity->vendor_id = static_cast<uint16_t>(vid);
        identity->product_id = static_cast<uint16_t>(pid);
    }
    const char* serial = udev_device_get_property_value(usb, "ID_SERIAL_SHORT");
    const char* sysname = udev_device_get_sysname(usb);
    identity->serial_part =
        UsbSerialPart(serial != nullptr ? serial : "", sysname != nullptr ? sysname : "");
    return true;
}

bool IsUsbDevice(udev_device* device) {
    const char* subsystem = udev_device_get_subsystem(device);
    const char* devtype = udev_device_get_devtype(device);
    return subsystem != nullptr && devtype != nullptr && std::strcmp(subsystem, "usb") == 0 &&
           std::strcmp(devtype, "usb_device") == 0;
}

// Calls visit for each present usb_device.
template <typename Visit>
bool ForEachUsbDevice(udev* context, Visit visit) {
    UdevEnumeratePtr enumerate(udev_enumerate_new(context));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "usb") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "usb_device") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return false;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevDevicePtr device(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (device && IsUsbDevice(device.get())) {
            visit(device.get());
        }
    }
    return true;
}

// What a capture node says about itself.
struct NodeCapabilities {
    bool known = false; // the node could be asked
    bool capture = false;
    std::string card;
};

NodeCapabilities QueryNode(const char* devnode) {
    NodeCapabilities result;
    const int fd = ::open(devnode, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return result;
    }
    v4l2_capability capability{};
    if (::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
        result.known = true;
        const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                                  ? capability.device_caps
                                  : capability.capabilities;
        result.capture = (caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) != 0;
        const char* card = reinterpret_cast<const char*>(capability.card);
        result.card.assign(card, strnlen(card, sizeof capability.card));
    }
    ::close(fd);
    return result;
}

// The N of "videoN", or -1.
int VideoNumber(const char* sysname) {
    if (sysname == nullptr || std::strncmp(sysname, "video", 5) != 0) {
        return -1;
    }
    char* end = nullptr;
    const long number = std::strtol(sysname + 5, &end, 10);
    return end != sysname + 5 && *end == '\0' && number >= 0 && number < 1 << 20
               ? static_cast<int>(number)
               : -1;
}

class UdevBackEnd final : public DeviceProvider {
public:
    std::vector<VideoInputDevice> EnumerateVideoInputs() override {
        std::vector<std::pair<int, VideoInputDevice>> found;
        UdevPtr context(udev_new());
        if (!context) {
            return {};
        }
        UdevEnumeratePtr enumerate(udev_enumerate_new(context.get()));
        if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "video4linux") < 0 ||
            udev_enumerate_scan_devices(enumerate.get()) < 0) {
            return {};
        }
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
            UdevDevicePtr node(
                udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
            if (!node) {
                continue;
            }
            const int number = VideoNumber(udev_device_get_sysname(node.get()));
            const char* devnode = udev_device_get_devnode(node.get());
            if (number < 0 || devnode == nullptr) {
                continue;
            }
            VideoInputDevice device;
            if (Describe(node.get(), devnode, &device)) {
                found.emplace_back(number, std::move(device));
            }
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<VideoInputDevice> devices;
        for (auto& [number, device] : found) {
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
            return true; // no other enumerator has devices we could name
        }
        UdevPtr context(udev_new());
        if (!context) {
            return false;
        }
        std::vector<std::string> present;
        const bool listed = ForEachUsbDevice(context.get(), [&](udev_device* usb) {
            UsbIdentity identity;
            if (IdentityFromAttributes(usb, &identity)) {
                present.push_back(identity.InstanceId());
            }
        });
        if (!listed) {
            return false;
        }
        platform::MutexLock lock(known_mutex_);
        for (const std::string& id : present) {
            RememberLocked(id);
        }
        *instance_ids = (flags & DIGCF_PRESENT) != 0 ? present : known_ids_;
        return true;
    }

    bool GetDevNodeStatus(std::string_view instance_id, DevNodeStatus* status) override {
        if (status == nullptr) {
            return false;
        }
        UdevPtr context(udev_new());
        if (!context) {
            return false;
        }
        bool found = false;
        ForEachUsbDevice(context.get(), [&](udev_device* usb) {
            UsbIdentity identity;
            if (found || !IdentityFromAttributes(usb, &identity) ||
                !EqualNoCase(identity.InstanceId(), instance_id)) {
                return;
            }
            found = true;
            if (std::strcmp(Attribute(usb, "authorized"), "0") == 0) {
                *status = {DN_HAS_PROBLEM, CM_PROB_DISABLED};
            } else if (udev_device_get_driver(usb) == nullptr) {
                *status = {DN_HAS_PROBLEM, CM_PROB_FAILED_INSTALL};
            } else {
                *status = {DN_DRIVER_LOADED | DN_STARTED, 0};
            }
        });
        return found;
    }

    bool ReadUsbDescriptors(const VideoInputDevice& device,
                            std::vector<uint8_t>* descriptors) override {
        if (descriptors == nullptr || device.emulated || device.path.empty()) {
            return false;
        }
        UdevPtr context(udev_new());
        if (!context) {
            return false;
        }
        const std::string sysname = device.path.substr(device.path.rfind('/') + 1);
        UdevDevicePtr node(
            udev_device_new_from_subsystem_sysname(context.get(), "video4linux", sysname.c_str()));
        if (!node) {
            return false;
        }
        udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(node.get(), "usb", "usb_device");
        if (usb == nullptr) {
            return false;
        }
        std::ifstream file(std::string(udev_device_get_syspath(usb)) + "/descriptors",
                           std::ios::binary);
        if (!file) {
            return false;
        }
        descriptors->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        return !descriptors->empty();
    }

    int CheckOpen(const VideoInputDevice& device) override {
        if (device.emulated || device.path.empty()) {
            return ENOENT;
        }
        return CheckUvcNodeOpens(device.path);
    }

    std::unique_ptr<ExtensionUnitTransport>
    OpenExtensionUnit(const VideoInputDevice& device) override {
        if (device.emulated || device.path.empty()) {
            return nullptr;
        }
        return OpenUvcExtensionUnit(device.path);
    }

    std::unique_ptr<DeviceNotification>
    RegisterDeviceNotification(DeviceChangeReceiver* receiver) override {
        if (receiver == nullptr || !StartMonitor()) {
            return nullptr;
        }
        return receivers_.Add(receiver);
    }

private:
    bool Describe(udev_device* node, const char* devnode, VideoInputDevice* device) {
        const NodeCapabilities caps = QueryNode(devnode);
        if (caps.known) {
            if (!caps.capture) {
                return false;
            }
        } else {
            // Not openable by us: trust what udev's v4l_id found.
            const char* property = udev_device_get_property_value(node, "ID_V4L_CAPABILITIES");
            if (property == nullptr || std::strstr(property, ":capture:") == nullptr) {
                return false;
            }
        }
        device->path = devnode;
        device->source_factory = kV4l2SourceFactory;
        device->friendly_name = !caps.card.empty() ? caps.card : Attribute(node, "name");
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device");
        UsbIdentity identity;
        if (usb != nullptr && IdentityFromAttributes(usb, &identity)) {
            udev_device* interface =
                udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
            uint16_t interface_number = 0;
            if (interface != nullptr) {
                ParseHex16(Attribute(interface, "bInterfaceNumber"), &interface_number);
            }
            device->vendor_id = identity.vendor_id;
            device->product_id = identity.product_id;
            device->instance_id = identity.InstanceId();
            device->display_name = UsbVideoDisplayName(identity.vendor_id, identity.product_id,
                                                       interface_number, identity.serial_part);
            return true;
        }
        // Not on USB (a platform camera, a loopback device): named after its bus.
        udev_device* parent = udev_device_get_parent(node);
        const char* bus = parent != nullptr ? udev_device_get_subsystem(parent) : nullptr;
        device->display_name = "@device:pnp:\\\\?\\" + Lower(bus != nullptr ? bus : "root") + "#" +
                               udev_device_get_sysname(node) +
                               "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
        return true;
    }

    // known_mutex_ held.
    void RememberLocked(const std::string& instance_id) TOVEK_REQUIRES(known_mutex_) {
        if (std::none_of(known_ids_.begin(), known_ids_.end(),
                         [&](const std::string& id) { return EqualNoCase(id, instance_id); })) {
            known_ids_.push_back(instance_id);
        }
    }

    bool StartMonitor() {
        platform::MutexLock lock(monitor_mutex_);
        if (monitor_thread_.joinable()) {
            return true;
        }
        UdevPtr context(udev_new());
        if (!context) {
            return false;
        }
        UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
        if (!monitor ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device") <
                0 ||
            udev_monitor_enable_receiving(monitor.get()) < 0) {
            return false;
        }
        // Names of the devices present now, for removals that follow.
        ForEachUsbDevice(context.get(), [&](udev_device* usb) {
            UsbIdentity identity;
            if (IdentityFromAttributes(usb, &identity)) {
                platform::MutexLock known(known_mutex_);
                by_devpath_[udev_device_get_devpath(usb)] = identity;
                RememberLocked(identity.InstanceId());
            }
        });
        // Runs until the process ends; the back end is never destroyed.
        monitor_thread_ =
            std::thread([this, context = context.release(), monitor = monitor.release()] {
                MonitorLoop(UdevPtr(context), UdevMonitorPtr(monitor));
            });
        return true;
    }

    // context owns the udev context the monitor was made from; it lives as long.
    void MonitorLoop(UdevPtr /*context*/, UdevMonitorPtr monitor) {
        pollfd fd{udev_monitor_get_fd(monitor.get()), POLLIN, 0};
        for (;;) {
            fd.revents = 0;
            const int ready = ::poll(&fd, 1, -1);
            if (ready < 0 && errno != EINTR) {
                return;
            }
            if (ready <= 0) {
                continue;
            }
            UdevDevicePtr device(udev_monitor_receive_device(monitor.get()));
            if (device && IsUsbDevice(device.get())) {
                OnUdevEvent(device.get());
            }
        }
    }

    void OnUdevEvent(udev_device* usb) {
        const char* action = udev_device_get_action(usb);
        const char* devpath = udev_device_get_devpath(usb);
        if (action == nullptr || devpath == nullptr) {
            return;
        }
        uint32_t event = 0;
        UsbIdentity identity;
        if (std::strcmp(action, "add") == 0) {
            event = DBT_DEVICEARRIVAL;
            if (!IdentityFromAttributes(usb, &identity) &&
                !IdentityFromProperties(usb, &identity)) {
                return;
            }
            platform::MutexLock lock(known_mutex_);
            by_devpath_[devpath] = identity;
            RememberLocked(identity.InstanceId());
        } else if (std::strcmp(action, "remove") == 0) {
            event = DBT_DEVICEREMOVECOMPLETE;
            platform::MutexLock lock(known_mutex_);
            auto it = by_devpath_.find(devpath);
            if (it != by_devpath_.end()) {
                identity = it->second;
                by_devpath_.erase(it);
            } else if (!IdentityFromProperties(usb, &identity)) {
                return;
            }
            RememberLocked(identity.InstanceId());
        } else {
            return;
        }
        const std::string name =
            UsbInterfaceName(identity.vendor_id, identity.product_id, identity.serial_part);
        receivers_.Deliver(event,
                           DeviceBroadcast::ForInterface(GUID_DEVINTERFACE_USB_DEVICE,
                                                         std::u16string(name.begin(), name.end())));
    }

    platform::Mutex known_mutex_;
    // Every USB instance id seen in this process.
    std::vector<std::string> known_ids_ TOVEK_GUARDED_BY(known_mutex_);
    // Present devices, for their removal.
    std::map<std::string, UsbIdentity> by_devpath_ TOVEK_GUARDED_BY(known_mutex_);

    platform::Mutex monitor_mutex_;
    std::thread monitor_thread_ TOVEK_GUARDED_BY(monitor_mutex_);
    ReceiverList receivers_; // has its own locks
};

} // namespace

DeviceProvider& UdevDevices() {
    // Never destroyed: its monitor thread runs until the process ends.
    static UdevBackEnd* back_end = new UdevBackEnd;
    return *back_end;
}

} // namespace platform
