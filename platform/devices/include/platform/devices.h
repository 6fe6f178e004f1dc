// Device discovery: the system's video input devices, USB device
// notifications, USB device information sets by enumerator and device node
// status. Names are written in the Windows forms that the capture libraries'
// prefix rules expect:
//
//   video input display name
//     @device:pnp:\\?\usb#vid_0ac8&pid_3610&mi_00#<serial>#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global
//   USB device interface name (in an arrival or removal broadcast)
//     \\?\USB#VID_0AC8&PID_3610#<serial>#{A5DCBF10-6530-11D2-901F-00C04FB951ED}
//   USB device instance id
//     USB\VID_0AC8&PID_3610\<serial>
//
// Two back ends behind one interface: libudev (V4L2 capture nodes, USB
// devices, the udev monitor, UVC extension units) and an emulated one whose
// devices tests and the emulated cameras plug, pull and disable. Devices()
// picks the emulated one when the program asked for emulated devices
// (platform::EmulatedDevicesRequested(), set where the program is put
// together, e.g. by sim/install); it has no device until something plugs one
// (a program that asked for emulated devices and installed none finds none).
#pragma once

#include "platform/extension_unit.h"
#include "platform/wintypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---- device-change broadcasts ---------------------------------------------------

constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;

struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

// A device-interface broadcast; the name (UTF-16, zero-terminated) runs on
// past the end of the record, dbcc_size covering it.
struct DEV_BROADCAST_DEVICEINTERFACE_W {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    char16_t dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32);

// The USB device interface class, and the video capture interface class used
// in display names.
inline constexpr GUID GUID_DEVINTERFACE_USB_DEVICE = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace platform {

// One device-interface broadcast with its name, owned: a receiver may keep it
// or move it to another thread (the header stays valid while the object lives).
class DeviceBroadcast {
public:
    DeviceBroadcast() = default;
    // A DBT_DEVTYP_DEVICEINTERFACE broadcast of class_guid named name.
    static DeviceBroadcast ForInterface(const GUID& class_guid, std::u16string_view name);
    // A broadcast of another device type (no name), as the system sends for
    // volumes and ports.
    static DeviceBroadcast OfType(DWORD device_type);

    // Null for a default-constructed object.
    const DEV_BROADCAST_HDR* Header() const;
    size_t Size() const { return size_; }

private:
    std::vector<uint32_t> storage_; // 4-byte aligned bytes of the record
    size_t size_ = 0;
};

} // namespace platform

// Receives USB device arrivals and removals: stands in for the window that
// registers for device notifications. Called on the notification thread of
// the device back end, one call at a time; the program posts the event to its
// user-interface thread. Must not unregister other receivers from inside the
// call.
struct DeviceChangeReceiver {
    virtual void OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) = 0;

protected:
    ~DeviceChangeReceiver() = default;
};
typedef DeviceChangeReceiver* DEVICE_CHANGE_RECEIVER;

namespace platform {

// ---- names -----------------------------------------------------------------------

// The part of a USB device's names after vendor and product: its serial
// number when it has a usable one (printable ASCII without '#', '\', '/',
// ',' or blanks, at most 126 characters), otherwise a location name built
// from location ("LOC_" and the location with unusable characters as '_').
std::string UsbSerialPart(std::string_view serial, std::string_view location);

// "USB\VID_0AC8&PID_3610\<serial part>"
std::string UsbInstanceId(uint16_t vendor_id, uint16_t product_id, std::string_view serial_part);
// "\\?\USB#VID_0AC8&PID_3610#<serial part>#{A5DCBF10-6530-11D2-901F-00C04FB951ED}"
std::string UsbInterfaceName(uint16_t vendor_id, uint16_t product_id, std::string_view serial_part);
// "@device:pnp:\\?\usb#vid_0ac8&pid_3610&mi_00#<serial part, lower case>#{65e8...}\global"
std::string UsbVideoDisplayName(uint16_t vendor_id, uint16_t product_id, int interface_number,
                                std::string_view serial_part);

// ---- the back-end interface -----------------------------------------------------

// The GStreamer source of a real camera's capture node.
inline constexpr char kV4l2SourceFactory[] = "v4l2src";

struct VideoInputDevice {
    std::string display_name;
    // The device's own name (V4L2 card name); empty when it has none.
    std::string friendly_name;
    // The capture node ("/dev/video0"), or the emulated device's node name.
    std::string path;
    // The factory name of the GStreamer element that captures from the
    // device: a source whose "device" property takes path (kV4l2SourceFactory
    // for a real camera). GStreamer's registry must know it; empty when the
    // device has none.
    std::string source_factory;
    bool emulated = false;
    // The USB device it belongs to; 0 and empty when it is not on USB.
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    std::string instance_id;
};

// SetupDiGetClassDevs flags.
constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DIGCF_ALLCLASSES = 0x4;

// Device node status (CM_Get_DevNode_Status).
constexpr ULONG DN_DRIVER_LOADED = 0x2;
constexpr ULONG DN_STARTED = 0x8;
constexpr ULONG DN_HAS_PROBLEM = 0x400;
constexpr ULONG CM_PROB_DISABLED = 22;
constexpr ULONG CM_PROB_FAILED_INSTALL = 28;

struct DevNodeStatus {
    ULONG status = 0;
    ULONG problem = 0;
};

// Keeps a receiver registered while it lives. Destroying it unregisters the
// receiver and waits for a call to it that is running on another thread, so
// the receiver may be destroyed right after.
class DeviceNotification {
public:
    virtual ~DeviceNotification() = default;
};

// Every member may be called from any thread.
class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;

