// The pictures the class sees, made for sharing: the camera's JPEG frames are
// handed over on the stream thread (Offer, newest only: a frame not yet
// taken is replaced), and a thread of the feed's own publishes each once,
// whatever the number of viewers, to the pictures' FrameMailbox.
//
// Two ways, so that the common case costs no decoding: while the picture is
// live and upright the camera's own bytes go out unchanged, and the ink
// goes to the layers' box as a transparent PNG of the picture's size (the
// browser stacks it over the picture), made again only when the overlay's
// rendering number changes, at most every kLayerInterval. Frozen or turned,
// each frame is made into the picture as shown (capture/ShownFrameEncoder:
// annotations, turn) and the layer is empty; frozen, the last live frame is
// made so once, and again only when the drawing changes; else nothing is
// sent.
//
// Threads: Offer from any thread (the camera's stream callback); the
// constructor and destructor on the owner's. Encoding never runs on the
// caller of Offer.
#pragma once

#include "platform/thread_annotations.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class OverlayWorker;
class ShownFrameEncoder;
class ShownPicture;
namespace page {
class PageMode;
} // namespace page

namespace share {

class FrameMailbox;

class ShareFeed {
public:
    // Layers made at most this often while a shape is being drawn.
    static constexpr std::chrono::milliseconds kLayerInterval{100};

    // overlay and shown may be null (nothing drawn, upright, never frozen);
    // layers may be null (always the picture as shown, ink in it); they and
    // out are not owned and outlive the feed.
    // page: page mode to follow (not owned; null: none), shared as the
    // recording as shown makes it.
    ShareFeed(OverlayWorker* overlay, const ShownPicture* shown, FrameMailbox* out,
              FrameMailbox* layers = nullptr, const page::PageMode* page = nullptr);
    // Joins the thread; a frame not yet taken is dropped.
    ~ShareFeed();
    ShareFeed(const ShareFeed&) = delete;
    ShareFeed& operator=(const ShareFeed&) = delete;

    // A camera frame (JPEG); copied.
    void Offer(const uint8_t* jpeg, size_t length);

    // Frames encoded and published, frames passed on as the camera made
    // them, layers published, frames replaced before the thread took them,
    // and frames left out while the picture was frozen.
    uint64_t Encoded() const { return encoded_.load(); }
    uint64_t Passed() const { return passed_.load(); }
    uint64_t Layers() const { return layers_made_.load(); }
    uint64_t Dropped() const { return dropped_.load(); }
    uint64_t Held() const { return held_.load(); }

private:
    void Run();
    // May swap *jpeg with the frame kept for a freeze.
    void Share(std::vector<uint8_t>* jpeg);
    bool Encode(const std::vector<uint8_t>& jpeg, int width, int height, int turns);
    // The ink as it is now (nothing when empty is true) to the layers' box,
    // when it differs from the one sent and the last one is old enough.
    void PublishLayer(int width, int height, bool empty);

    OverlayWorker* const overlay_;
    const ShownPicture* const shown_;
    const page::PageMode* const page_;
    FrameMailbox* const out_;
    FrameMailbox* const layers_;

    platform::Mutex lock_;
    platform::CondVar wake_;
    std::vector<uint8_t> pending_ TOVEK_GUARDED_BY(lock_);
    bool has_pending_ TOVEK_GUARDED_BY(lock_) = false;
    bool stopping_ TOVEK_GUARDED_BY(lock_) = false;

    // The feed's thread only: the encoder, made again when the camera's
    // size or the turn changes, so that the picture always fills its frame.
    std::unique_ptr<ShownFrameEncoder> encoder_;
    int encoder_width_ = 0;
    int encoder_height_ = 0;
    int encoder_turns_ = 0;
    void* decompressor_ = nullptr; // reads the frames' sizes
    // The last live frame, encoded again while frozen when the ink changes.
    std::vector<uint8_t> last_live_;
    bool last_encoded_ = false;      // the newest picture was made as shown
    uint64_t encoded_rendering_ = 0; // the drawing in it
    bool layer_sent_ = false;        // a layer went out
    bool layer_empty_ = false;       // and it was empty
    uint64_t layer_rendering_ = 0;   // the drawing it holds
    int layer_width_ = 0;
    int layer_height_ = 0;
    std::chrono::steady_clock::time_point layer_time_;
    std::vector<uint8_t> png_;

    std::atomic<uint64_t> encoded_{0};
    std::atomic<uint64_t> passed_{0};
    std::atomic<uint64_t> layers_made_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> held_{0};
    std::thread thread_; // last: started when everything above is ready
};

} // namespace share
