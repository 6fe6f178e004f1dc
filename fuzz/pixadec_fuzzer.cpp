// The JPEG measuring library (pixadec) on any bytes. The input is the
// picture as a camera would deliver it.
//
// Invariants: an accepted picture has a positive size and 1, 3 or 4
// components, the handle reports the same size again, and the out values are
// left alone when a picture is refused.
#include "fuzz_support.h"
#include "pixadec.h"

#include <climits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(INT_MAX)) {
        return 0;
    }
    int width = -7;
    int height = -7;
    int components = -7;
    PIXADEC_HANDLE image = LibJpeg_Open(data, static_cast<int>(size), &width, &height, &components);
    if (image == nullptr) {
        FUZZ_CHECK(width == -7 && height == -7 && components == -7);
        return 0;
    }
    FUZZ_CHECK(width > 0 && height > 0 && width <= 65535 && height <= 65535);
    FUZZ_CHECK(components == 1 || components == 3 || components == 4);
    int again_width = 0;
    int again_height = 0;
    FUZZ_CHECK(LibJpeg_GetSize(image, &again_width, &again_height) == 0);
    FUZZ_CHECK(again_width == width && again_height == height);
    LibJpeg_Close(image);
    return 0;
}
