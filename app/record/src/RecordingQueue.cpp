#include "record/RecordingQueue.h"

#include <algorithm>
#include <cstring>

namespace {

void StoreLength(uint8_t* at, uint32_t length) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(length >> (8 * i));
}

uint32_t LoadLength(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

} // namespace

RecordingQueue::RecordingQueue() : blocks_(new uint8_t[kBlocks * kBlockBytes]) {
    // Untouched pages cost no memory until a frame of that size arrives.
    for (size_t i = 0; i < kBlocks; ++i)
        free_[free_count_++] = i;
}

bool RecordingQueue::Append(const uint8_t* data, size_t length) {
    if (data == nullptr || length == 0 || length > kMaxFrameBytes)
        return false;
    platform::MutexLock hold(lock_);
    if (free_count_ == 0)
        return false;
    const size_t index = free_[--free_count_];
    uint8_t* block = Block(index);
    std::memcpy(block, data, length);
    StoreLength(block + kMaxFrameBytes, static_cast<uint32_t>(length));
    queued_[queued_count_++] = index;
    return true;
}

bool RecordingQueue::Take(Frame* frame) {
    platform::MutexLock hold(lock_);
    if (queued_count_ == 0 || taken_ != kNone)
        return false;
    taken_ = queued_[0];
    taken_queued_ = queued_count_ == 1;
    if (!taken_queued_) {
        std::copy(queued_.begin() + 1, queued_.begin() + queued_count_, queued_.begin());
        --queued_count_;
    }
    const uint8_t* block = Block(taken_);
    frame->data = block;
    frame->length = LoadLength(block + kMaxFrameBytes);
    return true;
}

void RecordingQueue::Release() {
    platform::MutexLock hold(lock_);
    if (taken_ == kNone)
        return;
    if (!taken_queued_ || taken_cleared_)
        FreeBlock(taken_);
    taken_ = kNone;
    taken_queued_ = false;
    taken_cleared_ = false;
}

void RecordingQueue::Clear() {
    platform::MutexLock hold(lock_);
    for (size_t i = 0; i < queued_count_; ++i) {
        if (queued_[i] == taken_)
            taken_cleared_ = true; // freed by Release: the writer still reads it
        else
            FreeBlock(queued_[i]);
    }
    queued_count_ = 0;
}

size_t RecordingQueue::Queued() const {
    platform::MutexLock hold(lock_);
    return queued_count_;
}

void RecordingQueue::FreeBlock(size_t index) {
    free_[free_count_++] = index;
}
