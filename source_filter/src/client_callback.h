// The client's event callback and the callback lock that serialises every
// call to it: driver events and the picture event alike.
#pragma once

#include "platform/thread_annotations.h"
#include "tovek_camera_source.h"

namespace camsrc {

class ClientCallback {
public:
    // Waits for a running call to end, so the old callback is never called
    // after this returns.
    void Set(CameraSourceCallback callback, uintptr_t user) {
        platform::MutexLock lock(lock_);
        callback_ = callback;
        user_ = user;
    }

    void Send(uint32_t event, uintptr_t value1, uintptr_t value2) {
        platform::MutexLock lock(lock_);
        if (callback_ != nullptr) {
            callback_(event, value1, value2, user_);
        }
    }

private:
    platform::Mutex lock_; // the callback lock: guards callback_ and user_, held during each call
    CameraSourceCallback callback_ TOVEK_GUARDED_BY(lock_) = nullptr;
    uintptr_t user_ TOVEK_GUARDED_BY(lock_) = 0;
};

} // namespace camsrc
