#include "platform/frame_shrinker.h"
#include "mean_shrinker.h"

#include <cstddef>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform {

namespace {

constexpr int kBytesPerPixel = 4;
// The fourth byte of a pixel: written opaque, whatever the frame holds.
constexpr int kAlpha = 3;

bool Fits(ShrinkFactor factor, int width, int height, int stride, int dest_width, int dest_height,
          int out_stride) {
    return factor != ShrinkFactor::kNone &&
           ShrinkFactorFor(width, height, dest_width, dest_height) == factor &&
           static_cast<int64_t>(stride) >= static_cast<int64_t>(width) * kBytesPerPixel &&
           static_cast<int64_t>(out_stride) >= static_cast<int64_t>(dest_width) * kBytesPerPixel;
}

const uint8_t* Row(const uint8_t* base, int stride, int y) {
    return base + static_cast<ptrdiff_t>(stride) * y;
}
uint8_t* Row(uint8_t* base, int stride, int y) {
    return base + static_cast<ptrdiff_t>(stride) * y;
}

// The filters work on bytes, each channel alike, with two averages that
// vector units do in one instruction: Up rounds half up, Down half down.
inline unsigned Up(unsigned a, unsigned b) {
    return (a + b + 1) >> 1;
}
inline unsigned Down(unsigned a, unsigned b) {
    return (a + b) >> 1;
}
// 3/4 a + 1/4 b, rounding once down and once up so that the errors cancel
// rather than add up.
inline unsigned Near(unsigned a, unsigned b) {
    return Up(a, Down(a, b));
}

// 3:2 is bilinear: output pixel 0 of a group of three sits a quarter pixel
// from frame pixel 0 towards 1, output pixel 1 a quarter pixel from 2
// towards 1, in both directions.

// Output columns 2k and 2k + 1 of output rows 2m and 2m + 1 from frame
// columns 3k .. 3k + 2 of rows r[0..2].
void ThreeToTwoGroup(const uint8_t* const r[3], int k, uint8_t* o0, uint8_t* o1) {
    const int left_x = 2 * k * kBytesPerPixel + kAlpha;
    o0[left_x] = o0[left_x + kBytesPerPixel] = o1[left_x] = o1[left_x + kBytesPerPixel] = 0xFF;
    for (int c = 0; c < kAlpha; ++c) {
        unsigned top[3];
        unsigned bottom[3];
        for (int i = 0; i < 3; ++i) {
            const int at = (3 * k + i) * kBytesPerPixel + c;
            top[i] = Near(r[0][at], r[1][at]);
            bottom[i] = Near(r[2][at], r[1][at]);
        }
        const int left = 2 * k * kBytesPerPixel + c;
        const int right = left + kBytesPerPixel;
        o0[left] = static_cast<uint8_t>(Near(top[0], top[1]));
        o0[right] = static_cast<uint8_t>(Near(top[2], top[1]));
        o1[left] = static_cast<uint8_t>(Near(bottom[0], bottom[1]));
        o1[right] = static_cast<uint8_t>(Near(bottom[2], bottom[1]));
    }
}

// 2:1 is the mean of four: output column k of an output row from frame
// columns 2k, 2k + 1 of rows r0, r1.
void TwoToOnePixel(const uint8_t* r0, const uint8_t* r1, int k, uint8_t* o) {
    o[k * kBytesPerPixel + kAlpha] = 0xFF;
    for (int c = 0; c < kAlpha; ++c) {
        const int at = 2 * k * kBytesPerPixel + c;
        o[k * kBytesPerPixel + c] = static_cast<uint8_t>(
            Up(Down(r0[at], r1[at]), Down(r0[at + kBytesPerPixel], r1[at + kBytesPerPixel])));
    }
}

#if defined(__SSE2__)

__m128i Load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
// Four output pixels, made opaque; kStream writes them past the caches
// where the address allows (see RowShrinker::StreamOutput).
template <bool kStream>
void Store(uint8_t* at, __m128i v) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    if (kStream && (reinterpret_cast<uintptr_t>(at) & 15) == 0)
        _mm_stream_si128(reinterpret_cast<__m128i*>(at), _mm_or_si128(v, opaque));
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_or_si128(v, opaque));
}
__m128i UpV(__m128i a, __m128i b) {
    return _mm_avg_epu8(a, b);
}
__m128i DownV(__m128i a, __m128i b) {
    const __m128i odd = _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(a, b), odd);
}
__m128i NearV(__m128i a, __m128i b) {
    return UpV(a, DownV(a, b));
}

