#include "annotation/FrameOverlay.h"
#include "OverlayPalette.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <pthread.h>

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
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

uint64_t PackSize(int width, int height) {
    const auto side = [](int v) { return static_cast<uint64_t>(v > 0 ? v : 0); };
    return side(width) << 32 | side(height);
}

inline bool Transparent(const uint8_t* p) {
    return OverlayPixelTransparent(Load(p));
}

void CompositeSpanScalar(uint8_t* dst, const uint8_t* src, int count) {
    for (int i = 0; i < count; ++i) {
        uint32_t ink = Load(src + i * 4);
        if (OverlayPixelTransparent(ink))
            continue;
        if (OverlayPixelMultiplies(ink))
            ink = overlay_detail::MultiplyPixel(Load(dst + i * 4), ink);
        std::memcpy(dst + i * 4, &ink, 4);
    }
}

// The vector forms copy the non-transparent pixels of src[0, count) onto dst
// without a branch per pixel (an overlay drawn in many small pieces would
// mispredict every few pixels); a block of eight transparent pixels leaves
// the frame's memory untouched. Multiplying costs several times a copy, so
// it is done only for a block that holds a multiplying pixel.
#if defined(__SSE2__)
// MultiplyPixel on four pixels.
inline __m128i Multiply4(__m128i frame, __m128i ink) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(128);
    // A fourth ink byte of 0xFF keeps the frame's: f x 255 / 255 is f.
    ink = _mm_or_si128(ink, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
    const auto product = [&](__m128i f, __m128i k) {
        const __m128i t = _mm_add_epi16(_mm_mullo_epi16(f, k), half);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    return _mm_packus_epi16(product(_mm_unpacklo_epi8(frame, zero), _mm_unpacklo_epi8(ink, zero)),
                            product(_mm_unpackhi_epi8(frame, zero), _mm_unpackhi_epi8(ink, zero)));
}

// Where mask is set a, elsewhere b.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Lanes of the non-transparent pixels of s that multiply.
inline __m128i Multiplies(__m128i s, __m128i keep) {
    const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i bits =
        _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(kMultiplyByte) << 24));
    return _mm_andnot_si128(keep, _mm_cmpeq_epi32(_mm_and_si128(s, fourth), bits));
}

void CompositeSpanSse2(uint8_t* dst, const uint8_t* src, int count) {
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kKeyMask));
    const __m128i key = _mm_set1_epi32(static_cast<int>(kKeyBits));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const auto* s = reinterpret_cast<const __m128i*>(src + i * 4);
        auto* d = reinterpret_cast<__m128i*>(dst + i * 4);
        __m128i s0 = _mm_loadu_si128(s), s1 = _mm_loadu_si128(s + 1);
        const __m128i keep0 = _mm_cmpeq_epi32(_mm_and_si128(s0, mask), key);
        const __m128i keep1 = _mm_cmpeq_epi32(_mm_and_si128(s1, mask), key);
        if (_mm_movemask_epi8(_mm_and_si128(keep0, keep1)) == 0xFFFF)
            continue;
        const __m128i d0 = _mm_loadu_si128(d), d1 = _mm_loadu_si128(d + 1);
        const __m128i multiply0 = Multiplies(s0, keep0), multiply1 = Multiplies(s1, keep1);
        if (_mm_movemask_epi8(_mm_or_si128(multiply0, multiply1)) != 0) {
            s0 = Select(multiply0, Multiply4(d0, s0), s0);
            s1 = Select(multiply1, Multiply4(d1, s1), s1);
        }
        _mm_storeu_si128(d, Select(keep0, d0, s0));
        _mm_storeu_si128(d + 1, Select(keep1, d1, s1));
    }
    for (; i + 4 <= count; i += 4) {
        __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        const __m128i keep0 = _mm_cmpeq_epi32(_mm_and_si128(s0, mask), key);
        auto* d = reinterpret_cast<__m128i*>(dst + i * 4);
        const __m128i d0 = _mm_loadu_si128(d);
        const __m128i multiply0 = Multiplies(s0, keep0);
        if (_mm_movemask_epi8(multiply0) != 0)
            s0 = Select(multiply0, Multiply4(d0, s0), s0);
        _mm_storeu_si128(d, Select(keep0, d0, s0));
    }
    CompositeSpanScalar(dst + i * 4, src + i * 4, count - i);
}
#endif