    // The video capture devices in enumeration order.
    virtual std::vector<VideoInputDevice> EnumerateVideoInputs() = 0;

    // The instance ids of the devices of one enumerator ("USB"; compared
    // without case), like walking a device information set. With
    // DIGCF_PRESENT only devices present now; without it also devices that
    // were present earlier in this process (a removed device's node is kept,
    // so that its removal can still be matched). False when the system cannot
    // be asked.
    virtual bool GetClassDevs(std::string_view enumerator, DWORD flags,
                              std::vector<std::string>* instance_ids) = 0;

    // Status of a present device node by instance id (compared without case).
    // A driver-bound device is started; a device that is not authorised counts
    // as disabled (DN_HAS_PROBLEM, CM_PROB_DISABLED). False when no such
    // device is present.
    virtual bool GetDevNodeStatus(std::string_view instance_id, DevNodeStatus* status) = 0;

    // The USB descriptors (device, configuration and everything in it, as
    // the device sent them) of the USB device a video input belongs to.
    virtual bool ReadUsbDescriptors(const VideoInputDevice& device,
                                    std::vector<uint8_t>* descriptors) = 0;

    // Whether the video input's capture node opens for reading and writing
    // (the picture and the extension-unit queries both need it): 0, or the
    // errno open(2) gives (EACCES without permission, EBUSY held elsewhere,
    // ENOENT gone). An emulated device answers the error it was set to.
    virtual int CheckOpen(const VideoInputDevice& device) = 0;

    // The extension-unit controls of a video input (UVCIOC_CTRL_QUERY on a
    // real camera's node, the unit an emulated device was plugged with).
    // Null when they cannot be reached: no such device or node, no access,
    // no unit.
    virtual std::unique_ptr<ExtensionUnitTransport>
    OpenExtensionUnit(const VideoInputDevice& device) = 0;

    // Registers receiver for USB device arrivals (DBT_DEVICEARRIVAL) and
    // removals (DBT_DEVICEREMOVECOMPLETE), each with a device-interface
    // broadcast of GUID_DEVINTERFACE_USB_DEVICE. Null when notifications
    // cannot be had (or receiver is null).
    virtual std::unique_ptr<DeviceNotification>
    RegisterDeviceNotification(DeviceChangeReceiver* receiver) = 0;
};

// The back end of this process: the emulated one when
// EmulatedDevicesRequested() was true at the first call, libudev otherwise.
// Lives until the process ends.
DeviceProvider& Devices();
// The libudev back end (also when devices are emulated).
DeviceProvider& UdevDevices();

// ---- emulated devices -----------------------------------------------------------

struct EmulatedUsbDevice {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    std::string serial;
    // A video capture node when true: its interface number, friendly name
    // (may be empty), the node name that VideoInputDevice::path carries and
    // the source element that VideoInputDevice::source_factory names.
    bool video_input = false;
    int interface_number = 0;
    std::string friendly_name;
    std::string node;
    std::string source_factory;
    std::vector<uint8_t> descriptors;
    // The errno opening its capture node gives (0: it opens), as a real node
    // without permission (EACCES) or held by another program (EBUSY) does.
    int open_error = 0;
    // What OpenExtensionUnit reaches for the capture node; may be null. Kept
    // by the back end while the device is plugged and by every transport
    // opened on it, and called from any thread, several at once.
    std::shared_ptr<ExtensionUnitTransport> extension_unit;
};

// The emulated back end's devices. Plugging and pulling post an arrival or a
// removal to the registered receivers from the back end's notification
// thread, as the system does.
class EmulatedDevices {
public:
    // Plugs device and returns its id (above 0).
    virtual int Plug(const EmulatedUsbDevice& device) = 0;
    // False when no such device is plugged.
    virtual bool Pull(int id) = 0;
    // A disabled node reports DN_HAS_PROBLEM with CM_PROB_DISABLED.
    virtual bool SetDisabled(int id, bool disabled) = 0;
    // The errno opening the device's capture node gives from now on
    // (EmulatedUsbDevice::open_error).
    virtual bool SetOpenError(int id, int error) = 0;
    virtual bool IsPlugged(int id) = 0;
    // The emulated back end.
    virtual DeviceProvider& Provider() = 0;

protected:
    ~EmulatedDevices() = default;
};

// The process's emulated devices (none until something plugs them).
EmulatedDevices& Emulated();

} // namespace platform
