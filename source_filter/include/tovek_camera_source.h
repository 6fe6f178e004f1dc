// "tovekcamerasrc": the Q5 camera as a GStreamer source element (plugin file
// libgsttovekcamerasrc.so, plugin "tovekcamerasrc", long name "Tovek Camera
// Source Filter", rank none). It drives the q5_usb driver library, paces the
// camera's JPEG pictures and pushes each one unchanged as one buffer with caps
// image/jpeg (announced width and height, 16 pictures per second) on its one
// source pad, "Out". Decoding is left to the elements downstream.
//
// The client drives the camera through ICameraSourceControl, a C function
// table the element hands out through its read-only pointer property
// "control" (see tovek_camera_source_get_control). The table stays valid for
// as long as the element lives; hold a reference to the element meanwhile.
//
// Element properties:
//   control     (pointer, read-only)  the ICameraSourceControl of this element
//   auto-start  (boolean, default on) start the camera when the element
//               starts (READY to PAUSED) and stop it when it stops, for
//               pipelines without a client such as
//               `gst-launch-1.0 tovekcamerasrc ! jpegdec ! fakesink`. A client
//               that calls Control itself switches it off.
//   cancellable (GCancellable, construct-only, default none) cancelling it
//               ends the creation's wait for a camera at once (from any
//               thread): the element is made without a measured size, as
//               when no camera answered. Create the element with
//               gst_element_factory_make_with_properties to set it.
//
// When the camera stops streaming by itself while it stays attached (a failed
// read or request; an unplugged camera is not a failure but events 3 and 1),
// the element posts a RESOURCE READ error "The camera stopped sending
// pictures." about half a second later and ends its stream with
// GST_FLOW_ERROR, as a device source does on a read error. Control 1 (or a
// new start) streams again.
//
// The driver's state is process-wide, so one element at a time drives the
// camera: an element created while another lives has no camera (Control
// returns 1, the other methods fail, and it refuses to start).
//
// Creating the element initialises the driver and measures the camera's
// picture size: it waits up to 10 seconds (on the replaceable clock of
// platform/system) for a camera and its first picture, or until its
// cancellable is cancelled.
#pragma once

#include "platform/wintypes.h"

#include <gst/gst.h>

#include <cstdint>

// Events sent to the client callback.
enum CameraSourceEvent : uint32_t {
    CAMERA_SOURCE_ATTACHED = 0,       // a camera was accepted by the driver
    CAMERA_SOURCE_DETACHED = 1,       // the camera was unplugged
    CAMERA_SOURCE_STREAM_STARTED = 2, // the driver's streaming worker started
    CAMERA_SOURCE_STREAM_STOPPED = 3, // the driver's streaming worker ended
    CAMERA_SOURCE_PICTURE = 4,        // a picture is being delivered downstream
};

// The client's event callback: (event, value1, value2, user). Events 0 to 3
// come with values 0, 0 on the driver's threads; event 4 comes on the
// streaming thread with value1 = pointer to the picture's bytes (the buffer
// about to be pushed, valid only during the call) and value2 = its length.
// Every call runs under the element's callback lock, so calls never overlap.
// The callback must not call SetCallback or Control (they wait for it).
// The values are pointer-sized: a pointer does not fit in 32 bits here.
typedef void(TOVEK_STDCALL* CameraSourceCallback)(uint32_t event, uintptr_t value1,
                                                  uintptr_t value2, uintptr_t user);

struct ICameraSourceControl;

// The control interface's methods, in slot order.
struct ICameraSourceControlVtbl {
    // 0 stops the camera (sets the stopping flag, stops streaming); 1 starts
    // it (clears the flag and starts streaming unless the camera is detached,
    // in which case wait for event 0 and call again). Other codes do
    // nothing. S_OK; 1 when the element has no camera.
    HRESULT (*Control)(ICameraSourceControl* self, int32_t code);
    // Sends the low byte of command to the camera. S_OK when the camera took
    // it, S_FALSE otherwise (no camera, refused, failed).
    HRESULT (*SendCommand)(ICameraSourceControl* self, uint32_t command);
    // Stores the event callback and its user value; null removes it. When
    // this returns, the old callback is no longer running. S_OK.
    HRESULT(*SetCallback)
    (ICameraSourceControl* self, CameraSourceCallback callback, uintptr_t user);
    // The size of the last picture the JPEG library could measure. E_FAIL
    // for a null pointer or before any picture was measured.
    HRESULT (*GetFrameSize)(ICameraSourceControl* self, int32_t* width, int32_t* height);
    // Sets the width and height announced in the caps from the next
    // negotiation on. E_INVALIDARG unless both are 1..65535 (the limits of a
    // JPEG picture); E_UNEXPECTED when the element has no camera.
    HRESULT (*SetFrameSize)(ICameraSourceControl* self, int32_t width, int32_t height);
};

struct ICameraSourceControl {
    const ICameraSourceControlVtbl* lpVtbl;
};

// The element's property that holds its ICameraSourceControl.
#define TOVEK_CAMERA_SOURCE_CONTROL_PROPERTY "control"
#define TOVEK_CAMERA_SOURCE_CANCELLABLE_PROPERTY "cancellable"

inline constexpr int32_t kCameraSourceDefaultWidth = 1024;
inline constexpr int32_t kCameraSourceDefaultHeight = 768;
// Announced time per picture in 100-ns units: 16 pictures per second.
inline constexpr REFERENCE_TIME kCameraSourceTimePerFrame = 625000;
inline constexpr int kCameraSourceFramesPerSecond = 16;
// The largest picture the driver delivers, and so the size of every buffer
// the element pushes.
inline constexpr uint32_t kCameraSourceMaxPictureSize = 655360;

// The control interface of a "tovekcamerasrc" element; null for any other
// element.
inline ICameraSourceControl* tovek_camera_source_get_control(GstElement* element) {
    if (element == nullptr ||
        g_object_class_find_property(G_OBJECT_GET_CLASS(element),
                                     TOVEK_CAMERA_SOURCE_CONTROL_PROPERTY) == nullptr) {
        return nullptr;
    }
    gpointer control = nullptr;
    g_object_get(element, TOVEK_CAMERA_SOURCE_CONTROL_PROPERTY, &control, nullptr);
    return static_cast<ICameraSourceControl*>(control);
}

// The video format record of the stream at the announced size: Motion-JPEG,
// 24 bits, image size width x height x 3, 16 pictures per second, bit rate
// 0x01400000, empty source and target rectangles.
inline VIDEOINFOHEADER tovek_camera_source_video_info(int32_t width, int32_t height) {
    VIDEOINFOHEADER info{};
    info.dwBitRate = 0x01400000;
    info.AvgTimePerFrame = kCameraSourceTimePerFrame;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = MakeFourCC('M', 'J', 'P', 'G');
    const int64_t image = static_cast<int64_t>(width) * height * 3;
    info.bmiHeader.biSizeImage = image > 0 && image <= UINT32_MAX ? static_cast<DWORD>(image) : 0;
    return info;
}
