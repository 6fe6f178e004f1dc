#include "OverlayPalette.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#if defined(__SSE2__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using IndexSpanFunction = void (*)(uint8_t* dst, const uint8_t* idx, int first,
                                   const uint32_t* colors, int count);

// The colour number of pixel x of a row of the plane.
inline unsigned Number(const uint8_t* idx, int x) {
    return (idx[x >> 1] >> ((x & 1) * 4)) & 0x0Fu;
}

void CompositeIndexSpanScalar(uint8_t* dst, const uint8_t* idx, int first, const uint32_t* colors,
                              int count) {
    for (int i = 0; i < count; ++i) {
        const unsigned n = Number(idx, first + i);
        if (n == 0)
            continue;
        uint32_t ink = colors[n];
        if (OverlayPixelMultiplies(ink)) {
            uint32_t frame;
            std::memcpy(&frame, dst + i * 4, 4);
            ink = overlay_detail::MultiplyPixel(frame, ink);
        }
        std::memcpy(dst + i * 4, &ink, 4);
    }
}

#if defined(TOVEK_OVERLAY_AVX2)
// The numbers of 2 x 8 pixels held by the low eight bytes of bytes, one a
// byte in pixel order.
__attribute__((target("avx2"))) inline __m128i SplitNumbers(__m128i bytes) {
    const __m128i low = _mm_set1_epi8(0x0F);
    return _mm_unpacklo_epi8(_mm_and_si128(bytes, low),
                             _mm_and_si128(_mm_srli_epi16(bytes, 4), low));
}

// Eight pixels of numbers n: the colours are looked up by a permutation of
// the palette's two halves, and a blend keeps the frame's pixel where the
// number is 0. Eight transparent pixels leave the frame's memory untouched;
// eight without a multiplying colour skip the multiply.
__attribute__((target("avx2"))) inline void CompositeEightAvx2(uint8_t* dst, __m256i n, __m256i low,
                                                               __m256i high) {
    if (_mm256_testz_si256(n, n))
        return;
    // Number bit 3 moved to the sign bit chooses the half.
    const __m256 color = _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(low, n)),
                                          _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(high, n)),
                                          _mm256_castsi256_ps(_mm256_slli_epi32(n, 28)));
    const __m256i keep = _mm256_cmpeq_epi32(n, _mm256_setzero_si256());
    auto* d = reinterpret_cast<__m256i*>(dst);
    const __m256i frame = _mm256_loadu_si256(d);
    __m256i ink = _mm256_castps_si256(color);
    const __m256i multiply = _mm256_andnot_si256(keep, overlay_detail::Multiplies8(ink));
    if (!_mm256_testz_si256(multiply, multiply))
        ink = _mm256_blendv_epi8(ink, overlay_detail::Multiply8(frame, ink), multiply);
    _mm256_storeu_si256(d, _mm256_blendv_epi8(ink, frame, keep));
}

// Sixteen pixels, eight bytes of the plane, at a time.
__attribute__((target("avx2"))) void CompositeIndexSpanAvx2(uint8_t* dst, const uint8_t* idx,
                                                            int first, const uint32_t* colors,
                                                            int count) {
    if (count > 0 && first % 2 != 0) { // the span's first byte holds one of its pixels
        CompositeIndexSpanScalar(dst, idx, first, colors, 1);
        ++first, --count, dst += 4;
    }
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors + 8));
    const uint8_t* bytes = idx + first / 2;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        uint64_t eight;
        std::memcpy(&eight, bytes + i / 2, 8);
        if (eight == 0)
            continue;
        const __m128i n = SplitNumbers(_mm_cvtsi64_si128(static_cast<int64_t>(eight)));
        CompositeEightAvx2(dst + i * 4, _mm256_cvtepu8_epi32(n), low, high);
        CompositeEightAvx2(dst + i * 4 + 32, _mm256_cvtepu8_epi32(_mm_srli_si128(n, 8)), low, high);
    }
    CompositeIndexSpanScalar(dst + i * 4, idx, first + i, colors, count - i);
}

