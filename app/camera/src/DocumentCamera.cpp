#include "camera/DocumentCamera.h"

#include "platform/system.h"

#include <optional>

namespace {

constexpr int kNoDevice = -1;

// Both libraries' GetLastError in the program's terms: the texts through
// fixed buffers into the strings given, the result unchanged.
template <typename Handle>
int ReadLastError(int (*library)(Handle*, char*, int, char*, int), Handle* handle,
                  std::string* user_text, std::string* debug_text) {
    char user[CDocumentCamera::kMaxErrorText];
    char debug[CDocumentCamera::kMaxErrorText];
    const int result = library(handle, user, sizeof user, debug, sizeof debug);
    const bool kept = result == 0;
    if (user_text != nullptr) {
        *user_text = kept ? user : "";
    }
    if (debug_text != nullptr) {
        *debug_text = kept ? debug : "";
    }
    return result;
}

// The stream callback as family F's own type: a callback of that family, or
// null when the caller removes the callback (nullptr or a null pointer of
// either type). nullopt for the other family's callback, which must never
// reach this library: it would be called with the wrong arguments.
template <typename F>
std::optional<F> FamilyCallback(const DocumentStreamCallback& callback) {
    if (const F* own = std::get_if<F>(&callback)) {
        return *own;
    }
    const bool removal = std::visit([](auto fn) { return fn == nullptr; }, callback);
    if (removal) {
        return F{nullptr};
    }
    return std::nullopt;
}

} // namespace

// ---- CQ5Usb ------------------------------------------------------------------------

CQ5Usb::~CQ5Usb() {
    CQ5Usb::Close();
}

int CQ5Usb::Intialize() {
    return Tovek_Q5Usb_Intialize();
}

int CQ5Usb::UnIntialize() {
    return Tovek_Q5Usb_UnIntialize();
}

int CQ5Usb::GetDeviceCount() {
    return Tovek_Q5Usb_GetDeviceCount();
}

int CQ5Usb::Open(int index) {
    if (handle_ != nullptr) {
        CQ5Usb::Close();
    }
    return Tovek_Q5Usb_Open(index, &handle_);
}

int CQ5Usb::Close() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const int result = Tovek_Q5Usb_Close(handle_);
    // The library has destroyed the device whatever it returned.
    handle_ = nullptr;
    return result;
}

int CQ5Usb::SendCmd(int command) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SendCmd(handle_, command);
}

int CQ5Usb::RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    return Tovek_Q5Usb_RegisterDeviceNotification(receiver);
}

int CQ5Usb::UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) {
    return Tovek_Q5Usb_UpdateDevice(event, header);
}

int CQ5Usb::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetPosition(handle_, window, x, y, width, height);
}

int CQ5Usb::Refresh(int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Refresh(handle_, x, y, width, height);
}

int CQ5Usb::Run() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Run(handle_);
}

int CQ5Usb::Stop() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Stop(handle_);
}

int CQ5Usb::SetStreamCallback(DocumentStreamCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const std::optional<Q5StreamCallback> own = FamilyCallback<Q5StreamCallback>(callback);
    if (!own) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetStreamCallback(handle_, *own, context);
}

int CQ5Usb::SetSampleCallback(MediaSampleCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetSampleCallback(handle_, callback, context);
}

int CQ5Usb::GetStreamMediaType(VIDEOINFOHEADER* format) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_GetStreamMediaType(handle_, format);
}

int CQ5Usb::InitDirectShow() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_InitDirectShow(handle_);
}

int CQ5Usb::GetState(int* state) {
    if (handle_ == nullptr || state == nullptr) {
        return kNoDevice;
    }
    *state = kNormalState;
    return 0;
}

int CQ5Usb::VideoCapturePin(CORVANE_OWNER_WINDOW /*owner*/) {
    return 0;
}

int CQ5Usb::GetLastError(std::string* user_text, std::string* debug_text) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return ReadLastError(&Tovek_Q5Usb_GetLastError, handle_, user_text, debug_text);
}

// ---- CRVXUsb -----------------------------------------------------------------------

CRVXUsb::~CRVXUsb() {
    CRVXUsb::Close();
}

int CRVXUsb::Intialize() {
    return Corvane_Intialize();
}

int CRVXUsb::UnIntialize() {
    return Corvane_UnIntialize();
}

int CRVXUsb::GetDeviceCount() {
    return Corvane_GetDeviceCount();
}

int CRVXUsb::Open(int index) {
    if (handle_ != nullptr) {
        CRVXUsb::Close();
    }
    return Corvane_Open(index, &handle_);
}

int CRVXUsb::Close() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const int result = Corvane_Close(handle_);
    handle_ = nullptr;
    return result;
}

int CRVXUsb::SendCmd(int command) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    platform::Sleep(kCommandDelayMs);
    return Corvane_SendCmd(handle_, command);
}

int CRVXUsb::RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    return Corvane_RegisterDeviceNotification(receiver);
}

int CRVXUsb::UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) {
    return Corvane_UpdateDevice(event, header);
}

int CRVXUsb::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_SetPosition(handle_, window, x, y, width, height);
}

int CRVXUsb::Refresh(int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Refresh(handle_, x, y, width, height);
}

int CRVXUsb::Run() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Run(handle_);
}

int CRVXUsb::Stop() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Stop(handle_);
}

int CRVXUsb::SetStreamCallback(DocumentStreamCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const std::optional<StreamCallback> own = FamilyCallback<StreamCallback>(callback);
    if (!own) {
        return kNoDevice;
    }
    return Corvane_SetStreamCallback(handle_, *own, context);
}

int CRVXUsb::SetSampleCallback(MediaSampleCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_SetSampleStreamCallback(handle_, callback, context);
}

int CRVXUsb::GetStreamMediaType(VIDEOINFOHEADER* format) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_GetStreamMediaType(handle_, format);
}

int CRVXUsb::InitDirectShow() {
    return 0;
}

int CRVXUsb::GetState(int* state) {
    if (handle_ == nullptr || state == nullptr) {
        return kNoDevice;
    }
    return Corvane_GetState(handle_, state);
}

int CRVXUsb::VideoCapturePin(CORVANE_OWNER_WINDOW owner) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_VideoCapturePin(handle_, owner);
}

int CRVXUsb::GetLastError(std::string* user_text, std::string* debug_text) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return ReadLastError(&Corvane_GetLastError, handle_, user_text, debug_text);
}

std::unique_ptr<CDocumentCamera> CreateDocumentCamera(DeviceFamily family) {
    switch (family) {
    case DeviceFamily::kQ5:
        return std::make_unique<CM4410>();
    case DeviceFamily::kRVX:
        return std::make_unique<CM4120>();
    case DeviceFamily::kNone:
        break;
    }
    return nullptr;
}

std::unique_ptr<CDocumentCamera> CreateDocumentCamera(std::u16string_view name) {
    return CreateDocumentCamera(DeviceFamilyOf(name));
}
