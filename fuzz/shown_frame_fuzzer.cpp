// A recording as shown on any bytes: the camera's frames reach the writer
// thread as they came, damaged or hostile, and are read there (libjpeg's
// coefficients or TurboJPEG's planes) to be annotated and turned. The first
// byte chooses the quarter turns (its low two bits) and whether something is
// drawn (bit 2); the rest is the frame.
//
// Invariants: no crash, no hang, no sanitizer report; a frame made is a
// whole JPEG picture of the recording's size.
#include "annotation/FrameOverlay.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "fuzz_support.h"

#include <turbojpeg.h>

#include <cstring>
#include <memory>

namespace {

// Larger headers would only measure the allocator.
constexpr long kMaxPixels = 2048L * 2048;

// A line down the diagonal and a filled corner, for whatever size is asked.
OverlayWorker* Drawing() {
    static OverlayWorker* const overlay = [] {
        auto* worker = new OverlayWorker;
        worker->SetSizedRenderer(
            [](uint8_t* pixels, size_t size, OverlayExtent* extent, int* width, int* height) {
                if (*width <= 0 || *height <= 0)
                    *width = 64, *height = 48;
                const size_t bytes = static_cast<size_t>(*width) * *height * 4;
                if (bytes > size)
                    return false;
                std::memset(pixels, kTransparentByte, bytes);
                for (int y = 0; y < *height; ++y) {
                    for (int x = 0; x < *width; ++x) {
                        if (x == y * *width / *height || (x < 9 && y < 9)) {
                            uint8_t* p = pixels + (static_cast<size_t>(y) * *width + x) * 4;
                            p[0] = 0x20, p[1] = 0x80, p[2] = 0xF0, p[3] = 0xFF;
                        }
                    }
                }
                ClearOverlayExtent(extent, *width, *height);
                ScanOverlayExtent(pixels, *width, *height, 0, 0, *width, *height, extent);
                return true;
            });
        worker->SetPlaying(true);
        worker->RequestRedraw();
        worker->Turn();
        return worker;
    }();
    return overlay;
}

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int turns = data[0] & 3;
    const bool drawn = (data[0] & 4) != 0;
    data += 1;
    size -= 1;
    static const std::unique_ptr<void, TjFree> reader(tjInitDecompress());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(reader.get(), data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0 ||
        static_cast<long>(width) * height > kMaxPixels)
        return 0;
    ShownPicture shown;
    shown.SetQuarterTurns(turns);
    ShownFrameEncoder encoder(drawn ? Drawing() : nullptr, &shown, width, height);
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    if (!encoder.Encode(data, size, &out, &out_length))
        return 0;
    int out_width = 0;
    int out_height = 0;
    FUZZ_CHECK(tjDecompressHeader3(reader.get(), out, static_cast<unsigned long>(out_length),
                                   &out_width, &out_height, &subsampling, &colorspace) == 0);
    FUZZ_CHECK(out_width == encoder.Width() && out_height == encoder.Height());
    return 0;
}
