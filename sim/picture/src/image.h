// Internal picture buffers and drawing primitives of the picture generator.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace sim::detail {

struct Rgb {
    uint8_t r, g, b;
};

// Packed 8-bit RGB, rows top-down, no padding: the layout TurboJPEG takes as
// TJPF_RGB with a pitch of 0.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    // Sizes are set only once the pixels are there, so an image whose
    // allocation failed never claims a size.
    void Resize(int w, int h) {
        pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
        width = w;
        height = h;
    }
    uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

// Drawing clips to the image; coordinates may lie outside it.
void FillRect(RgbImage& image, int x0, int y0, int x1, int y1, Rgb colour); // [x0,x1) x [y0,y1)
void FillCircle(RgbImage& image, int cx, int cy, int radius, Rgb colour);
void FillTriangle(RgbImage& image, const int (&x)[3], const int (&y)[3], Rgb colour);

// Built-in 5 x 7 font in 6 x 9 cells, each font pixel drawn as scale x scale.
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kCellWidth = 6;
inline constexpr int kCellHeight = 9;

// Draws text with its top-left corner at (x, y); characters outside printable
// ASCII draw as '?'. Returns the x just past the text.
int DrawText(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour);
inline int TextWidth(std::string_view text, int scale) {
    return static_cast<int>(text.size()) * kCellWidth * scale;
}

} // namespace sim::detail
