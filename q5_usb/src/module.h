// Module-wide state of q5_usb and the steps shared between its source files.
#pragma once

#include "platform/thread_annotations.h"
#include "platform/usb.h"
#include "q5_usb.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace q5 {

constexpr uint32_t kListenPipeNumber = 0x81;
constexpr uint32_t kFrameRequest = 0xA2;
constexpr uint32_t kStopRequest = 0xA3;
constexpr uint32_t kCmdTimeoutMs = 1000;
constexpr uint32_t kReadTimeoutMs = 1000;
constexpr uint32_t kInitialPeriodMs = 60;
constexpr uint32_t kBufferWaitMs = 5000;
constexpr const char* kDriverName = "windrvr6";
constexpr uint16_t kVendorId = 0x0525;
constexpr uint16_t kProductId = 0xA4A5;

// An OS_HANDLE mutex of platform/usb (OsMutexCreate) as a capability, so
// the fields it guards can say so. Owned: Close releases the handle.
class TOVEK_CAPABILITY("mutex") OsLock {
public:
    OsLock() = default;
    ~OsLock() { Close(); }
    OsLock(const OsLock&) = delete;
    OsLock& operator=(const OsLock&) = delete;

    WD_STATUS Create() { return OsMutexCreate(&handle_); }
    bool Created() const { return handle_ != nullptr; }
    void Close() {
        if (handle_ != nullptr) {
            OsMutexClose(handle_);
            handle_ = nullptr;
        }
    }

    void Lock() TOVEK_ACQUIRE() { OsMutexLock(handle_); }
    // False when timeout_ms passed without the lock.
    bool LockFor(uint32_t timeout_ms) TOVEK_TRY_ACQUIRE(true) {
        return OsMutexLockTimeout(handle_, timeout_ms) == WD_STATUS_SUCCESS;
    }
    void Unlock() TOVEK_RELEASE() { OsMutexUnlock(handle_); }

private:
    OS_HANDLE handle_ = nullptr;
};

struct DeviceNode {
    std::unique_ptr<DeviceNode> next;
    WDU_DEVICE_HANDLE device = nullptr;
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint8_t interface_number = 0;
    uint8_t alternate_setting = 0;
};

// One per driver registration.
struct DriverContext {
    OsLock list_lock;
    uint32_t device_count TOVEK_GUARDED_BY(list_lock) = 0;
    OS_HANDLE device_idle = nullptr; // signalled once created
    std::unique_ptr<DeviceNode> list TOVEK_GUARDED_BY(list_lock);
    DeviceNode* active TOVEK_GUARDED_BY(list_lock) = nullptr;
};

// The streaming pipe of the active device.
struct ListenPipe {
    WDU_DEVICE_HANDLE device = nullptr;
    const WDU_PIPE_INFO* pipe = nullptr; // inside the device information
    OS_HANDLE worker = nullptr;
    uint32_t transfer_size = 0;
    uint32_t transfer_options = 0;
};

// Resources of one streaming run: the stop event and the hand-off buffer.
// Shared by the worker and the exports, so a fetch or a stop racing with the
// worker's exit never touches released memory.
struct StreamRun {
    StreamRun();
    ~StreamRun();
    StreamRun(const StreamRun&) = delete;
    StreamRun& operator=(const StreamRun&) = delete;

    OS_HANDLE stop_event = nullptr;
    OsLock frame_lock;
    std::unique_ptr<uint8_t[]> frame TOVEK_GUARDED_BY(frame_lock); // Q5_MAX_FRAME_SIZE bytes
    uint32_t frame_length TOVEK_GUARDED_BY(frame_lock) = 0;
    // Of the picture in frame; 0 before the first.
    uint32_t frame_number TOVEK_GUARDED_BY(frame_lock) = 0;
    // GetTickCount when it was handed off.
    uint32_t frame_tick TOVEK_GUARDED_BY(frame_lock) = 0;
    bool ok = false; // every resource was created
};

// The number of the next picture handed off: process-wide, so a number
// never comes back in a later run (0 is skipped when it wraps).
uint32_t NextFrameNumber();

struct Module {
    WDU_DRIVER_HANDLE driver = nullptr; // written by Init/Uninit only
    std::unique_ptr<DriverContext> context;

    // Serialises start, stop, device set-up and teardown, and guards the
    // three handles below against a half-released state.
    platform::Mutex control_lock;
    // Written under control_lock; atomic because TovekCameraControl reads it
    // without that lock: it may run inside an event callback while Stop or a
    // detach holds control_lock and waits for the worker sending the event.
    // A handle read just before a detach is harmless: the USB layer refuses
    // retired handles.
    std::atomic<WDU_DEVICE_HANDLE> active_device{nullptr};
    WDU_DEVICE* device_info TOVEK_GUARDED_BY(control_lock) = nullptr;
    std::unique_ptr<ListenPipe> listen_pipe TOVEK_GUARDED_BY(control_lock);

    // Guards `run`: published by start, cleared by stop or the worker's exit.
    platform::Mutex run_lock;
    std::shared_ptr<StreamRun> run TOVEK_GUARDED_BY(run_lock);

    // Held while the event callback runs; callback and user are written by
    // TovekCameraInit before any event can be sent. The callback is atomic
    // as well: TovekCameraGetMaxFrameSize checks it without the lock, which
    // it may be called under.
    platform::Mutex callback_lock;
    std::atomic<CameraEventCallback> callback{nullptr};
    uintptr_t user TOVEK_GUARDED_BY(callback_lock) = 0;

    std::atomic<uint32_t> pause_ms{kInitialPeriodMs};
    std::atomic<uint32_t> time_per_frame_ms{kInitialPeriodMs};
};

Module& State();

// Sends event under the callback lock; a null callback is skipped.
void SendEvent(uint32_t event);

// Transfer classification shared by Cmd and the worker's read.
enum class TransferResult { Success, Retry, Fatal };
TransferResult Classify(WD_STATUS status, uint32_t transferred);

// Vendor request on the default pipe of device: up to 4 attempts.
bool Cmd(WDU_DEVICE_HANDLE device, uint8_t request, uint32_t timeout_ms);

bool DriverInit(const char* driver_name, DriverContext* context);
void DriverUninit(DriverContext* context);
bool DeviceAttach(WDU_DEVICE_HANDLE device, WDU_DEVICE* info, void* user);
void DeviceDetach(WDU_DEVICE_HANDLE device, void* user);
// Both called with control_lock held.
bool DeviceControllerInit(Module& m) TOVEK_REQUIRES(m.control_lock);
void DeviceControllerUninit(Module& m) TOVEK_REQUIRES(m.control_lock);

// Start and stop of the streaming worker; called with control_lock held.
bool StartStreamingLocked(Module& m) TOVEK_REQUIRES(m.control_lock);
void StopStreamingLocked(Module& m) TOVEK_REQUIRES(m.control_lock);
// Copies the newest picture (see TovekCameraGetFrameData).
bool FetchFrame(uint8_t* buffer, uint32_t* size);
// Copies the newest picture unless its number is *number (see
// TovekCameraGetNewFrameData); arrival_ms may be null.
bool FetchNewFrame(uint8_t* buffer, uint32_t* size, uint32_t* number, uint32_t* arrival_ms);
std::shared_ptr<StreamRun> CurrentRun();

} // namespace q5
