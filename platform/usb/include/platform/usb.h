// User-mode USB access in the style of the WinDriver USB API the Q5 driver
// library was written against: a driver registration with a device match
// table and attach/detach callbacks, device descriptions, transfers on
// numbered pipes and the default pipe, status texts, and small portable
// mutex, event and thread helpers.
//
// The back end behind a registration is chosen at WDU_Init
// (platform/usb_backend.h): libusb-1.0 for real cameras or, when the program
// asked for emulated devices, the emulated back end it installed.
//
// Threads: attach and detach callbacks run on a driver thread of this layer,
// never on the caller's thread and never inside libusb's event handling, so a
// callback may call WDU_GetDeviceInfo and WDU_Transfer*. Callbacks of one
// registration are serialised. After WDU_Uninit returns, no callback runs.
#pragma once

#include <cstdint>

extern "C" {

using WD_STATUS = uint32_t;
using WDU_DRIVER_HANDLE = void*;
using WDU_DEVICE_HANDLE = void*;
using OS_HANDLE = void*; // mutex, event or thread of the helpers below

// ---- status codes --------------------------------------------------------------
constexpr WD_STATUS WD_STATUS_SUCCESS = 0x0;
constexpr WD_STATUS WD_INVALID_HANDLE = 0x20000001;
constexpr WD_STATUS WD_INSUFFICIENT_RESOURCES = 0x20000008;
constexpr WD_STATUS WD_INVALID_PARAMETER = 0x2000000C;
constexpr WD_STATUS WD_DEVICE_NOT_FOUND = 0x2000000D; // unplugged, or gone mid-transfer
constexpr WD_STATUS WD_OPERATION_FAILED = 0x20000010;
constexpr WD_STATUS WD_TIME_OUT_EXPIRED = 0x20000015;
constexpr WD_STATUS WD_OPERATION_ALREADY_DONE = 0x20000017;
constexpr WD_STATUS WD_WINDRIVER_STATUS_ERROR = 0x20000000;
constexpr WD_STATUS WD_USBD_STATUS_STALL_PID = 0xC0000004; // the device stalled the pipe
constexpr WD_STATUS WD_USBD_STATUS_BABBLE = 0xC0000012;    // the device sent more than asked

// Text for a status code; never null, valid for the life of the process.
const char* Stat2Str(WD_STATUS status);

// ---- device description ---------------------------------------------------------

enum USB_PIPE_TYPE : uint32_t {
    PIPE_TYPE_CONTROL = 0,
    PIPE_TYPE_ISOCHRONOUS = 1,
    PIPE_TYPE_BULK = 2,
    PIPE_TYPE_INTERRUPT = 3,
};

enum WDU_DIR : uint32_t {
    WDU_DIR_IN = 1,
    WDU_DIR_OUT = 2,
    WDU_DIR_IN_OUT = 3,
};

// Transfer option: isochronous reads deliver full packets only.
constexpr uint32_t USB_ISOCH_FULL_PACKETS_ONLY = 0x20;

struct WDU_PIPE_INFO {
    uint32_t dwNumber;            // endpoint address: 0x81 is endpoint 1, direction in
    uint32_t dwMaximumPacketSize; // bytes
    uint32_t type;                // USB_PIPE_TYPE
    uint32_t direction;           // WDU_DIR
    uint32_t dwInterval;          // in milliseconds (frames) or microframes
};

struct WDU_DEVICE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

struct WDU_INTERFACE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
};

struct WDU_ALTERNATE_SETTING {
    WDU_INTERFACE_DESCRIPTOR Descriptor;
    WDU_PIPE_INFO* pPipes; // Descriptor.bNumEndpoints entries
};

struct WDU_INTERFACE {
    WDU_ALTERNATE_SETTING* pAlternateSettings;
    uint32_t dwNumAltSettings;
    WDU_ALTERNATE_SETTING* pActiveAltSetting;
};

// A device as described to its driver: owned by this layer, valid from
// WDU_GetDeviceInfo until WDU_PutDeviceInfo (also after the device is gone).
struct WDU_DEVICE {
    WDU_DEVICE_DESCRIPTOR Descriptor;
    uint32_t dwNumInterfaces;
    WDU_INTERFACE** pActiveInterface; // dwNumInterfaces entries, claimed for the driver
};

// ---- registration -----------------------------------------------------------------

// One match entry; a zero field matches any value.
struct WDU_MATCH_TABLE {
    uint16_t wVendorId;
    uint16_t wProductId;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
};

// Attach: return true to take the device, false to refuse it (it is then
// released and no detach follows). Detach: the device is gone; transfers to
// it fail with WD_DEVICE_NOT_FOUND from now on.
using WDU_ATTACH_CALLBACK = bool (*)(WDU_DEVICE_HANDLE device, WDU_DEVICE* info, void* user);
using WDU_DETACH_CALLBACK = void (*)(WDU_DEVICE_HANDLE device, void* user);
using WDU_POWER_CHANGE_CALLBACK = bool (*)(WDU_DEVICE_HANDLE device, uint32_t power_state,
                                           void* user);

struct WDU_EVENT_TABLE {
    WDU_ATTACH_CALLBACK pfDeviceAttach;
    WDU_DETACH_CALLBACK pfDeviceDetach;
    WDU_POWER_CHANGE_CALLBACK pfPowerChange; // may be null; never called here
    void* pUserData;
};

