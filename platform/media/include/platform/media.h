// Media helpers shared by the capture libraries: the sample object handed to
// sample callbacks, the video window a capture library renders into, the
// JPEG-to-BGRx decoder, and the GStreamer elements of the capture graphs:
//
//   "tovekjpegdec"       MJPEG Decompressor: image/jpeg -> video/x-raw,BGRx
//   "toveksamplegrabber" Sample Grabber: calls a MediaSampleCallback with each
//                        buffer, writable, before it goes downstream
//   "tovekvideosink"     video renderer: hands BGRx frames to a VideoWindow
//
// The elements are registered into the process (not a plugin) by
// tovek_media_register_elements(). Pixels are 32-bit B, G, R, X with rows
// top-down. No Qt here: the program implements VideoWindow on its side.
#pragma once

#include "platform/frame_shrinker.h"
#include "platform/wintypes.h"

#include <cstddef>
#include <cstdint>
#include <memory>

typedef struct _GstBuffer GstBuffer;
typedef struct _GstElement GstElement;

// ---- sample object -----------------------------------------------------------

// What a sample callback receives, modelled on the platform's media sample:
// GetPointer gives the sample's writable bytes, valid only during the
// callback; changes made there travel on downstream. For a video frame the
// bytes are height rows of GetStride() bytes, top row first.
struct IMediaSample {
    // S_OK and the buffer; E_POINTER when buffer is null.
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    // Bytes available at GetPointer.
    virtual LONG GetSize() = 0;
    // Bytes of data in the sample (for a frame: stride x height).
    virtual LONG GetActualDataLength() = 0;
    // Stream times in 100-ns units; VFW_E_SAMPLE_TIME_NOT_SET when the sample
    // carries none (both are then set to 0), E_POINTER for a null pointer.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
    // Frame geometry; all 0 when the sample is not a raw video frame (for
    // example a compressed picture).
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual int GetStride() = 0;

protected:
    ~IMediaSample() = default;
};

constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = static_cast<HRESULT>(0x80040249u);

// The sample callback of both capture families: the sample, pointers to its
// start and end time (100-ns units), a flag (always 0) and the context given
// with the callback. The result is ignored.
typedef int (*MediaSampleCallback)(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                   int flag, void* context);

namespace platform {

// A sample over memory the caller owns, for example a mapped buffer.
class MemorySample final : public IMediaSample {
public:
    // A raw frame of height rows of stride bytes.
    MemorySample(BYTE* data, size_t size, int width, int height, int stride);
    // Bytes without frame geometry (a compressed picture).
    MemorySample(BYTE* data, size_t size);

    void SetTime(REFERENCE_TIME start, REFERENCE_TIME end);

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override;
    LONG GetActualDataLength() override;
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    int GetWidth() override { return width_; }
    int GetHeight() override { return height_; }
    int GetStride() override { return stride_; }

private:
    BYTE* data_;
    size_t size_;
    size_t actual_;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    bool has_time_ = false;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME end_ = 0;
};

} // namespace platform

// ---- video window --------------------------------------------------------------

// One composited frame that a window may keep instead of copying it: the
// pixels stay valid and unchanged while any SharedVideoFrame points to them,
// and the last holder gives the frame back to its capture graph (on whichever
// thread drops it). A kept frame is one buffer less for the graph's decoder,
// which then allocates another (once): keep the newest only.
struct VideoFrame {
    const uint8_t* pixels = nullptr; // height rows of stride bytes, top row first
    int width = 0;
    int height = 0;
    int stride = 0;
    int64_t capture_ns = -1; // when the picture was captured (steady clock); -1 unknown
    // Where the pixels live when a display server can map them (the
    // renderer's blocks are anonymous files): the file, valid while the
    // frame is held, or -1; the offset of pixels in it; its size; and a
    // number unique to the block for the process's life (descriptor numbers
    // are reused).
    int shared_fd = -1;
    size_t shared_offset = 0;
    size_t shared_file_size = 0;
    uint64_t shared_id = 0;
};
using SharedVideoFrame = std::shared_ptr<const VideoFrame>;

