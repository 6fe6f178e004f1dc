// Lock rules the compiler checks: clang's thread-safety analysis
// (-Wthread-safety) reads these attributes; other compilers see nothing.
//
// A field written "TOVEK_GUARDED_BY(lock_)" may be read or written only with
// lock_ held; a function marked "TOVEK_REQUIRES(lock_)" is called with it
// held. std::mutex carries no attributes in libstdc++, so shared state is
// guarded by platform::Mutex below and locked with platform::MutexLock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#if defined(__clang__)
#define TOVEK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOVEK_THREAD_ANNOTATION(x)
#endif

#define TOVEK_CAPABILITY(name) TOVEK_THREAD_ANNOTATION(capability(name))
#define TOVEK_SCOPED_CAPABILITY TOVEK_THREAD_ANNOTATION(scoped_lockable)
#define TOVEK_GUARDED_BY(x) TOVEK_THREAD_ANNOTATION(guarded_by(x))
#define TOVEK_PT_GUARDED_BY(x) TOVEK_THREAD_ANNOTATION(pt_guarded_by(x))
#define TOVEK_ACQUIRED_BEFORE(...) TOVEK_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define TOVEK_ACQUIRED_AFTER(...) TOVEK_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define TOVEK_REQUIRES(...) TOVEK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TOVEK_ACQUIRE(...) TOVEK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TOVEK_RELEASE(...) TOVEK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TOVEK_TRY_ACQUIRE(...) TOVEK_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TOVEK_ACQUIRE_SHARED(...) TOVEK_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define TOVEK_RELEASE_SHARED(...) TOVEK_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define TOVEK_REQUIRES_SHARED(...) TOVEK_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define TOVEK_EXCLUDES(...) TOVEK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define TOVEK_ASSERT_CAPABILITY(x) TOVEK_THREAD_ANNOTATION(assert_capability(x))
#define TOVEK_RETURN_CAPABILITY(x) TOVEK_THREAD_ANNOTATION(lock_returned(x))
#define TOVEK_NO_THREAD_SAFETY_ANALYSIS TOVEK_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace platform {

class CondVar;

// A std::mutex the analysis knows as a capability.
class TOVEK_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Lock() TOVEK_ACQUIRE() { mutex_.lock(); }
    void Unlock() TOVEK_RELEASE() { mutex_.unlock(); }
    bool TryLock() TOVEK_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    // Tells the analysis that the caller holds the lock, where it cannot see
    // it: inside the predicate lambda of a CondVar wait. Checks nothing.
    void AssertHeld() const TOVEK_ASSERT_CAPABILITY(this) {}

    // The standard names, so std::scoped_lock and friends work too (outside
    // the analysis).
    void lock() TOVEK_ACQUIRE() { mutex_.lock(); }
    void unlock() TOVEK_RELEASE() { mutex_.unlock(); }

private:
    friend class CondVar;
    std::mutex mutex_;
};

// Holds mutex from construction to destruction; Unlock and Lock let a
// holder step out of the lock for a while (to call out, or to join).
class TOVEK_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) TOVEK_ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() TOVEK_RELEASE() {
        if (held_) {
            mutex_.Unlock();
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void Unlock() TOVEK_RELEASE() {
        mutex_.Unlock();
        held_ = false;
    }
    void Lock() TOVEK_ACQUIRE() {
        mutex_.Lock();
        held_ = true;
    }

private:
    Mutex& mutex_;
    bool held_ = true;
};

// A std::recursive_mutex the analysis knows as a capability. The analysis
// does not model re-entry: it sees one acquisition per scope, which is what
// each holder writes; re-entry happens only through calls it cannot follow.
class TOVEK_CAPABILITY("mutex") RecursiveMutex {
public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void Lock() TOVEK_ACQUIRE() { mutex_.lock(); }
    void Unlock() TOVEK_RELEASE() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a RecursiveMutex from construction to destruction.
class TOVEK_SCOPED_CAPABILITY RecursiveMutexLock {
public:
    explicit RecursiveMutexLock(RecursiveMutex& mutex) TOVEK_ACQUIRE(mutex) : mutex_(mutex) {
        mutex_.Lock();
    }
    ~RecursiveMutexLock() TOVEK_RELEASE() { mutex_.Unlock(); }
    RecursiveMutexLock(const RecursiveMutexLock&) = delete;
    RecursiveMutexLock& operator=(const RecursiveMutexLock&) = delete;

private:
    RecursiveMutex& mutex_;
};

// A std::shared_mutex the analysis knows as a capability: readers hold it
// shared (ReaderMutexLock), writers alone (WriterMutexLock). A field guarded
// by it may be read under either and written only under the exclusive hold.
class TOVEK_CAPABILITY("mutex") SharedMutex {
public:
    SharedMutex() = default;
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;