// As overlay_detail::Product16, on thirty-two channels.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __m512i Product32(__m512i f,
                                                                              __m512i k) {
    const __m512i t = _mm512_add_epi16(_mm512_mullo_epi16(f, k), _mm512_set1_epi16(128));
    return _mm512_srli_epi16(_mm512_add_epi16(t, _mm512_srli_epi16(t, 8)), 8);
}

// MultiplyPixel where a drawn pixel's colour, already looked up in out,
// multiplies; the rest of out stays.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __m512i
MultiplyAvx512(__m512i frame, __m512i out, __mmask16 drawn) {
    const __m512i fourth = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const __mmask16 multiply = _mm512_mask_cmpeq_epi32_mask(
        drawn, _mm512_and_si512(out, fourth),
        _mm512_set1_epi32(static_cast<int>(static_cast<uint32_t>(kMultiplyByte) << 24)));
    if (multiply == 0)
        return out;
    const __m512i zero = _mm512_setzero_si512();
    const __m512i ink = _mm512_or_si512(out, fourth); // keeps the frame's fourth byte
    const __m512i low =
        Product32(_mm512_unpacklo_epi8(frame, zero), _mm512_unpacklo_epi8(ink, zero));
    const __m512i high =
        Product32(_mm512_unpackhi_epi8(frame, zero), _mm512_unpackhi_epi8(ink, zero));
    return _mm512_mask_mov_epi32(out, multiply, _mm512_packus_epi16(low, high));
}

// Sixteen numbers, one a byte, as sixteen 32-bit lanes (the masked form:
// GCC warns of the plain one's undefined source).
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __m512i Widen16(__m128i bytes) {
    return _mm512_maskz_cvtepu8_epi32(0xFFFF, bytes);
}

// Thirty-two pixels, two cache lines of the frame when dst is on a
// boundary, from sixteen bytes of the plane: the whole palette fits one
// permutation, which takes the frame's pixel where the number is 0.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void
CompositeThirtyTwoAvx512(uint8_t* dst, __m128i bytes, __m512i table) {
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i even = _mm_and_si128(bytes, low);
    const __m128i odd = _mm_and_si128(_mm_srli_epi16(bytes, 4), low);
    const __m512i n0 = Widen16(_mm_unpacklo_epi8(even, odd));
    const __m512i n1 = Widen16(_mm_unpackhi_epi8(even, odd));
    const __mmask16 drawn0 = _mm512_test_epi32_mask(n0, n0);
    const __mmask16 drawn1 = _mm512_test_epi32_mask(n1, n1);
    const __m512i frame0 = _mm512_loadu_si512(dst);
    const __m512i frame1 = _mm512_loadu_si512(dst + 64);
    _mm512_storeu_si512(
        dst,
        MultiplyAvx512(frame0, _mm512_mask_permutexvar_epi32(frame0, drawn0, n0, table), drawn0));
    _mm512_storeu_si512(
        dst + 64,
        MultiplyAvx512(frame1, _mm512_mask_permutexvar_epi32(frame1, drawn1, n1, table), drawn1));
}

// Pixels [skip, count) of the sixteen whose numbers start at a byte of the
// plane (count at most 16). Loads and stores are masked, so nothing outside
// those pixels is read or written: a span that starts on the second half of
// a byte passes skip 1 and dst one pixel before it.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void
CompositeIndexChunkAvx512(uint8_t* dst, const uint8_t* bytes, __m512i table, int skip, int count) {
    const auto inside = static_cast<__mmask16>(((1u << count) - 1) & ~((1u << skip) - 1));
    const auto held = static_cast<__mmask16>((1u << ((count + 1) / 2)) - 1);
    const __m512i n =
        _mm512_maskz_cvtepu8_epi32(inside, SplitNumbers(_mm_maskz_loadu_epi8(held, bytes)));
    const __m512i frame = _mm512_maskz_loadu_epi32(inside, dst);
    const __mmask16 drawn = _mm512_test_epi32_mask(n, n);
    _mm512_mask_storeu_epi32(
        dst, inside,
        MultiplyAvx512(frame, _mm512_mask_permutexvar_epi32(frame, drawn, n, table), drawn));
}

