// Shrinking a 32-bit BGRX frame by any factor from 1:1 to 2:1 a direction:
// each output pixel is the mean of the two frame pixels a direction nearest
// its centre (of one where that direction keeps its size). Consecutive
// output pixels' pairs start at most two frame pixels apart, so every frame
// row and column is in some pair: a one-pixel line keeps at least half its
// contrast, where taking the nearest pixel would skip up to every other
// column and lose it.
//
// Reached through ShrinkBgrx (ShrinkFactor::kPairs); plain functions on
// caller-owned memory, no allocation, any thread.
#pragma once

#include <cstdint>

namespace view {

// The widest output the pairs are worked out for (on the stack).
inline constexpr int kMaxPairColumns = 8192;

// Whether width x height shrinks to dest_width x dest_height by pairs: from
// 1:1 to 2:1 in each direction, not 1:1 in both, at most kMaxPairColumns
// wide.
bool PairsFit(int width, int height, int dest_width, int dest_height);

// Writes the output (pixels opaque) as ShrinkBgrx describes; the caller has
// checked the sizes (PairsFit) and strides. vector: the SSE2 loop where the
// processor has it, else the plain one; both give the same bytes.
void ShrinkPairs(bool vector, const uint8_t* frame, int width, int height, int stride, uint8_t* out,
                 int dest_width, int dest_height, int out_stride);

} // namespace view
