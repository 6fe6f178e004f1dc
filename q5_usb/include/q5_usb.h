// q5_usb: the driver library of Q5-family document cameras. One camera at a
// time; it answers each frame request (0xA2) on the default pipe with one
// complete JPEG picture read from pipe 0x81.
//
// Calling order: TovekCameraInit -> (event 0) -> TovekCameraGetMaxFrameSize ->
// TovekCameraPlay -> TovekCameraGetFrameData / TovekCameraGetPerFrameTime /
// TovekCameraControl ... -> TovekCameraStop -> TovekCameraUninit.
// Every export may be called from any thread.
//
// Tracing: Q5LOG=1 switches trace lines on at TovekCameraInit; Q5LOGFILE=path
// writes them to a file, Q5LOGCONSOLE=1 to standard error.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>

extern "C" {

// Event codes passed to the callback.
enum Q5CameraEvent : uint32_t {
    Q5_EVENT_ATTACHED = 0,       // a camera was accepted; its streaming pipe is ready
    Q5_EVENT_DETACHED = 1,       // the camera was unplugged; streaming has been stopped
    Q5_EVENT_STREAM_STARTED = 2, // the streaming worker started
    Q5_EVENT_STREAM_STOPPED = 3, // the streaming worker ended
};

constexpr uint32_t Q5_MAX_FRAME_SIZE = 0xA0000; // 655360 bytes

// Called with (event, 0, 0, user) under the library's callback lock: events 0
// and 1 on a USB driver thread, 2 and 3 on the streaming worker. Inside the
// callback, TovekCameraControl, TovekCameraGetFrameData and the getters are
// safe (a command sent while the camera goes away fails with -1). Calls that
// would wait for the thread the callback runs on are refused and do nothing:
// TovekCameraPlay (returns 0) and TovekCameraStop from events 2 and 3,
// TovekCameraInit (returns 0) and TovekCameraUninit from any event.
using CameraEventCallback = void(TOVEK_STDCALL*)(uint32_t event, uint32_t, uint32_t,
                                                 uintptr_t user);

// Sends one vendor request with the low byte of command as request code.
// 0 when the camera accepted it, -1 otherwise.
TOVEK_EXPORT int32_t TovekCameraControl(uint32_t command);
// Writes "Q5USB" (cut to fit *size characters with its terminator) and stores
// its length through size.
TOVEK_EXPORT void TovekCameraGetDeviceName(char* buffer, uint32_t* size);
// Copies the newest picture when it fits *size bytes; *size receives the
// picture length either way (0 when not streaming). True when copied.
TOVEK_EXPORT uint8_t TovekCameraGetFrameData(uint8_t* buffer, uint32_t* size);
// TovekCameraGetFrameData for a caller that polls: pictures are numbered
// (never 0, never repeated within the process), and the newest one is copied
// only when it fits and its number differs from *number, the number of the
// caller's last picture (0 for none); *number then receives its number, and
// *arrival_ms (unless null) the tick count (GetTickCount) at which the
// picture had arrived from the camera. *size receives the newest picture's
// length either way (0 when none). True when a new picture was copied.
TOVEK_EXPORT uint8_t TovekCameraGetNewFrameData(uint8_t* buffer, uint32_t* size, uint32_t* number,
                                                uint32_t* arrival_ms);
// Writes "JPG" (cut to fit *size characters); returns the characters written.
TOVEK_EXPORT int32_t TovekCameraGetImagetype(char* buffer, uint32_t* size);
TOVEK_EXPORT uint32_t TovekCameraGetMaxFrameSize();
// Average milliseconds between pictures (60 until 201 pictures were measured).
TOVEK_EXPORT uint32_t TovekCameraGetPerFrameTime(uint32_t* out);
// True while the driver (since TovekCameraInit) has found a Q5 camera plugged
// in that cannot be opened (no permission on its device node, or another
// program holds it): no event 0 will come for it, so waiting for one is in
// vain. platform/device_access.h has the texts that say why. Called on the
// thread that calls TovekCameraInit and TovekCameraUninit.
TOVEK_EXPORT uint8_t TovekCameraIsRefused();
// Registers with the USB driver; true on success. Called again without
// TovekCameraUninit, it first releases the earlier registration as
// TovekCameraUninit does (stopping any stream), then registers anew.
TOVEK_EXPORT uint8_t TovekCameraInit(CameraEventCallback callback, uintptr_t user);
// Starts the streaming worker; false without an active camera.
TOVEK_EXPORT uint8_t TovekCameraPlay();
TOVEK_EXPORT void TovekCameraStop();
TOVEK_EXPORT void TovekCameraUninit();

} // extern "C"
