#include "page/PageMode.h"

#include <algorithm>
#include <cstring>

namespace page {

PageMode::PageMode() {
    worker_ = std::thread([this] { Run(); });
}

PageMode::~PageMode() {
    {
        platform::MutexLock lock(lock_);
        stop_ = true;
    }
    wake_.NotifyAll();
    worker_.join();
}

void PageMode::SetEnabled(bool on) {
    enabled_.store(on);
    if (!on) {
        platform::MutexLock lock(lock_);
        smoother_.Reset();
        manual_.reset();
        ++generation_;
    }
}

void PageMode::SetFilter(bool on, bool grey) {
    filter_grey_.store(grey);
    filter_.store(on);
}

void PageMode::Offer(const uint8_t* bgrx, int width, int height, int stride) {
    if (!Enabled() || bgrx == nullptr || width <= 0 || height <= 0) {
        return;
    }
    if (offered_++ % kFindEvery != 0) {
        return;
    }
    platform::MutexLock lock(lock_);
    if (pending_ || manual_) {
        return; // the worker is still busy, or the corners are the teacher's
    }
    const int scale = std::max(1, (width + kFindWidth - 1) / kFindWidth);
    small_width_ = width / scale;
    small_height_ = height / scale;
    small_.resize(static_cast<size_t>(small_width_) * small_height_ * 3);
    for (int y = 0; y < small_height_; ++y) {
        // The pixel in the middle of each scale x scale block.
        const uint8_t* row =
            bgrx + static_cast<size_t>(y * scale + scale / 2) * stride + (scale / 2) * 4;
        uint8_t* out = small_.data() + static_cast<size_t>(y) * small_width_ * 3;
        for (int x = 0; x < small_width_; ++x, row += scale * 4, out += 3) {
            std::memcpy(out, row, 3);
        }
    }
    scale_ = scale;
    width_ = width;
    height_ = height;
    pending_ = true;
    wake_.NotifyOne();
}

Corners PageMode::Current() const {
    platform::MutexLock lock(lock_);
    Corners corners;
    corners.generation = generation_;
    if (manual_) {
        corners.quad = manual_;
        corners.manual = true;
    } else {
        corners.quad = smoother_.Held();
    }
    return corners;
}

void PageMode::SetManual(const Quad& quad) {
    platform::MutexLock lock(lock_);
    manual_ = quad;
    ++generation_;
}

void PageMode::Reset() {
    platform::MutexLock lock(lock_);
    manual_.reset();
    smoother_.Reset();
    ++generation_;
}

void PageMode::Run() {
    std::vector<uint8_t> picture;
    platform::MutexLock lock(lock_);
    for (;;) {
        wake_.Wait(lock_, [this] {
            lock_.AssertHeld();
            return stop_ || pending_;
        });
        if (stop_) {
            return;
        }
        picture.swap(small_);
        const int width = small_width_;
        const int height = small_height_;
        const double scale = scale_;
        lock.Unlock();

        std::optional<Quad> found = FindPage(picture.data(), width, height, width * 3);
        if (found) {
            for (Point& p : *found) {
                p.x *= scale;
                p.y *= scale;
            }
        }
        detections_.fetch_add(1);

        lock.Lock();
        // Page mode may have ended while the picture was looked at: what was
        // found then must not come back when it starts again.
        if (Enabled() && smoother_.Update(found, width_, height_)) {
            ++generation_;
        }
        pending_ = false;
    }
}

const uint8_t* PageRenderer::Render(const PageMode& mode, const uint8_t* bgrx, int width,
                                    int height, int stride, int max_width, int max_height,
                                    bool fill, int* out_width, int* out_height) {
    if (!mode.Active() || bgrx == nullptr || width <= 0 || height <= 0) {
        return nullptr;
    }
    const uint8_t* pixels = bgrx;
    int w = width;
    int h = height;
    int pitch = stride;
    last_quad_.reset();
    if (mode.Enabled()) {
        const Corners corners = mode.Current();
        if (corners.quad) {
            const Size size = FlatSize(*corners.quad, width, height, max_width, max_height, fill);
            pixels = flattener_.Flatten(bgrx, width, height, stride, *corners.quad, size);
            if (pixels == nullptr) {
                return nullptr;
            }
            w = size.width;
            h = size.height;
            pitch = w * 4;
            last_quad_ = corners.quad;
        }
    }
    if (mode.Filter()) {
        // The camera's picture alone is first brought down to the size asked.
        const Size fit = last_quad_ ? Size{w, h}
                                    : FlatSize(RectQuad(w, h), w, h, std::max(1, max_width),
                                               std::max(1, max_height));
        filtered_.resize(static_cast<size_t>(fit.width) * fit.height * 4);
        if (fit.width != w || fit.height != h) {
            Shrink(pixels, w, h, pitch, filtered_.data(), fit.width, fit.height);
            w = fit.width;
            h = fit.height;
        } else {
            for (int y = 0; y < h; ++y) {
                std::memcpy(filtered_.data() + static_cast<size_t>(y) * w * 4,
                            pixels + static_cast<size_t>(y) * pitch, static_cast<size_t>(w) * 4);
            }
        }
        FilterDocument(filtered_.data(), w, h, w * 4, mode.FilterGrey());
        pixels = filtered_.data();
        pitch = w * 4;
    }
    if (pitch != w * 4) {
        // Unflattened and unfiltered cannot be: Active() said one is on.
        return nullptr;
    }
    *out_width = w;
    *out_height = h;
    return pixels;
}

} // namespace page
