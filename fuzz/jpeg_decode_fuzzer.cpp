// The decoder element's two ways of decoding a picture from the camera: whole
// (TurboJPEG) and shrunk to a view row by row (libjpeg, whose errors jump
// back out of the decoder). The first two input bytes choose how much
// smaller than the picture the view is across and down; the rest is the
// picture.
//
// Invariants: no crash, no write outside the frame (the sanitizer's), a
// result of the three there are; and a decoded frame is opaque, as the view
// and the window's pixels want.
#include "fuzz_support.h"
#include "platform/media.h"

#include <algorithm>
#include <vector>

namespace {

// Larger headers would only measure the allocator.
constexpr int64_t kMaxPixels = 4096 * 4096;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int across = data[0];
    const int down = data[1];
    data += 2;
    size -= 2;
    static platform::JpegDecoder decoder; // as the element keeps one per stream
    int width = 0;
    int height = 0;
    if (!decoder.ReadSize(data, size, &width, &height) ||
        static_cast<int64_t>(width) * height > kMaxPixels) {
        return 0;
    }
    const int view_width = std::max(1, width - width * across / 320);
    const int view_height = std::max(1, height - height * down / 320);
    const platform::JpegDecodePlan plan =
        platform::PlanJpegDecode(width, height, view_width, view_height);
    FUZZ_CHECK(plan.width > 0 && plan.height > 0 && plan.width <= width && plan.height <= height);
    const int stride = plan.width * 4;
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * plan.height, 0);
    const platform::JpegDecodeResult result =
        plan.shrink == platform::ShrinkFactor::kNone
            ? decoder.DecodeBgrx(data, size, frame.data(), plan.width, plan.height, stride,
                                 plan.denominator)
            : decoder.DecodeShrunkBgrx(data, size, frame.data(), plan.width, plan.height, stride,
                                       plan.denominator, plan.shrink);
    FUZZ_CHECK(result == platform::JpegDecodeResult::kOk ||
               result == platform::JpegDecodeResult::kRecovered ||
               result == platform::JpegDecodeResult::kFailed);
    if (result == platform::JpegDecodeResult::kOk) {
        for (size_t i = 3; i < frame.size(); i += 4) {
            FUZZ_CHECK(frame[i] == 0xFF);
        }
    }
    return 0;
}
