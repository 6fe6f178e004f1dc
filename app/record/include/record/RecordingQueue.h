// The recording queue: compressed frames on their way from the capture
// libraries' stream callbacks to the recorder's writer thread.
//
// Five frame blocks of kMaxFrameBytes frame bytes and a 4-byte little-endian
// length are allocated once, with the queue, and reused: no frame ever
// allocates. A frame above kMaxFrameBytes, or one that arrives while all five
// blocks are in use, is dropped.
//
// Threads: Append from any number of capture-library threads; Take and
// Release from one writer thread at a time; Clear from any thread. Appending
// copies under the queue lock. Only the writer removes queued blocks, and
// appenders only fill free ones, so the writer reads a taken block without
// the lock while appending goes on.
#pragma once

#include "common/FrameLimits.h"

#include "platform/thread_annotations.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <mutex>

class RecordingQueue {
public:
    static constexpr size_t kBlocks = 5;
    // Frame bytes from the start, the frame's length in the last four bytes.
    static constexpr size_t kBlockBytes = kMaxFrameBytes + 4;

    // A frame taken by the writer; valid until Release.
    struct Frame {
        const uint8_t* data = nullptr;
        uint32_t length = 0;
    };

    RecordingQueue();
    RecordingQueue(const RecordingQueue&) = delete;
    RecordingQueue& operator=(const RecordingQueue&) = delete;

    // Copies length bytes at data into a free block at the queue's end. False
    // (the frame dropped) for no data, a length of 0 or above kMaxFrameBytes,
    // or when no block is free.
    bool Append(const uint8_t* data, size_t length);

    // Writer: the oldest queued frame. With two or more queued it leaves the
    // queue, and Release frees its block; the only one queued stays queued
    // (it is written again until a newer frame arrives). False when empty.
    // One frame at a time: Release before taking the next.
    bool Take(Frame* frame);
    void Release();

    // Frees every queued block. A block the writer holds is freed when it
    // releases it.
    void Clear();

    // Blocks queued (the one the writer holds included while it stays queued).
    size_t Queued() const;

private:
    static constexpr size_t kNone = kBlocks;

    uint8_t* Block(size_t index) const { return blocks_.get() + index * kBlockBytes; }
    void FreeBlock(size_t index) TOVEK_REQUIRES(lock_);

    std::unique_ptr<uint8_t[]> blocks_; // kBlocks x kBlockBytes, allocated once

    mutable platform::Mutex lock_; // the queue lock
    // Block indices, oldest first.
    std::array<size_t, kBlocks> queued_ TOVEK_GUARDED_BY(lock_){};
    size_t queued_count_ TOVEK_GUARDED_BY(lock_) = 0;
    // Block indices ready for Append.
    std::array<size_t, kBlocks> free_ TOVEK_GUARDED_BY(lock_){};
    size_t free_count_ TOVEK_GUARDED_BY(lock_) = 0;
    size_t taken_ TOVEK_GUARDED_BY(lock_) = kNone; // the block the writer holds
    // It is still queued (it was the only one).
    bool taken_queued_ TOVEK_GUARDED_BY(lock_) = false;
    // Clear dropped it while the writer held it.
    bool taken_cleared_ TOVEK_GUARDED_BY(lock_) = false;
};
