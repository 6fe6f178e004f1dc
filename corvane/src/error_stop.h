// The thread that stops a capture graph after a failure. A failure is seen
// on whatever thread posts it, mostly a streaming thread, and stopping the
// graph there would wait for that very thread; so the bus handler only
// requests the stop and this thread carries it out.
#pragma once

#include "platform/thread_annotations.h"
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

namespace corvane {

class ErrorStopThread {
public:
    // stop runs on the thread, once per request handled, with the run
    // generation the failure belongs to; it decides whether that run is
    // still the current one.
    explicit ErrorStopThread(std::function<void(uint32_t generation)> stop);
    // Ends the thread after a stop in progress; a request not yet handled is
    // dropped.
    ~ErrorStopThread();
    ErrorStopThread(const ErrorStopThread&) = delete;
    ErrorStopThread& operator=(const ErrorStopThread&) = delete;

    // Any thread; never waits for a stop. A request not yet handled is
    // replaced by a newer one.
    void Request(uint32_t generation);

private:
    void Loop();

    const std::function<void(uint32_t)> stop_;
    platform::Mutex lock_; // wake_ waits with it
    platform::CondVar wake_;
    std::optional<uint32_t> pending_ TOVEK_GUARDED_BY(lock_);
    bool quit_ TOVEK_GUARDED_BY(lock_) = false;
    std::thread thread_; // last: started once everything above exists
};

} // namespace corvane