// Where a capture library shows the live picture; stands in for the window
// handle given to SetPosition and Refresh. The program's video view implements
// it and paints on its user-interface thread; the library calls it from its
// streaming thread. Calls for one window are serialised by the caller (the
// renderer element holds its lock during each call), so an implementation
// must return quickly, must not call back into the renderer and must not wait
// for the thread that sets the destination.
struct VideoWindow {
    // One composited frame to show at destination (window coordinates; right
    // and bottom exclusive). pixels is valid only during the call: copy what
    // is painted later. Never called with a destination of 1 x 1 or empty.
    virtual void PresentFrame(const uint8_t* pixels, int width, int height, int stride,
                              const RECT& destination) = 0;
    // The same with a frame the window may keep rather than copy; renderers
    // call this one. By default the pixels go to PresentFrame.
    virtual void PresentSharedFrame(const SharedVideoFrame& frame, const RECT& destination) {
        PresentFrame(frame->pixels, frame->width, frame->height, frame->stride, destination);
    }
    // The destination became 1 x 1 or empty (the picture stopped): show no
    // video, and forget the last frame so that nothing stale reappears.
    // May come from any thread that sets the destination.
    virtual void ClearVideo() = 0;

protected:
    ~VideoWindow() = default;
};

// The window as an opaque handle across the C boundary of the capture
// libraries; the same pointer, so no conversion is needed.
typedef struct VideoWindow* VIDEO_WINDOW;

// True when a destination of this size shows a picture (not 1 x 1, not empty).
constexpr bool IsVisibleDestination(int width, int height) {
    return width > 0 && height > 0 && !(width == 1 && height == 1);
}

// ---- JPEG to BGRx --------------------------------------------------------------

namespace platform {

enum class JpegDecodeResult {
    kOk = 0,
    // Decoded, but libjpeg-turbo reported a fault it worked around (a few
    // corrupt bytes; the picture may show a damaged block). Some cameras
    // send such pictures all the time, so they are shown.
    kRecovered = 1,
    // Nothing usable: not a JPEG, a damaged header, a picture that is cut
    // short (no EOI near its end), or a size that is not the one expected.
    kFailed = -1,
};

class JpegRowDecoder;

// Decodes JPEG pictures straight to 32-bit BGRx with the fast integer
// transform. One decoder serves one thread at a time; create one per thread.
class JpegDecoder {
public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Width and height from the picture's header; false when there is none.
    bool ReadSize(const uint8_t* jpeg, size_t size, int* width, int* height);
    // Decodes into dst: height rows of stride bytes. The picture must be
    // exactly width x height at 1/denominator of its size (ScaledJpegSide;
    // denominator 1, 2, 4 or 8); stride must be at least width x 4.
    JpegDecodeResult DecodeBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst, int width,
                                int height, int stride, int denominator = 1);
    // The same picture decoded at 1/denominator and shrunk by shrink to
    // width x height (ShrinkBgrx's bytes), a few rows at a time as they are
    // decoded: the picture at its decoded size is never written out whole.
    // dst is written past the caches, for a frame that is shown.
    JpegDecodeResult DecodeShrunkBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst, int width,
                                      int height, int stride, int denominator, ShrinkFactor shrink);
    // Why the last call failed or what fault was recovered from; empty after
    // a clean decode. Valid until the next call on this decoder.
    const char* LastError() const { return error_; }

private:
    // Checks what both decodes need of the picture and the room for it; the
    // picture's size at 1/denominator in *scaled_width, *scaled_height.
    // False, with error_ set, when it cannot be decoded so.
    bool CheckPicture(const uint8_t* jpeg, size_t size, const uint8_t* dst, int width, int height,
                      int stride, int denominator, int* scaled_width, int* scaled_height);

    void* handle_;                         // tjhandle; null when the library could not create one
    const char* error_ = "";               // static text or a decoder's own message buffer
    std::unique_ptr<JpegRowDecoder> rows_; // made at the first shrunk decode
    RowShrinker shrinker_;
};

// Whether the picture's last 1024 bytes hold an end-of-image marker: a
// picture cut short has none (padding after it is allowed).
bool JpegEndsWithEndOfImage(const uint8_t* jpeg, size_t size);

// A picture decoded at 1/denominator of its size has sides of this many
// pixels: rounded up, as libjpeg-turbo scales.
constexpr int ScaledJpegSide(int side, int denominator) {
    return denominator > 0 ? (side + denominator - 1) / denominator : side;
}

