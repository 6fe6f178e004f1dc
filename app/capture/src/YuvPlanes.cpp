#include "YuvPlanes.h"

#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace yuv {

namespace {

// libjpeg's fixed point: 16 fraction bits, rounded constants.
constexpr int kBits = 16;
constexpr int32_t kHalf = 1 << (kBits - 1);
constexpr int32_t kCentre = 128 << kBits;
constexpr int32_t Fix(double x) {
    return static_cast<int32_t>(x * (1 << kBits) + 0.5);
}

uint8_t Clamp(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

uint32_t Load32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// ---- turning one plane -------------------------------------------------------------

struct Plane {
    const uint8_t* data;
    int width;
    int height;
    int stride;
};

// The source pixel of turned pixel (x, y) of the plane turned by turns.
inline uint8_t SourceOf(const Plane& p, int turns, int x, int y) {
    switch (turns) {
    case 1:
        return p.data[static_cast<size_t>(p.height - 1 - x) * p.stride + y];
    case 2:
        return p.data[static_cast<size_t>(p.height - 1 - y) * p.stride + (p.width - 1 - x)];
    default:
        return p.data[static_cast<size_t>(x) * p.stride + (p.width - 1 - y)];
    }
}

// Turned pixels [x0, x1) x [y0, y1) one by one.
void TurnRect(const Plane& p, int turns, uint8_t* dst, int dst_stride, int x0, int x1, int y0,
              int y1) {
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = dst + static_cast<size_t>(y) * dst_stride;
        for (int x = x0; x < x1; ++x)
            row[x] = SourceOf(p, turns, x, y);
    }
}

#if defined(__SSE2__)
// The 16 x 16 turned pixels at (x, y) of an odd turn, by one transpose: the
// sixteen source rows that become columns x..x+15 are loaded in the order
// they land, and row j of the transpose is turned row y + j (turns 1) or
// y + 15 - j (turns 3).
inline void TurnTile(const Plane& p, int turns, uint8_t* dst, int dst_stride, int x, int y) {
    const uint8_t* first;
    ptrdiff_t step;
    if (turns == 1) {
        first = p.data + static_cast<ptrdiff_t>(p.height - 1 - x) * p.stride + y;
        step = -static_cast<ptrdiff_t>(p.stride);
    } else {
        first = p.data + static_cast<ptrdiff_t>(x) * p.stride + (p.width - 16 - y);
        step = p.stride;
    }
    __m128i v[16];
    for (int i = 0; i < 16; ++i)
        v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i * step));
    // Four rounds of interleaving row i with row i + 8 make row j column j.
    for (int round = 0; round < 4; ++round) {
        __m128i w[16];
        for (int i = 0; i < 8; ++i) {
            w[2 * i] = _mm_unpacklo_epi8(v[i], v[i + 8]);
            w[2 * i + 1] = _mm_unpackhi_epi8(v[i], v[i + 8]);
        }
        for (int i = 0; i < 16; ++i)
            v[i] = w[i];
    }
    uint8_t* out = dst + static_cast<ptrdiff_t>(turns == 1 ? y : y + 15) * dst_stride + x;
    const ptrdiff_t out_step = turns == 1 ? dst_stride : -static_cast<ptrdiff_t>(dst_stride);
    for (int j = 0; j < 16; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j * out_step), v[j]);
}

inline __m128i ReverseBytes(__m128i v) {
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
#endif

// A half turn: every row reversed, bottom to top.
void TurnHalf(const Plane& p, uint8_t* dst, int dst_stride) {
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* src = p.data + static_cast<size_t>(p.height - 1 - y) * p.stride;
        uint8_t* row = dst + static_cast<size_t>(y) * dst_stride;
        int x = 0;
#if defined(__SSE2__)
        for (; x + 16 <= p.width; x += 16) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p.width - 16 - x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), ReverseBytes(v));
        }
#endif
        for (; x < p.width; ++x)
            row[x] = src[p.width - 1 - x];
    }
}

// Writes plane p turned by turns (1, 2 or 3) into dst, rows of dst_stride.
void TurnPlane(const Plane& p, int turns, uint8_t* dst, int dst_stride) {
    if (turns == 2) {
        TurnHalf(p, dst, dst_stride);
        return;
    }
    const int width = p.height; // turned
    const int height = p.width;
    int whole_x = 0;
    int whole_y = 0;
#if defined(__SSE2__)
    // A band of 16 turned rows at a time, tile by tile across: the band is
    // written in whole rows, and the 16-byte pieces it reads from each source
    // row share cache lines with the next bands', which find them still in
    // the second level cache. Measured faster than square blocks here.
    whole_x = width / 16 * 16;
    whole_y = height / 16 * 16;
    for (int y = 0; y < whole_y; y += 16) {
        for (int x = 0; x < whole_x; x += 16)
            TurnTile(p, turns, dst, dst_stride, x, y);
    }
#endif
    TurnRect(p, turns, dst, dst_stride, whole_x, width, 0, height);
    TurnRect(p, turns, dst, dst_stride, 0, whole_x, whole_y, height);
}

