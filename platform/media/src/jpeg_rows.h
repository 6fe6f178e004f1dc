// Decoding a JPEG picture row by row with libjpeg's own interface, which
// TurboJPEG's whole-picture calls do not offer: each few rows are shrunk
// (RowShrinker) while still in the processor's cache, so that a picture
// shown smaller than it is decoded never goes out to memory whole. The
// same decoder settings as the whole-picture path (fast integer
// transform, smooth upsampling, at most 500 scans), so the same pixels.
#pragma once

#include "platform/frame_shrinker.h"
#include "platform/media.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

class JpegRowDecoder {
public:
    JpegRowDecoder();
    ~JpegRowDecoder();
    JpegRowDecoder(const JpegRowDecoder&) = delete;
    JpegRowDecoder& operator=(const JpegRowDecoder&) = delete;

    // Decodes the picture at 1/denominator of its size, which must be
    // width x height (ScaledJpegSide), and hands its rows to shrinker
    // (prepared for width x height), which writes the output into dst, rows
    // stride bytes apart. Fails on a damaged or unsupported picture, with
    // the reason in error.
    JpegDecodeResult Decode(const uint8_t* jpeg, size_t size, int denominator, int width,
                            int height, const RowShrinker& shrinker, uint8_t* dst, int stride,
                            const char** error);

private:
    struct State; // libjpeg's decompressor with its error and progress handlers
    std::unique_ptr<State> state_;
    std::vector<uint8_t> ring_; // the last few rows made, for the shrinker's groups
};

} // namespace platform
