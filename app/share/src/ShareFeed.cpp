#include "share/ShareFeed.h"

#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "share/FrameMailbox.h"

#include <turbojpeg.h>

namespace share {

ShareFeed::ShareFeed(OverlayWorker* overlay, const ShownPicture* shown, FrameMailbox* out)
    : overlay_(overlay), shown_(shown), out_(out), decompressor_(tjInitDecompress()),
      thread_([this] { Run(); }) {}

ShareFeed::~ShareFeed() {
    {
        platform::MutexLock hold(lock_);
        stopping_ = true;
        wake_.NotifyAll();
    }
    thread_.join();
    if (decompressor_ != nullptr)
        tjDestroy(decompressor_);
}

void ShareFeed::Offer(const uint8_t* jpeg, size_t length) {
    if (jpeg == nullptr || length == 0)
        return;
    platform::MutexLock hold(lock_);
    if (has_pending_)
        dropped_.fetch_add(1);
    // The buffer keeps its capacity: a steady stream allocates nothing here.
    pending_.assign(jpeg, jpeg + length);
    has_pending_ = true;
    wake_.NotifyOne();
}

void ShareFeed::Run() {
    std::vector<uint8_t> frame;
    for (;;) {
        {
            platform::MutexLock hold(lock_);
            wake_.Wait(lock_, [this] {
                lock_.AssertHeld();
                return stopping_ || has_pending_;
            });
            if (stopping_)
                return;
            frame.swap(pending_);
            has_pending_ = false;
        }
        Encode(frame);
    }
}

void ShareFeed::Encode(const std::vector<uint8_t>& jpeg) {
    // Frozen: the class keeps seeing the picture it saw.
    if (shown_ != nullptr && shown_->Frozen() && out_->Newest() != nullptr) {
        held_.fetch_add(1);
        return;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (decompressor_ == nullptr ||
        tjDecompressHeader3(decompressor_, jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                            &width, &height, &subsampling, &colorspace) != 0)
        return;
    const int turns = shown_ != nullptr ? shown_->QuarterTurns() : 0;
    if (!encoder_ || width != encoder_width_ || height != encoder_height_ ||
        turns != encoder_turns_) {
        encoder_ = std::make_unique<ShownFrameEncoder>(overlay_, shown_, width, height);
        encoder_width_ = width;
        encoder_height_ = height;
        encoder_turns_ = turns;
    }
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    if (!encoder_->Encode(jpeg.data(), jpeg.size(), &out, &out_length))
        return;
    out_->Publish(out, out_length);
    encoded_.fetch_add(1);
}

} // namespace share
