// JPEG pictures made for the tests with TurboJPEG.
#pragma once

#include <cstdint>
#include <vector>

namespace media_test {

using Bytes = std::vector<uint8_t>;

// A picture of one colour.
Bytes SolidJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue);

// A picture of stripes, gradients and noise, whose every pixel differs from
// its neighbours: scaling or shrinking it wrongly shows.
Bytes TexturedJpeg(int width, int height, bool progressive = false);

// True when the BGRx pixel is within tolerance of the colour in every channel.
bool NearColour(const uint8_t* bgrx, uint8_t red, uint8_t green, uint8_t blue, int tolerance = 6);

} // namespace media_test
