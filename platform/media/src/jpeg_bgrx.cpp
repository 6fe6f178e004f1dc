#include "platform/media.h"

#include "jpeg_rows.h"

#include <turbojpeg.h>

namespace platform {
namespace {

// Cameras may pad a picture after its EOI; a picture cut short has no EOI
// in its tail at all (inside entropy-coded data 0xFF is never followed by
// 0xD9). Looking only at the tail keeps this check cheap.
constexpr size_t kEndSearchBytes = 1024;

// Measured on a 1080p picture: 1/2 costs 0.62 and 1/4 0.54 of a full decode;
// 1/8 is cheaper still.
constexpr int kCheaperScales[] = {2, 4, 8};

} // namespace

bool JpegEndsWithEndOfImage(const uint8_t* jpeg, size_t size) {
    if (jpeg == nullptr || size < 2) {
        return false;
    }
    const size_t first = size > kEndSearchBytes ? size - kEndSearchBytes : 0;
    for (size_t i = size - 1; i > first; --i) {
        if (jpeg[i - 1] == 0xFF && jpeg[i] == 0xD9) {
            return true;
        }
    }
    return false;
}

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
    if (handle_ != nullptr) {
        tjDestroy(handle_);
    }
}

bool JpegDecoder::ReadSize(const uint8_t* jpeg, size_t size, int* width, int* height) {
    if (handle_ == nullptr) {
        error_ = "no TurboJPEG decompressor";
        return false;
    }
    if (jpeg == nullptr || size == 0) {
        error_ = "empty picture";
        return false;
    }
    int w = 0;
    int h = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle_, jpeg, size, &w, &h, &subsampling, &colorspace) != 0 ||
        w <= 0 || h <= 0) {
        error_ = tjGetErrorStr2(handle_);
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

int ChooseJpegScale(int camera_width, int camera_height, int view_width, int view_height) {
    if (camera_width <= 0 || camera_height <= 0 || view_width <= 0 || view_height <= 0) {
        return 1;
    }
    int chosen = 1;
    for (const int denominator : kCheaperScales) {
        const int width = ScaledJpegSide(camera_width, denominator);
        const int height = ScaledJpegSide(camera_height, denominator);
        // A scale that shrinks nothing more (a tiny picture) is no saving.
        const bool smaller = width < ScaledJpegSide(camera_width, chosen) ||
                             height < ScaledJpegSide(camera_height, chosen);
        if (width >= view_width && height >= view_height && smaller) {
            chosen = denominator;
        }
    }
    return chosen;
}

bool JpegDecoder::CheckPicture(const uint8_t* jpeg, size_t size, const uint8_t* dst, int width,
                               int height, int stride, int denominator, int* scaled_width,
                               int* scaled_height) {
    if (dst == nullptr || width <= 0 || height <= 0 || stride / 4 < width) {
        error_ = "no room for the picture";
        return false;
    }
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        error_ = "no such scale";
        return false;
    }
    int picture_width = 0;
    int picture_height = 0;
    if (!ReadSize(jpeg, size, &picture_width, &picture_height)) {
        return false;
    }
    if (!JpegEndsWithEndOfImage(jpeg, size)) {
        error_ = "picture cut short: no end-of-image marker";
        return false;
    }
    *scaled_width = ScaledJpegSide(picture_width, denominator);
    *scaled_height = ScaledJpegSide(picture_height, denominator);
    return true;
}

JpegDecodeResult JpegDecoder::DecodeBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst, int width,
                                         int height, int stride, int denominator) {
    int scaled_width = 0;
    int scaled_height = 0;
    if (!CheckPicture(jpeg, size, dst, width, height, stride, denominator, &scaled_width,
                      &scaled_height)) {
        return JpegDecodeResult::kFailed;
    }
    if (scaled_width != width || scaled_height != height) {
        error_ = "picture size differs from the expected one";
        return JpegDecodeResult::kFailed;
    }
    const int flags = TJFLAG_FASTDCT | TJFLAG_LIMITSCANS;
    if (tjDecompress2(handle_, jpeg, size, dst, width, stride, height, TJPF_BGRX, flags) == 0) {
        error_ = "";
        return JpegDecodeResult::kOk;
    }
    error_ = tjGetErrorStr2(handle_);
    return tjGetErrorCode(handle_) == TJERR_WARNING ? JpegDecodeResult::kRecovered
                                                    : JpegDecodeResult::kFailed;
}

JpegDecodeResult JpegDecoder::DecodeShrunkBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst,
                                               int width, int height, int stride, int denominator,
                                               ShrinkFactor shrink) {
    int scaled_width = 0;
    int scaled_height = 0;
    if (!CheckPicture(jpeg, size, dst, width, height, stride, denominator, &scaled_width,
                      &scaled_height)) {
        return JpegDecodeResult::kFailed;
    }
    if (!shrinker_.Prepare(shrink, scaled_width, scaled_height, width, height)) {
        error_ = "picture size differs from the expected one";
        return JpegDecodeResult::kFailed;
    }
    // The shown frame is read next by the display server or the window's
    // thread, not by this one: its rows need not displace the decoder's.
    shrinker_.StreamOutput(true);
    if (!rows_) {
        rows_ = std::make_unique<JpegRowDecoder>();
    }
    return rows_->Decode(jpeg, size, denominator, scaled_width, scaled_height, shrinker_, dst,
                         stride, &error_);
}

JpegDecodePlan PlanJpegDecode(int camera_width, int camera_height, int view_width,
                              int view_height) {
    const int denominator = ChooseJpegScale(camera_width, camera_height, view_width, view_height);
    JpegDecodePlan plan{denominator, ShrinkFactor::kNone, ScaledJpegSide(camera_width, denominator),
                        ScaledJpegSide(camera_height, denominator)};
    const ShrinkFactor shrink = ShrinkFactorFor(plan.width, plan.height, view_width, view_height);
    if (shrink != ShrinkFactor::kNone) {
        plan = {denominator, shrink, view_width, view_height};
    }
    return plan;
}

JpegDecodeResult DecodeJpegToBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst, int width,
                                  int height, int stride) {
    thread_local JpegDecoder decoder;
    return decoder.DecodeBgrx(jpeg, size, dst, width, height, stride);
}

} // namespace platform