    void Lock() TOVEK_ACQUIRE() { mutex_.lock(); }
    void Unlock() TOVEK_RELEASE() { mutex_.unlock(); }
    void LockShared() TOVEK_ACQUIRE_SHARED() { mutex_.lock_shared(); }
    void UnlockShared() TOVEK_RELEASE_SHARED() { mutex_.unlock_shared(); }

private:
    std::shared_mutex mutex_;
};

// Holds a SharedMutex alone from construction to destruction.
class TOVEK_SCOPED_CAPABILITY WriterMutexLock {
public:
    explicit WriterMutexLock(SharedMutex& mutex) TOVEK_ACQUIRE(mutex) : mutex_(mutex) {
        mutex_.Lock();
    }
    ~WriterMutexLock() TOVEK_RELEASE() { mutex_.Unlock(); }
    WriterMutexLock(const WriterMutexLock&) = delete;
    WriterMutexLock& operator=(const WriterMutexLock&) = delete;

private:
    SharedMutex& mutex_;
};

// Holds a SharedMutex shared from construction to destruction.
class TOVEK_SCOPED_CAPABILITY ReaderMutexLock {
public:
    explicit ReaderMutexLock(SharedMutex& mutex) TOVEK_ACQUIRE_SHARED(mutex) : mutex_(mutex) {
        mutex_.LockShared();
    }
    ~ReaderMutexLock() TOVEK_RELEASE() { mutex_.UnlockShared(); }
    ReaderMutexLock(const ReaderMutexLock&) = delete;
    ReaderMutexLock& operator=(const ReaderMutexLock&) = delete;

private:
    SharedMutex& mutex_;
};

// A condition variable over platform::Mutex. Every wait is called with the
// mutex held and returns with it held again. A predicate reads guarded
// fields from a lambda, which the analysis checks on its own: begin it with
// mutex.AssertHeld().
class CondVar {
public:
    void NotifyOne() { cv_.notify_one(); }
    void NotifyAll() { cv_.notify_all(); }

    void Wait(Mutex& mutex) TOVEK_REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        cv_.wait(lock);
        lock.release();
    }
    template <class Predicate>
    void Wait(Mutex& mutex, Predicate done) TOVEK_REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        cv_.wait(lock, done);
        lock.release();
    }
    // False when timeout passed (a spurious wake-up may return true early).
    template <class Rep, class Period>
    bool WaitFor(Mutex& mutex, std::chrono::duration<Rep, Period> timeout) TOVEK_REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        const bool woken = cv_.wait_for(lock, timeout) == std::cv_status::no_timeout;
        lock.release();
        return woken;
    }
    // done() at return: false when timeout passed first.
    template <class Rep, class Period, class Predicate>
    bool WaitFor(Mutex& mutex, std::chrono::duration<Rep, Period> timeout, Predicate done)
        TOVEK_REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        const bool result = cv_.wait_for(lock, timeout, done);
        lock.release();
        return result;
    }
    template <class Clock, class Duration, class Predicate>
    bool WaitUntil(Mutex& mutex, std::chrono::time_point<Clock, Duration> deadline, Predicate done)
        TOVEK_REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        const bool result = cv_.wait_until(lock, deadline, done);
        lock.release();
        return result;
    }

private:
    std::condition_variable cv_;
};

} // namespace platform
