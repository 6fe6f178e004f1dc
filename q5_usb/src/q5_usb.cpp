// The exported interface of q5_usb.
#include "module.h"
#include "q5_trace.h"

#include <cstdio>

namespace q5 {

Module& State() {
    static Module module;
    return module;
}

trace::CTracerWrapper<char>& Tracer() {
    static trace::CTracerWrapper<char> tracer;
    return tracer;
}

namespace {

// The event whose callback runs on this thread, or -1 outside any callback.
// Initial-exec: the library is also loaded with dlopen (as a GStreamer
// plug-in's dependency), and a dynamically allocated TLS block there trips
// the leak checker's thread scan at exit; static TLS has room for an int.
__attribute__((tls_model("initial-exec"))) thread_local int t_event_in_callback = -1;

// Serialises TovekCameraInit and TovekCameraUninit, the only writers of the
// driver registration (Module::driver and Module::context).
platform::Mutex g_lifecycle_lock;

// Stop and Play wait for, or contend with, the streaming worker; from the
// callback of an event the worker sends (2, 3) they would wait for their own
// thread, so they are refused there. Init and Uninit wait for the driver's
// attach and detach threads too, so they are refused inside any event.
bool RefusedInCallback(const char* function, bool any_event) {
    const int event = t_event_in_callback;
    const bool refused = any_event ? event >= 0
                                   : event == static_cast<int>(Q5_EVENT_STREAM_STARTED) ||
                                         event == static_cast<int>(Q5_EVENT_STREAM_STOPPED);
    if (refused) {
        Q5_TRACE("%s(): refused inside the callback of event %d, file:%s line:%d", function, event,
                 Q5_SOURCE, __LINE__);
    }
    return refused;
}

// Everything TovekCameraUninit releases: the worker, the driver registration
// (after which no attach or detach runs), the device, the context and the
// callback. Safe when nothing is set up.
void ReleaseRegistration() TOVEK_REQUIRES(g_lifecycle_lock) {
    Module& m = State();
    {
        // A caller that forgot to stop must not leave the worker running.
        platform::MutexLock control(m.control_lock);
        StopStreamingLocked(m);
    }
    if (m.context) {
        // Unregister before releasing the pipe: a detach callback may still be
        // running and needs the control lock.
        DriverUninit(m.context.get());
        platform::MutexLock control(m.control_lock);
        DeviceControllerUninit(m);
        m.context.reset();
    }
    platform::MutexLock lock(m.callback_lock);
    m.callback = nullptr;
}

// Writes text into buffer, cut to fit capacity characters with the terminator.
uint32_t CopyText(const char* text, char* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    int n = std::snprintf(buffer, capacity, "%s", text);
    return n < 0 ? 0 : (static_cast<uint32_t>(n) < capacity ? n : capacity - 1);
}

} // namespace

void SendEvent(uint32_t event) {
    Module& m = State();
    platform::MutexLock lock(m.callback_lock);
    if (CameraEventCallback callback = m.callback.load()) {
        t_event_in_callback = static_cast<int>(event);
        callback(event, 0, 0, m.user);
        t_event_in_callback = -1;
    }
}

} // namespace q5

using namespace q5;

