// Reads the picture size from a JPEG frame header without decoding, so the
// pacing thread can tell a picture of the size already measured from one
// that must be measured by the JPEG library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace camsrc {

// Width and height from the first frame header (SOF0-3, 5-7, 9-11, 13-15)
// before the first scan. False when the data does not start with SOI, a
// segment runs past the end, or no frame header with a non-zero size comes
// first. Reads nothing outside data[0, size).
bool ReadJpegFrameSize(const uint8_t* data, size_t size, int* width, int* height);

} // namespace camsrc
