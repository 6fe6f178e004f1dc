#include "OverlayPalette.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unistd.h>
#include <vector>

#if defined(__SSE2__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using IndexSpanFunction = void (*)(uint8_t* dst, const uint8_t* row, int first,
                                   const uint32_t* colors, int count, uint8_t traits);

constexpr int kBlockPixels = overlay_detail::kBlockPixels;

// The colour number of pixel x of a plane row.
inline unsigned Number(const uint8_t* row, int x) {
    const int block = x / kBlockPixels;
    const int j = x % kBlockPixels;
    return (row[block * (kBlockPixels / 2) + j % 16] >> (j / 16 * 4)) & 0x0Fu;
}

// One pixel of number n.
inline void CompositeNumber(uint8_t* dst, unsigned n, const uint32_t* colors) {
    if (n == 0)
        return;
    uint32_t ink = colors[n];
    if (OverlayPixelMultiplies(ink)) {
        uint32_t frame;
        std::memcpy(&frame, dst, 4);
        ink = overlay_detail::MultiplyPixel(frame, ink);
    }
    std::memcpy(dst, &ink, 4);
}

void CompositeIndexSpanScalar(uint8_t* dst, const uint8_t* row, int first, const uint32_t* colors,
                              int count, uint8_t) {
    for (int i = 0; i < count; ++i)
        CompositeNumber(dst + i * 4, Number(row, first + i), colors);
}

#if defined(TOVEK_OVERLAY_AVX2)
// Eight pixels of numbers n: the colours are looked up by a permutation of
// the palette's two halves, and a blend keeps the frame's pixel where the
// number is 0. With kSkip eight transparent pixels leave the frame's memory
// untouched; with kMultiply eight without a multiplying colour skip the
// multiply.
template <bool kMultiply, bool kSkip>
__attribute__((target("avx2"))) inline void CompositeEightAvx2(uint8_t* dst, __m256i n, __m256i low,
                                                               __m256i high) {
    if (kSkip && _mm256_testz_si256(n, n))
        return;
    // Number bit 3 moved to the sign bit chooses the half.
    const __m256 color = _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(low, n)),
                                          _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(high, n)),
                                          _mm256_castsi256_ps(_mm256_slli_epi32(n, 28)));
    const __m256i keep = _mm256_cmpeq_epi32(n, _mm256_setzero_si256());
    auto* d = reinterpret_cast<__m256i*>(dst);
    const __m256i frame = _mm256_loadu_si256(d);
    __m256i ink = _mm256_castps_si256(color);
    if (kMultiply) {
        const __m256i multiply = _mm256_andnot_si256(keep, overlay_detail::Multiplies8(ink));
        if (!_mm256_testz_si256(multiply, multiply))
            ink = _mm256_blendv_epi8(ink, overlay_detail::Multiply8(frame, ink), multiply);
    }
    _mm256_storeu_si256(d, _mm256_blendv_epi8(ink, frame, keep));
}

// The pixels of a block that lie inside the span [first, end), eight at a
// time where eight whole ones do, the rest one by one.
__attribute__((target("avx2"))) void CompositePartAvx2(uint8_t* dst, __m128i bytes, int first,
                                                       int end, int x, const uint32_t* colors,
                                                       __m256i low, __m256i high) {
    const __m128i four_bits = _mm_set1_epi8(0x0F);
    alignas(16) uint8_t numbers[kBlockPixels]; // one a byte, in pixel order
    _mm_store_si128(reinterpret_cast<__m128i*>(numbers), _mm_and_si128(bytes, four_bits));
    _mm_store_si128(reinterpret_cast<__m128i*>(numbers + 16),
                    _mm_and_si128(_mm_srli_epi16(bytes, 4), four_bits));
    const int to = std::min(end - x, kBlockPixels);
    for (int i = std::max(first - x, 0); i < to;) {
        uint8_t* d = dst + (x + i - first) * 4;
        if (i % 8 == 0 && i + 8 <= to) {
            uint64_t eight;
            std::memcpy(&eight, numbers + i, 8);
            CompositeEightAvx2<true, true>(
                d, _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(eight))), low, high);
            i += 8;
        } else {
            CompositeNumber(d, numbers[i], colors);
            ++i;
        }
    }
}