// Thirty-two pixels, sixteen bytes of the plane and two cache lines of the
// frame, at a time, with whole-line stores: a store masked to the drawn
// pixels is slower on the processors measured, and one that straddles two
// lines costs twice. The pixels before the first line boundary and after the
// last go in partial chunks. Every chunk starts at a byte of the plane, so a
// frame whose lines begin at an odd pixel of the span is composited with
// straddling stores.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
CompositeIndexSpanAvx512(uint8_t* dst, const uint8_t* idx, int first, const uint32_t* colors,
                         int count) {
    static_assert(kMaxPaletteColors + 1 == 16, "one 512-bit permutation holds the palette");
    if (count <= 0)
        return;
    const __m512i table = _mm512_loadu_si512(colors);
    // From the pixel that shares the span's first byte.
    const int skip = first % 2;
    dst -= skip * 4;
    count += skip;
    const uint8_t* bytes = idx + first / 2;
    const auto address = reinterpret_cast<uintptr_t>(dst);
    int i = address % 4 == 0 ? std::min(static_cast<int>((64 - address % 64) % 64 / 4), count) : 0;
    if (i % 2 != 0)
        i = 0;
    if (i == 0 && skip != 0)
        i = std::min(16, count);
    if (i > 0)
        CompositeIndexChunkAvx512(dst, bytes, table, skip, i);
    for (; i + 32 <= count; i += 32) {
        const __m128i both = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i / 2));
        if (!_mm_testz_si128(both, both)) // thirty-two transparent pixels stay untouched
            CompositeThirtyTwoAvx512(dst + i * 4, both, table);
    }
    for (; i < count; i += 16)
        CompositeIndexChunkAvx512(dst + i * 4, bytes + i / 2, table, 0, std::min(16, count - i));
}

bool HasAvx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl");
}
#endif

IndexSpanFunction ChooseIndexSpanFunction() {
#if defined(TOVEK_OVERLAY_AVX2)
    if (HasAvx512())
        return CompositeIndexSpanAvx512;
    if (__builtin_cpu_supports("avx2"))
        return CompositeIndexSpanAvx2;
#endif
    return CompositeIndexSpanScalar;
}

void CompositeIndexSpan(uint8_t* dst, const uint8_t* idx, int first, const uint32_t* colors,
                        int count) {
    static const IndexSpanFunction span = ChooseIndexSpanFunction();
    span(dst, idx, first, colors, count);
}

// Writes color over dst[0, count) without reading the frame: a row's miss
// then does not hold up the next rows, which is most of the cost of thin
// shapes.
void FillSpan(uint8_t* dst, uint32_t color, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(color));
    for (; i + 4 <= count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), four);
#endif
    for (; i < count; ++i)
        std::memcpy(dst + i * 4, &color, 4);
}

constexpr uint32_t kFreeEntry = 0xFFFEFEFEu;

// The index of v in colors[0, 16), or 16 when it is not there.
int FindColor(const uint32_t* colors, uint32_t v) {
#if defined(__SSE2__)
    const __m128i value = _mm_set1_epi32(static_cast<int>(v));
    const auto* table = reinterpret_cast<const __m128i*>(colors);
    const auto four = [&](int q) {
        return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_loadu_si128(table + q), value)))
               << (4 * q);
    };
    const int found = four(0) | four(1) | four(2) | four(3) | 0x10000;
    return __builtin_ctz(static_cast<unsigned>(found));
#else
    int k = 16;
    for (int j = 15; j >= 0; --j)
        k = colors[j] == v ? j : k;
    return k;
#endif
}

} // namespace

bool overlay_detail::CompositeIndexSpanWith(int form, uint8_t* dst, const uint8_t* idx, int first,
                                            const uint32_t* colors, int count) {
    IndexSpanFunction span = nullptr;
    if (form == 0)
        span = CompositeIndexSpanScalar;
#if defined(TOVEK_OVERLAY_AVX2)
    if (form == 2 && __builtin_cpu_supports("avx2"))
        span = CompositeIndexSpanAvx2;
    if (form == 3 && HasAvx512())
        span = CompositeIndexSpanAvx512;
#endif
    if (span == nullptr)
        return false;
    span(dst, idx, first, colors, count);
    return true;
}

