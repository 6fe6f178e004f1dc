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

namespace platform {

// The widest output the groups are worked out for (on the stack).
inline constexpr int kMaxMeanColumns = 8192;

// Whether width x height shrinks to dest_width x dest_height this way: from
// 1:1 to 4:1 in each direction, not 1:1 in both, at most kMaxMeanColumns
// wide.
bool NearestMeanFits(int width, int height, int dest_width, int dest_height);

// One nearest-mean shrink, an output row at a time: the columns' groups
// are worked out once. Output row y is the mean of GroupRows() frame rows
// from FirstRow(y); FirstRow never decreases with y.
class MeanShrink {
public:
    // The caller has checked the sizes (NearestMeanFits).
    void Prepare(int width, int height, int dest_width, int dest_height);
    int FirstRow(int y) const;
    int GroupRows() const { return rows_; }
    // Writes output row y (pixels opaque) from its group's rows: rows[i] is
    // frame row FirstRow(y) + i. vector: the SSE2 loop where the processor
    // has it, else the plain one; both give the same bytes. stream: the SSE2
    // loop writes past the caches (RowShrinker::StreamOutput).
    void Row(bool vector, bool stream, const uint8_t* const* rows, uint8_t* out) const;

private:
    using RowFunction = void (*)(bool, bool, const uint8_t* const*, const int*, int, uint8_t*);
    int height_ = 0;
    int dest_width_ = 0;
    int dest_height_ = 0;
    int rows_ = 1;
    RowFunction row_ = nullptr;
    int column_[kMaxMeanColumns]; // each output column's first frame column
};

// Writes the whole output as ShrinkBgrx describes; the caller has checked
// the sizes (NearestMeanFits) and strides.
void ShrinkNearestMean(bool vector, const uint8_t* frame, int width, int height, int stride,
                       uint8_t* out, int dest_width, int dest_height, int out_stride);

} // namespace platform