// A block at a time, eight pixels at a time; the blocks the span covers in
// part go through CompositePartAvx2.
template <bool kMultiply, bool kSkip>
__attribute__((target("avx2"))) void CompositeBlocksAvx2(uint8_t* dst, const uint8_t* row,
                                                         int first, const uint32_t* colors,
                                                         int count) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors + 8));
    const __m256i four_bits = _mm256_set1_epi32(0x0F);
    const int end = first + count;
    int x = first / kBlockPixels * kBlockPixels;
    const auto block = [row](int at) { // at: a block's first pixel, not negative
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + static_cast<size_t>(at) / 2));
    };
    if (x < first || end - x < kBlockPixels) {
        CompositePartAvx2(dst, block(x), first, end, x, colors, low, high);
        x += kBlockPixels;
    }
    for (; x + kBlockPixels <= end; x += kBlockPixels) {
        const __m128i bytes = block(x);
        if (kSkip && _mm_testz_si128(bytes, bytes))
            continue;
        // Bytes 0 to 7 hold pixels 0 to 7 and 16 to 23, bytes 8 to 15 the others.
        const __m256i front = _mm256_cvtepu8_epi32(bytes);
        const __m256i back = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
        uint8_t* d = dst + (x - first) * 4;
        CompositeEightAvx2<kMultiply, kSkip>(d, _mm256_and_si256(front, four_bits), low, high);
        CompositeEightAvx2<kMultiply, kSkip>(d + 32, _mm256_and_si256(back, four_bits), low, high);
        CompositeEightAvx2<kMultiply, kSkip>(d + 64, _mm256_srli_epi32(front, 4), low, high);
        CompositeEightAvx2<kMultiply, kSkip>(d + 96, _mm256_srli_epi32(back, 4), low, high);
    }
    if (x < end)
        CompositePartAvx2(dst, block(x), first, end, x, colors, low, high);
}

__attribute__((target("avx2"))) void CompositeIndexSpanAvx2(uint8_t* dst, const uint8_t* row,
                                                            int first, const uint32_t* colors,
                                                            int count, uint8_t traits) {
    if (count <= 0)
        return;
    const bool multiplies = (traits & overlay_detail::kSpanMultiplies) != 0;
    if ((traits & overlay_detail::kSpanHasGaps) != 0)
        multiplies ? CompositeBlocksAvx2<true, true>(dst, row, first, colors, count)
                   : CompositeBlocksAvx2<false, true>(dst, row, first, colors, count);
    else
        multiplies ? CompositeBlocksAvx2<true, false>(dst, row, first, colors, count)
                   : CompositeBlocksAvx2<false, false>(dst, row, first, colors, count);
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

// Sixteen pixels of numbers n (in the lanes' low four bits): the whole
// palette fits one permutation, which takes the frame's pixel where the
// number is 0. With kPart, only the pixels of inside are read and written.
template <bool kPart, bool kMultiply>
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void
CompositeSixteenAvx512(uint8_t* dst, __m512i n, __m512i table, __mmask16 inside) {
    const __mmask16 drawn = _mm512_mask_test_epi32_mask(inside, n, _mm512_set1_epi32(0x0F));
    const __m512i frame = kPart ? _mm512_maskz_loadu_epi32(inside, dst) : _mm512_loadu_si512(dst);
    __m512i out = _mm512_mask_permutexvar_epi32(frame, drawn, n, table);
    if (kMultiply)
        out = MultiplyAvx512(frame, out, drawn);
    if (kPart)
        _mm512_mask_storeu_epi32(dst, inside, out);
    else
        _mm512_storeu_si512(dst, out);
}

// Sixteen bytes as sixteen 32-bit lanes (the masked form: GCC warns of the
// plain one's undefined source).
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline __m512i Widen16(__m128i bytes) {
    return _mm512_maskz_cvtepu8_epi32(0xFFFF, bytes);
}

// One block, two cache lines of the frame when the frame's lines begin on
// its first pixel, from its sixteen bytes of the plane.
template <bool kPart, bool kMultiply>
__attribute__((target("avx512f,avx512bw,avx512vl"))) inline void
CompositeBlockAvx512(uint8_t* dst, __m128i bytes, __m512i table, uint32_t inside) {
    const __m512i numbers = Widen16(bytes); // the second half's numbers in bits 4 to 7
    CompositeSixteenAvx512<kPart, kMultiply>(dst, numbers, table, static_cast<__mmask16>(inside));
    // The masked form of the shift, for the same reason as in Widen16.
    CompositeSixteenAvx512<kPart, kMultiply>(dst + 64, _mm512_maskz_srli_epi32(0xFFFF, numbers, 4),
                                             table, static_cast<__mmask16>(inside >> 16));
}

// Pixels [from, to) of a row (frame at the row's first pixel), a block
// masked to them at a time.
template <bool kMultiply>
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
CompositePartAvx512(uint8_t* frame, const uint8_t* row, __m512i table, int from, int to) {
    if (from >= to)
        return;
    for (int x = from / kBlockPixels * kBlockPixels; x < to; x += kBlockPixels) {
        const int lo = std::max(from - x, 0);
        const int hi = std::min(to - x, kBlockPixels);
        const auto inside =
            static_cast<uint32_t>(((uint64_t{1} << hi) - 1) & ~((uint64_t{1} << lo) - 1));
        CompositeBlockAvx512<true, kMultiply>(
            frame + static_cast<size_t>(x) * 4,
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + static_cast<size_t>(x) / 2)),
            table, inside);
    }
}

