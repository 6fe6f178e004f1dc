// The live picture made into what the view shows, in the sample callback:
// held while the user froze it, and turned for a snapshot that follows the
// display. The camera's compressed frames (recording, time-lapse) are not
// touched: they go on live and upright (a recording as shown turns a decoded
// copy of its own: ShownFrameEncoder).
//
// Threads: Freeze, Unfreeze and SetQuarterTurns on the user-interface thread
// (atomics); OnSample and Turned on the rendering thread, one sample
// callback at a time, under lock_. The buffers are allocated once, at their
// first use, at the largest frame size.
#pragma once

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <memory>

class ShownPicture {
public:
    ShownPicture() = default;
    ShownPicture(const ShownPicture&) = delete;
    ShownPicture& operator=(const ShownPicture&) = delete;

    // The next sample is held and replaces every later one until Unfreeze.
    // Freezing a held picture keeps it.
    void Freeze();
    // Live again from the next sample on (also before a hold was taken).
    void Unfreeze() { state_.store(kLive); }
    bool Frozen() const { return state_.load() != kLive; }

    // Clockwise quarter turns of the shown picture, 0 to 3 (taken modulo 4).
    void SetQuarterTurns(int turns);
    int QuarterTurns() const { return turns_.load(); }
    // A snapshot must come from the rendered sample (not the camera's own
    // frame) to show what the view shows.
    bool Altered() const { return Frozen() || QuarterTurns() != 0; }

    // Each rendered sample (width x height pixels, rows of width x 4 bytes),
    // before the annotations are composited: takes the hold, or puts the held
    // pixels in place of the live ones. A sample of another size than the one
    // held is held instead (the camera's format changed). Without memory
    // for the hold the picture stays live.
    void OnSample(uint8_t* pixels, int width, int height);

    // pixels (as OnSample's) turned as shown: the turn buffer with the
    // turned size in *shown_width and *shown_height, or pixels itself
    // unturned (no turn, or no memory for the buffer). Valid until the next
    // call.
    const uint8_t* Turned(const uint8_t* pixels, int width, int height, int* shown_width,
                          int* shown_height);

private:
    enum : int { kLive = 0, kWanted = 1, kHeld = 2 };

    std::atomic<int> state_{kLive};
    std::atomic<int> turns_{0};

    platform::Mutex lock_; // held by OnSample and Turned
    std::unique_ptr<uint8_t[]> held_ TOVEK_GUARDED_BY(lock_);
    int held_width_ TOVEK_GUARDED_BY(lock_) = 0;
    int held_height_ TOVEK_GUARDED_BY(lock_) = 0;
    std::unique_ptr<uint8_t[]> turned_ TOVEK_GUARDED_BY(lock_);
};
