// One copy of the picture as the view shows it (held and turned, as a
// snapshot takes it) but without the annotations, for a reader on another
// thread: Copy Text reads the page, not the teacher's marks over it.
//
// Threads: Request and Abandon on the user-interface thread (an atomic);
// OnSample on the rendering thread, which hands the copy to the receiver
// there: it must only post.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class PictureGrab {
public:
    struct Picture {
        std::vector<uint8_t> pixels; // B, G, R, X; rows of width x 4 bytes
        int width = 0;
        int height = 0;
    };
    using Receiver = std::function<void(std::shared_ptr<const Picture> picture)>;

    // Set before frames can arrive.
    void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

    // The next sample is copied and handed on, once.
    void Request() { wanted_.store(true); }
    // No copy any more (the camera goes away).
    void Abandon() { wanted_.store(false); }
    bool Requested() const { return wanted_.load(); }

    // Each rendered sample as shown, before the annotations are composited.
    void OnSample(const uint8_t* pixels, int width, int height);

private:
    std::atomic<bool> wanted_{false};
    Receiver receiver_;
};