OverlayPalette::OverlayPalette()
    // Rows start on a byte: half a byte more for each odd-width row.
    : index_(new uint8_t[kMaxPictureBytes / 8 + kMaxOverlayRows]),
      solid_(new uint8_t[kMaxOverlayRows]) {}

bool OverlayPalette::Build(const uint8_t* overlay, size_t size, const OverlayExtent& extent) {
    valid_ = false;
    const int width = extent.width;
    const int height = extent.height;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (overlay == nullptr || width <= 0 || height <= 0 || pixels * 4 > size ||
        pixels > kMaxPictureBytes / 4)
        return false;
    // Free entries hold a transparent value, which no drawn pixel equals.
    std::fill(std::begin(colors_), std::end(colors_), kFreeEntry);
    const size_t row_bytes = (static_cast<size_t>(width) + 1) / 2;
    int count = 0;
    bool failed = false;
    overlay_detail::ForEachSpan(
        extent,
        [&](int y, int begin, int end) {
            const size_t row = static_cast<size_t>(y) * width;
            uint8_t* plane = index_.get() + static_cast<size_t>(height - 1 - y) * row_bytes;
            // The other half of a span's first or last byte lies outside the
            // span: transparent.
            unsigned pair = 0;
            unsigned one = 0;
            unsigned mixed = 0;
            for (int x = begin; x < end && !failed; ++x) {
                uint32_t v;
                std::memcpy(&v, overlay + (row + x) * 4, 4);
                // Without a branch on the pixel: the worker holds the
                // overlay's lock meanwhile, and a scattered overlay would
                // mispredict every other pixel.
                const bool opaque = !OverlayPixelTransparent(v);
                int k = FindColor(colors_, v);
                if ((k >> 4) & opaque) { // a colour not seen yet: rare
                    if (count == kMaxPaletteColors) {
                        failed = true;
                        break;
                    }
                    k = ++count;
                    colors_[k] = v;
                }
                const unsigned n = static_cast<unsigned>(k & -static_cast<int>(opaque));
                one = x == begin ? n : one;
                mixed |= n ^ one;
                if (x % 2 == 0) {
                    pair = n;
                    if (x + 1 == end)
                        plane[x / 2] = static_cast<uint8_t>(n);
                } else {
                    plane[x / 2] = static_cast<uint8_t>(pair | n << 4);
                    pair = 0;
                }
            }
            if (failed) // the row's numbers are not all written
                return;
            // A multiplying colour needs the frame's pixels: not solid.
            solid_[y] =
                mixed == 0 && !OverlayPixelMultiplies(colors_[one]) ? static_cast<uint8_t>(one) : 0;
        },
        [](int, int) {});
    if (failed)
        return false;
    width_ = width;
    height_ = height;
    row_bytes_ = row_bytes;
    valid_ = true;
    return true;
}

void OverlayPalette::Composite(uint8_t* frame, int frame_stride, int width, int height,
                               const OverlayExtent& extent) const {
    if (!valid_ || width != width_ || height != height_ || extent.width != width ||
        extent.height != height ||
        !overlay_detail::ValidGeometry(frame, frame_stride, index_.get(), width, height))
        return;
    const uint8_t* index = index_.get();
    overlay_detail::ForEachSpan(
        extent,
        [&](int y, int begin, int end) {
            uint8_t* dst = frame + static_cast<size_t>(y) * frame_stride + begin * 4;
            const uint8_t one = solid_[y];
            if (one != 0)
                FillSpan(dst, colors_[one], end - begin);
            else
                CompositeIndexSpan(dst, index + static_cast<size_t>(height - 1 - y) * row_bytes_,
                                   begin, colors_, end - begin);
        },
        [&](int y, int begin) {
            if (solid_[y] == 0)
                __builtin_prefetch(index + static_cast<size_t>(height - 1 - y) * row_bytes_ +
                                   begin / 2);
            __builtin_prefetch(frame + static_cast<size_t>(y) * frame_stride + begin * 4, 1);
        },
        overlay_detail::SpanOrder::kBottomUp);
}
