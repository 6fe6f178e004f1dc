// TovekCorvane: capture library of the RVX camera family, a USB video-class
// document camera with a vendor extension unit.
//
// The library finds the camera among the system's video input devices by
// the start of its display name, judges device arrivals and removals, and
// for an opened camera runs a capture graph:
//
//   "Tovek Camera Source" -> "Smart Tee" -> "Stream Callback" (compressed
//   pictures) -> "MJPEG Decompressor" -> "Sample Grabber" (decoded 32-bit
//   frames) -> "Video Renderer" (the caller's VideoWindow)
//
// Camera commands and status reads go through the camera's extension unit.
// In a program that installed the emulated devices (sim/install), the
// library sees the emulated video inputs of platform/devices instead of the
// system's: the emulated RVX camera.
//
// Every export returns 0 for success and -1 for failure unless its comment
// says otherwise; -1 also for a null device. Exports are called from the
// caller's thread; callbacks run on library threads (see each type).
//
// Failures while the graph runs (the camera's read fails, its format cannot
// be negotiated, its stream ends) are not results of any export: the first
// one of a run is kept on the device, the graph is stopped, and the stream
// callback gets the error notice. Corvane_GetLastError gives its texts.
#pragma once

#include "platform/devices.h"
#include "platform/media.h"
#include "platform/wintypes.h"

#include <cstdint>

// An open camera, from Corvane_Open until Corvane_Close.
struct CorvaneCaptureDevice;

// Every compressed picture: its bytes (valid during the call), length and
// sample time in seconds. Runs on the streaming thread; must not call back
// into the device's setters, Run, Stop or Close. The result is ignored.
// The error notice comes through the same callback: data null, length -1
// and sample time 0, once per failure of a run, on the library's error
// thread after the graph has been stopped (a callback that ignores null data
// ignores it). Corvane_GetLastError then gives the failure's texts.
typedef int(TOVEK_STDCALL* StreamCallback)(BYTE* data, LONG length, double sample_time, void* user);
// Every decoded frame before it is shown: the sample (writable 32-bit B, G,
// R, X pixels, rows top-down; changes are shown), pointers to its start and
// end time (100-ns units), 0, and the user value. Same thread rules.
typedef MediaSampleCallback SampleCallback;
// Every decoded frame as bytes: data, length, sample time in seconds, 0 and
// the user value. Same thread rules.
typedef int(TOVEK_STDCALL* SampleCallbackEx)(BYTE* data, LONG length, double sample_time, int flag,
                                             void* user);

// ---- capture format dialog --------------------------------------------------------

// One compressed format the camera offers.
struct CorvaneVideoFormat {
    LONG width;
    LONG height;
    LONG fps_numerator; // frames per second = numerator / denominator
    LONG fps_denominator;
};

// The owner window of the capture format dialog. The caller shows the
// formats in a modal dialog and returns the index chosen, -1 when the user
// cancelled (the format stays), or any other value when no dialog could be
// shown. current is the index of the format in use, or -1 when the camera
// chooses. Called on the caller's own thread, inside Corvane_VideoCapturePin.
struct CorvaneOwnerWindow {
    int (*ChooseCaptureFormat)(CorvaneOwnerWindow* window, const CorvaneVideoFormat* formats,
                               int count, int current);
    void* context; // free for the caller
};
typedef CorvaneOwnerWindow* CORVANE_OWNER_WINDOW;

extern "C" {

// ---- enumeration and notification ---------------------------------------------------

// Device id "usb#vid_0ac8&pid_3610" and its moniker prefix. 0.
TOVEK_EXPORT int Corvane_Intialize(void);
// Does nothing. 0.
TOVEK_EXPORT int Corvane_UnIntialize(void);
// Sets the device id (zero-terminated text; length must be positive but is
// not used for copying). -1 for null text, a length below 1, or a text of
// 264 characters or more; the previous id stays then.
TOVEK_EXPORT int Corvane_SetDeviceID(const char* text, int length);
// 1 when a video input device whose display name starts with the moniker
// prefix exists and can be opened, -1 otherwise (a presence test).
TOVEK_EXPORT int Corvane_GetDeviceCount(void);
// Registers receiver for USB device arrivals and removals (once, however
// often it is registered). -1 for null or when notifications cannot be had.
TOVEK_EXPORT int Corvane_RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver);
// Ends a registration; when it returns, receiver is no longer called (unless
// this runs inside its own call). -1 when it was not registered.
TOVEK_EXPORT int Corvane_UnregisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver);
// 0 when the event concerns the configured camera: a removal, or an arrival
// of a working camera node (after a 5-second wait on the replaceable clock,
// for the device to settle); -1 otherwise.
TOVEK_EXPORT int Corvane_UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header);
// Any thread: a Corvane_UpdateDevice waiting now for the camera to settle
// gives up within one 50 ms step and returns -1. Later calls wait as usual.
// 0.
TOVEK_EXPORT int Corvane_CancelOpen(void);

