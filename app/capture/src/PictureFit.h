// A 32-bit picture fitted whole into a frame of another size: scaled in
// proportion by area averaging (each frame pixel is the mean of the picture
// area it covers, so that print stays legible when shrunk), centred, with
// black bars where the proportions differ. The weights are worked out again
// only when a size changes; the buffers grow to the largest size seen and are
// reused, so a steady stream of pictures allocates nothing.
//
// Threads: one caller at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class PictureFit {
public:
    // Writes picture (width x height pixels, rows of width x 4 bytes) fitted
    // into frame (frame_width x frame_height pixels, rows of frame_width x 4
    // bytes). False, and nothing written, for a size that is not positive.
    bool Fit(const uint8_t* picture, int width, int height, uint8_t* frame, int frame_width,
             int frame_height);

private:
    // The picture pixels that make up each frame pixel along one axis.
    struct Axis {
        int source = 0;
        int target = 0;
        std::vector<int32_t> first;   // per target pixel: its first source pixel
        std::vector<int32_t> begin;   // per target pixel, and one more: into weights
        std::vector<int32_t> weights; // kOne in all per target pixel
    };
    static void Prepare(Axis* axis, int source, int target);

    Axis across_;
    Axis down_;
    std::unique_ptr<uint8_t[]> rows_; // the picture's rows, scaled across
    size_t rows_bytes_ = 0;
    std::vector<int32_t> sums_; // one frame row being summed
};
