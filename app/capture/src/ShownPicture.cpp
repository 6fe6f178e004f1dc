#include "capture/ShownPicture.h"

#include "annotation/FrameOverlay.h"
#include "view/Rotation.h"

#include <cstring>
#include <new>

namespace {

// The bytes of a packed width x height frame, 0 when it is no frame the
// program handles.
size_t FrameBytes(const uint8_t* pixels, int width, int height) {
    const size_t bytes = view::RotatedFrameBytes(width, height);
    return pixels != nullptr && bytes <= kMaxPictureBytes ? bytes : 0;
}

bool Allocate(std::unique_ptr<uint8_t[]>* buffer) {
    if (!*buffer)
        buffer->reset(new (std::nothrow) uint8_t[kMaxPictureBytes]);
    return *buffer != nullptr;
}

} // namespace

void ShownPicture::Freeze() {
    int live = kLive;
    state_.compare_exchange_strong(live, kWanted);
}

void ShownPicture::SetQuarterTurns(int turns) {
    turns_.store(view::NormalQuarterTurns(turns));
}

void ShownPicture::OnSample(uint8_t* pixels, int width, int height) {
    int state = state_.load();
    if (state == kLive)
        return;
    const size_t bytes = FrameBytes(pixels, width, height);
    if (bytes == 0)
        return;
    platform::MutexLock guard(lock_);
    if (state == kHeld && (width != held_width_ || height != held_height_))
        state = kWanted;
    if (state == kWanted) {
        if (!Allocate(&held_))
            return;
        std::memcpy(held_.get(), pixels, bytes);
        held_width_ = width;
        held_height_ = height;
        // An Unfreeze meanwhile wins: the picture stays live.
        int wanted = kWanted;
        state_.compare_exchange_strong(wanted, kHeld);
        return;
    }
    std::memcpy(pixels, held_.get(), bytes);
}

const uint8_t* ShownPicture::Turned(const uint8_t* pixels, int width, int height, int* shown_width,
                                    int* shown_height) {
    *shown_width = width;
    *shown_height = height;
    const int turns = turns_.load();
    if (turns == 0 || FrameBytes(pixels, width, height) == 0)
        return pixels;
    platform::MutexLock guard(lock_);
    if (!Allocate(&turned_) || !view::RotateFrame(pixels, width, height, width * 4, turns,
                                                  turned_.get(), kMaxPictureBytes))
        return pixels;
    const view::PictureSize turned = view::RotateSize(width, height, turns);
    *shown_width = turned.width;
    *shown_height = turned.height;
    return turned_.get();
}