#if defined(TOVEK_OVERLAY_AVX2)
// Twice the width of the SSE2 form; chosen at run time where the processor
// has it (compositing a densely drawn overlay is bound by it).
__attribute__((target("avx2"))) void CompositeSpanAvx2(uint8_t* dst, const uint8_t* src,
                                                       int count) {
    const __m256i mask = _mm256_set1_epi32(static_cast<int>(kKeyMask));
    const __m256i key = _mm256_set1_epi32(static_cast<int>(kKeyBits));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
        const __m256i keep = _mm256_cmpeq_epi32(_mm256_and_si256(s, mask), key);
        if (_mm256_movemask_epi8(keep) == -1)
            continue;
        auto* d = reinterpret_cast<__m256i*>(dst + i * 4);
        const __m256i frame = _mm256_loadu_si256(d);
        const __m256i multiply = _mm256_andnot_si256(keep, overlay_detail::Multiplies8(s));
        if (!_mm256_testz_si256(multiply, multiply))
            s = _mm256_blendv_epi8(s, overlay_detail::Multiply8(frame, s), multiply);
        _mm256_storeu_si256(d, _mm256_blendv_epi8(s, frame, keep));
    }
    // The short spans of thin shapes end here.
    CompositeSpanSse2(dst + i * 4, src + i * 4, count - i);
}
#endif

using SpanFunction = void (*)(uint8_t* dst, const uint8_t* src, int count);

SpanFunction ChooseSpanFunction() {
#if defined(TOVEK_OVERLAY_AVX2)
    if (__builtin_cpu_supports("avx2"))
        return CompositeSpanAvx2;
#endif
#if defined(__SSE2__)
    return CompositeSpanSse2;
#else
    return CompositeSpanScalar;
#endif
}

void CompositeSpan(uint8_t* dst, const uint8_t* src, int count) {
    static const SpanFunction span = ChooseSpanFunction();
    span(dst, src, count);
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

} // namespace

bool overlay_detail::ValidGeometry(const uint8_t* frame, int frame_stride, const uint8_t* overlay,
                                   int width, int height) {
    return frame != nullptr && overlay != nullptr && width > 0 && height > 0 &&
           static_cast<int64_t>(frame_stride) >= static_cast<int64_t>(width) * 4;
}

bool overlay_detail::CompositeSpanWith(int form, uint8_t* dst, const uint8_t* src, int count) {
    SpanFunction span = nullptr;
    if (form == 0)
        span = CompositeSpanScalar;
#if defined(__SSE2__)
    if (form == 1)
        span = CompositeSpanSse2;
#endif
#if defined(TOVEK_OVERLAY_AVX2)
    if (form == 2 && __builtin_cpu_supports("avx2"))
        span = CompositeSpanAvx2;
#endif
    if (span == nullptr)
        return false;
    span(dst, src, count);
    return true;
}

void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height) {
    if (!overlay_detail::ValidGeometry(frame, frame_stride, overlay, width, height))
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
        !overlay_detail::ValidGeometry(frame, frame_stride, overlay, width, height))
        return;
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    overlay_detail::ForEachSpan(
        extent,
        [&](int y, int begin, int end) {
            CompositeSpan(frame + static_cast<size_t>(y) * frame_stride + begin * 4,
                          overlay + y * row_bytes + begin * 4, end - begin);
        },
        [&](int y, int begin) {
            __builtin_prefetch(overlay + y * row_bytes + begin * 4);
            __builtin_prefetch(frame + static_cast<size_t>(y) * frame_stride + begin * 4, 1);
        });
}

