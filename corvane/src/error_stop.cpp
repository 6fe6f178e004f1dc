#include "error_stop.h"

#include <pthread.h>

namespace corvane {

ErrorStopThread::ErrorStopThread(std::function<void(uint32_t)> stop)
    : stop_(std::move(stop)), thread_(&ErrorStopThread::Loop, this) {}

ErrorStopThread::~ErrorStopThread() {
    {
        platform::MutexLock lock(lock_);
        quit_ = true;
    }
    wake_.NotifyAll();
    thread_.join();
}

void ErrorStopThread::Request(uint32_t generation) {
    {
        platform::MutexLock lock(lock_);
        pending_ = generation;
    }
    wake_.NotifyAll();
}

void ErrorStopThread::Loop() {
    pthread_setname_np(pthread_self(), "corvane-errors");
    platform::MutexLock lock(lock_);
    for (;;) {
        wake_.Wait(lock_, [this] {
            lock_.AssertHeld();
            return quit_ || pending_.has_value();
        });
        if (quit_) {
            return;
        }
        const uint32_t generation = *pending_;
        pending_.reset();
        lock.Unlock();
        stop_(generation);
        lock.Lock();
    }
}

} // namespace corvane
