#include "FrameOverlay.h"

#include <chrono>
#include <cstring>

void CompositeOverlay(uint8_t* frame, int frame_stride, const uint8_t* overlay, int width,
                      int height) {
    if (frame == nullptr || overlay == nullptr || width <= 0 || height <= 0 ||
        frame_stride < width * 4)
        return;
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = frame + static_cast<size_t>(y) * frame_stride;
        const uint8_t* src = overlay + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, dst += 4, src += 4) {
            if (src[0] == kTransparentByte && src[1] == kTransparentByte)
                continue;
            std::memcpy(dst, src, 4);
        }
    }
}

OverlayWorker::OverlayWorker() : buffer_(new uint8_t[kMaxFrameBytes]) {
    std::memset(buffer_.get(), 0xFF, kMaxFrameBytes);
    renderer_ = [](uint8_t* overlay, size_t size) {
        std::memset(overlay, kTransparentByte, size);
        return false;
    };
}

OverlayWorker::~OverlayWorker() {
    Stop();
}

void OverlayWorker::SetRenderer(Renderer renderer) {
    std::lock_guard<std::mutex> guard(lock_);
    renderer_ = std::move(renderer);
}

void OverlayWorker::Start() {
    if (thread_.joinable())
        return;
    stop_.store(false);
    thread_ = std::thread([this] { Loop(); });
}

void OverlayWorker::Stop() {
    if (!thread_.joinable())
        return;
    stop_.store(true);
    // The loop signals as it leaves; then nothing of it runs any more.
    while (!done_.Wait(1000)) {
    }
    thread_.join();
}

bool OverlayWorker::Turn() {
    if (!playing_.load())
        return false;
    // The request is taken before rendering: one made while the renderer
    // runs asks for another turn instead of being cleared with this one.
    const bool now = redraw_now_.exchange(false);
    if (!now) {
        int count = redraw_count_.load();
        do {
            if (count <= 0)
                return false;
        } while (!redraw_count_.compare_exchange_weak(count, count - 1));
    }
    std::lock_guard<std::mutex> guard(lock_);
    present_.store(renderer_(buffer_.get(), kMaxFrameBytes));
    return true;
}

void OverlayWorker::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    std::memset(buffer_.get(), kTransparentByte, kMaxFrameBytes);
    present_.store(false);
}

void OverlayWorker::Loop() {
    while (!stop_.load()) {
        // Real time: the poll paces a thread, it measures nothing.
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        Turn();
    }
    done_.Set();
}