// Sixteen pixels a cache line of the frame, with whole-line loads and
// stores: a store masked to the drawn pixels is slower on the processors
// measured, and one that straddles two lines slows even the decoder that
// writes the next picture into the buffer. Where the frame's lines begin
// on a block's first pixel, a block is two lines; elsewhere each line's
// numbers are put together from the two half blocks it lies across. The
// pixels before the first line boundary and after the last go in blocks
// masked to the span, so nothing outside it is read or written. kSkip
// passes over transparent pixels without touching the frame: worth the
// test only where the span has whole blocks of them.
template <bool kMultiply, bool kSkip>
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
CompositeBlocksAvx512(uint8_t* dst, const uint8_t* row, int first, const uint32_t* colors,
                      int count) {
    static_assert(kMaxPaletteColors + 1 == 16, "one 512-bit permutation holds the palette");
    const __m512i table = _mm512_loadu_si512(colors);
    const int end = first + count;
    // The frame's pixel x of the row (the span starts at first).
    const auto at = [dst, first](int x) { return dst + static_cast<ptrdiff_t>(x - first) * 4; };
    const auto block = [row](int x) { // x: a block's first pixel, not negative
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + static_cast<size_t>(x) / 2));
    };
    uint8_t* const row_start = at(0);
    const auto address = reinterpret_cast<uintptr_t>(dst);
    // The first pixel on a line boundary (a frame off four bytes has none).
    int x = address % 4 == 0 ? std::min(first + static_cast<int>((64 - address % 64) % 64 / 4), end)
                             : end;
    const int shift = x % 16; // where the lines begin in the half blocks
    if (shift == 0 && x % kBlockPixels != 0 && x + 16 <= end) {
        CompositePartAvx512<kMultiply>(row_start, row, table, first,
                                       x + 16); // the first line is a block's second half
        x += 16;
    } else {
        CompositePartAvx512<kMultiply>(row_start, row, table, first, x);
    }
    if (shift == 0) {
        for (; x + kBlockPixels <= end; x += kBlockPixels) {
            const __m128i bytes = block(x);
            if (kSkip && _mm_testz_si128(bytes, bytes))
                continue;
            CompositeBlockAvx512<false, kMultiply>(at(x), bytes, table, ~0u);
        }
    } else if (x + 16 <= end) {
        // Lane i of a line takes lane shift + i of the half block it starts
        // in and the next one.
        const __m512i across =
            _mm512_add_epi32(_mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
                             _mm512_set1_epi32(shift));
        int half = x / 16;
        __m512i wide = Widen16(block(half / 2 * kBlockPixels));
        __m512i current = half % 2 != 0 ? _mm512_maskz_srli_epi32(0xFFFF, wide, 4) : wide;
        for (; x + 16 <= end; x += 16, ++half) {
            __m512i next;
            if (half % 2 == 0) {
                next = _mm512_maskz_srli_epi32(0xFFFF, wide, 4);
            } else {
                wide = Widen16(block((half + 1) / 2 * kBlockPixels));
                next = wide;
            }
            const __m512i numbers = _mm512_permutex2var_epi32(current, across, next);
            current = next;
            if (kSkip && _mm512_test_epi32_mask(numbers, _mm512_set1_epi32(0x0F)) == 0)
                continue;
            CompositeSixteenAvx512<false, kMultiply>(at(x), numbers, table, 0xFFFF);
        }
    }
    CompositePartAvx512<kMultiply>(row_start, row, table, x, end);
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) void
CompositeIndexSpanAvx512(uint8_t* dst, const uint8_t* row, int first, const uint32_t* colors,
                         int count, uint8_t traits) {
    if (count <= 0)
        return;
    const bool multiplies = (traits & overlay_detail::kSpanMultiplies) != 0;
    if ((traits & overlay_detail::kSpanHasGaps) != 0)
        multiplies ? CompositeBlocksAvx512<true, true>(dst, row, first, colors, count)
                   : CompositeBlocksAvx512<false, true>(dst, row, first, colors, count);
    else
        multiplies ? CompositeBlocksAvx512<true, false>(dst, row, first, colors, count)
                   : CompositeBlocksAvx512<false, false>(dst, row, first, colors, count);
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

void CompositeIndexSpan(uint8_t* dst, const uint8_t* row, int first, const uint32_t* colors,
                        int count, uint8_t traits) {
    static const IndexSpanFunction span = ChooseIndexSpanFunction();
    span(dst, row, first, colors, count, traits);
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

size_t overlay_detail::RecentBytes() {
    static const size_t bytes = [] {
        long size = 0;
#if defined(_SC_LEVEL2_CACHE_SIZE)
        size = sysconf(_SC_LEVEL2_CACHE_SIZE);
#endif
        const size_t known = size > 0 ? static_cast<size_t>(size) : size_t{1} << 20;
        return known - known / 16;
    }();
    return bytes;
}

void overlay_detail::PackNumbers(const uint8_t* numbers, int begin, int end, uint8_t* row) {
    const auto number = [&](int x) { return x >= begin && x < end ? numbers[x] & 0x0F : 0; };
    for (int x = std::max(begin, 0) / kBlockPixels * kBlockPixels; x < end; x += kBlockPixels)
        for (int j = 0; j < kBlockPixels / 2; ++j)
            row[x / 2 + j] = static_cast<uint8_t>(number(x + j) | number(x + 16 + j) << 4);
}

uint8_t overlay_detail::SpanTraits(const uint8_t* numbers, int begin, int end,
                                   const uint32_t* colors) {
    // Without a branch on the pixel: a scattered overlay would mispredict
    // every other pixel.
    unsigned used = 0;
    int run = 0;
    int longest = 0;
    for (int x = begin; x < end; ++x) {
        const unsigned n = numbers[x] & 0x0Fu;
        used |= 1u << n;
        run = (run + 1) & -static_cast<int>(n == 0);
        longest = std::max(longest, run);
    }
    uint8_t traits = 0;
    for (int k = 1; k <= kMaxPaletteColors; ++k)
        if ((used >> k & 1) != 0 && OverlayPixelMultiplies(colors[k]))
            traits |= kSpanMultiplies;
    // So long a run holds a whole block, wherever it starts.
    if (longest >= 2 * kBlockPixels - 1)
        traits |= kSpanHasGaps;
    return traits;
}

bool overlay_detail::CompositeIndexSpanWith(int form, uint8_t* dst, const uint8_t* row, int first,
                                            const uint32_t* colors, int count, uint8_t traits) {
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
    span(dst, row, first, colors, count, traits);
    return true;
}

OverlayPalette::OverlayPalette()
    // Rows hold whole blocks: up to a block's bytes more a row.
    : index_(new uint8_t[kMaxPictureBytes / 8 + kMaxOverlayRows * kBlockPixels / 2]),
      traits_(new uint8_t[kMaxOverlayRows]), solid_(new uint8_t[kMaxOverlayRows]) {}

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
    const size_t row_bytes = overlay_detail::PlaneRowBytes(width);
    std::vector<uint8_t> numbers(static_cast<size_t>(width)); // of one row
    int count = 0;
    bool failed = false;
    overlay_detail::ForEachSpan(
        extent,
        [&](int y, int begin, int end) {
            const size_t row = static_cast<size_t>(y) * width;
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
                numbers[x] = static_cast<uint8_t>(n);
                one = x == begin ? n : one;
                mixed |= n ^ one;
            }
            if (failed) // the row's numbers are not all found
                return;
            overlay_detail::PackNumbers(numbers.data(), begin, end,
                                        index_.get() + static_cast<size_t>(y) * row_bytes);
            traits_[y] = overlay_detail::SpanTraits(numbers.data(), begin, end, colors_);
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
    // The rows the decoder wrote last go first, while they are still in the
    // level-2 cache (the others first would push them out before they were
    // reached), then the rest top down. Walking the whole picture bottom up
    // saves as much here, but costs more in the next decode into the buffer.
    const int recent =
        static_cast<int>(std::min<size_t>(overlay_detail::RecentBytes() / frame_stride, height));
    const int split = height - recent;
    for (const bool last_rows : {true, false}) {
        const auto here = [&](int y) { return (y >= split) == last_rows; };
        overlay_detail::ForEachSpan(
            extent,
            [&](int y, int begin, int end) {
                if (!here(y))
                    return;
                uint8_t* dst = frame + static_cast<size_t>(y) * frame_stride + begin * 4;
                const uint8_t one = solid_[y];
                if (one != 0)
                    FillSpan(dst, colors_[one], end - begin);
                else
                    CompositeIndexSpan(dst, index + static_cast<size_t>(y) * row_bytes_, begin,
                                       colors_, end - begin, traits_[y]);
            },
            [&](int y, int begin) {
                if (!here(y))
                    return;
                if (solid_[y] == 0)
                    __builtin_prefetch(index + static_cast<size_t>(y) * row_bytes_ +
                                       begin / kBlockPixels * (kBlockPixels / 2));
                __builtin_prefetch(frame + static_cast<size_t>(y) * frame_stride + begin * 4, 1);
            });
    }
}
