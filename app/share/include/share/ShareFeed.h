// The pictures the class sees, made for sharing: the camera's JPEG frames are
// handed over on the stream thread (Offer, newest only: a frame not yet
// taken is replaced), and a thread of the feed's own makes each into the
// picture as shown (capture/ShownFrameEncoder: annotations, turn) once,
// whatever the number of viewers, and publishes it to the FrameMailbox.
// While the picture is frozen the last published one stays.
//
// Threads: Offer from any thread (the camera's stream callback); the
// constructor and destructor on the owner's. Encoding never runs on the
// caller of Offer.
#pragma once

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class OverlayWorker;
class ShownFrameEncoder;
class ShownPicture;

namespace share {

class FrameMailbox;

class ShareFeed {
public:
    // overlay and shown may be null (nothing drawn, upright, never frozen);
    // they and out are not owned and outlive the feed.
    ShareFeed(OverlayWorker* overlay, const ShownPicture* shown, FrameMailbox* out);
    // Joins the thread; a frame not yet taken is dropped.
    ~ShareFeed();
    ShareFeed(const ShareFeed&) = delete;
    ShareFeed& operator=(const ShareFeed&) = delete;

    // A camera frame (JPEG); copied.
    void Offer(const uint8_t* jpeg, size_t length);

    // Frames encoded and published, frames replaced before the thread took
    // them, and frames left out while the picture was frozen.
    uint64_t Encoded() const { return encoded_.load(); }
    uint64_t Dropped() const { return dropped_.load(); }
    uint64_t Held() const { return held_.load(); }

private:
    void Run();
    void Encode(const std::vector<uint8_t>& jpeg);

    OverlayWorker* const overlay_;
    const ShownPicture* const shown_;
    FrameMailbox* const out_;

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

    std::atomic<uint64_t> encoded_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> held_{0};
    std::thread thread_; // last: started when everything above is ready
};

} // namespace share
