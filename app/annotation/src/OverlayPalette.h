// A compact copy of the annotation overlay for compositing: half a byte per
// pixel instead of four. Annotations are drawn in a handful of colours (pens,
// fills, their inverses for the markers, the band's black, the highlighter's
// ink), so each drawn pixel becomes the number of its colour in a palette of
// fifteen. Compositing a densely drawn overlay then reads an eighth of the
// bytes it read from the 32-bit overlay, next to the picture's own, which it
// reads and writes once; the colour look-up runs eight to thirty-two pixels
// at a time, multiplying as the colour says and only where it may.
#pragma once

#include "annotation/FrameOverlay.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TOVEK_OVERLAY_AVX2 1
#endif

// Colours one palette holds; an overlay with more is composited from its
// 32-bit pixels.
inline constexpr int kMaxPaletteColors = 15;

// Not thread-safe: its owner (OverlayWorker) builds and composites it under
// one lock.
class OverlayPalette {
public:
    // Allocates the index plane once, for the largest frame.
    OverlayPalette();
    OverlayPalette(const OverlayPalette&) = delete;
    OverlayPalette& operator=(const OverlayPalette&) = delete;

    // Rebuilds from overlay (size bytes of 32-bit pixels, the extent's
    // width x height) over the extent's spans. Returns whether it is usable:
    // false, and invalid until the next Build, for an unknown extent, an
    // overlay larger than size, or more than kMaxPaletteColors different
    // opaque pixel values (each value is kept whole, fourth byte included).
    bool Build(const uint8_t* overlay, size_t size, const OverlayExtent& extent);
    void Invalidate() { valid_ = false; }
    bool Valid() const { return valid_; }

    // What CompositeOverlay(frame, frame_stride, overlay, width, height,
    // extent) does with the overlay and extent Build was given, byte for
    // byte; nothing when invalid.
    void Composite(uint8_t* frame, int frame_stride, int width, int height,
                   const OverlayExtent& extent) const;

private:
    // The colour numbers, laid out as overlay_detail::PackNumbers says; rows
    // of row_bytes_. 0 is transparent.
    std::unique_ptr<uint8_t[]> index_;
    // kMaxOverlayRows: what each row's span holds (overlay_detail::SpanTraits).
    std::unique_ptr<uint8_t[]> traits_;
    // kMaxOverlayRows: the number of a row whose whole span is one colour
    // that replaces (thin shapes, fills), which is filled without reading the
    // plane or the frame; 0 for any other row.
    std::unique_ptr<uint8_t[]> solid_;
    uint32_t colors_[kMaxPaletteColors + 1] = {}; // by index; [0] and free ones transparent
    int width_ = 0;
    int height_ = 0;
    size_t row_bytes_ = 0; // overlay_detail::PlaneRowBytes(width_)
    bool valid_ = false;
};

namespace overlay_detail {
// The plane's rows are cut into blocks of 32 pixels from the row's first,
// 16 bytes each: byte j of a block holds the number of the block's pixel j
// in its low half and of pixel 16 + j in its high half. Widening the block's
// bytes to 32-bit lanes then puts the first sixteen numbers in the lanes'
// low four bits, which is all a permutation reads, and a shift the others.
inline constexpr int kBlockPixels = 32;

// Bytes of a plane row width pixels wide: whole blocks.
inline size_t PlaneRowBytes(int width) {
    return static_cast<size_t>(std::max(width, 0) + kBlockPixels - 1) / kBlockPixels *
           (kBlockPixels / 2);
}

// Writes the numbers of pixels [begin, end) of a row, numbers[x] for pixel
// x (0 to 15), into the blocks of row that hold them; the blocks' other
// pixels become 0. Reads numbers only inside [begin, end).
void PackNumbers(const uint8_t* numbers, int begin, int end, uint8_t* row);

// What a span's pixel loop may leave out, found when the palette is built.
inline constexpr uint8_t kSpanMultiplies = 1; // a colour of the span multiplies
inline constexpr uint8_t kSpanHasGaps = 2;    // it holds a whole block of transparent pixels
// Those of numbers[begin, end) with colors.
uint8_t SpanTraits(const uint8_t* numbers, int begin, int end, const uint32_t* colors);

// Bytes of the picture the decoder wrote last that are likely still in the
// processor's level-2 cache: fifteen sixteenths of it (the decoder keeps a
// little of its own there), 1 MiB where its size is not known. The palette
// composites the rows that hold them first.
size_t RecentBytes();

// The palette pixel loops by number, as CompositeSpanWith: 0 plain, 2 AVX2,
// 3 AVX-512. Runs one on dst[0, count) from the colour numbers of pixels
// [first, first + count) of the plane row row, colors (kMaxPaletteColors +
// 1 entries) and the span's traits (or more of them than it has) and
// returns true, or false when that one is not available here. Reads only
// the blocks that hold those pixels.
bool CompositeIndexSpanWith(int form, uint8_t* dst, const uint8_t* row, int first,
                            const uint32_t* colors, int count, uint8_t traits);

#if defined(TOVEK_OVERLAY_AVX2)
// f x k / 255 rounded to nearest on sixteen 16-bit channels, as
// MultiplyPixel computes it.
__attribute__((target("avx2"))) inline __m256i Product16(__m256i f, __m256i k) {
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(f, k), _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

// MultiplyPixel on eight pixels, for the AVX2 loops of both the palette and
// the 32-bit overlay.
__attribute__((target("avx2"))) inline __m256i Multiply8(__m256i frame, __m256i ink) {
    const __m256i zero = _mm256_setzero_si256();
    // A fourth ink byte of 0xFF keeps the frame's: f x 255 / 255 is f.
    ink = _mm256_or_si256(ink, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
    // Unpacking and packing both work within each 128-bit half: the pixels
    // come back in their places.
    return _mm256_packus_epi16(
        Product16(_mm256_unpacklo_epi8(frame, zero), _mm256_unpacklo_epi8(ink, zero)),
        Product16(_mm256_unpackhi_epi8(frame, zero), _mm256_unpackhi_epi8(ink, zero)));
}

// The lanes of eight pixels that multiply, whether transparent or not.
__attribute__((target("avx2"))) inline __m256i Multiplies8(__m256i pixels) {
    return _mm256_cmpeq_epi32(
        _mm256_and_si256(pixels, _mm256_set1_epi32(static_cast<int>(0xFF000000u))),
        _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(kMultiplyByte) << 24)));
}
#endif
} // namespace overlay_detail
