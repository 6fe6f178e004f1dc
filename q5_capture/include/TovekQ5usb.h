// TovekQ5usb: capture control of the Q5 camera family for the program.
//
// An open device runs a GStreamer pipeline of its own:
//
//   "tovekcamerasrc" (the camera, JPEG pictures) -> "MJPEG Decompressor"
//   (32-bit BGRx) -> "Sample Grabber" (the sample callback) -> "Video
//   Renderer" (the caller's VideoWindow)
//
// The camera source element comes from the plugin libgsttovekcamerasrc.so,
// found through GStreamer's plugin path or, failing that, next to this
// library. In a program that installed the emulated devices (sim/install),
// the emulated Q5 camera stands in.
//
// Results: 0 for success, -1 for failure, also for a null device, unless a
// function's comment says otherwise. Exports may be called from any thread,
// one call at a time per device. Callbacks run on library threads and must
// not call back into the device's exports (they wait for the callback).
// No library thread touches the caller's widgets: the video window is
// called as VideoWindow describes.
//
// Failures while the picture runs (the camera stops sending pictures, its
// pictures cannot be decoded, a format the pipeline cannot negotiate) are
// not results of any export: the first one of a run is kept on the device,
// the camera and the pipeline are stopped, and the stream callback gets
// event 5. Tovek_Q5Usb_GetLastError gives its texts. An unplugged camera is
// no failure: it brings events 3 and 1.
#pragma once

#include "platform/media.h"
#include "platform/wintypes.h"

#include <cstdint>

// An open camera, from Tovek_Q5Usb_Open until Tovek_Q5Usb_Close.
struct TovekQ5UsbDevice;

// Stream events: 0 the camera was attached, 1 detached, 2 streaming
// started, 3 streaming stopped (data null, length 0, on the library's event
// thread); 4 a compressed picture: data holds length bytes of one complete
// JPEG picture, valid only during the call (on the streaming thread, before
// the picture is decoded); 5 a failure stopped the picture (data null,
// length 0, on the event thread, once per failure of a run, after the
// pipeline has been stopped and with the texts already kept). Event 5 is
// always followed by one event 3, so a caller that knows events 0 to 4 only
// still sees the stop; a camera whose stream ended by itself has sent an
// event 3 before as well. The result is ignored.
typedef int(TOVEK_STDCALL* Q5StreamCallback)(int event, BYTE* data, LONG length, void* context);

enum Q5StreamEvent : int {
    Q5_STREAM_ATTACHED = 0,
    Q5_STREAM_DETACHED = 1,
    Q5_STREAM_STARTED = 2,
    Q5_STREAM_STOPPED = 3,
    Q5_STREAM_PICTURE = 4,
    Q5_STREAM_ERROR = 5,
};

