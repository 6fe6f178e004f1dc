#include "capture/ShownFrameEncoder.h"

#include "CoefficientEncoder.h"
#include "PictureScaler.h"
#include "YuvPlanes.h"
#include "annotation/FrameOverlay.h"
#include "capture/ShownPicture.h"
#include "common/FrameLimits.h"
#include "page/PageMode.h"
#include "view/Rotation.h"

#include "platform/media.h"

#include <turbojpeg.h>

#include <climits>
#include <cstring>
#include <new>

namespace {

// Pixel buffers take the largest camera's picture; a smaller one touches
// only its own pages of them.
bool Allocate(std::unique_ptr<uint8_t[]>* buffer) {
    if (!*buffer)
        buffer->reset(new (std::nothrow) uint8_t[kMaxPictureBytes]);
    return *buffer != nullptr;
}

} // namespace

void ShownFrameEncoder::TjHandleFree::operator()(void* handle) const {
    tjDestroy(handle);
}

void ShownFrameEncoder::TjBufferFree::operator()(unsigned char* buffer) const {
    tjFree(buffer);
}

ShownFrameEncoder::ShownFrameEncoder(OverlayWorker* overlay, const ShownPicture* shown,
                                     int camera_width, int camera_height)
    : overlay_(overlay), shown_(shown), decompressor_(tjInitDecompress()),
      compressor_(tjInitCompress()), scaler_(std::make_unique<PictureScaler>()),
      compositor_(std::make_unique<yuv::OverlayCompositor>()),
      coefficients_(std::make_unique<dct::CoefficientEncoder>()) {
    const int turns = shown_ != nullptr ? shown_->QuarterTurns() : 0;
    const view::PictureSize size = view::RotateSize(camera_width, camera_height, turns);
    width_ = size.width;
    height_ = size.height;
}

ShownFrameEncoder::~ShownFrameEncoder() = default;

void ShownFrameEncoder::SetPageMode(const page::PageMode* page) {
    page_ = page;
    if (page_ != nullptr && !page_renderer_)
        page_renderer_ = std::make_unique<page::PageRenderer>();
}

bool ShownFrameEncoder::EncodePage(const uint8_t* jpeg, size_t length, const Header& header,
                                   bool drawn) {
    if (!Decode(jpeg, length, header))
        return false;
    if (drawn)
        overlay_->Composite(decoded_.get(), header.width * 4, header.width, header.height);
    // Made upright within the frame's size before the turn, then turned as
    // the view shows it.
    const int turns = shown_ != nullptr ? shown_->QuarterTurns() : 0;
    const view::PictureSize box = view::RotateSize(width_, height_, turns);
    int width = 0;
    int height = 0;
    const uint8_t* picture =
        page_renderer_->Render(*page_, decoded_.get(), header.width, header.height,
                               header.width * 4, box.width, box.height, true, &width, &height);
    if (picture != nullptr && view::NormalQuarterTurns(turns) != 0) {
        if (!Allocate(&turned_) || !view::RotateFrame(picture, width, height, width * 4, turns,
                                                      turned_.get(), kMaxPictureBytes))
            return false;
        picture = turned_.get();
        const view::PictureSize turned = view::RotateSize(width, height, turns);
        width = turned.width;
        height = turned.height;
    }
    if (picture == nullptr || width > width_ || height > height_ || !Allocate(&fitted_))
        return false;
    const FittedPicture place{width, height, (width_ - width) / 2, (height_ - height) / 2};
    PlaceInFrame(picture, place, fitted_.get(), width_, height_);
    Compress(fitted_.get(), header.subsampling);
    return true;
}

