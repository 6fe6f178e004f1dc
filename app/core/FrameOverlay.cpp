#include "FrameOverlay.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Blue and green of a pixel read as a little-endian 32-bit value.
constexpr uint32_t kKeyMask = 0x0000FFFFu;
constexpr uint32_t kKeyBits = 0x0000FEFEu;

inline uint32_t Load(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline bool Transparent(const uint8_t* p) {
    return (Load(p) & kKeyMask) == kKeyBits;
}

// Copies the non-transparent pixels of src[0, count) onto dst. Branch-free
// per pixel: an overlay drawn in many small pieces would otherwise cost a
// mispredicted branch every few pixels.
void CompositeSpan(uint8_t* dst, const uint8_t* src, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kKeyMask));
    const __m128i key = _mm_set1_epi32(static_cast<int>(kKeyBits));
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        const __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(s, mask), key);
        if (_mm_movemask_epi8(keep) == 0xFFFF)
            continue; // four transparent pixels: the frame stays untouched
        auto* d = reinterpret_cast<__m128i*>(dst + i * 4);
        const __m128i old = _mm_loadu_si128(d);
        _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, s)));
    }
#endif
    for (; i < count; ++i) {
        if (!Transparent(src + i * 4))
            std::memcpy(dst + i * 4, src + i * 4, 4);
    }
}

// Index of the first non-transparent pixel of row[from, to), or to.
int FirstDrawn(const uint8_t* row, int from, int to) {
    int x = from;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kKeyMask));
    const __m128i key = _mm_set1_epi32(static_cast<int>(kKeyBits));
    for (; x + 4 <= to; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x * 4));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, mask), key)) != 0xFFFF)
            break;
    }
#endif
    for (; x < to; ++x) {
        if (!Transparent(row + x * 4))
            return x;
    }
    return to;
}

// One past the last non-transparent pixel of row[from, to), or from.
int EndDrawn(const uint8_t* row, int from, int to) {
    int x = to;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kKeyMask));
    const __m128i key = _mm_set1_epi32(static_cast<int>(kKeyBits));
    for (; x - 4 >= from; x -= 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + (x - 4) * 4));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, mask), key)) != 0xFFFF)
            break;
    }
#endif
    for (; x > from; --x) {
        if (!Transparent(row + (x - 1) * 4))
            return x;
    }
    return from;
}

bool ValidGeometry(const uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                   int height) {
    return frame != nullptr && overlay != nullptr && width > 0 && height > 0 &&
           static_cast<int64_t>(frame_stride) >= static_cast<int64_t>(width) * 4;
}

} // namespace

void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height) {
    if (!ValidGeometry(frame, frame_stride, overlay, width, height))
        return;
    for (int y = 0; y < height; ++y)
        CompositeSpan(frame + static_cast<size_t>(y) * frame_stride,
                      overlay + static_cast<size_t>(y) * width * 4, width);
}

void ClearOverlayExtent(OverlayExtent* extent, int width, int height) {
    const bool trackable = width > 0 && height > 0 && height <= kMaxOverlayRows;
    extent->width = trackable ? width : 0;
    extent->height = trackable ? height : 0;
    extent->first_row = 0;
    extent->end_row = 0;
}

void ScanOverlayExtent(const uint8_t* overlay, int width, int height, int left, int top, int right,
                       int bottom, OverlayExtent* extent) {
    ClearOverlayExtent(extent, width, height);
    if (extent->width == 0 || overlay == nullptr)
        return;
    left = std::clamp(left, 0, width);
    right = std::clamp(right, left, width);
    top = std::clamp(top, 0, height);
    bottom = std::clamp(bottom, top, height);
    extent->first_row = bottom;
    extent->end_row = top;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* row = overlay + static_cast<size_t>(y) * width * 4;
        OverlaySpan& span = extent->rows[y];
        span.begin = FirstDrawn(row, left, right);
        span.end = span.begin < right ? EndDrawn(row, span.begin, right) : span.begin;
        if (span.begin < span.end) {
            extent->first_row = std::min(extent->first_row, y);
            extent->end_row = y + 1;
        }
    }
    if (extent->first_row >= extent->end_row)
        extent->first_row = extent->end_row = 0;
}