// Of the scaled decodes that cost less than a full one (1/2, 1/4 and 1/8:
// 3/4 and 3/8 cost more), the smallest whose picture still covers a view of
// view_width x view_height pixels in both directions, as a denominator; 1
// (full size) when either size is unknown (0 or less) or the view is as
// large as the picture.
int ChooseJpegScale(int camera_width, int camera_height, int view_width, int view_height);

// How a camera_width x camera_height picture is decoded for a view of
// view_width x view_height: at ChooseJpegScale, then shrunk to the view's
// own size where a shrink fits (ShrinkFactorFor), so the window paints it
// one to one; otherwise at the scaled size.
struct JpegDecodePlan {
    int denominator;
    ShrinkFactor shrink; // kNone: not shrunk
    int width;           // of the decoded frame
    int height;
};
JpegDecodePlan PlanJpegDecode(int camera_width, int camera_height, int view_width, int view_height);

// Decodes one picture with a decoder kept for the calling thread: the same
// code path as the decoder element.
JpegDecodeResult DecodeJpegToBgrx(const uint8_t* jpeg, size_t size, uint8_t* dst, int width,
                                  int height, int stride);

} // namespace platform

// ---- decoding on demand -----------------------------------------------------------

// Whether anything shows the decoded pictures (process-wide; true at start).
// While nothing does (a minimised or covered window, a headless recording)
// every "tovekjpegdec" releases its pictures without decoding them: the
// compressed bytes still reach every tap before the decoder (recording,
// time-lapse, snapshots of the camera's bytes), nothing goes downstream, and
// no pixel is decoded. Once turned back on, the next picture is decoded.
void tovek_media_set_pixels_wanted(bool wanted);
bool tovek_media_pixels_wanted();
// One picture is wanted decoded although no pixels are (a snapshot of the
// picture as shown): the next picture a decoder gets is decoded.
void tovek_media_want_next_picture();
// Pictures the decoder elements of this process have decoded so far.
uint64_t tovek_media_decoded_pictures();
// The size, in device pixels and the camera's orientation, at which the
// decoded pictures are seen (process-wide; 0 x 0, the start, means full
// size). Every "tovekjpegdec" decodes each picture as PlanJpegDecode says
// for it, so a small window costs a fraction of a full decode and paints
// the frames one to one; the frames it passes on are then that size, not
// the camera's (no larger, of about its aspect). Any thread.
void tovek_media_set_view_size(int width, int height);

// ---- capture time ----------------------------------------------------------------

// The moment a picture was captured (steady clock, the one of
// std::chrono::steady_clock and CLOCK_MONOTONIC, in nanoseconds) travels with
// it through a capture graph: a camera's source element stamps its buffers,
// the decoder carries the stamp over to the frames, and the renderer hands it
// to the window in VideoFrame::capture_ns.
void tovek_media_set_capture_time(GstBuffer* buffer, int64_t steady_ns);
// The stamp of buffer, or -1 when it carries none.
int64_t tovek_media_get_capture_time(GstBuffer* buffer);

// ---- GStreamer elements ---------------------------------------------------------

// Registers the three elements with GStreamer (rank none: never chosen by
// automatic plugging). gst_init must have run. Safe to call any number of
// times from any thread; true when the elements are available.
bool tovek_media_register_elements();

// Sets the window a "tovekvideosink" hands its frames to; null drops frames.
// When this returns, the old window is no longer called.
void tovek_video_sink_set_window(GstElement* sink, VIDEO_WINDOW window);
// Sets the destination rectangle (x, y, width, height as SetPosition and
// Refresh give it). A 1 x 1 or empty one shows nothing: frames are dropped and
// the window, if any, is told ClearVideo once. Nothing shows before the first
// call.
void tovek_video_sink_set_destination(GstElement* sink, int x, int y, int width, int height);

// Sets the callback of a "toveksamplegrabber" (null clears it). The callback
// runs on the streaming thread under the grabber's callback lock; when this
// returns, the old callback is no longer running or called.
void tovek_sample_grabber_set_callback(GstElement* grabber, MediaSampleCallback callback,
                                       void* context);
