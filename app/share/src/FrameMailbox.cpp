#include "share/FrameMailbox.h"

namespace share {

void FrameMailbox::Publish(const uint8_t* data, size_t length) {
    // Copied outside the lock: readers never wait for a copy.
    Frame frame = std::make_shared<const std::vector<uint8_t>>(data, data + length);
    platform::MutexLock hold(lock_);
    frame_ = std::move(frame);
    ++sequence_;
    changed_.NotifyAll();
}

FrameMailbox::Frame FrameMailbox::WaitNewer(uint64_t* seen, std::chrono::milliseconds timeout) {
    platform::MutexLock hold(lock_);
    const bool fresh = changed_.WaitFor(lock_, timeout, [&] {
        lock_.AssertHeld();
        return closed_ || (frame_ && sequence_ != *seen);
    });
    if (!fresh || closed_)
        return nullptr;
    *seen = sequence_;
    return frame_;
}

FrameMailbox::Frame FrameMailbox::Newest(uint64_t* seen) const {
    platform::MutexLock hold(lock_);
    if (seen != nullptr)
        *seen = sequence_;
    return frame_;
}

uint64_t FrameMailbox::Published() const {
    platform::MutexLock hold(lock_);
    return sequence_;
}

void FrameMailbox::Close() {
    platform::MutexLock hold(lock_);
    closed_ = true;
    changed_.NotifyAll();
}

void FrameMailbox::Open() {
    platform::MutexLock hold(lock_);
    closed_ = false;
    frame_.reset();
}

bool FrameMailbox::Closed() const {
    platform::MutexLock hold(lock_);
    return closed_;
}

} // namespace share
