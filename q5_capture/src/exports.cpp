// The exported functions: argument checks, then the device.
#include "TovekQ5usb.h"
#include "capture_device.h"
#include "media_setup.h"
#include "open_cancel.h"

extern "C" {

int Tovek_Q5Usb_Intialize(void) {
    q5cap::RenewOpenCancel();
    return q5cap::EnsureMediaElements() ? 0 : -1;
}

int Tovek_Q5Usb_UnIntialize(void) {
    return 0;
}

int Tovek_Q5Usb_GetDeviceCount(void) {
    return TovekQ5UsbAttachedDevices() > 0 ? 1 : 0;
}

int Tovek_Q5Usb_Open(int index, TovekQ5UsbDevice** device) {
    if (index != 0 || device == nullptr) {
        return -1;
    }
    std::unique_ptr<TovekQ5UsbDevice> opened = TovekQ5UsbDevice::Open();
    if (!opened) {
        return -1;
    }
    *device = opened.release();
    return 0;
}

int Tovek_Q5Usb_CancelOpen(void) {
    q5cap::CancelOpens();
    return 0;
}

int Tovek_Q5Usb_Close(TovekQ5UsbDevice* device) {
    if (device == nullptr) {
        return -1;
    }
    delete device;
    return 0;
}

int Tovek_Q5Usb_SendCmd(TovekQ5UsbDevice* device, int command) {
    return device != nullptr ? device->SendCmd(command) : -1;
}

int Tovek_Q5Usb_RegisterDeviceNotification(void* /*receiver*/) {
    return -1;
}

int Tovek_Q5Usb_UpdateDevice(uint32_t /*event*/, const void* /*header*/) {
    return -1;
}

int Tovek_Q5Usb_SetPosition(TovekQ5UsbDevice* device, VIDEO_WINDOW window, int x, int y, int width,
                            int height) {
    return device != nullptr ? device->SetPosition(window, x, y, width, height) : -1;
}

int Tovek_Q5Usb_Refresh(TovekQ5UsbDevice* device, int x, int y, int width, int height) {
    return device != nullptr ? device->Refresh(x, y, width, height) : -1;
}

int Tovek_Q5Usb_Run(TovekQ5UsbDevice* device) {
    return device != nullptr ? device->Run() : -1;
}

int Tovek_Q5Usb_Stop(TovekQ5UsbDevice* device) {
    return device != nullptr ? device->Stop() : -1;
}

int Tovek_Q5Usb_GetLastError(TovekQ5UsbDevice* device, char* user_text, int user_size,
                             char* debug_text, int debug_size) {
    if (device == nullptr) {
        return -1;
    }
    return device->GetLastError(user_text, user_size, debug_text, debug_size);
}

int Tovek_Q5Usb_SetStreamCallback(TovekQ5UsbDevice* device, Q5StreamCallback callback,
                                  void* context) {
    return device != nullptr ? device->SetStreamCallback(callback, context) : -1;
}

int Tovek_Q5Usb_SetSampleCallback(TovekQ5UsbDevice* device, MediaSampleCallback callback,
                                  void* context) {
    return device != nullptr ? device->SetSampleCallback(callback, context) : -1;
}

int Tovek_Q5Usb_GetStreamMediaType(TovekQ5UsbDevice* device, VIDEOINFOHEADER* format) {
    return device != nullptr ? device->GetStreamMediaType(format) : -1;
}

int Tovek_Q5Usb_InitDirectShow(TovekQ5UsbDevice* device) {
    return device != nullptr ? device->InitDirectShow() : -1;
}

} // extern "C"
