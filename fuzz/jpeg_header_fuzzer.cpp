// The camera source element's JPEG header reader on any bytes. The input is
// the picture as the camera delivered it.
//
// Invariants: a size read is positive and leaves nothing written on
// failure; and whenever the measuring library (pixadec) accepts a picture,
// the header reader reads the same size from it, since the pacing thread
// trusts the header reader to tell a picture of the measured size.
#include "fuzz_support.h"
#include "jpeg_header.h"
#include "pixadec.h"

#include <climits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = -7;
    int height = -7;
    bool read = camsrc::ReadJpegFrameSize(data, size, &width, &height);
    if (read) {
        FUZZ_CHECK(width > 0 && height > 0 && width <= 65535 && height <= 65535);
    } else {
        FUZZ_CHECK(width == -7 && height == -7);
    }
    if (size > static_cast<size_t>(INT_MAX)) {
        return 0;
    }
    int measured_width = 0;
    int measured_height = 0;
    PIXADEC_HANDLE image =
        LibJpeg_Open(data, static_cast<int>(size), &measured_width, &measured_height, nullptr);
    if (image != nullptr) {
        FUZZ_CHECK(read && width == measured_width && height == measured_height);
        LibJpeg_Close(image);
    }
    return 0;
}
