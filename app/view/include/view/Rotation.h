// Turning the shown picture by quarter turns, free of any window system: the
// turned size, points between the camera's picture and the turned one, and
// a 32-bit frame turned into a buffer the caller owns.
//
// A turn count is clockwise ("Rotate right" adds one); any integer is taken
// modulo 4. Points are whole pixels of a width x height picture; the turned
// picture of an odd turn count is height x width.
#pragma once

#include "view/VideoGeometry.h"

#include <cstddef>
#include <cstdint>

namespace view {

// turns reduced to 0, 1, 2 or 3 (negative counts turn left).
int NormalQuarterTurns(int turns);

struct PictureSize {
    int width = 0;
    int height = 0;
};

// The size of a width x height picture after turns.
PictureSize RotateSize(int width, int height, int turns);

// Where pixel point of a width x height picture lands in the turned one.
POINT RotatePoint(const POINT& point, int width, int height, int turns);
// The inverse: the pixel of the width x height picture (the size before
// turning) that shows at point of the turned picture.
POINT UnrotatePoint(const POINT& point, int width, int height, int turns);

// A step (dx, dy) on the turned picture as a step on the picture before
// turning: an arrow key moves a selection the way it looks on screen.
POINT UnrotateStep(const POINT& step, int turns);

// Bytes RotateFrame writes for a width x height frame: rows of the turned
// width x 4 bytes, no padding. 0 for a non-positive size.
size_t RotatedFrameBytes(int width, int height);

// Writes the width x height 32-bit frame at source (rows of stride bytes,
// top-down) turned into destination, rows of the turned width x 4 bytes.
// False, and nothing written, for a non-positive size, a stride below width
// x 4, a null pointer or a capacity below RotatedFrameBytes. Source and
// destination must not overlap.
bool RotateFrame(const uint8_t* source, int width, int height, int stride, int turns,
                 uint8_t* destination, size_t capacity);

} // namespace view
