// The hand-off of composited frames from a capture library's streaming
// thread to the video view's paint on the user-interface thread. Only the
// newest frame is kept, as the library handed it over (no copy): a frame
// the view had no time to paint is dropped when the next one comes, so
// frames never queue up behind a busy user-interface thread.
//
// Threads: Present and Clear from any thread (the streaming thread, or the
// thread that hides the video); the rest on the user-interface thread. The
// frame lock guards the frame slot; the counters are atomic.
#pragma once

#include "platform/media.h"
#include "platform/thread_annotations.h"
#include "platform/wintypes.h"

#include <atomic>
#include <cstdint>

namespace view {

// Whether a width x height frame drawn into a dest_width x dest_height
// rectangle is filtered (smooth) or takes the nearest pixel (fast). Fast
// while the picture keeps at least half its size in both directions: each
// screen pixel then stands for at most two frame pixels a direction, and a
// smooth filter would cost about as much as decoding a tenth of the frame
// again. Smooth when it is shrunk further, where the nearest pixel skips
// more than every other row or column and thin strokes of writing drop out;
// the rectangle then holds at most a quarter of the frame's pixels, so
// filtering them costs no more than a fast full-size picture.
bool UseSmoothScaling(int width, int height, int dest_width, int dest_height);

class FramePresenter {
public:
    // What a paint gets: the newest frame (null when none) and where it goes.
    struct Painting {
        SharedVideoFrame frame;
        RECT destination{};
        // This frame was not painted before (so its age counts once).
        bool first = false;
    };

    // Keeps frame as the newest, releasing the one kept before (after the
    // lock is let go). True when the view must be asked to repaint: no
    // request is outstanding; the caller then asks once.
    bool Present(SharedVideoFrame frame, const RECT& destination);
    // Forgets the frame (the picture stopped).
    void Clear();
    // The user-interface thread took the repaint request; the next Present
    // asks again.
    void RepaintTaken() { repaint_asked_.store(false); }
    // For a paint: the newest frame, marked painted.
    Painting TakeForPaint();
    // The same without marking it (first tells whether it is unpainted).
    Painting Peek() const;

    bool HasFrame() const;
    SharedVideoFrame Frame() const;

    uint64_t Presented() const { return presented_.load(); }
    uint64_t Painted() const { return painted_.load(); }
    // Replaced before a paint showed them.
    uint64_t Dropped() const { return dropped_.load(); }

private:
    mutable platform::Mutex frame_lock_;
    SharedVideoFrame frame_ TOVEK_GUARDED_BY(frame_lock_);
    RECT destination_ TOVEK_GUARDED_BY(frame_lock_){};
    // frame_ has been painted.
    bool painted_once_ TOVEK_GUARDED_BY(frame_lock_) = false;
    std::atomic<bool> repaint_asked_{false};
    std::atomic<uint64_t> presented_{0};
    std::atomic<uint64_t> painted_{0};
    std::atomic<uint64_t> dropped_{0};
};

} // namespace view