extern "C" {

// Prepares GStreamer and the camera source plugin, and ends the effect of a
// CancelOpen. 0; -1 when GStreamer or the plugin cannot be had (Open then
// fails too).
TOVEK_EXPORT int Tovek_Q5Usb_Intialize(void);
// Nothing to release (GStreamer stays for the life of the process). 0.
TOVEK_EXPORT int Tovek_Q5Usb_UnIntialize(void);
// 1 while an open device's camera is attached, 0 otherwise: only an open
// device drives the camera, so open one to find a camera.
TOVEK_EXPORT int Tovek_Q5Usb_GetDeviceCount(void);

// Opens the camera (index 0 only): creates the camera source, which waits up
// to 10 seconds (replaceable clock) for a camera and measures its picture.
// 0 and *device set when a camera answered; -1 (and *device untouched) for
// another index, a null device pointer, no camera, or a device already
// open in this process (the driver serves one at a time).
TOVEK_EXPORT int Tovek_Q5Usb_Open(int index, TovekQ5UsbDevice** device);
// Makes an Open that waits for a camera on another thread give up at once
// (it returns -1), and every Open after it until the next Intialize, so that
// an open no longer wanted ends without its 10 seconds. Any thread. 0.
TOVEK_EXPORT int Tovek_Q5Usb_CancelOpen(void);
// Stops everything, waits for the library's threads and callbacks to end,
// and destroys the device; the handle is invalid afterwards.
TOVEK_EXPORT int Tovek_Q5Usb_Close(TovekQ5UsbDevice* device);
// Sends one command byte (the low byte of command) to the camera. -1 when
// the camera did not take it.
TOVEK_EXPORT int Tovek_Q5Usb_SendCmd(TovekQ5UsbDevice* device, int command);

// Attach and detach come as stream events 0 and 1: no device-change
// notifications here. Both return -1.
TOVEK_EXPORT int Tovek_Q5Usb_RegisterDeviceNotification(void* receiver);
TOVEK_EXPORT int Tovek_Q5Usb_UpdateDevice(uint32_t event, const void* header);

// Shows the live picture in window at x, y, width x height (window
// coordinates). May come before or after InitDirectShow. -1 for a null
// window.
TOVEK_EXPORT int Tovek_Q5Usb_SetPosition(TovekQ5UsbDevice* device, VIDEO_WINDOW window, int x,
                                         int y, int width, int height);
// Moves the picture within the window; a 1 x 1 or empty rectangle (the
// program's 0, 0, 0, 0 when playing stops) hides it and clears the window.
TOVEK_EXPORT int Tovek_Q5Usb_Refresh(TovekQ5UsbDevice* device, int x, int y, int width, int height);
// Starts the camera and the pipeline, forgetting the failure kept from
// before. A camera that is detached starts only after Stop and Run once it
// is attached again (stream event 0). -1 before InitDirectShow or when the
// pipeline cannot play.
TOVEK_EXPORT int Tovek_Q5Usb_Run(TovekQ5UsbDevice* device);
// Stops the camera (stream event 3) and the pipeline.
TOVEK_EXPORT int Tovek_Q5Usb_Stop(TovekQ5UsbDevice* device);
// The failure kept since the last Run, in the manner of libusb_strerror:
// user_text gets a short sentence for the user (for example "The camera
// stopped sending pictures."), debug_text the element, GStreamer's message
// and its debug string. Both are zero-terminated and cut to user_size and
// debug_size bytes (at a UTF-8 character boundary); a null buffer or a size
// below 1 skips that text. 0 when a failure is kept, 1 when none is (both
// texts ""), -1 for a null device. Any thread, also from the stream
// callback (event 5 included).
TOVEK_EXPORT int Tovek_Q5Usb_GetLastError(TovekQ5UsbDevice* device, char* user_text, int user_size,
                                          char* debug_text, int debug_size);

// Sets, or with null removes, the stream callback. When this returns the
// old callback is no longer running and is never called again.
TOVEK_EXPORT int Tovek_Q5Usb_SetStreamCallback(TovekQ5UsbDevice* device, Q5StreamCallback callback,
                                               void* context);
// Sets, or with null removes, the sample callback: it gets every decoded
// frame before it is shown, as a writable sample of width x height 32-bit
// pixels (B, G, R, X; rows top-down, width x 4 bytes each) on the streaming
// thread; what it writes is what the window shows. Same removal rule.
TOVEK_EXPORT int Tovek_Q5Usb_SetSampleCallback(TovekQ5UsbDevice* device,
                                               MediaSampleCallback callback, void* context);
// Fills *format with the stream's video format record: width and height of
// the camera's pictures (the last measured), Motion-JPEG, 16 per second.
// -1 for a null format.
TOVEK_EXPORT int Tovek_Q5Usb_GetStreamMediaType(TovekQ5UsbDevice* device, VIDEOINFOHEADER* format);
// Builds the pipeline (once per device; a second call does nothing) and
// reports the camera's presence as stream event 0 when it is attached, as
// the camera would on arrival. Call after the callbacks are set.
TOVEK_EXPORT int Tovek_Q5Usb_InitDirectShow(TovekQ5UsbDevice* device);

} // extern "C"
