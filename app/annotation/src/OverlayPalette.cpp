#include "OverlayPalette.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#if defined(__SSE2__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using IndexSpanFunction = void (*)(uint8_t* dst, const uint8_t* idx, const uint32_t* colors,
                                   int count);

void CompositeIndexSpanScalar(uint8_t* dst, const uint8_t* idx, const uint32_t* colors, int count) {
    for (int i = 0; i < count; ++i) {
        if (idx[i] == 0)
            continue;
        uint32_t ink = colors[idx[i]];
        if (OverlayPixelMultiplies(ink)) {
            uint32_t frame;
            std::memcpy(&frame, dst + i * 4, 4);
            ink = overlay_detail::MultiplyPixel(frame, ink);
        }
        std::memcpy(dst + i * 4, &ink, 4);
    }
}

#if defined(TOVEK_OVERLAY_AVX2)
// Eight pixels at a time: the colours are looked up by a permutation of the
// palette's two halves, and a blend keeps the frame's pixel where the index
// is 0. Eight transparent pixels leave the frame's memory untouched; eight
// without a multiplying colour skip the multiply.
__attribute__((target("avx2"))) void CompositeIndexSpanAvx2(uint8_t* dst, const uint8_t* idx,
                                                            const uint32_t* colors, int count) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors + 8));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, idx + i, 8);
        if (eight == 0)
            continue;
        const __m256i n = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(eight)));
        // Index bit 3 moved to the sign bit chooses the half.
        const __m256 color =
            _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(low, n)),
                             _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(high, n)),
                             _mm256_castsi256_ps(_mm256_slli_epi32(n, 28)));
        const __m256i keep = _mm256_cmpeq_epi32(n, zero);
        auto* d = reinterpret_cast<__m256i*>(dst + i * 4);
        const __m256i frame = _mm256_loadu_si256(d);
        __m256i ink = _mm256_castps_si256(color);
        const __m256i multiply = _mm256_andnot_si256(keep, overlay_detail::Multiplies8(ink));
        if (!_mm256_testz_si256(multiply, multiply))
            ink = _mm256_blendv_epi8(ink, overlay_detail::Multiply8(frame, ink), multiply);
        _mm256_storeu_si256(d, _mm256_blendv_epi8(ink, frame, keep));
    }
    CompositeIndexSpanScalar(dst + i * 4, idx + i, colors + 0, count - i);
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

// Up to sixteen pixels: the whole palette fits one permutation, which takes
// the frame's pixel where the index is 0. Loads and stores are masked by
// count, so nothing past it is read or written.
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void
CompositeIndexChunkAvx512(uint8_t* dst, const uint8_t* idx, __m512i table, int count) {
    const __mmask16 inside = static_cast<__mmask16>((1u << count) - 1);
    const __m512i n = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_maskz_loadu_epi8(inside, idx));
    const __m512i frame = _mm512_maskz_loadu_epi32(inside, dst);
    const __mmask16 drawn = _mm512_test_epi32_mask(n, n);
    _mm512_mask_storeu_epi32(
        dst, inside,
        MultiplyAvx512(frame, _mm512_mask_permutexvar_epi32(frame, drawn, n, table), drawn));
}

// Sixteen pixels, one cache line of the frame, at a time, with whole-line
// stores: a store masked to the drawn pixels is slower on the processors
// measured, and one that straddles two lines costs twice. The pixels before
// the first line boundary and after the last go one partial chunk each.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
CompositeIndexSpanAvx512(uint8_t* dst, const uint8_t* idx, const uint32_t* colors, int count) {
    static_assert(kMaxPaletteColors + 1 == 16, "one 512-bit permutation holds the palette");
    const __m512i table = _mm512_loadu_si512(colors);
    const auto address = reinterpret_cast<uintptr_t>(dst);
    int i = address % 4 == 0 ? std::min(static_cast<int>((64 - address % 64) % 64 / 4), count) : 0;
    if (i > 0)
        CompositeIndexChunkAvx512(dst, idx, table, i);
    for (; i + 16 <= count; i += 16) {
        const __m512i n = _mm512_maskz_cvtepu8_epi32(
            0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(idx + i)));
        const __mmask16 drawn = _mm512_test_epi32_mask(n, n);
        if (drawn == 0)
            continue;
        uint8_t* d = dst + i * 4;
        const __m512i frame = _mm512_loadu_si512(d);
        _mm512_storeu_si512(
            d, MultiplyAvx512(frame, _mm512_mask_permutexvar_epi32(frame, drawn, n, table), drawn));
    }
    if (i < count)
        CompositeIndexChunkAvx512(dst + i * 4, idx + i, table, count - i);
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

void CompositeIndexSpan(uint8_t* dst, const uint8_t* idx, const uint32_t* colors, int count) {
    static const IndexSpanFunction span = ChooseIndexSpanFunction();
    span(dst, idx, colors, count);
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

bool overlay_detail::CompositeIndexSpanWith(int form, uint8_t* dst, const uint8_t* idx,
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
    span(dst, idx, colors, count);
    return true;
}

OverlayPalette::OverlayPalette()
    : index_(new uint8_t[kMaxPictureBytes / 4]), solid_(new uint8_t[kMaxOverlayRows]) {}

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
    int count = 0;
    bool failed = false;
    overlay_detail::ForEachSpan(
        extent,
        [&](int y, int begin, int end) {
            const size_t row = static_cast<size_t>(y) * width;
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
                index_[row + x] = static_cast<uint8_t>(k & -static_cast<int>(opaque));
                mixed |= index_[row + x] ^ index_[row + begin];
            }
            if (failed) // the row's indices are not all written
                return;
            // A multiplying colour needs the frame's pixels: not solid.
            const uint8_t one = index_[row + begin];
            solid_[y] = mixed == 0 && !OverlayPixelMultiplies(colors_[one]) ? one : 0;
        },
        [](int, int) {});
    if (failed)
        return false;
    width_ = width;
    height_ = height;
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
                CompositeIndexSpan(dst, index + static_cast<size_t>(y) * width + begin, colors_,
                                   end - begin);
        },
        [&](int y, int begin) {
            if (solid_[y] == 0)
                __builtin_prefetch(index + static_cast<size_t>(y) * width + begin);
            __builtin_prefetch(frame + static_cast<size_t>(y) * frame_stride + begin * 4, 1);
        });
}
