// Mutex, manual-reset event and thread helpers over the standard library.
#include "platform/thread_annotations.h"
#include "platform/usb.h"

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

namespace {

// A lock with a bounded wait, built on std::mutex and a condition variable
// rather than std::timed_mutex: the thread sanitizer does not see the
// timed_mutex's timed lock (pthread_mutex_clocklock) and would report every
// access it orders as a race.
struct OsMutex {
    platform::Mutex mutex;
    platform::CondVar released;
    bool locked TOVEK_GUARDED_BY(mutex) = false;
};

struct OsEvent {
    platform::Mutex mutex;
    platform::CondVar cv;
    bool signalled TOVEK_GUARDED_BY(mutex) = false;
};

struct OsThread {
    std::thread thread;
};

} // namespace

extern "C" {

WD_STATUS OsMutexCreate(OS_HANDLE* mutex) {
    if (mutex == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    *mutex = new (std::nothrow) OsMutex;
    return *mutex != nullptr ? WD_STATUS_SUCCESS : WD_INSUFFICIENT_RESOURCES;
}

void OsMutexLock(OS_HANDLE mutex) {
    if (mutex != nullptr) {
        OsMutexLockTimeout(mutex, WD_INFINITE);
    }
}

WD_STATUS OsMutexLockTimeout(OS_HANDLE mutex, uint32_t timeout_ms) {
    if (mutex == nullptr) {
        return WD_INVALID_HANDLE;
    }
    auto* m = static_cast<OsMutex*>(mutex);
    platform::MutexLock lock(m->mutex);
    const auto free = [m] {
        m->mutex.AssertHeld();
        return !m->locked;
    };
    if (timeout_ms == WD_INFINITE) {
        m->released.Wait(m->mutex, free);
    } else if (!m->released.WaitFor(m->mutex, std::chrono::milliseconds(timeout_ms), free)) {
        return WD_TIME_OUT_EXPIRED;
    }
    m->locked = true;
    return WD_STATUS_SUCCESS;
}

void OsMutexUnlock(OS_HANDLE mutex) {
    if (mutex != nullptr) {
        auto* m = static_cast<OsMutex*>(mutex);
        {
            platform::MutexLock lock(m->mutex);
            m->locked = false;
        }
        m->released.NotifyOne();
    }
}

void OsMutexClose(OS_HANDLE mutex) {
    delete static_cast<OsMutex*>(mutex);
}

WD_STATUS OsEventCreate(OS_HANDLE* event) {
    if (event == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    *event = new (std::nothrow) OsEvent;
    return *event != nullptr ? WD_STATUS_SUCCESS : WD_INSUFFICIENT_RESOURCES;
}

WD_STATUS OsEventSignal(OS_HANDLE event) {
    if (event == nullptr) {
        return WD_INVALID_HANDLE;
    }
    auto* e = static_cast<OsEvent*>(event);
    {
        platform::MutexLock lock(e->mutex);
        e->signalled = true;
    }
    e->cv.NotifyAll();
    return WD_STATUS_SUCCESS;
}

WD_STATUS OsEventReset(OS_HANDLE event) {
    if (event == nullptr) {
        return WD_INVALID_HANDLE;
    }
    auto* e = static_cast<OsEvent*>(event);
    platform::MutexLock lock(e->mutex);
    e->signalled = false;
    return WD_STATUS_SUCCESS;
}

WD_STATUS OsEventWait(OS_HANDLE event, uint32_t timeout_ms) {
    if (event == nullptr) {
        return WD_INVALID_HANDLE;
    }
    auto* e = static_cast<OsEvent*>(event);
    platform::MutexLock lock(e->mutex);
    auto signalled = [e] {
        e->mutex.AssertHeld();
        return e->signalled;
    };
    if (timeout_ms == WD_INFINITE) {
        e->cv.Wait(e->mutex, signalled);
        return WD_STATUS_SUCCESS;
    }
    return e->cv.WaitFor(e->mutex, std::chrono::milliseconds(timeout_ms), signalled)
               ? WD_STATUS_SUCCESS
               : WD_TIME_OUT_EXPIRED;
}

void OsEventClose(OS_HANDLE event) {
    delete static_cast<OsEvent*>(event);
}

WD_STATUS ThreadStart(OS_HANDLE* thread, THREAD_FUNC func, void* context) {
    if (thread == nullptr || func == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    *thread = nullptr;
    auto* t = new (std::nothrow) OsThread;
    if (t == nullptr) {
        return WD_INSUFFICIENT_RESOURCES;
    }
    try {
        t->thread = std::thread(func, context);
    } catch (const std::system_error&) {
        delete t;
        return WD_INSUFFICIENT_RESOURCES;
    }
    *thread = t;
    return WD_STATUS_SUCCESS;
}

void ThreadWait(OS_HANDLE thread) {
    auto* t = static_cast<OsThread*>(thread);
    if (t == nullptr) {
        return;
    }
    if (t->thread.get_id() == std::this_thread::get_id()) {
        t->thread.detach(); // joining itself would never return
    } else if (t->thread.joinable()) {
        t->thread.join();
    }
    delete t;
}

} // extern "C"
