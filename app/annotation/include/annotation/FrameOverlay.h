// The annotation overlay of the live picture: a frame-sized buffer of 32-bit
// pixels (B, G, R, X; rows top-down, like the rendered samples) that the
// overlay worker renders and the sample callback composites into every
// rendered sample. A pixel whose first two bytes are both 0xFE is
// transparent. A pixel whose fourth byte is 0x00 (a highlighter's ink)
// multiplies the frame pixel channel by channel, frame x ink / 255 rounded
// to nearest, so that dark print under it stays dark; any other pixel
// replaces the frame pixel.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "common/FrameLimits.h"
#include "platform/system.h"
#include "platform/thread_annotations.h"

inline constexpr uint8_t kTransparentByte = 0xFE;

// The fourth byte of a pixel that multiplies (see above).
inline constexpr uint8_t kMultiplyByte = 0x00;

// Whether an overlay pixel, its four bytes read as a little-endian value, is
// transparent.
inline bool OverlayPixelTransparent(uint32_t pixel) {
    return (pixel & 0xFFFFu) == (kTransparentByte | kTransparentByte << 8);
}

// Whether a non-transparent overlay pixel multiplies the frame pixel.
inline bool OverlayPixelMultiplies(uint32_t pixel) {
    return pixel >> 24 == kMultiplyByte;
}

// Copies every non-transparent pixel of overlay (width x height pixels, rows
// of width x 4 bytes) onto frame (rows of frame_stride bytes), multiplying
// where the pixel says so. Does nothing for a non-positive size or a stride
// below width x 4.
void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height);

// The tallest overlay whose drawn rows are tracked one by one; a taller one
// is always composited whole.
inline constexpr int kMaxOverlayRows = 4096;

// Pixels [begin, end) of one overlay row; empty when begin >= end.
struct OverlaySpan {
    int32_t begin = 0;
    int32_t end = 0;
};

// Where an overlay holds drawn pixels, so that compositing skips the rest:
// outside rows [first_row, end_row) and outside each row's span every pixel
// is transparent. A width of 0 means unknown: every pixel is composited.
struct OverlayExtent {
    int32_t width = 0; // the overlay size the spans describe
    int32_t height = 0;
    int32_t first_row = 0;
    int32_t end_row = 0;
    OverlaySpan rows[kMaxOverlayRows];
};

// Nothing drawn on a width x height overlay; unknown (width 0) for a size
// whose rows cannot be tracked.
void ClearOverlayExtent(OverlayExtent* extent, int width, int height);
// Finds the drawn pixels of overlay inside the box [left, right) x
// [top, bottom) (clipped to the overlay); the caller vouches that every
// pixel outside the box is transparent.
void ScanOverlayExtent(const uint8_t* overlay, int width, int height, int left, int top, int right,
                       int bottom, OverlayExtent* extent);
// CompositeOverlay over the extent's spans only. An unknown extent
// composites everything; one that describes another size composites nothing
// (it was drawn for another picture and would land in the wrong places).
void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height, const OverlayExtent& extent);

namespace overlay_detail {
// Whether a frame and an overlay of this geometry can be composited: both
// present, a positive size, a stride of at least width x 4.
bool ValidGeometry(const uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                   int height);

// The frame pixel under a multiplying ink: blue, green and red each
// frame x ink / 255 rounded to nearest ((t + (t >> 8)) >> 8 with
// t = frame x ink + 128 is the same without a division); the frame's fourth
// byte stays. The vector loops compute exactly this.
inline uint32_t MultiplyPixel(uint32_t frame, uint32_t ink) {
    uint32_t out = frame & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t t = ((frame >> shift) & 0xFFu) * ((ink >> shift) & 0xFFu) + 128;
        out |= ((t + (t >> 8)) >> 8) << shift;
    }
    return out;
}

