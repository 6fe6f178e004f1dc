#include "share/InkLayer.h"

#include "annotation/FrameOverlay.h"

#include <png.h>

#include <cstring>

namespace share {

bool InkToPng(const uint8_t* overlay, const OverlayExtent* extent, int width, int height,
              std::vector<uint8_t>* png) {
    png->clear();
    if (width <= 0 || height <= 0 ||
        static_cast<size_t>(width) * static_cast<size_t>(height) * 4 > kMaxFrameBytes)
        return false;
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    // Zero is a transparent pixel in the layer's BGRA.
    std::vector<uint8_t> pixels(row_bytes * static_cast<size_t>(height), 0);
    if (overlay != nullptr) {
        int first = 0;
        int end = height;
        if (extent != nullptr && extent->width == width && extent->height == height) {
            first = extent->first_row;
            end = extent->end_row;
        }
        for (int y = first; y < end; ++y) {
            const uint8_t* from = overlay + static_cast<size_t>(y) * row_bytes;
            uint8_t* to = pixels.data() + static_cast<size_t>(y) * row_bytes;
            for (int x = 0; x < width; ++x, from += 4, to += 4) {
                uint32_t pixel;
                std::memcpy(&pixel, from, 4);
                if (OverlayPixelTransparent(pixel))
                    continue;
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = OverlayPixelMultiplies(pixel) ? 128 : 255;
            }
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    png->resize(size);
    if (!png_image_write_to_memory(&image, png->data(), &size, 0, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        png->clear();
        return false;
    }
    png->resize(size);
    return true;
}

} // namespace share
