// The C exports of TovekCorvane.
#include "TovekCorvane.h"
#include "platform/thread_annotations.h"

#include "capture_device.h"
#include "device_finder.h"

#include <cstring>
#include <map>
#include <memory>

namespace {

// The receivers registered for device notifications.
struct Registrations {
    platform::Mutex mutex;
    std::map<DeviceChangeReceiver*, std::unique_ptr<platform::DeviceNotification>>
        by_receiver TOVEK_GUARDED_BY(mutex);
};

Registrations& Registered() {
    static Registrations registrations; // unregisters every receiver at exit
    return registrations;
}

} // namespace

extern "C" {

int Corvane_Intialize(void) {
    corvane::SetDeviceId(corvane::kDefaultDeviceId);
    // The device back end is chosen at its first use: make that now.
    corvane::Provider();
    return 0;
}

int Corvane_UnIntialize(void) {
    return 0;
}

int Corvane_SetDeviceID(const char* text, int length) {
    if (text == nullptr || length <= 0) {
        return -1;
    }
    // Longer ids never fit the id buffer: refused rather than cut, so that a
    // cut id cannot match another device.
    const size_t size = strnlen(text, corvane::kDeviceIdSize);
    if (size >= corvane::kDeviceIdSize) {
        return -1;
    }
    corvane::SetDeviceId(std::string_view(text, size));
    return 0;
}

int Corvane_GetDeviceCount(void) {
    corvane::CorvaneDeviceControl device;
    return device.FindCaptureFilter() ? 1 : -1;
}

int Corvane_RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    if (receiver == nullptr) {
        return -1;
    }
    Registrations& registrations = Registered();
    platform::MutexLock lock(registrations.mutex);
    if (registrations.by_receiver.count(receiver) != 0) {
        return 0;
    }
    auto registration = corvane::Provider().RegisterDeviceNotification(receiver);
    if (!registration) {
        return -1;
    }
    registrations.by_receiver.emplace(receiver, std::move(registration));
    return 0;
}

int Corvane_UnregisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    std::unique_ptr<platform::DeviceNotification> registration;
    {
        Registrations& registrations = Registered();
        platform::MutexLock lock(registrations.mutex);
        auto it = registrations.by_receiver.find(receiver);
        if (it == registrations.by_receiver.end()) {
            return -1;
        }
        registration = std::move(it->second);
        registrations.by_receiver.erase(it);
    }
    // Destroyed outside the lock: it waits for a running call to the receiver.
    registration.reset();
    return 0;
}

int Corvane_UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) {
    return corvane::JudgeDeviceChange(corvane::Provider(), corvane::DeviceId(), event, header);
}

int Corvane_CancelOpen(void) {
    corvane::CancelSettleWaits();
    return 0;
}

int Corvane_Open(int index, CorvaneCaptureDevice** out) {
    if (index > 0 || out == nullptr) {
        return -1;
    }
    auto device = std::make_unique<CorvaneCaptureDevice>();
    if (!device->Build(true)) {
        return -1;
    }
    *out = device.release();
    return 0;
}

int Corvane_Close(CorvaneCaptureDevice* device) {
    if (device == nullptr) {
        return -1;
    }
    device->TearDown();
    delete device;
    return 0;
}

int Corvane_Run(CorvaneCaptureDevice* device) {
    return device != nullptr ? device->Run() : -1;
}

int Corvane_Stop(CorvaneCaptureDevice* device) {
    return device != nullptr ? device->Stop() : -1;
}

int Corvane_GetLastError(CorvaneCaptureDevice* device, char* user_text, int user_size,
                         char* debug_text, int debug_size) {
    if (device == nullptr) {
        return -1;
    }
    return device->GetLastError(user_text, user_size, debug_text, debug_size);
}

int Corvane_SetPosition(CorvaneCaptureDevice* device, VIDEO_WINDOW window, int x, int y, int width,
                        int height) {
    return device != nullptr ? device->SetPosition(window, x, y, width, height) : -1;
}

int Corvane_Refresh(CorvaneCaptureDevice* device, int x, int y, int width, int height) {
    return device != nullptr ? device->Refresh(x, y, width, height) : -1;
}

int Corvane_SetStreamCallback(CorvaneCaptureDevice* device, StreamCallback callback, void* user) {
    if (device == nullptr) {
        return -1;
    }
    device->SetStreamCallback(callback, user);
    return 0;
}

int Corvane_SetSampleStreamCallback(CorvaneCaptureDevice* device, SampleCallback callback,
                                    void* user) {
    if (device == nullptr) {
        return -1;
    }
    device->SetSampleCallback(callback, user);
    return 0;
}

int Corvane_SetSampleStreamCallbackEx(CorvaneCaptureDevice* device, SampleCallbackEx callback,
                                      void* user) {
    if (device == nullptr) {
        return -1;
    }
    device->SetSampleCallbackEx(callback, user);
    return 0;
}

int Corvane_GetStreamMediaType(CorvaneCaptureDevice* device, VIDEOINFOHEADER* out) {
    if (device == nullptr || out == nullptr) {
        return -1;
    }
    return device->GetStreamMediaType(out);
}

int Corvane_SendCmd(CorvaneCaptureDevice* device, int command) {
    if (device == nullptr) {
        return -1;
    }
    return device->SendCmd(static_cast<uint8_t>(command & 0xFF));
}

int Corvane_GetState(CorvaneCaptureDevice* device, int* state) {
    if (device == nullptr || state == nullptr) {
        return -1;
    }
    return device->GetState(state);
}

int Corvane_VideoCapturePin(CorvaneCaptureDevice* device, CORVANE_OWNER_WINDOW window) {
    return device != nullptr ? device->VideoCapturePin(window) : -1;
}

} // extern "C"
