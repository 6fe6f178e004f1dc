#include "mean_shrinker.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

constexpr int kBytesPerPixel = 4;
constexpr uint32_t kOpaque = 0xFF000000u;

// How many frame pixels a direction make one output pixel's mean.
int GroupSize(int size, int dest) {
    return size == dest ? 1 : size <= 2 * dest ? 2 : 4;
}

// The first frame pixel of output pixel k's group: of the group frame
// pixels nearest the output pixel's centre, (k + 1/2) size / dest - 1/2
// (one or two of them at each side of it), kept inside the frame.
int FirstOfGroup(int64_t k, int64_t size, int64_t dest, int group) {
    const int64_t nearest_left = ((2 * k + 1) * size - dest) / (2 * dest);
    const int64_t first = nearest_left - (group == 4 ? 1 : 0);
    return static_cast<int>(std::clamp<int64_t>(first, 0, size - group));
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

// The means are taken in one fixed order, which the vector loop keeps:
// rows first, pairwise (0 with 1, 2 with 3, then the two), then columns,
// 0 with 2 and 1 with 3, then the two.
template <int kRows>
inline uint32_t RowsMean(const uint8_t* const* rows, ptrdiff_t at) {
    if (kRows == 1)
        return LoadPixel(rows[0] + at);
    const uint32_t upper = Up4(LoadPixel(rows[0] + at), LoadPixel(rows[1] + at));
    if (kRows == 2)
        return upper;
    return Up4(upper, Up4(LoadPixel(rows[2] + at), LoadPixel(rows[3] + at)));
}

template <int kColumns, int kRows>
void MeanRowPlain(const uint8_t* const* rows, const int* column, int from, int dest_width,
                  uint8_t* out) {
    for (int k = from; k < dest_width; ++k) {
        const ptrdiff_t x = static_cast<ptrdiff_t>(column[k]) * kBytesPerPixel;
        uint32_t v = RowsMean<kRows>(rows, x);
        if (kColumns == 2)
            v = Up4(v, RowsMean<kRows>(rows, x + kBytesPerPixel));
        if (kColumns == 4)
            v = Up4(Up4(v, RowsMean<kRows>(rows, x + 2 * kBytesPerPixel)),
                    Up4(RowsMean<kRows>(rows, x + kBytesPerPixel),
                        RowsMean<kRows>(rows, x + 3 * kBytesPerPixel)));
        v |= kOpaque;
        std::memcpy(out + static_cast<ptrdiff_t>(k) * kBytesPerPixel, &v, sizeof v);
    }
}

#if defined(__SSE2__)
// The kColumns pixels from at of one row, in the low lanes.
template <int kColumns>
inline __m128i LoadGroup(const uint8_t* at) {
    if (kColumns == 4)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (kColumns == 2)
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
    return _mm_cvtsi32_si128(static_cast<int>(LoadPixel(at)));
}

// The rows' mean of the kColumns pixels from x, in the low lanes.
template <int kColumns, int kRows>
inline __m128i ColumnsOfGroup(const uint8_t* const* rows, ptrdiff_t x) {
    __m128i v = LoadGroup<kColumns>(rows[0] + x);
    if (kRows >= 2)
        v = _mm_avg_epu8(v, LoadGroup<kColumns>(rows[1] + x));
    if (kRows == 4)
        v = _mm_avg_epu8(
            v, _mm_avg_epu8(LoadGroup<kColumns>(rows[2] + x), LoadGroup<kColumns>(rows[3] + x)));
    return v;
}

// The whole group's mean in lane 0.
template <int kColumns, int kRows>
inline __m128i GroupMean(const uint8_t* const* rows, ptrdiff_t x) {
    __m128i v = ColumnsOfGroup<kColumns, kRows>(rows, x);
    if (kColumns == 4)
        v = _mm_avg_epu8(v, _mm_srli_si128(v, 8));
    if (kColumns >= 2)
        v = _mm_avg_epu8(v, _mm_srli_si128(v, 4));
    return v;
}

// Four output pixels at a time; returns how many it wrote. kStream writes
// them past the caches where the row allows.
template <int kColumns, int kRows, bool kStream>
int MeanRowSse2(const uint8_t* const* rows, const int* column, int dest_width, uint8_t* out) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int k = 0;
    for (; k + 4 <= dest_width; k += 4) {
        const auto at = [&](int i) {
            return static_cast<ptrdiff_t>(column[k + i]) * kBytesPerPixel;
        };
        __m128i four;
        if (kColumns == 2 && column[k + 3] - column[k] == 3) {
            // Four groups side by side, as most are when the picture is
            // little larger than the view: two loads a row cover them all.
            four = _mm_avg_epu8(ColumnsOfGroup<4, kRows>(rows, at(0)),
                                ColumnsOfGroup<4, kRows>(rows, at(0) + kBytesPerPixel));
        } else if constexpr (kColumns == 2) {
            // The most common shrink: the columns' means of four pixels at once.
            const __m128i p01 = _mm_unpacklo_epi64(ColumnsOfGroup<2, kRows>(rows, at(0)),
                                                   ColumnsOfGroup<2, kRows>(rows, at(1)));
            const __m128i p23 = _mm_unpacklo_epi64(ColumnsOfGroup<2, kRows>(rows, at(2)),
                                                   ColumnsOfGroup<2, kRows>(rows, at(3)));
            const __m128 x = _mm_castsi128_ps(p01);
            const __m128 y = _mm_castsi128_ps(p23);
            four = _mm_avg_epu8(_mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0))),
                                _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1))));
        } else {
            const __m128i p01 = _mm_unpacklo_epi32(GroupMean<kColumns, kRows>(rows, at(0)),
                                                   GroupMean<kColumns, kRows>(rows, at(1)));
            const __m128i p23 = _mm_unpacklo_epi32(GroupMean<kColumns, kRows>(rows, at(2)),
                                                   GroupMean<kColumns, kRows>(rows, at(3)));
            four = _mm_unpacklo_epi64(p01, p23);
        }
        auto* dest = reinterpret_cast<__m128i*>(out + static_cast<ptrdiff_t>(k) * kBytesPerPixel);
        if (kStream && (reinterpret_cast<uintptr_t>(dest) & 15) == 0)
            _mm_stream_si128(dest, _mm_or_si128(four, opaque));
        else
            _mm_storeu_si128(dest, _mm_or_si128(four, opaque));
    }
    return k;
}
#endif