// A turned chroma plane whose flipped axis had a part-filled last sample
// (an odd length under 2:1 sampling) sits half a sample off the turned luma:
// each turned sample covers luma of two old samples, so it becomes their
// mean. across: along rows, else along columns.
void ShiftHalfSample(uint8_t* plane, int width, int height, bool across) {
    if (across) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = plane + static_cast<size_t>(y) * width;
            for (int x = 0; x + 1 < width; ++x)
                row[x] = static_cast<uint8_t>((row[x] + row[x + 1] + 1) >> 1);
        }
        return;
    }
    for (int y = 0; y + 1 < height; ++y) {
        uint8_t* row = plane + static_cast<size_t>(y) * width;
        const uint8_t* next = row + width;
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<uint8_t>((row[x] + next[x] + 1) >> 1);
    }
}

} // namespace

int SkipTransparent(const uint8_t* row, int x, int end) {
#if defined(__SSE2__)
    const __m128i clear = _mm_set1_epi16(static_cast<short>(0xFEFE));
    const auto load = [row](int at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + static_cast<size_t>(at) * 4));
    };
    // The low 16 bits of each pixel: bytes 0, 1 of every four.
    constexpr int kLowHalves = 0x3333;
    while (x + 16 <= end) {
        // A span crosses pages, where the processor's prefetching stops.
        _mm_prefetch(reinterpret_cast<const char*>(row + static_cast<size_t>(x) * 4 + 1024),
                     _MM_HINT_T0);
        const __m128i a =
            _mm_and_si128(_mm_cmpeq_epi16(load(x), clear), _mm_cmpeq_epi16(load(x + 4), clear));
        const __m128i b = _mm_and_si128(_mm_cmpeq_epi16(load(x + 8), clear),
                                        _mm_cmpeq_epi16(load(x + 12), clear));
        if ((_mm_movemask_epi8(_mm_and_si128(a, b)) & kLowHalves) != kLowHalves)
            break;
        x += 16;
    }
    while (x + 4 <= end) {
        if ((_mm_movemask_epi8(_mm_cmpeq_epi16(load(x), clear)) & kLowHalves) != kLowHalves)
            break;
        x += 4;
    }
#else
    (void)row;
    (void)end;
#endif
    return x;
}

bool MakeLayout(int width, int height, int subsampling, PlaneLayout* layout) {
    if (width <= 0 || height <= 0 ||
        (subsampling != TJSAMP_444 && subsampling != TJSAMP_422 && subsampling != TJSAMP_420 &&
         subsampling != TJSAMP_440))
        return false;
    PlaneLayout l;
    l.width = width;
    l.height = height;
    l.subsampling = subsampling;
    l.h_factor = tjMCUWidth[subsampling] / 8;
    l.v_factor = tjMCUHeight[subsampling] / 8;
    for (int i = 0; i < 3; ++i) {
        l.plane_width[i] = tjPlaneWidth(i, width, subsampling);
        l.plane_height[i] = tjPlaneHeight(i, height, subsampling);
        if (l.plane_width[i] <= 0 || l.plane_height[i] <= 0)
            return false;
        l.offset[i] = l.bytes;
        l.bytes += static_cast<size_t>(l.plane_width[i]) * static_cast<size_t>(l.plane_height[i]);
    }
    *layout = l;
    return true;
}

int TurnedSubsampling(int subsampling, int turns) {
    if ((turns & 1) == 0)
        return subsampling;
    if (subsampling == TJSAMP_422)
        return TJSAMP_440;
    if (subsampling == TJSAMP_440)
        return TJSAMP_422;
    return subsampling;
}

Ycc BgrToYcc(uint8_t b, uint8_t g, uint8_t r) {
    Ycc out;
    out.y = static_cast<uint8_t>((Fix(0.29900) * r + Fix(0.58700) * g + Fix(0.11400) * b + kHalf) >>
                                 kBits);
    out.cb = static_cast<uint8_t>(
        (-Fix(0.16874) * r - Fix(0.33126) * g + Fix(0.50000) * b + kCentre + kHalf - 1) >> kBits);
    out.cr = static_cast<uint8_t>(
        (Fix(0.50000) * r - Fix(0.41869) * g - Fix(0.08131) * b + kCentre + kHalf - 1) >> kBits);
    return out;
}