OverlayWorker::OverlayWorker()
    : buffer_(new uint8_t[kMaxPictureBytes]), extent_(std::make_unique<OverlayExtent>()),
      palette_(std::make_unique<OverlayPalette>()) {
    // Touched now, so that drawing at the usual sizes faults in no page;
    // the rest, for the largest cameras only, when first drawn into.
    std::memset(buffer_.get(), 0xFF, kMaxFrameBytes);
    renderer_ = [](uint8_t* overlay, size_t size, OverlayExtent* extent, int* width, int* height) {
        *width = 0;
        *height = 0;
        std::memset(overlay, kTransparentByte, std::min(size, kMaxFrameBytes));
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
    // It draws at one size: its overlay is taken for every picture.
    SetSizedRenderer([renderer = std::move(renderer)](uint8_t* overlay, size_t size,
                                                      OverlayExtent* extent, int* width,
                                                      int* height) {
        *width = 0;
        *height = 0;
        return renderer(overlay, size, extent);
    });
}

void OverlayWorker::SetSizedRenderer(SizedRenderer renderer) {
    platform::MutexLock guard(lock_);
    renderer_ = std::move(renderer);
}

void OverlayWorker::SetRedrawSource(RedrawSource source) {
    platform::MutexLock guard(lock_);
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
    wake_.Set();
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
    platform::MutexLock guard(lock_);
    if (!requested && !(source_ && source_()))
        return false;
    RenderLocked();
    return true;
}

void OverlayWorker::RenderLocked() {
    const uint64_t want = want_size_.load();
    int width = static_cast<int>(want >> 32);
    int height = static_cast<int>(want & 0xFFFFFFFFu);
    const bool present = renderer_(buffer_.get(), kMaxPictureBytes, extent_.get(), &width, &height);
    drawn_width_ = width;
    drawn_height_ = height;
    ++rendering_;
    // Made here, once per rendering, so that every composite reads the
    // smaller copy.
    if (!present || !palette_->Build(buffer_.get(), kMaxPictureBytes, *extent_))
        palette_->Invalidate();
    present_.store(present);
}

void OverlayWorker::FitLocked(int width, int height) {
    if (drawn_width_ <= 0 || drawn_height_ <= 0 ||
        (width == drawn_width_ && height == drawn_height_))
        return;
    want_size_.store(PackSize(width, height));
    RenderLocked();
}

void OverlayWorker::Composite(uint8_t* frame, int stride, int width, int height) {
    // Nothing present may be an overlay that did not fit the size drawn for:
    // another size is worth a try.
    const uint64_t size = PackSize(width, height);
    if (want_size_.exchange(size) != size && !present_.load())
        RequestRedraw();
    if (!present_.load())
        return;
    platform::MutexLock guard(lock_);
    FitLocked(width, height);
    if (!present_.load())
        return;
    if (palette_->Valid())
        palette_->Composite(frame, stride, width, height, *extent_);
    else
        CompositeOverlay(frame, stride, buffer_.get(), width, height, *extent_);
}

void OverlayWorker::Reset() {
    platform::MutexLock guard(lock_);
    // Nothing is read until the next rendering fills what it draws.
    std::memset(buffer_.get(), kTransparentByte, kMaxFrameBytes);
    ClearOverlayExtent(extent_.get(), 0, 0);
    drawn_width_ = 0;
    drawn_height_ = 0;
    ++rendering_;
    palette_->Invalidate();
    present_.store(false);
}

void OverlayWorker::Loop() {
    pthread_setname_np(pthread_self(), "tovek-overlay"); // seen in debuggers and profiles
    bool busy = false;
    while (!stop_.load()) {
        // Real time: the waits pace a thread, they measure nothing. A request
        // made after Turn looked sets wake_, so the wait below returns at once.
        if (busy)
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        else
            wake_.Wait(kIdleWaitMs);
        busy = Turn();
    }
    done_.Set();
}
