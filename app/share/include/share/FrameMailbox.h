// The newest shared picture, handed from the encoding thread to every
// viewer's connection. A picture is published once and read by all; a
// viewer that was slow takes the newest one and skips those between: nothing
// queues up.
//
// Threads: any. Every field under lock_.
#pragma once

#include "platform/thread_annotations.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace share {

class FrameMailbox {
public:
    using Frame = std::shared_ptr<const std::vector<uint8_t>>;

    // A copy of the picture becomes the newest; waiting readers wake.
    void Publish(const uint8_t* data, size_t length);
    // The newest picture after the one numbered *seen, waiting for it at most
    // timeout: null when none came or the box is closed. *seen becomes the
    // number of the one given.
    Frame WaitNewer(uint64_t* seen, std::chrono::milliseconds timeout);
    // The newest picture (null: none yet) without waiting.
    Frame Newest(uint64_t* seen = nullptr) const;
    // Published pictures so far.
    uint64_t Published() const;

    // Closed: waiting readers return at once, and Closed() tells them to
    // end. Open again empties the box.
    void Close();
    void Open();
    bool Closed() const;

private:
    mutable platform::Mutex lock_;
    platform::CondVar changed_;
    Frame frame_ TOVEK_GUARDED_BY(lock_);
    uint64_t sequence_ TOVEK_GUARDED_BY(lock_) = 0;
    bool closed_ TOVEK_GUARDED_BY(lock_) = false;
};

} // namespace share