uint32_t YccToBgr(Ycc ycc) {
    const int cb = ycc.cb - 128;
    const int cr = ycc.cr - 128;
    const int r = ycc.y + ((Fix(1.40200) * cr + kHalf) >> kBits);
    const int g = ycc.y + ((-Fix(0.34414) * cb - Fix(0.71414) * cr + kHalf) >> kBits);
    const int b = ycc.y + ((Fix(1.77200) * cb + kHalf) >> kBits);
    return Clamp(b) | static_cast<uint32_t>(Clamp(g)) << 8 | static_cast<uint32_t>(Clamp(r)) << 16;
}

void OverlayCompositor::Composite(uint8_t* picture, const PlaneLayout& layout,
                                  const uint8_t* overlay, const OverlayExtent& extent,
                                  uint64_t rendering) {
    if (picture == nullptr || overlay == nullptr || layout.width <= 0 || layout.height <= 0 ||
        layout.bytes == 0)
        return;
    const bool same = rendering != kNoRendering && rendering == ink_rendering_ &&
                      layout.width == ink_layout_.width && layout.height == ink_layout_.height &&
                      layout.subsampling == ink_layout_.subsampling;
    if (!same && rendering != kNoRendering) {
        ink_rendering_ = rendering;
        ink_layout_ = layout;
        luma_ink_.clear();
        chroma_ink_.clear();
        // A multiplying pixel depends on the picture under it: such an
        // overlay is read every time.
        ink_kept_ = Walk(nullptr, layout, overlay, extent);
    }
    if (rendering != kNoRendering && ink_kept_) {
        PutInk(picture, layout);
        return;
    }
    Walk(picture, layout, overlay, extent);
}

void OverlayCompositor::PutInk(uint8_t* picture, const PlaneLayout& layout) const {
    uint8_t* const luma = picture + layout.offset[0];
    for (const LumaInk& ink : luma_ink_)
        luma[ink.offset] = ink.y;
    uint8_t* const cb = picture + layout.offset[1];
    uint8_t* const cr = picture + layout.offset[2];
    for (const ChromaInk& ink : chroma_ink_) {
        cb[ink.offset] = static_cast<uint8_t>(
            (ink.cb + ink.undrawn * cb[ink.offset] + ink.total / 2) / ink.total);
        cr[ink.offset] = static_cast<uint8_t>(
            (ink.cr + ink.undrawn * cr[ink.offset] + ink.total / 2) / ink.total);
    }
}

bool OverlayCompositor::Walk(uint8_t* picture, const PlaneLayout& layout, const uint8_t* overlay,
                             const OverlayExtent& extent) {
    // Without a picture the ink is noted instead of put in.
    const bool note = picture == nullptr;
    const int width = layout.width;
    const int height = layout.height;
    const bool whole = extent.width == 0;
    if (!whole && (extent.width != width || extent.height != height))
        return true;
    const int first = whole ? 0 : std::max(extent.first_row, 0);
    const int end = whole ? height : std::min({extent.end_row, height, kMaxOverlayRows});
    const int h_shift = layout.h_factor == 2 ? 1 : 0;
    const int v_factor = layout.v_factor;
    const int chroma_width = layout.plane_width[1];
    const int luma_stride = layout.plane_width[0];
    if (sums_.size() < static_cast<size_t>(chroma_width) * 3)
        sums_.assign(static_cast<size_t>(chroma_width) * 3, 0);
    uint8_t* const luma = note ? nullptr : picture + layout.offset[0];
    uint32_t ink = 0; // the last replacing pixel converted, and its colour
    Ycc ink_ycc = BgrToYcc(0, 0, 0);
    for (int band = first / v_factor; band * v_factor < end; ++band) {
        const size_t band_offset = static_cast<size_t>(band) * chroma_width;
        uint8_t* const cb_row = note ? nullptr : picture + layout.offset[1] + band_offset;
        uint8_t* const cr_row = note ? nullptr : picture + layout.offset[2] + band_offset;
        int low = INT_MAX; // chroma samples touched
        int high = -1;
        const int band_end = std::min(band * v_factor + v_factor, end);
        for (int y = std::max(band * v_factor, first); y < band_end; ++y) {
            int begin = 0;
            int stop = width;
            if (!whole) {
                begin = std::max(extent.rows[y].begin, 0);
                stop = std::min(extent.rows[y].end, width);
            }
            if (begin >= stop)
                continue;
            low = std::min(low, begin >> h_shift);
            high = std::max(high, (stop - 1) >> h_shift);
            const uint8_t* const row = overlay + static_cast<size_t>(y) * width * 4;
            const size_t luma_offset = static_cast<size_t>(y) * luma_stride;
            uint8_t* const luma_row = note ? nullptr : luma + luma_offset;
            for (int x = SkipTransparent(row, begin, stop); x < stop;
                 x = SkipTransparent(row, x + 1, stop)) {
                const uint32_t pixel = Load32(row + static_cast<size_t>(x) * 4);
                if (OverlayPixelTransparent(pixel))
                    continue;
                const int sample = x >> h_shift;
                Ycc colour;
                if (OverlayPixelMultiplies(pixel)) {
                    if (note) {
                        std::fill(sums_.begin(), sums_.end(), 0);
                        return false;
                    }
                    const uint32_t frame = YccToBgr({luma_row[x], cb_row[sample], cr_row[sample]});
                    const uint32_t mixed = overlay_detail::MultiplyPixel(frame, pixel);
                    colour = BgrToYcc(mixed & 0xFF, (mixed >> 8) & 0xFF, (mixed >> 16) & 0xFF);
                } else {
                    if (pixel != ink) {
                        ink = pixel;
                        ink_ycc = BgrToYcc(pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF);
                    }
                    colour = ink_ycc;
                }
                if (note)
                    luma_ink_.push_back({static_cast<uint32_t>(luma_offset + x), colour.y});
                else
                    luma_row[x] = colour.y;
                int32_t* sum = &sums_[static_cast<size_t>(sample) * 3];
                sum[0] += colour.cb;
                sum[1] += colour.cr;
                sum[2] += 1;
            }
        }
        // The block's pixels inside the picture, drawn or not, share a sample.
        const int rows = std::min(v_factor, height - band * v_factor);
        for (int sample = low; sample <= high; ++sample) {
            int32_t* sum = &sums_[static_cast<size_t>(sample) * 3];
            if (sum[2] > 0) {
                const int pixels = rows * std::min(layout.h_factor, width - (sample << h_shift));
                const int undrawn = std::max(pixels - sum[2], 0);
                const int total = sum[2] + undrawn;
                if (note) {
                    chroma_ink_.push_back({static_cast<uint32_t>(band_offset + sample), sum[0],
                                           sum[1], undrawn, total});
                } else {
                    cb_row[sample] = static_cast<uint8_t>(
                        (sum[0] + undrawn * cb_row[sample] + total / 2) / total);
                    cr_row[sample] = static_cast<uint8_t>(
                        (sum[1] + undrawn * cr_row[sample] + total / 2) / total);
                }
            }
            sum[0] = sum[1] = sum[2] = 0;
        }
    }
    return true;
}

