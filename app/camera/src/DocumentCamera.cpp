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
    char user[DocumentCamera::kMaxErrorText];
    char debug[DocumentCamera::kMaxErrorText];
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

// ---- Q5Camera ------------------------------------------------------------------------

Q5Camera::~Q5Camera() {
    Q5Camera::Close();
}

int Q5Camera::Initialize() {
    return Tovek_Q5Usb_Intialize();
}

int Q5Camera::Uninitialize() {
    return Tovek_Q5Usb_UnIntialize();
}

int Q5Camera::GetDeviceCount() {
    return Tovek_Q5Usb_GetDeviceCount();
}

int Q5Camera::Open(int index) {
    if (handle_ != nullptr) {
        Q5Camera::Close();
    }
    return Tovek_Q5Usb_Open(index, &handle_);
}

void Q5Camera::CancelOpen() {
    Tovek_Q5Usb_CancelOpen();
}

int Q5Camera::Close() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const int result = Tovek_Q5Usb_Close(handle_);
    // The library has destroyed the device whatever it returned.
    handle_ = nullptr;
    return result;
}

int Q5Camera::SendCmd(int command) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SendCmd(handle_, command);
}

int Q5Camera::RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    return Tovek_Q5Usb_RegisterDeviceNotification(receiver);
}

int Q5Camera::UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) {
    return Tovek_Q5Usb_UpdateDevice(event, header);
}

int Q5Camera::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetPosition(handle_, window, x, y, width, height);
}

int Q5Camera::Refresh(int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Refresh(handle_, x, y, width, height);
}

int Q5Camera::Run() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Run(handle_);
}

int Q5Camera::Stop() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_Stop(handle_);
}

int Q5Camera::SetStreamCallback(DocumentStreamCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const std::optional<Q5StreamCallback> own = FamilyCallback<Q5StreamCallback>(callback);
    if (!own) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetStreamCallback(handle_, *own, context);
}

int Q5Camera::SetSampleCallback(MediaSampleCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_SetSampleCallback(handle_, callback, context);
}

int Q5Camera::GetStreamMediaType(VIDEOINFOHEADER* format) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_GetStreamMediaType(handle_, format);
}

int Q5Camera::InitDirectShow() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Tovek_Q5Usb_InitDirectShow(handle_);
}

int Q5Camera::GetState(int* state) {
    if (handle_ == nullptr || state == nullptr) {
        return kNoDevice;
    }
    *state = kNormalState;
    return 0;
}

int Q5Camera::VideoCapturePin(CORVANE_OWNER_WINDOW /*owner*/) {
    return 0;
}

int Q5Camera::GetLastError(std::string* user_text, std::string* debug_text) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return ReadLastError(&Tovek_Q5Usb_GetLastError, handle_, user_text, debug_text);
}

// ---- RvxCamera -----------------------------------------------------------------------

RvxCamera::~RvxCamera() {
    RvxCamera::Close();
}

int RvxCamera::Initialize() {
    cancelled_.store(false);
    return Corvane_Intialize();
}

int RvxCamera::Uninitialize() {
    return Corvane_UnIntialize();
}

int RvxCamera::GetDeviceCount() {
    return Corvane_GetDeviceCount();
}

int RvxCamera::Open(int index) {
    if (handle_ != nullptr) {
        RvxCamera::Close();
    }
    const int result = Corvane_Open(index, &handle_);
    last_command_ms_ = platform::GetTickCount();
    return result;
}

int RvxCamera::Close() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const int result = Corvane_Close(handle_);
    handle_ = nullptr;
    return result;
}

int RvxCamera::SendCmd(int command) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    if (const uint32_t wait = CommandWaitMs(); wait != 0)
        platform::Sleep(wait);
    const int result = Corvane_SendCmd(handle_, command);
    last_command_ms_ = platform::GetTickCount();
    return result;
}

uint32_t RvxCamera::CommandWaitMs() const {
    const uint32_t since = platform::GetTickCount() - last_command_ms_;
    return since < kCommandDelayMs ? kCommandDelayMs - since : 0;
}

int RvxCamera::RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) {
    return Corvane_RegisterDeviceNotification(receiver);
}

int RvxCamera::UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) {
    if (cancelled_.load())
        return -1;
    return Corvane_UpdateDevice(event, header);
}

void RvxCamera::CancelOpen() {
    cancelled_.store(true);
    Corvane_CancelOpen();
}

int RvxCamera::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_SetPosition(handle_, window, x, y, width, height);
}

int RvxCamera::Refresh(int x, int y, int width, int height) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Refresh(handle_, x, y, width, height);
}

int RvxCamera::Run() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Run(handle_);
}

int RvxCamera::Stop() {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_Stop(handle_);
}

int RvxCamera::SetStreamCallback(DocumentStreamCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    const std::optional<StreamCallback> own = FamilyCallback<StreamCallback>(callback);
    if (!own) {
        return kNoDevice;
    }
    return Corvane_SetStreamCallback(handle_, *own, context);
}

int RvxCamera::SetSampleCallback(MediaSampleCallback callback, void* context) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_SetSampleStreamCallback(handle_, callback, context);
}

int RvxCamera::GetStreamMediaType(VIDEOINFOHEADER* format) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_GetStreamMediaType(handle_, format);
}

int RvxCamera::InitDirectShow() {
    return 0;
}

int RvxCamera::GetState(int* state) {
    if (handle_ == nullptr || state == nullptr) {
        return kNoDevice;
    }
    return Corvane_GetState(handle_, state);
}

int RvxCamera::VideoCapturePin(CORVANE_OWNER_WINDOW owner) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return Corvane_VideoCapturePin(handle_, owner);
}

int RvxCamera::GetLastError(std::string* user_text, std::string* debug_text) {
    if (handle_ == nullptr) {
        return kNoDevice;
    }
    return ReadLastError(&Corvane_GetLastError, handle_, user_text, debug_text);
}

std::unique_ptr<DocumentCamera> CreateDocumentCamera(DeviceFamily family) {
    switch (family) {
    case DeviceFamily::kQ5:
        return std::make_unique<Q5Camera>();
    case DeviceFamily::kRVX:
        return std::make_unique<RvxCamera>();
    case DeviceFamily::kNone:
        break;
    }
    return nullptr;
}

std::unique_ptr<DocumentCamera> CreateDocumentCamera(std::u16string_view name) {
    return CreateDocumentCamera(DeviceFamilyOf(name));
}
