#include "jpeg_rows.h"

#include "platform/jpeg_error_jump.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace platform {
namespace {

// Rows kept for the groups: twice the largest group, so a group never
// needs a row that was overwritten.
constexpr int kRingRows = 2 * RowShrinker::kMaxGroupRows;
// libjpeg-turbo writes a row that starts on a vector boundary with stores
// that bypass the cache, right for a picture written out whole but not for
// rows read back at once: the ring's rows start a pixel past a cache line.
constexpr size_t kCacheLine = 64;
constexpr size_t kRowOffset = 4;

} // namespace

// The decompressor with its error handling (errors jump back to Decode).
struct JpegRowDecoder::State : JpegErrorJump {
    jpeg_decompress_struct info{};
};

JpegRowDecoder::JpegRowDecoder() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.Attach(reinterpret_cast<j_common_ptr>(&s.info));
    jpeg_create_decompress(&s.info);
    s.WatchScans(&s.info);
}

JpegRowDecoder::~JpegRowDecoder() {
    jpeg_destroy_decompress(&state_->info);
}

JpegDecodeResult JpegRowDecoder::Decode(const uint8_t* jpeg, size_t size, int denominator,
                                        int width, int height, const RowShrinker& shrinker,
                                        uint8_t* dst, int stride, const char** error) {
    const size_t pitch =
        (static_cast<size_t>(width) * 4 + kCacheLine - 1) / kCacheLine * kCacheLine;
    if (ring_.size() < pitch * kRingRows + kCacheLine + kRowOffset)
        ring_.resize(pitch * kRingRows + kCacheLine + kRowOffset);
    State& s = *state_;
    j_decompress_ptr info = &s.info;
    s.ClearWarnings();
    if (setjmp(s.jump) != 0) {
        jpeg_abort_decompress(info);
        *error = s.message;
        return JpegDecodeResult::kFailed;
    }
    jpeg_mem_src(info, jpeg, static_cast<unsigned long>(size));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) {
        jpeg_abort_decompress(info);
        *error = "no picture in the JPEG data";
        return JpegDecodeResult::kFailed;
    }
    info->out_color_space = JCS_EXT_BGRX;
    info->scale_num = 1;
    info->scale_denom = static_cast<unsigned>(denominator);
    info->dct_method = JDCT_IFAST;
    // The colours' half-size planes are spread by repeating pixels, not
    // filtered: the shrink that follows averages neighbours anyway, and
    // libjpeg then spreads and converts in one step (about a sixth less
    // decode for a 4:2:0 picture at full scale; scaled ones need no spread).
    info->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(info);
    if (info->output_width != static_cast<JDIMENSION>(width) ||
        info->output_height != static_cast<JDIMENSION>(height)) {
        jpeg_abort_decompress(info);
        *error = "picture size differs from the expected one";
        return JpegDecodeResult::kFailed;
    }
    const auto address = reinterpret_cast<uintptr_t>(ring_.data());
    uint8_t* const ring =
        ring_.data() + (kCacheLine - address % kCacheLine) % kCacheLine + kRowOffset;
    const auto ring_row = [ring, pitch](JDIMENSION row) {
        return ring + (row % kRingRows) * pitch;
    };
    // Rows from the ring, as many at a time as libjpeg makes at once.
    const auto read_ring = [info, &ring_row]() {
        JSAMPROW rows[2];
        const JDIMENSION left = info->output_height - info->output_scanline;
        const JDIMENSION n = std::min<JDIMENSION>(left, info->rec_outbuf_height > 1 ? 2 : 1);
        for (JDIMENSION i = 0; i < n; ++i)
            rows[i] = ring_row(info->output_scanline + i);
        jpeg_read_scanlines(info, rows, n);
    };
    for (int g = 0; g < shrinker.Groups(); ++g) {
        const RowShrinker::Group group = shrinker.GroupAt(g);
        const auto end = static_cast<JDIMENSION>(group.first_row + group.rows);
        while (info->output_scanline < end)
            read_ring();
        const uint8_t* rows[RowShrinker::kMaxGroupRows];
        for (int i = 0; i < group.rows; ++i)
            rows[i] = ring_row(static_cast<JDIMENSION>(group.first_row + i));
        shrinker.Shrink(g, rows, dst, stride);
    }
    // Rows no group takes are still read: finishing checks the rest.
    while (info->output_scanline < info->output_height)
        read_ring();
    jpeg_finish_decompress(info);
    if (s.warned) {
        *error = s.message;
        return JpegDecodeResult::kRecovered;
    }
    *error = "";
    return JpegDecodeResult::kOk;
}

} // namespace platform
