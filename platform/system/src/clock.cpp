#include "platform/system.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {
// The installed fake clock, if any; read by every thread that asks the time.
std::atomic<FakeClock*> g_fake_clock{nullptr};
// Threads reading the installed fake clock right now. A test's clock often
// goes out of scope while a library thread still asks the time; its
// destructor waits for them, so none reads a clock that is gone.
std::atomic<int> g_fake_clock_readers{0};

// The fake clock for the length of one read, or nullptr for the real one.
// The program itself never installs one and pays one atomic load.
class FakeClockRead {
public:
    FakeClockRead() {
        if (g_fake_clock.load() == nullptr)
            return;
        g_fake_clock_readers.fetch_add(1);
        counted_ = true;
        clock_ = g_fake_clock.load(); // again: it may have gone meanwhile
    }
    ~FakeClockRead() {
        if (counted_)
            g_fake_clock_readers.fetch_sub(1);
    }
    FakeClockRead(const FakeClockRead&) = delete;
    FakeClockRead& operator=(const FakeClockRead&) = delete;
    FakeClock* get() const { return clock_; }

private:
    FakeClock* clock_ = nullptr;
    bool counted_ = false;
};
// Set where the program is put together; read by the back-end choices.
std::atomic<bool> g_emulated_devices_requested{false};
} // namespace

FakeClock::FakeClock(uint32_t start_ms) : now_ms_(start_ms) {
    g_fake_clock.store(this);
}

FakeClock::~FakeClock() {
    FakeClock* self = this;
    g_fake_clock.compare_exchange_strong(self, nullptr);
    // A reader counted before the clock went either holds it or saw nullptr;
    // either way it is done in a few instructions.
    while (g_fake_clock_readers.load() != 0)
        std::this_thread::yield();
}

uint32_t GetTickCount() {
    {
        const FakeClockRead read;
        if (FakeClock* fake = read.get())
            return fake->Now();
    }
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t ms) {
    bool faked = false;
    {
        const FakeClockRead read;
        if (FakeClock* fake = read.get()) {
            fake->slept_ms_.fetch_add(ms);
            fake->now_ms_.fetch_add(ms);
            faked = true;
        }
    }
    if (faked) {
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

bool AutoResetEvent::SleepUnlessSet(uint32_t ms) {
    bool faked = false;
    {
        const FakeClockRead read;
        faked = read.get() != nullptr;
    }
    if (!faked)
        return Wait(ms);
    Sleep(ms);
    MutexLock lock(mutex_);
    const bool was_set = signalled_;
    signalled_ = false;
    return was_set;
}

void SetEmulatedDevicesRequested(bool requested) {
    g_emulated_devices_requested.store(requested);
}

bool EmulatedDevicesRequested() {
    return g_emulated_devices_requested.load();
}

} // namespace platform
