// The bytes of queued samples: buffers kept per stream and reused, so that
// queueing stops allocating once the buffers have grown to the samples.
//
// Motion-JPEG frames vary in size and the streams' samples interleave in no
// fixed pattern. A buffer that followed its node across streams, grown to
// exactly each longer sample, would be reallocated for thousands of samples,
// and each new buffer is fresh memory that faults page by page on its first
// copy. Here a buffer goes back to the spare stack of its stream when its
// sample is written, the next sample of that stream takes the most recently
// returned one (still warm in the cache from the write), and a buffer that
// has to grow gets headroom. Audio buffers therefore stay small, and the
// stream with the large samples holds only as many buffers as it has samples
// queued at once.
//
// Not thread-safe: the owner's queue lock guards the pool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace strovi {

// The streams of a file, as queued samples name them.
enum StreamType : int32_t {
    kAudio = 1,
    kVideo0 = 2,
    kVideo1 = 3,
    kVga = 4,
};

// Owned bytes of one queued sample; empty for a zero-length sample.
struct SampleBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
};

// The capacity a buffer grows to when it must hold length bytes: half as much
// again, rounded up to whole pages (never less than length).
uint32_t BufferCapacityFor(uint32_t length);

class SampleBufferPool {
public:
    // Stream types kAudio to kVga (any other shares the spares of kAudio).
    static constexpr int32_t kStreams = kVga;
    // Spares kept per stream: as many samples as a file can queue at once.
    // The stacks are part of the pool, so making one allocates nothing.
    static constexpr size_t kMaxSpares = 1000;

    // Fills *buffer (empty on entry) with a buffer of at least length bytes
    // for a sample of stream_type: the stream's last returned spare, grown
    // when it is too small, else a new one. False when memory runs out
    // (*buffer stays empty). A length of 0 takes no buffer.
    bool Take(int32_t stream_type, uint32_t length, SampleBuffer* buffer);
    // Returns a written sample's buffer to its stream's spares (empty ones
    // are ignored; one beyond kMaxSpares is freed).
    void Give(int32_t stream_type, SampleBuffer* buffer);
    // Frees every spare.
    void Clear();

    size_t Spares(int32_t stream_type) const { return spares_[Slot(stream_type)].count; }

private:
    // The most recently returned buffer on top.
    struct Stack {
        std::array<SampleBuffer, kMaxSpares> buffers;
        size_t count = 0;
    };

    static size_t Slot(int32_t stream_type) {
        return stream_type >= 1 && stream_type <= kStreams ? static_cast<size_t>(stream_type - 1)
                                                           : 0;
    }

    std::array<Stack, kStreams> spares_;
};

} // namespace strovi
