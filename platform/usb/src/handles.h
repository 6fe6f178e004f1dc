// Handle values for drivers and devices: never-reused serial numbers with a
// tag in the low byte, so a stale handle is told apart from one that never
// existed, and neither is ever dereferenced.
#pragma once

#include "platform/thread_annotations.h"
#include <cstdint>
#include <memory>

#include <mutex>
#include <unordered_map>

namespace platform::usb {

enum class HandleState { kLive, kRetired, kInvalid };

template <class T>
class HandleTable {
public:
    explicit HandleTable(uint8_t tag) : tag_(tag) {}

    void* Add(std::shared_ptr<T> object) {
        platform::MutexLock lock(mutex_);
        uintptr_t serial = next_serial_++;
        void* handle = reinterpret_cast<void*>((serial << 8) | tag_);
        live_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> Find(void* handle, HandleState* state) const {
        platform::MutexLock lock(mutex_);
        auto it = live_.find(handle);
        if (it != live_.end()) {
            *state = HandleState::kLive;
            return it->second;
        }
        *state = Issued(handle) ? HandleState::kRetired : HandleState::kInvalid;
        return nullptr;
    }

    // The object, no longer reachable through handle; null when it was not live.
    std::shared_ptr<T> Retire(void* handle) {
        platform::MutexLock lock(mutex_);
        auto it = live_.find(handle);
        if (it == live_.end()) {
            return nullptr;
        }
        std::shared_ptr<T> object = std::move(it->second);
        live_.erase(it);
        return object;
    }

private:
    bool Issued(void* handle) const TOVEK_REQUIRES(mutex_) {
        auto value = reinterpret_cast<uintptr_t>(handle);
        return (value & 0xFF) == tag_ && (value >> 8) != 0 && (value >> 8) < next_serial_;
    }

    const uintptr_t tag_;
    mutable platform::Mutex mutex_;
    std::unordered_map<void*, std::shared_ptr<T>> live_ TOVEK_GUARDED_BY(mutex_);
    uintptr_t next_serial_ TOVEK_GUARDED_BY(mutex_) = 1;
};

} // namespace platform::usb