template <int kColumns, int kRows>
void MeanRow(bool vector, bool stream, const uint8_t* const* rows, const int* column,
             int dest_width, uint8_t* out) {
    int k = 0;
#if defined(__SSE2__)
    if (vector)
        k = stream ? MeanRowSse2<kColumns, kRows, true>(rows, column, dest_width, out)
                   : MeanRowSse2<kColumns, kRows, false>(rows, column, dest_width, out);
#else
    (void)vector;
    (void)stream;
#endif
    MeanRowPlain<kColumns, kRows>(rows, column, k, dest_width, out);
}

using RowFunction = void (*)(bool, bool, const uint8_t* const*, const int*, int, uint8_t*);

// The row loop for groups of columns x rows frame pixels (each 1, 2 or 4).
template <int kColumns>
RowFunction ForRows(int rows) {
    return rows == 1   ? MeanRow<kColumns, 1>
           : rows == 2 ? MeanRow<kColumns, 2>
                       : MeanRow<kColumns, 4>;
}
RowFunction RowFunctionFor(int columns, int rows) {
    return columns == 1 ? ForRows<1>(rows) : columns == 2 ? ForRows<2>(rows) : ForRows<4>(rows);
}

} // namespace

bool NearestMeanFits(int width, int height, int dest_width, int dest_height) {
    const auto fits = [](int64_t size, int64_t dest) {
        return dest > 0 && dest <= size && size <= 4 * dest;
    };
    return fits(width, dest_width) && fits(height, dest_height) &&
           (width != dest_width || height != dest_height) && dest_width <= kMaxMeanColumns;
}

void MeanShrink::Prepare(int width, int height, int dest_width, int dest_height) {
    height_ = height;
    dest_width_ = dest_width;
    dest_height_ = dest_height;
    const int columns = GroupSize(width, dest_width);
    rows_ = GroupSize(height, dest_height);
    for (int k = 0; k < dest_width; ++k)
        column_[k] = FirstOfGroup(k, width, dest_width, columns);
    row_ = RowFunctionFor(columns, rows_);
}

int MeanShrink::FirstRow(int y) const {
    return FirstOfGroup(y, height_, dest_height_, rows_);
}

void MeanShrink::Row(bool vector, bool stream, const uint8_t* const* rows, uint8_t* out) const {
    // The row functions read four row pointers: a smaller group repeats its last.
    const uint8_t* group[4];
    for (int i = 0; i < 4; ++i)
        group[i] = rows[std::min(i, rows_ - 1)];
    row_(vector, stream, group, column_, dest_width_, out);
}

void ShrinkNearestMean(bool vector, const uint8_t* frame, int width, int height, int stride,
                       uint8_t* out, int dest_width, int dest_height, int out_stride) {
    MeanShrink shrink;
    shrink.Prepare(width, height, dest_width, dest_height);
    for (int y = 0; y < dest_height; ++y) {
        const uint8_t* rows[4];
        for (int i = 0; i < shrink.GroupRows(); ++i)
            rows[i] = frame + static_cast<ptrdiff_t>(stride) * (shrink.FirstRow(y) + i);
        shrink.Row(vector, false, rows, out + static_cast<ptrdiff_t>(out_stride) * y);
    }
}

} // namespace platform
