// Shrinking a 32-bit BGRX frame smoothly. By exactly 3:2 or 2:1 in both
// directions: 3:2 bilinear at each output pixel's centre (the two nearest
// frame pixels a direction weighed 3/4 and 1/4), 2:1 the mean of the four
// frame pixels an output pixel covers. Every frame pixel counts, so thin
// strokes of writing do not drop out, at about the cost of Qt's unfiltered
// (nearest pixel) scaling: these two factors are what a view fitting a
// 1920 x 1080 frame into 1280 x 720 or 960 x 540 (and the like) needs on
// every frame. Results are within one level of the exact filter. Any other
// shrink up to 4:1 a direction takes the mean of the frame pixels nearest
// each output pixel (MeanShrinker.h).
//
// Plain functions on caller-owned memory, no allocation: any thread; the
// frame is only read, the output only written.
#pragma once

#include <cstdint>

namespace view {

enum class ShrinkFactor {
    kNone,        // none fits (an enlargement): scale some other way
    kThreeToTwo,  // 3 x 3 frame pixels make 2 x 2 output pixels
    kTwoToOne,    // 2 x 2 frame pixels make 1 output pixel
    kNearestMean, // any other shrink from 1:1 to 4:1 a direction (not 1:1 in both)
};

// The factor that shrinks width x height to exactly dest_width x
// dest_height, or kNone (a larger output, or a shrink beyond 4:1).
ShrinkFactor ShrinkFactorFor(int width, int height, int dest_width, int dest_height);

// Writes the dest_width x dest_height output (as ShrinkFactorFor gives for
// width x height) into out, rows out_stride bytes apart. The fourth byte of
// each output pixel is 0xFF, as Qt's RGB32 and an opaque premultiplied
// ARGB32 picture (a window's buffer) both want. False (nothing written) when the
// sizes do not fit factor or a stride is shorter than a row. Uses the
// fastest kernel this processor has.
bool ShrinkBgrx(ShrinkFactor factor, const uint8_t* frame, int width, int height, int stride,
                uint8_t* out, int dest_width, int dest_height, int out_stride);

// The kernels; every one gives the same bytes as kPlain (the nearest
// mean takes the SSE2 loop under kAvx2).
enum class ShrinkKernel { kPlain, kSse2, kAvx2 };
bool ShrinkKernelAvailable(ShrinkKernel kernel);
// ShrinkBgrx with the given kernel; false too when it is not available.
bool ShrinkBgrxWith(ShrinkKernel kernel, ShrinkFactor factor, const uint8_t* frame, int width,
                    int height, int stride, uint8_t* out, int dest_width, int dest_height,
                    int out_stride);

} // namespace view
