// Scaling 32-bit pictures for a recording as shown, and where a picture
// fitted whole into a frame of another size goes.
//
// PictureScaler scales by area averaging: each target pixel is the mean of
// the picture area it covers, so that print stays legible when shrunk. The
// weights are worked out again only when a size changes; its buffers grow to
// the largest size seen and are reused, so a steady stream of pictures
// allocates nothing. One caller at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A width x height picture scaled in proportion to fit a frame_width x
// frame_height frame, and its place there (centred).
struct FittedPicture {
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
};
FittedPicture FitInside(int width, int height, int frame_width, int frame_height);

// Copies picture (width x height, rows of width x 4 bytes) into frame
// (frame_width x frame_height, rows of frame_width x 4 bytes) at its place,
// black around it.
void PlaceInFrame(const uint8_t* picture, const FittedPicture& place, uint8_t* frame,
                  int frame_width, int frame_height);

class PictureScaler {
public:
    // Writes picture (width x height pixels, rows of width x 4 bytes) scaled
    // to target (target_width x target_height, rows of target_width x 4
    // bytes). False, and nothing written, for a size that is not positive or
    // no memory for the work rows.
    bool Scale(const uint8_t* picture, int width, int height, uint8_t* target, int target_width,
               int target_height);

private:
    // The picture pixels that make up each target pixel along one axis.
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
    std::vector<int32_t> sums_; // one target row being summed
};