// Four-byte pixels picked from two registers: (x[i], x[j], y[k], y[l]).
template <int i, int j, int k, int l>
__m128i Pick(__m128i x, __m128i y) {
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(x), _mm_castsi128_ps(y), _MM_SHUFFLE(l, k, j, i)));
}

// Twelve pixels a (0-3), b (4-7), c (8-11) of one row into eight at out.
template <bool kStream>
void ThreeToTwoColumns(__m128i a, __m128i b, __m128i c, uint8_t* out) {
    // The pixels nearest each output (0 2 3 5 | 6 8 9 11) and the middle ones
    // of their groups (1 1 4 4 | 7 7 10 10).
    const __m128i near1 = Pick<0, 2, 0, 2>(a, Pick<3, 3, 1, 1>(a, b));
    const __m128i middle1 = Pick<1, 1, 0, 0>(a, b);
    const __m128i near2 = Pick<0, 2, 1, 3>(Pick<2, 2, 0, 0>(b, c), c);
    const __m128i middle2 = Pick<3, 3, 2, 2>(b, c);
    Store<kStream>(out, NearV(near1, middle1));
    Store<kStream>(out + 16, NearV(near2, middle2));
}

// Frame columns 0 .. 12 * groups - 1 of rows r[0..2] into output rows o0, o1.
template <bool kStream>
int ThreeToTwoRowsFast(const uint8_t* const r[3], int width, uint8_t* o0, uint8_t* o1) {
    const int groups = width / 12;
    for (int g = 0; g < groups; ++g) {
        const int in = g * 12 * kBytesPerPixel;
        const int out = g * 8 * kBytesPerPixel;
        __m128i top[3];
        __m128i bottom[3];
        for (int i = 0; i < 3; ++i) {
            const __m128i middle = Load(r[1] + in + 16 * i);
            top[i] = NearV(Load(r[0] + in + 16 * i), middle);
            bottom[i] = NearV(Load(r[2] + in + 16 * i), middle);
        }
        ThreeToTwoColumns<kStream>(top[0], top[1], top[2], o0 + out);
        ThreeToTwoColumns<kStream>(bottom[0], bottom[1], bottom[2], o1 + out);
    }
    return groups * 4; // groups of three columns done
}

// Output columns 0 .. 4 * groups - 1 of rows r0, r1.
template <bool kStream>
int TwoToOneRowFast(const uint8_t* r0, const uint8_t* r1, int dest_width, uint8_t* o) {
    const int groups = dest_width / 4;
    for (int g = 0; g < groups; ++g) {
        const int in = g * 8 * kBytesPerPixel;
        const __m128i a = DownV(Load(r0 + in), Load(r1 + in));
        const __m128i b = DownV(Load(r0 + in + 16), Load(r1 + in + 16));
        Store<kStream>(o + g * 4 * kBytesPerPixel,
                       UpV(Pick<0, 2, 0, 2>(a, b), Pick<1, 3, 1, 3>(a, b)));
    }
    return groups * 4;
}

#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TOVEK_SHRINK_AVX2 1
#define AVX2 __attribute__((target("avx2")))

AVX2 inline __m256i Load32(const uint8_t* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}
// Eight output pixels, made opaque (kStream as Store).
template <bool kStream>
AVX2 inline void Store32(uint8_t* at, __m256i v) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    if (kStream && (reinterpret_cast<uintptr_t>(at) & 31) == 0)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(at), _mm256_or_si256(v, opaque));
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_or_si256(v, opaque));
}
AVX2 inline __m256i DownW(__m256i a, __m256i b) {
    const __m256i odd = _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), odd);
}
AVX2 inline __m256i NearW(__m256i a, __m256i b) {
    return _mm256_avg_epu8(a, DownW(a, b));
}
// As Pick, in each 128-bit half on its own.
template <int i, int j, int k, int l>
AVX2 inline __m256i PickW(__m256i x, __m256i y) {
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(x), _mm256_castsi256_ps(y), _MM_SHUFFLE(l, k, j, i)));
}

