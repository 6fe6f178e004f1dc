// Page mode as the program runs it: whether it is on, the document filter,
// the corners (found on a worker thread every few frames, smoothed and held,
// or set by hand), and the picture each consumer makes of a camera picture.
//
// Threads: Offer on the rendering thread (it only copies a small picture and
// wakes the worker, never waits for it); the switches and Corners from any
// thread. The worker owns the finding; lock_ guards what it shares.
// PageRenderer belongs to the one thread that uses it.
#pragma once

#include "page/PagePicture.h"
#include "page/PageRules.h"
#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

namespace page {

// Every how many pictures the corners are looked for (at 30 pictures a second,
// ten times a second).
inline constexpr int kFindEvery = 3;
// The small picture the corners are found in is at most this wide.
inline constexpr int kFindWidth = 480;

struct Corners {
    std::optional<Quad> quad; // in camera pixels; nullopt: no page found yet
    bool manual = false;      // set by hand
    uint64_t generation = 0;  // grows with every change
};

class PageMode {
public:
    PageMode();
    ~PageMode();
    PageMode(const PageMode&) = delete;
    PageMode& operator=(const PageMode&) = delete;

    // Off forgets the corners, found or set by hand.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_.load(); }
    void SetFilter(bool on, bool grey);
    bool Filter() const { return filter_.load(); }
    bool FilterGrey() const { return filter_grey_.load(); }
    // Whether a picture is made other than the camera's.
    bool Active() const { return Enabled() || Filter(); }

    // Rendering thread, each camera picture (B, G, R, X): every kFindEvery-th
    // one goes to the worker in small, unless it is still busy.
    void Offer(const uint8_t* bgrx, int width, int height, int stride);

    Corners Current() const;
    // Corners set by hand (camera pixels); kept until Reset or off.
    void SetManual(const Quad& quad);
    // Back to the corners found.
    void Reset();
    // Detections the worker ran (tests).
    uint64_t Detections() const { return detections_.load(); }

private:
    void Run();

    std::atomic<bool> enabled_{false};
    std::atomic<bool> filter_{false};
    std::atomic<bool> filter_grey_{false};
    std::atomic<uint64_t> detections_{0};
    int offered_ = 0; // rendering thread only

    mutable platform::Mutex lock_;
    platform::CondVar wake_;
    bool stop_ TOVEK_GUARDED_BY(lock_) = false;
    bool pending_ TOVEK_GUARDED_BY(lock_) = false;
    std::vector<uint8_t> small_ TOVEK_GUARDED_BY(lock_); // B, G, R
    int small_width_ TOVEK_GUARDED_BY(lock_) = 0;
    int small_height_ TOVEK_GUARDED_BY(lock_) = 0;
    int scale_ TOVEK_GUARDED_BY(lock_) = 1;
    int width_ TOVEK_GUARDED_BY(lock_) = 0;
    int height_ TOVEK_GUARDED_BY(lock_) = 0;
    CornerSmoother smoother_ TOVEK_GUARDED_BY(lock_);
    std::optional<Quad> manual_ TOVEK_GUARDED_BY(lock_);
    uint64_t generation_ TOVEK_GUARDED_BY(lock_) = 0;
    std::thread worker_;
};

// The picture a consumer shows or saves in page mode: the page flattened (once
// corners are known), filtered when the filter is on. One per thread (the
// view's paint, the snapshot's sample, a recording's writer).
class PageRenderer {
public:
    // The picture as page mode makes it of the width x height camera picture
    // (B, G, R, X, rows of stride bytes), at the page's size in the camera's
    // picture at most max_width x max_height (with fill: as large as fits
    // there); its size in *out_width and *out_height, its rows packed.
    // Valid until the next call; nullptr when page mode makes nothing of it
    // (neither mode on, or an empty picture).
    const uint8_t* Render(const PageMode& mode, const uint8_t* bgrx, int width, int height,
                          int stride, int max_width, int max_height, bool fill, int* out_width,
                          int* out_height);
    // The corners the last picture was flattened by (camera pixels).
    const std::optional<Quad>& LastQuad() const { return last_quad_; }

private:
    Flattener flattener_;
    std::vector<uint8_t> filtered_;
    std::optional<Quad> last_quad_;
};

} // namespace page
