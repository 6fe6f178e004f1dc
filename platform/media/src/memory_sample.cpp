#include "platform/media.h"

#include <limits>

namespace platform {
namespace {

LONG ClampToLong(size_t value) {
    constexpr auto kMax = static_cast<size_t>(std::numeric_limits<LONG>::max());
    return static_cast<LONG>(value < kMax ? value : kMax);
}

} // namespace

MemorySample::MemorySample(BYTE* data, size_t size, int width, int height, int stride)
    : data_(data), size_(size), width_(width), height_(height), stride_(stride) {
    const size_t frame = (width > 0 && height > 0 && stride > 0)
                             ? static_cast<size_t>(stride) * static_cast<size_t>(height)
                             : 0;
    actual_ = (frame > 0 && frame < size) ? frame : size;
}

MemorySample::MemorySample(BYTE* data, size_t size) : data_(data), size_(size), actual_(size) {}

void MemorySample::SetTime(REFERENCE_TIME start, REFERENCE_TIME end) {
    has_time_ = true;
    start_ = start;
    end_ = end;
}

HRESULT MemorySample::GetPointer(BYTE** buffer) {
    if (buffer == nullptr) {
        return E_POINTER;
    }
    *buffer = data_;
    return S_OK;
}

LONG MemorySample::GetSize() {
    return ClampToLong(size_);
}

LONG MemorySample::GetActualDataLength() {
    return ClampToLong(actual_);
}

HRESULT MemorySample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
    if (start == nullptr || end == nullptr) {
        return E_POINTER;
    }
    *start = has_time_ ? start_ : 0;
    *end = has_time_ ? end_ : 0;
    return has_time_ ? S_OK : VFW_E_SAMPLE_TIME_NOT_SET;
}

} // namespace platform
