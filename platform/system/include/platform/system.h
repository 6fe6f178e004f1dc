// System services the rest of TovekCamera builds on: the millisecond tick
// clock and sleep (replaceable in tests), an auto-reset event, program and
// documents folders, free disk space, the single-instance lock, text
// conversion, the beep, and whether the program asked for emulated devices.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/thread_annotations.h"

namespace platform {

// ---- clock -----------------------------------------------------------------

// Milliseconds since an arbitrary start, 32 bits, wrapping like GetTickCount.
// Differences computed in uint32_t stay correct across the wrap.
uint32_t GetTickCount();
// Sleeps through the replaceable clock, so a fake clock advances instead.
void Sleep(uint32_t ms);

// A clock that tests install in place of the real one. While installed,
// GetTickCount returns Now() and Sleep(ms) advances it by ms without waiting.
// Only one may be installed at a time; the destructor puts the real clock back.
class FakeClock {
public:
    explicit FakeClock(uint32_t start_ms = 1000);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    uint32_t Now() const { return now_ms_.load(); }
    void Advance(uint32_t ms) { now_ms_.fetch_add(ms); }
    void Set(uint32_t ms) { now_ms_.store(ms); }
    // Total milliseconds that Sleep was asked for while this clock was installed.
    uint64_t Slept() const { return slept_ms_.load(); }

private:
    friend void Sleep(uint32_t ms);
    std::atomic<uint32_t> now_ms_;
    std::atomic<uint64_t> slept_ms_{0};
};

// ---- auto-reset event ------------------------------------------------------

// Set wakes one waiter (or the next one to wait) and the event resets itself.
class AutoResetEvent {
public:
    void Set();
    void Reset();
    // True when the event was set within timeout_ms; waits on the real
    // clock (a bounded wait even while a fake clock is installed).
    bool Wait(uint32_t timeout_ms);
    // Sleeps ms through the replaceable clock, as Sleep does, but wakes when
    // the event is set; true when it was. A fake clock advances by ms at once.
    bool SleepUnlessSet(uint32_t ms);

private:
    Mutex mutex_;
    CondVar cv_;
    bool signalled_ TOVEK_GUARDED_BY(mutex_) = false;
};

// ---- folders -----------------------------------------------------------------

// Full path of the running executable ("/proc/self/exe"), empty on failure.
std::string ProgramPath();
// Folder of the executable, ending in '/'.
std::string ProgramFolder();
// The user's documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents when it
// exists, else $HOME), without a trailing '/'.
std::string DocumentsFolder();

// Total free bytes (free blocks x fragment size) of the file system holding
// folder; false when it cannot be measured.
bool GetFreeBytes(const std::string& folder, uint64_t* free_bytes);
// Replaces GetFreeBytes for tests; nullptr restores the real measurement.
using FreeBytesFn = bool (*)(const std::string& folder, uint64_t* free_bytes);
void SetFreeBytesFunction(FreeBytesFn fn);

// ---- single instance -------------------------------------------------------

// An exclusive lock file in $XDG_RUNTIME_DIR (else the temp folder) named after
// name. Held while the object lives (and released by the kernel when the
// process ends).
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; false when another does.
    bool Acquire(const std::string& name);
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// ---- text conversion ---------------------------------------------------------
// UTF-8 stands for the ANSI code page. Invalid input becomes U+FFFD; nothing
// throws.

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::u16string WideToUtf16(std::wstring_view wide);
std::wstring Utf16ToWide(std::u16string_view utf16);

// Non-allocating forms for fixed buffers: convert as much as fits in cap units
// without splitting a character, and return the number of units written.
size_t WideToUtf16(const wchar_t* src, size_t len, char16_t* dst, size_t cap);
size_t WideToUtf8(const wchar_t* src, size_t len, char* dst, size_t cap);

// ---- beep ------------------------------------------------------------------

// Plays a tone where a sound output exists; silent otherwise. Returns at once.
// Defined in the tovek_beep library.
void Beep(uint32_t frequency_hz, uint32_t duration_ms);
// Replaces Beep for tests; nullptr restores the real one.
using BeepFn = void (*)(uint32_t frequency_hz, uint32_t duration_ms);
void SetBeepFunction(BeepFn fn);

// ---- emulated devices --------------------------------------------------------

// Whether this process runs on emulated devices instead of real ones. No
// library decides that: the part of a program that puts it together does
// (sim/install sets it when it installs the emulated devices; a test that
// installs only some of them may set it itself). Back ends read it when they
// are chosen: platform/usb at each WDU_Init, platform/devices at the first
// Devices() call. False until set. Any thread.
void SetEmulatedDevicesRequested(bool requested);
bool EmulatedDevicesRequested();

} // namespace platform