bool ShownFrameEncoder::Encode(const uint8_t* jpeg, size_t length, const uint8_t** out,
                               size_t* out_length) {
    const size_t frame_bytes = view::RotatedFrameBytes(width_, height_);
    Header header;
    if (frame_bytes == 0 || frame_bytes > kMaxPictureBytes || !ReadHeader(jpeg, length, &header))
        return Last(out, out_length);
    const int turns = shown_ != nullptr ? shown_->QuarterTurns() : 0;
    const view::PictureSize shown = view::RotateSize(header.width, header.height, turns);
    const bool fits = shown.width == width_ && shown.height == height_;
    const bool drawn = overlay_ != nullptr && overlay_->Present();
    if (page_ != nullptr && page_->Active() && EncodePage(jpeg, length, header, drawn))
        return Last(out, out_length);
    if (!drawn && turns == 0 && fits) {
        Keep(jpeg, length);
        return Last(out, out_length);
    }
    if (fits && header.colorspace == TJCS_YCbCr &&
        coefficients_->Encode(jpeg, length, turns, drawn ? overlay_ : nullptr)) {
        Keep(coefficients_->Data(), coefficients_->Size());
        return Last(out, out_length);
    }
    yuv::PlaneLayout from;
    yuv::PlaneLayout to;
    if (fits && PlaneLayouts(header, turns, &from, &to)) {
        EncodePlanes(jpeg, length, drawn, turns, from, to);
        return Last(out, out_length);
    }
    if (!Decode(jpeg, length, header))
        return Last(out, out_length);
    if (drawn)
        overlay_->Composite(decoded_.get(), header.width * 4, header.width, header.height);
    const uint8_t* picture = decoded_.get();
    if (fits) {
        if (turns != 0) {
            if (!Allocate(&turned_) ||
                !view::RotateFrame(picture, header.width, header.height, header.width * 4, turns,
                                   turned_.get(), kMaxPictureBytes))
                return Last(out, out_length);
            picture = turned_.get();
        }
    } else {
        // Scaled before it is turned: the smaller picture turns faster.
        const FittedPicture place = FitInside(shown.width, shown.height, width_, height_);
        const view::PictureSize scaled = view::RotateSize(place.width, place.height, turns);
        if (!Allocate(&scaled_) || !Allocate(&turned_) || !Allocate(&fitted_) ||
            !scaler_->Scale(picture, header.width, header.height, scaled_.get(), scaled.width,
                            scaled.height) ||
            !view::RotateFrame(scaled_.get(), scaled.width, scaled.height, scaled.width * 4, turns,
                               turned_.get(), kMaxPictureBytes))
            return Last(out, out_length);
        PlaceInFrame(turned_.get(), place, fitted_.get(), width_, height_);
        picture = fitted_.get();
    }
    Compress(picture, header.subsampling);
    return Last(out, out_length);
}

bool ShownFrameEncoder::ReadHeader(const uint8_t* jpeg, size_t length, Header* header) {
    if (jpeg == nullptr || length == 0 || length > ULONG_MAX || !decompressor_ ||
        !platform::JpegEndsWithEndOfImage(jpeg, length))
        return false;
    if (tjDecompressHeader3(decompressor_.get(), jpeg, static_cast<unsigned long>(length),
                            &header->width, &header->height, &header->subsampling,
                            &header->colorspace) != 0)
        return false;
    const size_t bytes = view::RotatedFrameBytes(header->width, header->height);
    return bytes > 0 && bytes <= kMaxPictureBytes;
}

bool ShownFrameEncoder::Decode(const uint8_t* jpeg, size_t length, const Header& header) {
    if (!Allocate(&decoded_))
        return false;
    if (tjDecompress2(decompressor_.get(), jpeg, static_cast<unsigned long>(length), decoded_.get(),
                      header.width, header.width * 4, header.height, TJPF_BGRX,
                      TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE | TJFLAG_LIMITSCANS) == 0)
        return true;
    // A fault the library worked around leaves a whole picture.
    return tjGetErrorCode(decompressor_.get()) == TJERR_WARNING;
}

bool ShownFrameEncoder::Compress(const uint8_t* pixels, int subsampling) {
    // Annotations are in colour whatever the camera sends.
    if (subsampling < 0 || subsampling == TJSAMP_GRAY || subsampling >= TJ_NUMSAMP)
        subsampling = TJSAMP_420;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (!StartCompress(subsampling, &buffer, &size))
        return false;
    const int result =
        tjCompress2(compressor_.get(), pixels, width_, width_ * 4, height_, TJPF_BGRX, &buffer,
                    &size, subsampling, kQuality, TJFLAG_NOREALLOC);
    return FinishCompress(result, buffer, size);
}

