// Shrinking a 32-bit BGRX frame by any factor up to 4:1 a direction: each
// output pixel is the mean of the frame pixels a direction nearest its
// centre, two of them up to 2:1 and four beyond (one where a direction
// keeps its size). Consecutive output pixels' groups start at most as many
// frame pixels apart as a group holds, so every frame row and column is in
// some group: a one-pixel line keeps at least a half (a quarter beyond 2:1)
// of its contrast, where taking the nearest pixel, or filtering only the two
// nearest beyond 2:1, skips columns and loses it.
//
// Reached through ShrinkBgrx (ShrinkFactor::kNearestMean); plain functions
// on caller-owned memory, no allocation, any thread.
#pragma once

#include <cstdint>

namespace view {

// The widest output the groups are worked out for (on the stack).
inline constexpr int kMaxMeanColumns = 8192;

// Whether width x height shrinks to dest_width x dest_height this way: from
// 1:1 to 4:1 in each direction, not 1:1 in both, at most kMaxMeanColumns
// wide.
bool NearestMeanFits(int width, int height, int dest_width, int dest_height);

// Writes the output (pixels opaque) as ShrinkBgrx describes; the caller has
// checked the sizes (NearestMeanFits) and strides. vector: the SSE2 loop
// where the processor has it, else the plain one; both give the same bytes.
void ShrinkNearestMean(bool vector, const uint8_t* frame, int width, int height, int stride,
                       uint8_t* out, int dest_width, int dest_height, int out_stride);

} // namespace view
