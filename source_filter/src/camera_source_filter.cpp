#include "camera_source_filter.h"

#include "q5_usb.h"

#include <atomic>

namespace camsrc {
namespace {

// True while a filter holds the process-wide driver.
std::atomic<bool> g_driver_taken{false};

constexpr int32_t kMaxJpegDimension = 65535;

HRESULT ControlThunk(ICameraSourceControl* self, int32_t code) {
    return CameraSourceFilter::FromInterface(self)->Control(code);
}
HRESULT SendCommandThunk(ICameraSourceControl* self, uint32_t command) {
    return CameraSourceFilter::FromInterface(self)->SendCommand(command);
}
HRESULT SetCallbackThunk(ICameraSourceControl* self, CameraSourceCallback callback,
                         uintptr_t user) {
    return CameraSourceFilter::FromInterface(self)->SetCallback(callback, user);
}
HRESULT GetFrameSizeThunk(ICameraSourceControl* self, int32_t* width, int32_t* height) {
    return CameraSourceFilter::FromInterface(self)->GetFrameSize(width, height);
}
HRESULT SetFrameSizeThunk(ICameraSourceControl* self, int32_t width, int32_t height) {
    return CameraSourceFilter::FromInterface(self)->SetFrameSize(width, height);
}

const ICameraSourceControlVtbl kControlVtbl = {ControlThunk, SendCommandThunk, SetCallbackThunk,
                                               GetFrameSizeThunk, SetFrameSizeThunk};

} // namespace

CameraSourceFilter::CameraSourceFilter(const CameraFrameSource::GiveUp& give_up)
    : table_{{&kControlVtbl}, this} {
    bool expected = false;
    owns_driver_ = g_driver_taken.compare_exchange_strong(expected, true);
    if (owns_driver_) {
        pin_ = std::make_unique<CameraSourcePin>(client_, give_up);
    }
}

CameraSourceFilter::~CameraSourceFilter() {
    pin_.reset();
    if (owns_driver_) {
        g_driver_taken.store(false);
    }
}

CameraSourceFilter* CameraSourceFilter::FromInterface(ICameraSourceControl* iface) {
    return reinterpret_cast<Table*>(iface)->owner;
}

HRESULT CameraSourceFilter::Control(int32_t code) {
    if (!pin_) {
        return S_FALSE;
    }
    platform::MutexLock control(control_lock_);
    pin_->Control(code);
    return S_OK;
}

HRESULT CameraSourceFilter::SendCommand(uint32_t command) {
    if (!pin_) {
        return S_FALSE; // the driver belongs to another filter
    }
    return TovekCameraControl(command & 0xFF) == 0 ? S_OK : S_FALSE;
}

HRESULT CameraSourceFilter::SetCallback(CameraSourceCallback callback, uintptr_t user) {
    client_.Set(callback, user);
    return S_OK;
}

HRESULT CameraSourceFilter::GetFrameSize(int32_t* width, int32_t* height) {
    if (width == nullptr || height == nullptr || !pin_) {
        return E_FAIL;
    }
    return pin_->Camera().PictureSize(width, height) ? S_OK : E_FAIL;
}

HRESULT CameraSourceFilter::SetFrameSize(int32_t width, int32_t height) {
    if (!pin_) {
        return E_UNEXPECTED;
    }
    if (width < 1 || height < 1 || width > kMaxJpegDimension || height > kMaxJpegDimension) {
        return E_INVALIDARG;
    }
    pin_->SetAnnouncedSize(width, height);
    return S_OK;
}

} // namespace camsrc
