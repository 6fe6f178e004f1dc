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

SampleBufferPool::SampleBufferPool(size_t max_buffers_per_stream) {
    for (std::vector<SampleBuffer>& stack : spares_) {
        stack.reserve(max_buffers_per_stream);
    }
}

bool SampleBufferPool::Take(int32_t stream_type, uint32_t length, SampleBuffer* buffer) {
    if (length == 0) {
        return true;
    }
    std::vector<SampleBuffer>& stack = Stack(stream_type);
    if (!stack.empty()) {
        *buffer = std::move(stack.back());
        stack.pop_back();
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
    if (buffer->bytes) {
        Stack(stream_type).push_back(std::move(*buffer));
    }
    buffer->bytes.reset();
    buffer->capacity = 0;
}

void SampleBufferPool::Clear() {
    for (std::vector<SampleBuffer>& stack : spares_) {
        stack.clear();
    }
}

} // namespace strovi
