#include "platform/system.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {
// The installed fake clock, if any; read by every thread that asks the time.
std::atomic<FakeClock*> g_fake_clock{nullptr};
// Set where the program is put together; read by the back-end choices.
std::atomic<bool> g_emulated_devices_requested{false};
} // namespace

FakeClock::FakeClock(uint32_t start_ms) : now_ms_(start_ms) {
    g_fake_clock.store(this);
}

FakeClock::~FakeClock() {
    FakeClock* self = this;
    g_fake_clock.compare_exchange_strong(self, nullptr);
}

uint32_t GetTickCount() {
    if (FakeClock* fake = g_fake_clock.load()) {
        return fake->Now();
    }
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t ms) {
    if (FakeClock* fake = g_fake_clock.load()) {
        fake->slept_ms_.fetch_add(ms);
        fake->now_ms_.fetch_add(ms);
        // Let other threads run, as a real sleep would.
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void AutoResetEvent::Set() {
    {
        MutexLock lock(mutex_);
        signalled_ = true;
    }
    cv_.NotifyOne();
}

void AutoResetEvent::Reset() {
    MutexLock lock(mutex_);
    signalled_ = false;
}

bool AutoResetEvent::Wait(uint32_t timeout_ms) {
    MutexLock lock(mutex_);
    if (!cv_.WaitFor(mutex_, std::chrono::milliseconds(timeout_ms), [this] {
            mutex_.AssertHeld();
            return signalled_;
        })) {
        return false;
    }
    signalled_ = false;
    return true;
}

void SetEmulatedDevicesRequested(bool requested) {
    g_emulated_devices_requested.store(requested);
}

bool EmulatedDevicesRequested() {
    return g_emulated_devices_requested.load();
}

} // namespace platform