bool ShownFrameEncoder::PlaneLayouts(const Header& header, int turns, yuv::PlaneLayout* from,
                                     yuv::PlaneLayout* to) const {
    // Planes of another colour space (RGB, CMYK) are not YCbCr.
    if (header.colorspace != TJCS_YCbCr ||
        !yuv::MakeLayout(header.width, header.height, header.subsampling, from) ||
        !yuv::MakeLayout(width_, height_, yuv::TurnedSubsampling(header.subsampling, turns), to))
        return false;
    return from->bytes <= kMaxPictureBytes && to->bytes <= kMaxPictureBytes;
}

void ShownFrameEncoder::EncodePlanes(const uint8_t* jpeg, size_t length, bool drawn, int turns,
                                     const yuv::PlaneLayout& from, const yuv::PlaneLayout& to) {
    if (!Allocate(&decoded_))
        return;
    unsigned char* planes[3];
    int strides[3];
    for (int i = 0; i < 3; ++i) {
        planes[i] = decoded_.get() + from.offset[i];
        strides[i] = from.plane_width[i];
    }
    if (tjDecompressToYUVPlanes(decompressor_.get(), jpeg, static_cast<unsigned long>(length),
                                planes, from.width, strides, from.height,
                                TJFLAG_FASTDCT | TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(decompressor_.get()) != TJERR_WARNING)
        return;
    if (drawn) {
        overlay_->ReadOverlay(
            from.width, from.height,
            [&](const uint8_t* overlay, const OverlayExtent& extent, uint64_t rendering) {
                compositor_->Composite(decoded_.get(), from, overlay, extent, rendering);
            });
    }
    const uint8_t* picture = decoded_.get();
    if (turns != 0) {
        if (!Allocate(&turned_) || !yuv::TurnPlanes(picture, from, turns, turned_.get(), to))
            return;
        picture = turned_.get();
    }
    const unsigned char* sources[3];
    for (int i = 0; i < 3; ++i) {
        sources[i] = picture + to.offset[i];
        strides[i] = to.plane_width[i];
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (!StartCompress(to.subsampling, &buffer, &size))
        return;
    const int result = tjCompressFromYUVPlanes(compressor_.get(), sources, to.width, strides,
                                               to.height, to.subsampling, &buffer, &size, kQuality,
                                               TJFLAG_NOREALLOC | TJFLAG_FASTDCT);
    FinishCompress(result, buffer, size);
}

bool ShownFrameEncoder::StartCompress(int subsampling, unsigned char** buffer,
                                      unsigned long* size) {
    const unsigned long bound = tjBufSize(width_, height_, subsampling);
    if (!compressor_ || bound == static_cast<unsigned long>(-1) || !Reserve(bound))
        return false;
    *buffer = out_.get();
    *size = static_cast<unsigned long>(out_capacity_);
    out_length_ = 0; // the buffer is overwritten: no last picture unless this one works
    return true;
}

bool ShownFrameEncoder::FinishCompress(int result, const unsigned char* buffer,
                                       unsigned long size) {
    if (result != 0 || buffer != out_.get())
        return false;
    out_length_ = size;
    return true;
}

bool ShownFrameEncoder::Keep(const uint8_t* jpeg, size_t length) {
    if (!Reserve(length))
        return false;
    std::memcpy(out_.get(), jpeg, length);
    out_length_ = length;
    return true;
}

bool ShownFrameEncoder::Reserve(size_t bytes) {
    if (bytes <= out_capacity_)
        return true;
    out_length_ = 0;
    out_capacity_ = 0;
    out_.reset(bytes <= INT_MAX ? tjAlloc(static_cast<int>(bytes)) : nullptr);
    if (out_)
        out_capacity_ = bytes;
    return out_ != nullptr;
}

bool ShownFrameEncoder::Last(const uint8_t** out, size_t* out_length) const {
    if (out_length_ == 0)
        return false;
    *out = out_.get();
    *out_length = out_length_;
    return true;
}