// The driver's name; returns name when the USB driver accepts it, else null.
const char* WD_DriverName(const char* name);

// Registers a driver for the devices the match tables name (a device matches
// when one entry matches it; an entry's interface fields match any interface
// of the active configuration). Attach callbacks follow for matching devices
// already present and for each one plugged in later. license and options are
// accepted and ignored. *driver is set before the first callback can run.
// A machine without USB access (libusb cannot start, as in a container), or
// a process that asked for emulated devices and installed none, still
// registers: WD_STATUS_SUCCESS, and no device is ever attached.
// WD_INVALID_PARAMETER for a null driver, events or attach callback, or for
// no match entry.
WD_STATUS WDU_Init(WDU_DRIVER_HANDLE* driver, const WDU_MATCH_TABLE* match_tables,
                   uint32_t match_count, const WDU_EVENT_TABLE* events, const char* license,
                   uint32_t options);
// Ends the registration; waits for a running callback, then none runs again.
// The registration's devices are released without detach callbacks; their
// handles then answer WD_DEVICE_NOT_FOUND. Unknown handles are ignored.
void WDU_Uninit(WDU_DRIVER_HANDLE driver);

// True while this registration has a matching device that is present but
// could not be opened (no permission on its node, another program holds it):
// no attach will come for it. The texts for the user are in
// platform/device_access.h. False for an unknown handle. Any thread.
bool WDU_HasRefusedDevice(WDU_DRIVER_HANDLE driver);

// A fresh description of an attached device, for the caller to release with
// WDU_PutDeviceInfo. WD_DEVICE_NOT_FOUND once the device was detached,
// refused or its registration ended; WD_INVALID_HANDLE for a value that never
// was a device handle.
WD_STATUS WDU_GetDeviceInfo(WDU_DEVICE_HANDLE device, WDU_DEVICE** info);
// Releases a description of WDU_GetDeviceInfo; null or unknown pointers are
// ignored.
void WDU_PutDeviceInfo(WDU_DEVICE* info);

// A transfer on a numbered pipe (bulk, interrupt or isochronous). read is
// non-zero for device-to-host. setup is null for non-control pipes.
// *transferred receives the byte count (also on failure); transferred may be
// null. timeout_ms 0 waits without limit. Pipe 0 with a setup packet is a
// control transfer, as WDU_TransferDefaultPipe. WD_INVALID_PARAMETER for a
// pipe that is not in an active alternate setting, a direction the pipe does
// not have, or a null buffer with a non-zero size; WD_INVALID_HANDLE for a
// value that never was a device handle; WD_DEVICE_NOT_FOUND for a device that
// is gone (also when it goes during the transfer).
WD_STATUS WDU_Transfer(WDU_DEVICE_HANDLE device, uint32_t pipe, uint32_t read, uint32_t options,
                       void* buffer, uint32_t size, uint32_t* transferred, const uint8_t* setup,
                       uint32_t timeout_ms);
// A control transfer on pipe 0 with an 8-byte setup packet (USB layout: request
// type, request, value, index, length, little-endian). The data stage moves
// the setup's length bytes, in the direction bit 7 of the request type gives;
// read must agree with it when that length is not 0. size must be at least
// that length.
WD_STATUS WDU_TransferDefaultPipe(WDU_DEVICE_HANDLE device, uint32_t read, uint32_t options,
                                  void* buffer, uint32_t size, uint32_t* transferred,
                                  const uint8_t* setup, uint32_t timeout_ms);

// ---- portable helpers ---------------------------------------------------------------
// Null handles are ignored (void calls) or answered with WD_INVALID_HANDLE.

// A wait time that never expires (OsMutexLockTimeout, OsEventWait).
constexpr uint32_t WD_INFINITE = 0xFFFFFFFF;

// Mutex: not recursive.
WD_STATUS OsMutexCreate(OS_HANDLE* mutex);
void OsMutexLock(OS_HANDLE mutex);
// Waits at most timeout_ms; WD_TIME_OUT_EXPIRED when the lock was not taken.
WD_STATUS OsMutexLockTimeout(OS_HANDLE mutex, uint32_t timeout_ms);
void OsMutexUnlock(OS_HANDLE mutex);
void OsMutexClose(OS_HANDLE mutex);

// Event: manual reset, starts not signalled.
WD_STATUS OsEventCreate(OS_HANDLE* event);
WD_STATUS OsEventSignal(OS_HANDLE event);
WD_STATUS OsEventReset(OS_HANDLE event);
// Waits at most timeout_ms (0 tests without waiting): WD_STATUS_SUCCESS when
// signalled, WD_TIME_OUT_EXPIRED otherwise.
WD_STATUS OsEventWait(OS_HANDLE event, uint32_t timeout_ms);
void OsEventClose(OS_HANDLE event);

using THREAD_FUNC = void (*)(void* context);
WD_STATUS ThreadStart(OS_HANDLE* thread, THREAD_FUNC func, void* context);
// Waits for the thread to end and releases its handle. Called on the thread
// itself, it releases the handle without waiting.
void ThreadWait(OS_HANDLE thread);

} // extern "C"
