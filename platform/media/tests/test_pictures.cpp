#include "test_pictures.h"

#include <turbojpeg.h>

#include <cstdlib>

namespace media_test {

namespace {

Bytes Compress(const std::vector<uint8_t>& rgb, int width, int height, int flags) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    Bytes jpeg;
    if (tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90,
                    flags) == 0) {
        jpeg.assign(out, out + size);
    }
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

} // namespace

Bytes SolidJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = red;
        rgb[i + 1] = green;
        rgb[i + 2] = blue;
    }
    return Compress(rgb, width, height, 0);
}

Bytes TexturedJpeg(int width, int height, bool progressive) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* at = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            at[0] = static_cast<uint8_t>(x * 7 + ((x / 5 + y / 3) % 2) * 90);
            at[1] = static_cast<uint8_t>(y * 5 + (noise >> 24) / 4);
            at[2] = static_cast<uint8_t>((x ^ y) * 3);
        }
    }
    return Compress(rgb, width, height, progressive ? TJFLAG_PROGRESSIVE : 0);
}

bool NearColour(const uint8_t* bgrx, uint8_t red, uint8_t green, uint8_t blue, int tolerance) {
    return std::abs(bgrx[0] - blue) <= tolerance && std::abs(bgrx[1] - green) <= tolerance &&
           std::abs(bgrx[2] - red) <= tolerance;
}

} // namespace media_test