// ---- capture graph -------------------------------------------------------------------

// Opens the camera (index 0 only) and builds its graph, stopped. -1 without
// touching the system for an index above 0 or a null out.
TOVEK_EXPORT int Corvane_Open(int index, CorvaneCaptureDevice** out);
// Tears the graph down and destroys the device.
TOVEK_EXPORT int Corvane_Close(CorvaneCaptureDevice* device);
// Starts the graph, forgetting the failure kept from before. -1 when it
// cannot start, or when a failure stopped it while it started (the error
// notice follows then).
TOVEK_EXPORT int Corvane_Run(CorvaneCaptureDevice* device);
TOVEK_EXPORT int Corvane_Stop(CorvaneCaptureDevice* device);
// The failure kept since the last Corvane_Run, in the manner of
// libusb_strerror: user_text gets a short sentence for the user (for
// example "The camera stopped sending pictures."), debug_text the element,
// GStreamer's message and its debug string. Both are zero-terminated and cut
// to user_size and debug_size bytes (at a UTF-8 character boundary); a null
// buffer or a size below 1 skips that text. 0 when a failure is kept, 1 when
// none is (both texts ""), -1 for a null device. Any thread, also from the
// stream callback's error notice.
TOVEK_EXPORT int Corvane_GetLastError(CorvaneCaptureDevice* device, char* user_text, int user_size,
                                      char* debug_text, int debug_size);
// Shows the video in window at x, y, width x height. -1 for a null window
// or a graph that is not connected.
TOVEK_EXPORT int Corvane_SetPosition(CorvaneCaptureDevice* device, VIDEO_WINDOW window, int x,
                                     int y, int width, int height);
// Moves the video; a 1 x 1 or empty rectangle hides it.
TOVEK_EXPORT int Corvane_Refresh(CorvaneCaptureDevice* device, int x, int y, int width, int height);
// Sets or (null) clears a callback. When a setter returns, the old callback
// is no longer running and is never called again.
TOVEK_EXPORT int Corvane_SetStreamCallback(CorvaneCaptureDevice* device, StreamCallback callback,
                                           void* user);
TOVEK_EXPORT int Corvane_SetSampleStreamCallback(CorvaneCaptureDevice* device,
                                                 SampleCallback callback, void* user);
TOVEK_EXPORT int Corvane_SetSampleStreamCallbackEx(CorvaneCaptureDevice* device,
                                                   SampleCallbackEx callback, void* user);
// Copies the compressed stream's video information header (88 bytes) to
// out. -1 when the format is not known yet; 0 with out untouched when the
// stream's format is not video information.
TOVEK_EXPORT int Corvane_GetStreamMediaType(CorvaneCaptureDevice* device, VIDEOINFOHEADER* out);

// ---- camera commands ----------------------------------------------------------------

// Sends one command byte (the low byte of command). Commands and status
// reads of one device never interleave.
TOVEK_EXPORT int Corvane_SendCmd(CorvaneCaptureDevice* device, int command);
// Reads the camera's status byte (0-255; 0x11 is normal) into state.
TOVEK_EXPORT int Corvane_GetState(CorvaneCaptureDevice* device, int* state);

// Rebuilds the graph and lets the user choose the compressed size and frame
// rate in window's dialog; the graph is left connected and stopped, with
// both stream callbacks cleared (sample callbacks stay). -1 for a null
// window (nothing changes) or when the dialog or the rebuild fails (the graph
// is then left unconnected).
TOVEK_EXPORT int Corvane_VideoCapturePin(CorvaneCaptureDevice* device, CORVANE_OWNER_WINDOW window);

} // extern "C"
