// A camera picture as the JPEG codec's own YCbCr planes (libjpeg-turbo's
// tjDecompressToYUVPlanes and tjCompressFromYUVPlanes), so that a recording
// as shown skips the colour conversions and the chroma up- and downsampling:
// the annotation overlay is composited into the planes where it is drawn,
// and the planes are turned one by one.
//
// Colours follow JPEG's full-range BT.601 in the fixed-point arithmetic of
// libjpeg. A drawn pixel sets its luma sample; a chroma sample becomes the
// mean of its block's pixels, drawn ones with their own colour and the rest
// with the sample's old value. A multiplying pixel multiplies the frame's
// colour there (its luma with its block's chroma).
#pragma once

#include "annotation/FrameOverlay.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yuv {

// Where the three planes of one width x height picture lie in one buffer,
// each a plane of tjPlaneWidth x tjPlaneHeight bytes (the luma plane padded
// to whole chroma samples), rows of that width, no gaps.
struct PlaneLayout {
    int width = 0;
    int height = 0;
    int subsampling = -1; // TJSAMP_*
    int h_factor = 1;     // luma pixels per chroma sample across
    int v_factor = 1;     // ... and down
    int plane_width[3] = {};
    int plane_height[3] = {};
    size_t offset[3] = {};
    size_t bytes = 0;
};

// The first pixel of overlay row [x, end) that may be drawn: transparent
// ones are skipped four at a time (lines and outlines leave most of a row's
// span untouched); the pixel returned still needs its own look.
int SkipTransparent(const uint8_t* row, int x, int end);

// The layout of a width x height picture of subsampling. False for a
// non-positive size or a subsampling the planes are not used for: grey (no
// colour to draw with), 4:1:1 (its quarter turn has no JPEG form) and
// unknown ones.
bool MakeLayout(int width, int height, int subsampling, PlaneLayout* layout);

// The subsampling of a picture of subsampling after turns: a quarter turn
// swaps 4:2:2 and 4:4:0, the others stay.
int TurnedSubsampling(int subsampling, int turns);

struct Ycc {
    uint8_t y = 0;
    uint8_t cb = 0;
    uint8_t cr = 0;
};
Ycc BgrToYcc(uint8_t b, uint8_t g, uint8_t r);
// The colour as 32-bit B, G, R, 0.
uint32_t YccToBgr(Ycc ycc);

// Composites overlays into planes. Keeps its sums between pictures, and
// the ink of the last overlay it read: one caller at a time.
class OverlayCompositor {
public:
    // No rendering number: the overlay is read every time.
    static constexpr uint64_t kNoRendering = UINT64_MAX;

    // Composites overlay (32-bit pixels, the picture's size, rows of width x
    // 4 bytes; FrameOverlay.h) into the planes in picture (layout), only
    // where extent says it is drawn: an unknown extent composites every
    // pixel, one of another size nothing. rendering numbers the overlay's
    // contents (OverlayWorker::ReadOverlay): for the same number and layout
    // the ink found the last time is put in again without reading the
    // overlay, unless the overlay multiplies (then it depends on the
    // picture under it).
    void Composite(uint8_t* picture, const PlaneLayout& layout, const uint8_t* overlay,
                   const OverlayExtent& extent, uint64_t rendering = kNoRendering);

private:
    struct LumaInk {
        uint32_t offset; // in the luma plane
        uint8_t y;
    };
    struct ChromaInk {
        uint32_t offset; // in each chroma plane
        int32_t cb;      // the drawn pixels' sums
        int32_t cr;
        int32_t undrawn; // the block's pixels that keep the sample's value
        int32_t total;
    };
    // Composites into picture, or without one notes the ink instead; false
    // when noting met a multiplying pixel.
    bool Walk(uint8_t* picture, const PlaneLayout& layout, const uint8_t* overlay,
              const OverlayExtent& extent);
    void PutInk(uint8_t* picture, const PlaneLayout& layout) const;

    // Per chroma sample of one band of rows: Cb sum, Cr sum, drawn pixels.
    std::vector<int32_t> sums_;
    std::vector<LumaInk> luma_ink_;
    std::vector<ChromaInk> chroma_ink_;
    uint64_t ink_rendering_ = kNoRendering;
    PlaneLayout ink_layout_;
    bool ink_kept_ = false;
};

// Writes the planes of source (from) turned by turns into destination, whose
// layout to is MakeLayout's for the turned size and TurnedSubsampling. The
// buffers must not overlap. False, nothing written, for no turn or a layout
// to that does not fit.
bool TurnPlanes(const uint8_t* source, const PlaneLayout& from, int turns, uint8_t* destination,
                const PlaneLayout& to);

} // namespace yuv