// Twenty-four pixels of one row (t0: 0-7, t1: 8-15, t2: 16-23) into sixteen
// at out: each 128-bit half takes one group of twelve, as ThreeToTwoColumns.
template <bool kStream>
AVX2 inline void ThreeToTwoColumnsW(__m256i t0, __m256i t1, __m256i t2, uint8_t* out) {
    const __m256i a = _mm256_blend_epi32(t0, t1, 0xF0);        // 0-3 | 12-15
    const __m256i b = _mm256_permute2x128_si256(t0, t2, 0x21); // 4-7 | 16-19
    const __m256i c = _mm256_blend_epi32(t1, t2, 0xF0);        // 8-11 | 20-23
    const __m256i near1 = PickW<0, 2, 0, 2>(a, PickW<3, 3, 1, 1>(a, b));
    const __m256i middle1 = PickW<1, 1, 0, 0>(a, b);
    const __m256i near2 = PickW<0, 2, 1, 3>(PickW<2, 2, 0, 0>(b, c), c);
    const __m256i middle2 = PickW<3, 3, 2, 2>(b, c);
    const __m256i first = NearW(near1, middle1);  // outputs 0-3 | 8-11
    const __m256i second = NearW(near2, middle2); // outputs 4-7 | 12-15
    Store32<kStream>(out, _mm256_permute2x128_si256(first, second, 0x20));
    Store32<kStream>(out + 32, _mm256_permute2x128_si256(first, second, 0x31));
}

template <bool kStream>
AVX2 int ThreeToTwoRowsAvx2(const uint8_t* const r[3], int width, uint8_t* o0, uint8_t* o1) {
    const int groups = width / 24;
    for (int g = 0; g < groups; ++g) {
        const int in = g * 24 * kBytesPerPixel;
        const int out = g * 16 * kBytesPerPixel;
        __m256i top[3];
        __m256i bottom[3];
        for (int i = 0; i < 3; ++i) {
            const __m256i middle = Load32(r[1] + in + 32 * i);
            top[i] = NearW(Load32(r[0] + in + 32 * i), middle);
            bottom[i] = NearW(Load32(r[2] + in + 32 * i), middle);
        }
        ThreeToTwoColumnsW<kStream>(top[0], top[1], top[2], o0 + out);
        ThreeToTwoColumnsW<kStream>(bottom[0], bottom[1], bottom[2], o1 + out);
    }
    return groups * 8;
}

