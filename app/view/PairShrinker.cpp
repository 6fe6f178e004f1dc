#include "PairShrinker.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace view {

namespace {

constexpr int kBytesPerPixel = 4;
constexpr uint32_t kOpaque = 0xFF000000u;

// The first of the two frame pixels nearest the centre of output pixel k
// when size frame pixels make dest: floor((k + 1/2) size / dest - 1/2).
int FirstOfPair(int64_t k, int64_t size, int64_t dest) {
    return static_cast<int>(((2 * k + 1) * size - dest) / (2 * dest));
}

inline uint32_t LoadPixel(const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The rounding-up mean of each byte of a and b, as SSE2's pavgb.
inline uint32_t Up4(uint32_t a, uint32_t b) {
    return (a | b) - (((a ^ b) >> 1) & 0x7F7F7F7Fu);
}

// Output pixels [from, dest_width) of one row from frame rows a and b: the
// mean of a[x], a[x + dx], b[x], b[x + dx] with x = column[k].
void PairRowPlain(const uint8_t* a, const uint8_t* b, const int* column, int dx, int from,
                  int dest_width, uint8_t* out) {
    for (int k = from; k < dest_width; ++k) {
        const uint8_t* pa = a + static_cast<ptrdiff_t>(column[k]) * kBytesPerPixel;
        const uint8_t* pb = b + static_cast<ptrdiff_t>(column[k]) * kBytesPerPixel;
        const int next = dx * kBytesPerPixel;
        const uint32_t v = Up4(Up4(LoadPixel(pa), LoadPixel(pb)),
                               Up4(LoadPixel(pa + next), LoadPixel(pb + next))) |
                           kOpaque;
        std::memcpy(out + static_cast<ptrdiff_t>(k) * kBytesPerPixel, &v, sizeof v);
    }
}

#if defined(__SSE2__)
// Frame pixels x and x + 1 of rows a and b: the rows' mean, both columns
// side by side.
template <bool kTwoColumns>
inline __m128i Pair(const uint8_t* a, const uint8_t* b, int x) {
    const uint8_t* pa = a + static_cast<ptrdiff_t>(x) * kBytesPerPixel;
    const uint8_t* pb = b + static_cast<ptrdiff_t>(x) * kBytesPerPixel;
    if (kTwoColumns)
        return _mm_avg_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pa)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pb)));
    // One column: pixel x twice (x + 1 may lie past the frame).
    const __m128i one = _mm_avg_epu8(_mm_cvtsi32_si128(static_cast<int>(LoadPixel(pa))),
                                     _mm_cvtsi32_si128(static_cast<int>(LoadPixel(pb))));
    return _mm_unpacklo_epi32(one, one);
}

// Four output pixels at a time; returns how many it wrote.
template <bool kTwoColumns>
int PairRowSse2(const uint8_t* a, const uint8_t* b, const int* column, int dest_width,
                uint8_t* out) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int k = 0;
    for (; k + 4 <= dest_width; k += 4) {
        // Pixels k, k + 1 in the low and high halves, then their columns' mean.
        const __m128i p01 = _mm_unpacklo_epi64(Pair<kTwoColumns>(a, b, column[k]),
                                               Pair<kTwoColumns>(a, b, column[k + 1]));
        const __m128i p23 = _mm_unpacklo_epi64(Pair<kTwoColumns>(a, b, column[k + 2]),
                                               Pair<kTwoColumns>(a, b, column[k + 3]));
        // Even dwords hold each pixel's first column, odd ones its second.
        const __m128i firsts = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i seconds = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castsi128_ps(p01), _mm_castsi128_ps(p23), _MM_SHUFFLE(3, 1, 3, 1)));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + static_cast<ptrdiff_t>(k) * kBytesPerPixel),
            _mm_or_si128(_mm_avg_epu8(firsts, seconds), opaque));
    }
    return k;
}
#endif

} // namespace

bool PairsFit(int width, int height, int dest_width, int dest_height) {
    const auto fits = [](int64_t size, int64_t dest) {
        return dest > 0 && dest <= size && size <= 2 * dest;
    };
    return fits(width, dest_width) && fits(height, dest_height) &&
           (width != dest_width || height != dest_height) && dest_width <= kMaxPairColumns;
}

void ShrinkPairs(bool vector, const uint8_t* frame, int width, int height, int stride, uint8_t* out,
                 int dest_width, int dest_height, int out_stride) {
    int column[kMaxPairColumns];
    for (int k = 0; k < dest_width; ++k)
        column[k] = FirstOfPair(k, width, dest_width);
    const int dx = width > dest_width ? 1 : 0;
    const int dy = height > dest_height ? 1 : 0;
    for (int y = 0; y < dest_height; ++y) {
        const int top = FirstOfPair(y, height, dest_height);
        const uint8_t* a = frame + static_cast<ptrdiff_t>(stride) * top;
        const uint8_t* b = frame + static_cast<ptrdiff_t>(stride) * (top + dy);
        uint8_t* o = out + static_cast<ptrdiff_t>(out_stride) * y;
        int k = 0;
#if defined(__SSE2__)
        if (vector)
            k = dx ? PairRowSse2<true>(a, b, column, dest_width, o)
                   : PairRowSse2<false>(a, b, column, dest_width, o);
#else
        (void)vector;
#endif
        PairRowPlain(a, b, column, dx, k, dest_width, o);
    }
}

} // namespace view