// Calls visit(y, begin, end) for each drawn span of a known extent, top to
// bottom, clipped to the extent's size (an extent filled in by hand cannot
// send a loop outside the overlay). Thin shapes touch a few pixels of each
// row: ahead(y, begin) is called two rows early so that the caller fetches
// that row's pixels while this one is composited, which hides most of the
// memory latency.
template <typename Visit, typename Ahead>
void ForEachSpan(const OverlayExtent& extent, Visit visit, Ahead ahead) {
    const int end_row = std::min({extent.end_row, extent.height, kMaxOverlayRows});
    const auto clipped = [&extent](int y) {
        const OverlaySpan& span = extent.rows[y];
        return OverlaySpan{std::max(span.begin, 0), std::min(span.end, extent.width)};
    };
    for (int y = std::max(extent.first_row, 0); y < end_row; ++y) {
        if (y + 2 < end_row) {
            const OverlaySpan next = clipped(y + 2);
            if (next.begin < next.end)
                ahead(y + 2, next.begin);
        }
        const OverlaySpan span = clipped(y);
        if (span.begin < span.end)
            visit(y, span.begin, span.end);
    }
}

// The pixel loops CompositeOverlay may run on, by number: 0 plain, 1 SSE2,
// 2 AVX2 (the widest the processor has is used). Runs one on dst[0, count)
// and returns true, or false when that one is not available here. For tests,
// so that every loop is checked on any machine that has it.
bool CompositeSpanWith(int form, uint8_t* dst, const uint8_t* src, int count);
} // namespace overlay_detail

class OverlayPalette;

// The overlay buffer and the worker thread that renders the annotations into
// it whenever a redraw is requested. While requests come it turns every 5 ms,
// so that a burst of edits renders once per turn; idle, it sleeps until a
// request wakes it (Wake), looking on its own only every kIdleWaitMs.
class OverlayWorker {
public:
    // Renders the annotations into overlay (kMaxPictureBytes bytes); returns
    // whether there is anything to composite. Runs on the worker thread under
    // Lock().
    using Renderer = std::function<bool(uint8_t* overlay, size_t size)>;
    // The same, and it also records where it drew (ClearOverlayExtent,
    // ScanOverlayExtent) so that Composite touches only those pixels.
    using ExtentRenderer =
        std::function<bool(uint8_t* overlay, size_t size, OverlayExtent* extent)>;
    // The same for a picture of any size: *width x *height is the size asked
    // for (0 x 0: the camera's own), and the renderer leaves there the size
    // it drew (0 x 0: one overlay that fits every picture). A picture
    // decoded smaller than the camera's gets an overlay drawn to its scale.
    using SizedRenderer = std::function<bool(uint8_t* overlay, size_t size, OverlayExtent* extent,
                                             int* width, int* height)>;
    // Another owner of redraw requests (the annotation store's change
    // signals): asked at every turn whose own requests are served; true
    // takes one request. Called on the worker thread under Lock().
    using RedrawSource = std::function<bool()>;

    static constexpr uint32_t kPollMs = 5;
    // How long an idle worker sleeps without a Wake: requests of a source
    // that does not wake it are still served.
    static constexpr uint32_t kIdleWaitMs = 250;

    OverlayWorker();
    // Stops the thread if it runs.
    ~OverlayWorker();
    OverlayWorker(const OverlayWorker&) = delete;
    OverlayWorker& operator=(const OverlayWorker&) = delete;

    // Replaces the renderer (before Start). The default one draws nothing:
    // the overlay becomes transparent and nothing is composited.
    void SetRenderer(Renderer renderer);
    void SetExtentRenderer(ExtentRenderer renderer);
    void SetSizedRenderer(SizedRenderer renderer);
    // May be set while the worker runs; empty removes it.
    void SetRedrawSource(RedrawSource source);
    void Start();
    // Sets the stop flag and waits, without limit, until the thread is gone.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // The worker renders only while the picture plays.
    void SetPlaying(bool playing) {
        playing_.store(playing);
        Wake();
    }
    // Asks for one more rendering.
    void RequestRedraw() {
        redraw_count_.fetch_add(1);
        Wake();
    }
    // Asks for a rendering at the next turn, however many are counted.
    void RequestImmediateRedraw() {
        redraw_now_.store(true);
        Wake();
    }
    // Ends an idle worker's sleep: the redraw source has a request (any thread).
    void Wake() { wake_.Set(); }
    // One turn of the worker's loop: renders when playing and a redraw is
    // requested. True when it rendered. Tests call it directly.
    bool Turn();
    // Makes the whole overlay transparent and clears the present flag.
    void Reset();