template <bool kStream>
AVX2 int TwoToOneRowAvx2(const uint8_t* r0, const uint8_t* r1, int dest_width, uint8_t* o) {
    const int groups = dest_width / 8;
    for (int g = 0; g < groups; ++g) {
        const int in = g * 16 * kBytesPerPixel;
        const __m256i a = DownW(Load32(r0 + in), Load32(r1 + in));
        const __m256i b = DownW(Load32(r0 + in + 32), Load32(r1 + in + 32));
        // Outputs 0 1 4 5 | 2 3 6 7, put in order by their 64-bit pairs.
        const __m256i sums = _mm256_avg_epu8(PickW<0, 2, 0, 2>(a, b), PickW<1, 3, 1, 3>(a, b));
        Store32<kStream>(o + g * 8 * kBytesPerPixel,
                         _mm256_permute4x64_epi64(sums, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    return groups * 8;
}

#undef AVX2
#endif

struct Kernel {
    int (*three_to_two)(const uint8_t* const r[3], int width, uint8_t* o0, uint8_t* o1);
    int (*two_to_one)(const uint8_t* r0, const uint8_t* r1, int dest_width, uint8_t* o);
};

int NoThreeToTwo(const uint8_t* const*, int, uint8_t*, uint8_t*) {
    return 0;
}
int NoTwoToOne(const uint8_t*, const uint8_t*, int, uint8_t*) {
    return 0;
}

Kernel KernelFor(ShrinkKernel kernel, bool stream = false) {
    switch (kernel) {
#if defined(__SSE2__)
    case ShrinkKernel::kSse2:
        return stream ? Kernel{ThreeToTwoRowsFast<true>, TwoToOneRowFast<true>}
                      : Kernel{ThreeToTwoRowsFast<false>, TwoToOneRowFast<false>};
#endif
#if defined(TOVEK_SHRINK_AVX2)
    case ShrinkKernel::kAvx2:
        return stream ? Kernel{ThreeToTwoRowsAvx2<true>, TwoToOneRowAvx2<true>}
                      : Kernel{ThreeToTwoRowsAvx2<false>, TwoToOneRowAvx2<false>};
#endif
    default:
        return {NoThreeToTwo, NoTwoToOne};
    }
}

// Output rows 2g and 2g + 1 (3:2) or g (2:1) from their frame rows r.
void ShrinkExactGroup(const Kernel& kernel, ShrinkFactor factor, const uint8_t* const* r, int width,
                      int dest_width, uint8_t* out, int out_stride, int g) {
    if (factor == ShrinkFactor::kThreeToTwo) {
        const uint8_t* const rows[3] = {r[0], r[1], r[2]};
        uint8_t* o0 = Row(out, out_stride, 2 * g);
        uint8_t* o1 = Row(out, out_stride, 2 * g + 1);
        int k = kernel.three_to_two(rows, width, o0, o1);
        for (; k < width / 3; ++k)
            ThreeToTwoGroup(rows, k, o0, o1);
        return;
    }
    uint8_t* o = Row(out, out_stride, g);
    int k = kernel.two_to_one(r[0], r[1], dest_width, o);
    for (; k < dest_width; ++k)
        TwoToOnePixel(r[0], r[1], k, o);
}

// Frame rows a group of an exact factor takes, and output rows it makes.
constexpr int kThreeToTwoRows = 3;
constexpr int kTwoToOneRows = 2;

} // namespace

ShrinkFactor ShrinkFactorFor(int width, int height, int dest_width, int dest_height) {
    if (width <= 0 || height <= 0 || dest_width <= 0 || dest_height <= 0)
        return ShrinkFactor::kNone;
    const int64_t w = width;
    const int64_t h = height;
    if (w == 2 * static_cast<int64_t>(dest_width) && h == 2 * static_cast<int64_t>(dest_height))
        return ShrinkFactor::kTwoToOne;
    if (2 * w == 3 * static_cast<int64_t>(dest_width) &&
        2 * h == 3 * static_cast<int64_t>(dest_height) && w % 3 == 0 && h % 3 == 0)
        return ShrinkFactor::kThreeToTwo;
    return NearestMeanFits(width, height, dest_width, dest_height) ? ShrinkFactor::kNearestMean
                                                                   : ShrinkFactor::kNone;
}

bool ShrinkKernelAvailable(ShrinkKernel kernel) {
    switch (kernel) {
    case ShrinkKernel::kPlain:
        return true;
#if defined(__SSE2__)
    case ShrinkKernel::kSse2:
        return true;
#endif
#if defined(TOVEK_SHRINK_AVX2)
    case ShrinkKernel::kAvx2:
        return __builtin_cpu_supports("avx2");
#endif
    default:
        return false;
    }
}

ShrinkKernel BestShrinkKernel() {
    static const ShrinkKernel best =
        ShrinkKernelAvailable(ShrinkKernel::kAvx2)   ? ShrinkKernel::kAvx2
        : ShrinkKernelAvailable(ShrinkKernel::kSse2) ? ShrinkKernel::kSse2
                                                     : ShrinkKernel::kPlain;
    return best;
}

bool ShrinkBgrx(ShrinkFactor factor, const uint8_t* frame, int width, int height, int stride,
                uint8_t* out, int dest_width, int dest_height, int out_stride) {
    return ShrinkBgrxWith(BestShrinkKernel(), factor, frame, width, height, stride, out, dest_width,
                          dest_height, out_stride);
}

bool ShrinkBgrxWith(ShrinkKernel kernel, ShrinkFactor factor, const uint8_t* frame, int width,
                    int height, int stride, uint8_t* out, int dest_width, int dest_height,
                    int out_stride) {
    if (frame == nullptr || out == nullptr || !ShrinkKernelAvailable(kernel) ||
        !Fits(factor, width, height, stride, dest_width, dest_height, out_stride))
        return false;
    if (factor == ShrinkFactor::kNearestMean) {
        ShrinkNearestMean(kernel != ShrinkKernel::kPlain, frame, width, height, stride, out,
                          dest_width, dest_height, out_stride);
        return true;
    }
    const Kernel exact = KernelFor(kernel);
    const int take = factor == ShrinkFactor::kThreeToTwo ? kThreeToTwoRows : kTwoToOneRows;
    const int groups = factor == ShrinkFactor::kThreeToTwo ? dest_height / 2 : dest_height;
    for (int g = 0; g < groups; ++g) {
        const uint8_t* rows[kThreeToTwoRows] = {};
        for (int i = 0; i < take; ++i)
            rows[i] = Row(frame, stride, take * g + i);
        ShrinkExactGroup(exact, factor, rows, width, dest_width, out, out_stride, g);
    }
    return true;
}

RowShrinker::RowShrinker() = default;
RowShrinker::~RowShrinker() = default;

bool RowShrinker::Prepare(ShrinkFactor factor, int width, int height, int dest_width,
                          int dest_height) {
    return Prepare(factor, width, height, dest_width, dest_height, BestShrinkKernel());
}

bool RowShrinker::Prepare(ShrinkFactor factor, int width, int height, int dest_width,
                          int dest_height, ShrinkKernel kernel) {
    // A decoder prepares the same shrink for every picture of a stream.
    if (groups_ > 0 && factor == factor_ && kernel == kernel_ && width == width_ &&
        height == height_ && dest_width == dest_width_ && dest_height == dest_height_)
        return true;
    groups_ = 0;
    if (!ShrinkKernelAvailable(kernel) ||
        !Fits(factor, width, height, width * kBytesPerPixel, dest_width, dest_height,
              dest_width * kBytesPerPixel))
        return false;
    if (factor == ShrinkFactor::kNearestMean) {
        if (!mean_)
            mean_ = std::make_unique<MeanShrink>();
        mean_->Prepare(width, height, dest_width, dest_height);
    }
    factor_ = factor;
    kernel_ = kernel;
    width_ = width;
    height_ = height;
    dest_width_ = dest_width;
    dest_height_ = dest_height;
    groups_ = factor == ShrinkFactor::kThreeToTwo ? dest_height / 2 : dest_height;
    return true;
}

RowShrinker::Group RowShrinker::GroupAt(int g) const {
    switch (factor_) {
    case ShrinkFactor::kThreeToTwo:
        return {kThreeToTwoRows * g, kThreeToTwoRows, 2 * g, 2};
    case ShrinkFactor::kTwoToOne:
        return {kTwoToOneRows * g, kTwoToOneRows, g, 1};
    default:
        return {mean_->FirstRow(g), mean_->GroupRows(), g, 1};
    }
}

void RowShrinker::Shrink(int g, const uint8_t* const* rows, uint8_t* out, int out_stride) const {
    if (g < 0 || g >= groups_)
        return;
    if (factor_ == ShrinkFactor::kNearestMean)
        mean_->Row(kernel_ != ShrinkKernel::kPlain, stream_, rows, Row(out, out_stride, g));
    else
        ShrinkExactGroup(KernelFor(kernel_, stream_), factor_, rows, width_, dest_width_, out,
                         out_stride, g);
#if defined(__SSE2__)
    // Whoever reads the rows next sees them once they are handed on.
    if (stream_)
        _mm_sfence();
#endif
}

} // namespace platform