extern "C" {

int32_t TovekCameraControl(uint32_t command) {
    // No control lock: see Module::active_device.
    WDU_DEVICE_HANDLE device = State().active_device.load();
    if (Cmd(device, static_cast<uint8_t>(command & 0xFF), kCmdTimeoutMs)) {
        return 0;
    }
    Q5_TRACE("%s(), %s, file:%s line:%d", "CameraControl", "Cmd failed.", Q5_SOURCE, __LINE__);
    return -1;
}

void TovekCameraGetDeviceName(char* buffer, uint32_t* size) {
    if (size == nullptr) {
        return;
    }
    *size = CopyText("Q5USB", buffer, *size);
}

uint8_t TovekCameraGetFrameData(uint8_t* buffer, uint32_t* size) {
    if (size == nullptr) {
        return 0;
    }
    if (buffer == nullptr) {
        *size = 0; // nothing can be copied, but the picture length is still reported
    }
    return FetchFrame(buffer, size) ? 1 : 0;
}

uint8_t TovekCameraGetNewFrameData(uint8_t* buffer, uint32_t* size, uint32_t* number,
                                   uint32_t* arrival_ms) {
    if (size == nullptr || number == nullptr) {
        return 0;
    }
    if (buffer == nullptr) {
        *size = 0;
    }
    return FetchNewFrame(buffer, size, number, arrival_ms) ? 1 : 0;
}

int32_t TovekCameraGetImagetype(char* buffer, uint32_t* size) {
    if (size == nullptr) {
        return 0;
    }
    return static_cast<int32_t>(CopyText("JPG", buffer, *size));
}

uint32_t TovekCameraGetMaxFrameSize() {
    Q5_TRACE_ENTRY();
    Q5_CHECK(State().callback != nullptr);
    return Q5_MAX_FRAME_SIZE;
}

uint8_t TovekCameraIsRefused() {
    // Only what this registration found: a record of an earlier one may
    // be stale until this one has looked.
    return WDU_HasRefusedDevice(State().driver) ? 1 : 0;
}

uint32_t TovekCameraGetPerFrameTime(uint32_t* out) {
    uint32_t value = State().time_per_frame_ms.load();
    Q5_CHECK(value != 0);
    if (out != nullptr) {
        *out = value;
    }
    return value;
}

uint8_t TovekCameraInit(CameraEventCallback callback, uintptr_t user) {
    if (RefusedInCallback("TovekCameraInit", true)) {
        return 0;
    }
    platform::MutexLock lifecycle(g_lifecycle_lock);
    Module& m = State();
    if (m.context) {
        // Initialised already: the earlier registration is released as
        // TovekCameraUninit would, or it would stay registered with its
        // callbacks pointing at the context replaced below.
        Q5_TRACE("%s(): initialised twice; releasing the earlier registration", __func__);
        ReleaseRegistration();
        trace::ReleaseDriverTraceSwitches(Tracer());
    }
    m.pause_ms.store(kInitialPeriodMs);
    m.time_per_frame_ms.store(kInitialPeriodMs);
    {
        platform::MutexLock control(m.control_lock);
        m.driver = nullptr;
        m.active_device = nullptr;
        m.listen_pipe.reset();
    }
    {
        platform::MutexLock lock(m.run_lock);
        m.run.reset();
    }
    trace::ApplyDriverTraceSwitches(Tracer());

    Q5_TRACE_ENTRY();
    Q5_CHECK(callback != nullptr);
    {
        platform::MutexLock lock(m.callback_lock);
        m.callback = callback;
        m.user = user;
    }
    m.context = std::make_unique<DriverContext>();
    if (DriverInit(kDriverName, m.context.get())) {
        return 1;
    }
    DriverUninit(m.context.get());
    Q5_CHECK(false);
    return 0;
}

uint8_t TovekCameraPlay() {
    if (RefusedInCallback("TovekCameraPlay", false)) {
        return 0;
    }
    Module& m = State();
    platform::MutexLock control(m.control_lock);
    return StartStreamingLocked(m) ? 1 : 0;
}

void TovekCameraStop() {
    Q5_TRACE_ENTRY();
    if (RefusedInCallback("TovekCameraStop", false)) {
        return;
    }
    Module& m = State();
    platform::MutexLock control(m.control_lock);
    StopStreamingLocked(m);
}

void TovekCameraUninit() {
    Q5_TRACE_ENTRY();
    if (RefusedInCallback("TovekCameraUninit", true)) {
        return;
    }
    platform::MutexLock lifecycle(g_lifecycle_lock);
    Q5_CHECK(State().context != nullptr);
    ReleaseRegistration();
    trace::ReleaseDriverTraceSwitches(Tracer());
}

} // extern "C"
