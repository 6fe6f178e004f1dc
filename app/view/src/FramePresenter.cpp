#include "view/FramePresenter.h"

#include <utility>

namespace view {

bool UseSmoothScaling(int width, int height, int dest_width, int dest_height) {
    // Shrunk below half: 2 x dest < frame, in integers.
    return 2 * static_cast<int64_t>(dest_width) < width ||
           2 * static_cast<int64_t>(dest_height) < height;
}

bool FramePresenter::Present(SharedVideoFrame frame, const RECT& destination) {
    {
        platform::MutexLock guard(frame_lock_);
        if (frame_ && !painted_once_) {
            dropped_.fetch_add(1);
        }
        // The old frame goes back to the library after the lock is let go.
        std::swap(frame_, frame);
        destination_ = destination;
        painted_once_ = false;
    }
    presented_.fetch_add(1);
    return !repaint_asked_.exchange(true);
}

void FramePresenter::Clear() {
    SharedVideoFrame old;
    platform::MutexLock guard(frame_lock_);
    std::swap(frame_, old);
    destination_ = RECT{};
    painted_once_ = false;
}

FramePresenter::Painting FramePresenter::TakeForPaint() {
    Painting painting;
    platform::MutexLock guard(frame_lock_);
    painting.frame = frame_;
    painting.destination = destination_;
    painting.first = frame_ && !painted_once_;
    if (painting.first) {
        painted_once_ = true;
        painted_.fetch_add(1);
    }
    return painting;
}

FramePresenter::Painting FramePresenter::Peek() const {
    platform::MutexLock guard(frame_lock_);
    return Painting{frame_, destination_, frame_ && !painted_once_};
}

bool FramePresenter::HasFrame() const {
    platform::MutexLock guard(frame_lock_);
    return frame_ != nullptr;
}

SharedVideoFrame FramePresenter::Frame() const {
    platform::MutexLock guard(frame_lock_);
    return frame_;
}

} // namespace view
