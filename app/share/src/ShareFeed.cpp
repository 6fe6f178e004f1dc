#include "share/ShareFeed.h"

#include "annotation/FrameOverlay.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "page/PageMode.h"
#include "share/FrameMailbox.h"
#include "share/InkLayer.h"

#include <turbojpeg.h>

namespace share {

ShareFeed::ShareFeed(OverlayWorker* overlay, const ShownPicture* shown, FrameMailbox* out,
                     FrameMailbox* layers, const page::PageMode* page)
    : overlay_(overlay), shown_(shown), page_(page), out_(out), layers_(layers),
      decompressor_(tjInitDecompress()), thread_([this] { Run(); }) {}

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
        Share(&frame);
    }
}

namespace {

// The overlay's rendering number, or kNothingDrawn.
constexpr uint64_t kNothingDrawn = ~uint64_t{0};

uint64_t RenderingOf(OverlayWorker* overlay) {
    uint64_t number = kNothingDrawn;
    if (overlay != nullptr)
        overlay->ReadOverlay(
            [&](const uint8_t*, const OverlayExtent&, uint64_t rendering) { number = rendering; });
    return number;
}

// Large pictures get a layer of half their sides: a quarter of the pixels
// to pack, and ink still drawn where it is.
int LayerShrink(int width) {
    return width > 960 ? 2 : 1;
}

} // namespace

void ShareFeed::Share(std::vector<uint8_t>* jpeg) {
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (decompressor_ == nullptr ||
        tjDecompressHeader3(decompressor_, jpeg->data(), static_cast<unsigned long>(jpeg->size()),
                            &width, &height, &subsampling, &colorspace) != 0)
        return;
    const bool frozen = shown_ != nullptr && shown_->Frozen();
    const int turns = shown_ != nullptr ? shown_->QuarterTurns() : 0;
    if (frozen) {
        // The class keeps seeing the picture it saw, with the ink drawn now.
        const uint64_t rendering = RenderingOf(overlay_);
        if (last_encoded_ && rendering == encoded_rendering_ && out_->Newest() != nullptr) {
            held_.fetch_add(1);
            return;
        }
        const std::vector<uint8_t>& source = last_live_.empty() ? *jpeg : last_live_;
        if (&source != jpeg && tjDecompressHeader3(decompressor_, source.data(),
                                                   static_cast<unsigned long>(source.size()),
                                                   &width, &height, &subsampling, &colorspace) != 0)
            return;
        if (Encode(source, width, height, turns))
            PublishLayer(width, height, true);
        return;
    }
    // Turned or made into the page: the picture as shown, encoded.
    if (layers_ == nullptr || turns != 0 || (page_ != nullptr && page_->Active())) {
        if (Encode(*jpeg, width, height, turns))
            PublishLayer(width, height, true);
        return;
    }
    // Live and upright: the camera's bytes as they came, the ink beside them.
    PublishLayer(width, height, false);
    out_->Publish(jpeg->data(), jpeg->size());
    passed_.fetch_add(1);
    last_encoded_ = false;
    last_live_.swap(*jpeg);
}

bool ShareFeed::Encode(const std::vector<uint8_t>& jpeg, int width, int height, int turns) {
    if (!encoder_ || width != encoder_width_ || height != encoder_height_ ||
        turns != encoder_turns_) {
        encoder_ = std::make_unique<ShownFrameEncoder>(overlay_, shown_, width, height);
        encoder_->SetPageMode(page_);
        encoder_width_ = width;
        encoder_height_ = height;
        encoder_turns_ = turns;
    }
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    if (!encoder_->Encode(jpeg.data(), jpeg.size(), &out, &out_length))
        return false;
    out_->Publish(out, out_length);
    encoded_.fetch_add(1);
    last_encoded_ = true;
    encoded_rendering_ = RenderingOf(overlay_);
    return true;
}

void ShareFeed::PublishLayer(int width, int height, bool empty) {
    if (layers_ == nullptr)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool same_size = width == layer_width_ && height == layer_height_;
    if (empty) {
        if (layer_sent_ && layer_empty_ && same_size)
            return;
    } else {
        const uint64_t rendering = RenderingOf(overlay_);
        if (layer_sent_ && !layer_empty_ && same_size && rendering == layer_rendering_)
            return;
        if (layer_sent_ && rendering == kNothingDrawn && layer_empty_ && same_size)
            return;
        // While a shape is drawn: the newest drawing, at most so often.
        if (layer_sent_ && !layer_empty_ && same_size && now - layer_time_ < kLayerInterval)
            return;
    }
    bool drawn = false;
    uint64_t rendering = kNothingDrawn;
    if (!empty && overlay_ != nullptr) {
        drawn = overlay_->ReadOverlay(
            width, height,
            [&](const uint8_t* overlay, const OverlayExtent& extent, uint64_t number) {
                rendering = number;
                InkToPng(overlay, &extent, width, height, LayerShrink(width), &png_);
            });
    }
    if (!drawn)
        InkToPng(nullptr, nullptr, width, height, LayerShrink(width), &png_);
    if (png_.empty())
        return;
    layers_->Publish(png_.data(), png_.size());
    layers_made_.fetch_add(1);
    layer_sent_ = true;
    layer_empty_ = !drawn;
    layer_rendering_ = rendering;
    layer_width_ = width;
    layer_height_ = height;
    layer_time_ = now;
}

} // namespace share
