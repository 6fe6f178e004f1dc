#include "share/InkLayer.h"

#include "annotation/FrameOverlay.h"

#include <png.h>

#include <cstring>

namespace share {

bool InkToPng(const uint8_t* overlay, const OverlayExtent* extent, int width, int height,
              int shrink, std::vector<uint8_t>* png) {
    png->clear();
    if (width <= 0 || height <= 0 || shrink < 1 ||
        static_cast<size_t>(width) * static_cast<size_t>(height) * 4 > kMaxPictureBytes)
        return false;
    const int out_width = (width + shrink - 1) / shrink;
    const int out_height = (height + shrink - 1) / shrink;
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    const size_t out_row_bytes = static_cast<size_t>(out_width) * 4;
    // Zero is a transparent pixel in the layer's BGRA.
    std::vector<uint8_t> pixels(out_row_bytes * static_cast<size_t>(out_height), 0);
    if (overlay != nullptr) {
        int first = 0;
        int end = height;
        if (extent != nullptr && extent->width == width && extent->height == height) {
            first = extent->first_row;
            end = extent->end_row;
        }
        // Any drawn pixel of a shrink x shrink block colours it, so that
        // lines thinner than a block stay.
        for (int y = first; y < end; ++y) {
            const uint8_t* from = overlay + static_cast<size_t>(y) * row_bytes;
            uint8_t* row = pixels.data() + static_cast<size_t>(y / shrink) * out_row_bytes;
            for (int x = 0; x < width; ++x, from += 4) {
                uint32_t pixel;
                std::memcpy(&pixel, from, 4);
                if (OverlayPixelTransparent(pixel))
                    continue;
                uint8_t* to = row + static_cast<size_t>(x / shrink) * 4;
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = OverlayPixelMultiplies(pixel) ? 128 : 255;
            }
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(out_width);
    image.height = static_cast<png_uint_32>(out_height);
    image.format = PNG_FORMAT_BGRA;
    // Made while a shape is drawn: speed before size (mostly empty anyway).
    image.flags = PNG_IMAGE_FLAG_FAST;
    // Room for the worst case, written once.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
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
