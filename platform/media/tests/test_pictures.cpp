#include "test_pictures.h"

#include <turbojpeg.h>

#include <cstdlib>

namespace media_test {

Bytes SolidJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = red;
        rgb[i + 1] = green;
        rgb[i + 2] = blue;
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    Bytes jpeg;
    if (tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0) ==
        0) {
        jpeg.assign(out, out + size);
    }
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

bool NearColour(const uint8_t* bgrx, uint8_t red, uint8_t green, uint8_t blue, int tolerance) {
    return std::abs(bgrx[0] - blue) <= tolerance && std::abs(bgrx[1] - green) <= tolerance &&
           std::abs(bgrx[2] - red) <= tolerance;
}

} // namespace media_test