bool TurnPlanes(const uint8_t* source, const PlaneLayout& from, int turns, uint8_t* destination,
                const PlaneLayout& to) {
    turns &= 3;
    const bool odd = (turns & 1) != 0;
    if (source == nullptr || destination == nullptr || turns == 0 ||
        to.width != (odd ? from.height : from.width) ||
        to.height != (odd ? from.width : from.height) ||
        to.subsampling != TurnedSubsampling(from.subsampling, turns))
        return false;
    for (int i = 1; i < 3; ++i) {
        if (to.plane_width[i] != (odd ? from.plane_height[i] : from.plane_width[i]) ||
            to.plane_height[i] != (odd ? from.plane_width[i] : from.plane_height[i]))
            return false;
    }
    // The luma plane's padding is not picture: only the picture is turned,
    // and the turned plane padded again by repeating its last column and row.
    const Plane luma{source + from.offset[0], from.width, from.height, from.plane_width[0]};
    uint8_t* const out = destination + to.offset[0];
    const int stride = to.plane_width[0];
    TurnPlane(luma, turns, out, stride);
    for (int y = 0; y < to.height; ++y) {
        uint8_t* row = out + static_cast<size_t>(y) * stride;
        std::fill(row + to.width, row + stride, row[to.width - 1]);
    }
    for (int y = to.height; y < to.plane_height[0]; ++y)
        std::memcpy(out + static_cast<size_t>(y) * stride,
                    out + static_cast<size_t>(to.height - 1) * stride, stride);

    // Both axes flipped by the turn that had a part-filled last sample.
    const bool odd_x = from.width % from.h_factor != 0;
    const bool odd_y = from.height % from.v_factor != 0;
    const bool shift_across = (turns == 1 && odd_y) || (turns == 2 && odd_x);
    const bool shift_down = (turns == 3 && odd_x) || (turns == 2 && odd_y);
    for (int i = 1; i < 3; ++i) {
        const Plane chroma{source + from.offset[i], from.plane_width[i], from.plane_height[i],
                           from.plane_width[i]};
        uint8_t* const plane = destination + to.offset[i];
        TurnPlane(chroma, turns, plane, to.plane_width[i]);
        if (shift_across)
            ShiftHalfSample(plane, to.plane_width[i], to.plane_height[i], true);
        if (shift_down)
            ShiftHalfSample(plane, to.plane_width[i], to.plane_height[i], false);
    }
    return true;
}

} // namespace yuv