    // Composites the overlay into frame (width x height pixels, rows of
    // stride bytes) under Lock(), only where the renderer drew; nothing when
    // no overlay is present. Reads the palette copy of the overlay made after
    // each rendering when there is one, the 32-bit pixels otherwise; the
    // result is the same. The sample callback's one call, on the
    // rendering thread. An overlay drawn for a picture of another size is
    // drawn again for this one first, on the calling thread, and the worker
    // goes on drawing for this size.
    void Composite(uint8_t* frame, int stride, int width, int height);

    // For compositing into pictures of another pixel form: calls
    // fn(overlay, extent, rendering) under Lock() with the 32-bit pixels
    // (rows of the frame's width x 4 bytes), where they are drawn, as
    // Composite reads them, and the number of the rendering they come from
    // (it changes whenever they may have, so a caller may keep what it made
    // of them until then). fn must not keep the pointer. False, fn not
    // called, when no overlay is present.
    template <typename Fn>
    bool ReadOverlay(Fn&& fn) {
        return ReadOverlay(0, 0, std::forward<Fn>(fn));
    }
    // The same with the overlay drawn for a width x height picture (drawn
    // again first when it was drawn for another size; 0 x 0 takes it as it
    // is).
    template <typename Fn>
    bool ReadOverlay(int width, int height, Fn&& fn) {
        if (!present_.load())
            return false;
        platform::MutexLock guard(lock_);
        if (width > 0 && height > 0)
            FitLocked(width, height);
        if (!present_.load())
            return false;
        const uint8_t* overlay = buffer_.get();
        const OverlayExtent& extent = *extent_;
        fn(overlay, extent, rendering_);
        return true;
    }

    // Held while the overlay is rendered or composited.
    platform::Mutex& Lock() TOVEK_RETURN_CAPABILITY(lock_) { return lock_; }
    // The overlay's bytes, for tests once the worker is idle or stopped: the
    // pointer is fixed from construction, so reading it needs no lock.
    const uint8_t* Buffer() const TOVEK_NO_THREAD_SAFETY_ANALYSIS { return buffer_.get(); }
    bool Present() const { return present_.load(); }
    void SetPresent(bool present) { present_.store(present); }

private:
    void Loop();
    // Renders for the size asked for last (want_size_).
    void RenderLocked() TOVEK_REQUIRES(lock_);
    // Draws the overlay again when it was drawn for another size than
    // width x height.
    void FitLocked(int width, int height) TOVEK_REQUIRES(lock_);

    platform::Mutex lock_;
    std::unique_ptr<uint8_t[]> buffer_ TOVEK_GUARDED_BY(lock_); // kMaxPictureBytes
    // What renderer_ drew.
    std::unique_ptr<OverlayExtent> extent_ TOVEK_GUARDED_BY(lock_);
    // The compact copy of buffer_ composited when it is valid.
    std::unique_ptr<OverlayPalette> palette_ TOVEK_GUARDED_BY(lock_);
    uint64_t rendering_ TOVEK_GUARDED_BY(lock_) = 0; // counts changes of buffer_
    SizedRenderer renderer_ TOVEK_GUARDED_BY(lock_);
    int drawn_width_ TOVEK_GUARDED_BY(lock_) = 0; // the size buffer_ fits; 0: any
    int drawn_height_ TOVEK_GUARDED_BY(lock_) = 0;
    RedrawSource source_ TOVEK_GUARDED_BY(lock_);
    // The picture size to draw for, width in the high half; 0: the camera's.
    // Set by every composite, also while nothing is present (an overlay too
    // large for the camera's size may fit a smaller picture).
    std::atomic<uint64_t> want_size_{0};
    std::atomic<bool> present_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> redraw_now_{false};
    std::atomic<int> redraw_count_{0};
    std::atomic<bool> stop_{false};
    platform::AutoResetEvent wake_; // a request came, or the stop
    platform::AutoResetEvent done_; // signalled as the loop ends
    std::thread thread_;            // owner thread only
};
