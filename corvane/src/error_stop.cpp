#include "error_stop.h"

#include <pthread.h>

namespace corvane {

ErrorStopThread::ErrorStopThread(std::function<void(uint32_t)> stop)
    : stop_(std::move(stop)), thread_(&ErrorStopThread::Loop, this) {}

ErrorStopThread::~ErrorStopThread() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ErrorStopThread::Request(uint32_t generation) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        pending_ = generation;
    }
    wake_.notify_all();
}

void ErrorStopThread::Loop() {
    pthread_setname_np(pthread_self(), "corvane-errors");
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
        if (quit_) {
            return;
        }
        const uint32_t generation = *pending_;
        pending_.reset();
        lock.unlock();
        stop_(generation);
        lock.lock();
    }
}

} // namespace corvane
