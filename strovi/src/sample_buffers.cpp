#include "sample_buffers.h"

#include <new>
#include <utility>

namespace strovi {
namespace {

constexpr uint64_t kPageBytes = 4096;

} // namespace

uint32_t BufferCapacityFor(uint32_t length) {
    const uint64_t grown = (length + length / 2ull + kPageBytes - 1) / kPageBytes * kPageBytes;
    return grown > UINT32_MAX ? length : static_cast<uint32_t>(grown);
}

bool SampleBufferPool::Take(int32_t stream_type, uint32_t length, SampleBuffer* buffer) {
    if (length == 0) {
        return true;
    }
    Stack& stack = spares_[Slot(stream_type)];
    if (stack.count > 0) {
        *buffer = std::move(stack.buffers[--stack.count]);
        if (buffer->capacity >= length) {
            return true;
        }
    }
    // Too small or none at all: the old bytes go before the new ones come,
    // so that growing never holds both.
    buffer->bytes.reset();
    buffer->capacity = 0;
    const uint32_t capacity = BufferCapacityFor(length);
    buffer->bytes.reset(new (std::nothrow) uint8_t[capacity]);
    if (!buffer->bytes) {
        return false;
    }
    buffer->capacity = capacity;
    return true;
}

void SampleBufferPool::Give(int32_t stream_type, SampleBuffer* buffer) {
    Stack& stack = spares_[Slot(stream_type)];
    if (buffer->bytes && stack.count < kMaxSpares) {
        stack.buffers[stack.count++] = std::move(*buffer);
    }
    buffer->bytes.reset();
    buffer->capacity = 0;
}

void SampleBufferPool::Clear() {
    for (Stack& stack : spares_) {
        for (size_t i = 0; i < stack.count; ++i) {
            stack.buffers[i] = SampleBuffer{};
        }
        stack.count = 0;
    }
}

} // namespace strovi