void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height, const OverlayExtent& extent) {
    if (extent.width == 0) {
        CompositeOverlay(frame, frame_stride, overlay, width, height);
        return;
    }
    if (extent.width != width || extent.height != height ||
        !ValidGeometry(frame, frame_stride, overlay, width, height))
        return;
    for (int y = extent.first_row; y < extent.end_row; ++y) {
        const OverlaySpan& span = extent.rows[y];
        if (span.begin >= span.end)
            continue;
        CompositeSpan(frame + static_cast<size_t>(y) * frame_stride + span.begin * 4,
                      overlay + (static_cast<size_t>(y) * width + span.begin) * 4,
                      span.end - span.begin);
    }
}

OverlayWorker::OverlayWorker()
    : buffer_(new uint8_t[kMaxFrameBytes]), extent_(std::make_unique<OverlayExtent>()) {
    std::memset(buffer_.get(), 0xFF, kMaxFrameBytes);
    renderer_ = [](uint8_t* overlay, size_t size, OverlayExtent* extent) {
        std::memset(overlay, kTransparentByte, size);
        ClearOverlayExtent(extent, 0, 0);
        return false;
    };
}

OverlayWorker::~OverlayWorker() {
    Stop();
}

void OverlayWorker::SetRenderer(Renderer renderer) {
    // It says nothing about where it drew: everything is composited.
    SetExtentRenderer(
        [renderer = std::move(renderer)](uint8_t* overlay, size_t size, OverlayExtent* extent) {
            ClearOverlayExtent(extent, 0, 0);
            return renderer(overlay, size);
        });
}

void OverlayWorker::SetExtentRenderer(ExtentRenderer renderer) {
    std::lock_guard<std::mutex> guard(lock_);
    renderer_ = std::move(renderer);
}

void OverlayWorker::SetRedrawSource(RedrawSource source) {
    std::lock_guard<std::mutex> guard(lock_);
    source_ = std::move(source);
}

void OverlayWorker::Start() {
    if (thread_.joinable())
        return;
    stop_.store(false);
    thread_ = std::thread([this] { Loop(); });
}

void OverlayWorker::Stop() {
    if (!thread_.joinable())
        return;
    stop_.store(true);
    // The loop signals as it leaves; then nothing of it runs any more.
    while (!done_.Wait(1000)) {
    }
    thread_.join();
}

bool OverlayWorker::Turn() {
    if (!playing_.load())
        return false;
    // The request is taken before rendering: one made while the renderer
    // runs asks for another turn instead of being cleared with this one.
    bool requested = redraw_now_.exchange(false);
    if (!requested) {
        int count = redraw_count_.load();
        while (count > 0 && !redraw_count_.compare_exchange_weak(count, count - 1)) {
        }
        requested = count > 0;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!requested && !(source_ && source_()))
        return false;
    present_.store(renderer_(buffer_.get(), kMaxFrameBytes, extent_.get()));
    return true;
}

void OverlayWorker::Composite(uint8_t* frame, int stride, int width, int height) {
    if (!present_.load())
        return;
    std::lock_guard<std::mutex> guard(lock_);
    if (present_.load())
        CompositeOverlay(frame, stride, buffer_.get(), width, height, *extent_);
}

void OverlayWorker::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    std::memset(buffer_.get(), kTransparentByte, kMaxFrameBytes);
    ClearOverlayExtent(extent_.get(), 0, 0);
    present_.store(false);
}

void OverlayWorker::Loop() {
    while (!stop_.load()) {
        // Real time: the poll paces a thread, it measures nothing.
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        Turn();
    }
    done_.Set();
}
