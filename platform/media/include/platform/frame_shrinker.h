// Shrinking a 32-bit BGRX frame smoothly. By exactly 3:2 or 2:1 in both
// directions: 3:2 bilinear at each output pixel's centre (the two nearest
// frame pixels a direction weighed 3/4 and 1/4), 2:1 the mean of the four
// frame pixels an output pixel covers. Every frame pixel counts, so thin
// strokes of writing do not drop out, at about the cost of Qt's unfiltered
// (nearest pixel) scaling: these two factors are what a view fitting a
// 1920 x 1080 frame into 1280 x 720 or 960 x 540 (and the like) needs on
// every frame. Results are within one level of the exact filter. Any other
// shrink up to 4:1 a direction takes the mean of the frame pixels nearest
// each output pixel (mean_shrinker.h).
//
// Plain functions on caller-owned memory, no allocation: any thread; the
// frame is only read, the output only written.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

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
// The fastest kernel this processor has.
ShrinkKernel BestShrinkKernel();
// ShrinkBgrx with the given kernel; false too when it is not available.
bool ShrinkBgrxWith(ShrinkKernel kernel, ShrinkFactor factor, const uint8_t* frame, int width,
                    int height, int stride, uint8_t* out, int dest_width, int dest_height,
                    int out_stride);

class MeanShrink;

// The same shrink made a group of frame rows at a time, from the top: a
// decoder that makes the frame row by row shrinks each group while its rows
// are still in the processor's cache, and the whole frame never goes out
// to memory. Gives the same bytes as ShrinkBgrx. One shrink per object;
// any thread, one at a time.
class RowShrinker {
public:
    // Which frame rows a group takes and which output rows it writes. Each
    // group's frame rows start at or after the previous group's and end at
    // or after its end; no group takes more than kMaxGroupRows.
    struct Group {
        int first_row;
        int rows;
        int first_out_row;
        int out_rows;
    };
    static constexpr int kMaxGroupRows = 4;

    RowShrinker();
    ~RowShrinker();
    RowShrinker(const RowShrinker&) = delete;
    RowShrinker& operator=(const RowShrinker&) = delete;

    // False, and nothing prepared, when width x height does not shrink to
    // dest_width x dest_height by factor (ShrinkFactorFor) or the kernel is
    // not available.
    bool Prepare(ShrinkFactor factor, int width, int height, int dest_width, int dest_height,
                 ShrinkKernel kernel);
    bool Prepare(ShrinkFactor factor, int width, int height, int dest_width, int dest_height);
    int Groups() const { return groups_; }
    Group GroupAt(int g) const;
    // Writes group g's output rows into out (the whole output's first row,
    // rows out_stride bytes apart); rows[i] is frame row first_row + i.
    void Shrink(int g, const uint8_t* const* rows, uint8_t* out, int out_stride) const;
    // Writes the output past the caches (non-temporal stores, same bytes):
    // for frames that the display server or another thread reads next, not
    // this one. The writes are ordered before Shrink returns.
    void StreamOutput(bool stream) { stream_ = stream; }

private:
    ShrinkFactor factor_ = ShrinkFactor::kNone;
    ShrinkKernel kernel_ = ShrinkKernel::kPlain;
    int width_ = 0;
    int height_ = 0;
    int dest_width_ = 0;
    int dest_height_ = 0;
    int groups_ = 0;
    bool stream_ = false;
    std::unique_ptr<MeanShrink> mean_; // the nearest mean's column table
};

} // namespace platform
