// Camera frames made into the picture the view shows, for a recording "as
// shown" (the settings' "Record the picture as shown"): the annotation
// overlay composited into each compressed frame and the picture turned by
// the quarter turns shown, as JPEG again (see below for how).
// The recorder's writer thread runs it as its frame transform.
//
// One encoder serves one recording and fixes its size: the shown picture's
// at the start. A later turn that swaps width and height (or a camera whose
// picture changes size) is fitted whole into that size, centred on black:
// the recording goes on showing what the class sees, and its frames keep the
// one size that players expect of a stream. With nothing drawn and the
// picture upright, the camera's own bytes are the picture as shown and are
// passed on as they came; the encoded pictures keep the camera's chroma
// subsampling, so that both kinds of frame stay alike (a quarter turn makes
// 4:2:2 into 4:4:0, its chroma turned with the picture).
//
// A colour picture of the recording's size keeps the camera's coefficients
// (CoefficientEncoder.h: only the blocks under drawn pixels are made into
// samples and back, and a turn moves whole blocks), unless the drawing covers
// much of it; then it is worked on as the codec's YCbCr planes (YuvPlanes.h:
// decoded, annotated, turned and encoded without converting colours). A
// fitted one, a grey one and unusual kinds go through 32-bit pixels. What is
// encoded again is encoded at kQuality.
//
// A frame that cannot be decoded (no JPEG header, a fatal decoder error, cut
// short before its end-of-image marker) gives the last picture again, so that
// the recording's time runs on; before the first good one it gives nothing and
// the recorder skips it. A picture with a few damaged bytes that libjpeg-turbo
// works around is used, as the view shows it.
//
// In page mode (or with the document filter) the picture is the one page
// mode makes, fitted whole into the recording's size, centred on black.
//
// Threads: Encode on one thread at a time; it reads the overlay under the
// overlay's lock and the quarter turns atomically. The buffers are allocated
// at first use, at the largest frame size, and reused: frames of a steady
// recording allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class OverlayWorker;
class PictureScaler;
class ShownPicture;
namespace dct {
class CoefficientEncoder;
} // namespace dct
namespace page {
class PageMode;
class PageRenderer;
} // namespace page
namespace yuv {
class OverlayCompositor;
struct PlaneLayout;
} // namespace yuv

class ShownFrameEncoder {
public:
    static constexpr int kQuality = 85;

    // overlay and shown are not owned and may be null (nothing drawn;
    // upright); they must outlive the encoder. camera_width x camera_height:
    // the camera's picture at the recording's start.
    ShownFrameEncoder(OverlayWorker* overlay, const ShownPicture* shown, int camera_width,
                      int camera_height);
    ~ShownFrameEncoder();
    ShownFrameEncoder(const ShownFrameEncoder&) = delete;
    ShownFrameEncoder& operator=(const ShownFrameEncoder&) = delete;

    // The recording's size: the camera's picture as turned at construction.
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Page mode to follow (not owned; null: none). Set before the first
    // Encode; it must outlive the encoder.
    void SetPageMode(const page::PageMode* page);

    // The camera's JPEG picture as shown now, as a JPEG picture of the
    // recording's size in *out and *out_length, valid until the next call.
    // False: nothing to write for this frame.
    bool Encode(const uint8_t* jpeg, size_t length, const uint8_t** out, size_t* out_length);

private:
    struct Header {
        int width = 0;
        int height = 0;
        int subsampling = 0; // TJSAMP_*
        int colorspace = 0;  // TJCS_*
    };
    bool ReadHeader(const uint8_t* jpeg, size_t length, Header* header);
    bool Decode(const uint8_t* jpeg, size_t length, const Header& header);
    bool Compress(const uint8_t* pixels, int subsampling);
    // The layouts of the picture's planes before and after turns; false
    // when the planes are not used for it.
    bool PlaneLayouts(const Header& header, int turns, yuv::PlaneLayout* from,
                      yuv::PlaneLayout* to) const;
    // The picture as shown by way of its planes.
    void EncodePlanes(const uint8_t* jpeg, size_t length, bool drawn, int turns,
                      const yuv::PlaneLayout& from, const yuv::PlaneLayout& to);
    // out_ ready for a picture of subsampling: its buffer and capacity.
    bool StartCompress(int subsampling, unsigned char** buffer, unsigned long* size);
    // After tjCompress*: result and what it left in buffer and size.
    bool FinishCompress(int result, const unsigned char* buffer, unsigned long size);
    // The picture as page mode makes it; false when it makes none (or one
    // that does not fit), and the frame goes the usual way.
    bool EncodePage(const uint8_t* jpeg, size_t length, const Header& header, bool drawn);
    // The camera's bytes as they came.
    bool Keep(const uint8_t* jpeg, size_t length);
    // out_ holds at least bytes.
    bool Reserve(size_t bytes);
    // The last picture again, when there is one.
    bool Last(const uint8_t** out, size_t* out_length) const;

    struct TjHandleFree {
        void operator()(void* handle) const;
    };
    struct TjBufferFree {
        void operator()(unsigned char* buffer) const;
    };

    OverlayWorker* const overlay_;
    const ShownPicture* const shown_;
    const page::PageMode* page_ = nullptr;
    std::unique_ptr<page::PageRenderer> page_renderer_;
    int width_ = 0;
    int height_ = 0;

    std::unique_ptr<void, TjHandleFree> decompressor_;
    std::unique_ptr<void, TjHandleFree> compressor_;
    std::unique_ptr<uint8_t[]> decoded_; // the camera's picture, 32-bit or planes
    std::unique_ptr<uint8_t[]> scaled_;  // ... scaled to fit the recording
    std::unique_ptr<uint8_t[]> turned_;  // ... turned (32-bit or planes)
    std::unique_ptr<uint8_t[]> fitted_;  // ... placed in the recording's size
    std::unique_ptr<PictureScaler> scaler_;
    std::unique_ptr<yuv::OverlayCompositor> compositor_;
    std::unique_ptr<dct::CoefficientEncoder> coefficients_;
    std::unique_ptr<unsigned char, TjBufferFree> out_; // the last picture given
    size_t out_capacity_ = 0;
    size_t out_length_ = 0; // 0: none yet
};
