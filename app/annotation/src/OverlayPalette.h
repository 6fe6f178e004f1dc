// A compact copy of the annotation overlay for compositing: one byte per
// pixel instead of four. Annotations are drawn in a handful of colours (pens,
// fills, their inverses for the markers, the band's black), so each drawn
// pixel becomes the number of its colour in a small palette. Compositing a
// densely drawn overlay then reads a quarter of the bytes it read from the
// 32-bit overlay, and the colour look-up runs eight or sixteen pixels at a
// time.
#pragma once

#include "annotation/FrameOverlay.h"

#include <cstddef>
#include <cstdint>
#include <memory>

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
    std::unique_ptr<uint8_t[]> index_; // kMaxFrameBytes / 4; 0 transparent
    // kMaxOverlayRows: the index of a row whose whole span is one colour
    // (thin shapes, fills), which is filled without reading the plane or the
    // frame; 0 for any other row.
    std::unique_ptr<uint8_t[]> solid_;
    uint32_t colors_[kMaxPaletteColors + 1] = {}; // by index; [0] and free ones transparent
    int width_ = 0;
    int height_ = 0;
    bool valid_ = false;
};

namespace overlay_detail {
// The palette pixel loops by number, as CompositeSpanWith: 0 plain, 2 AVX2,
// 3 AVX-512. Runs one on dst[0, count) from the indices idx[0, count) and
// colors (kMaxPaletteColors + 1 entries) and returns true, or false when
// that one is not available here.
bool CompositeIndexSpanWith(int form, uint8_t* dst, const uint8_t* idx, const uint32_t* colors,
                            int count);
} // namespace overlay_detail
