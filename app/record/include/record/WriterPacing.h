// The recorder's writer pacing, kept free of I/O so the rules can be driven
// step by step: one frame per frame period, and every 30 seconds the number
// of frames written is squared with what the frame rate asks for, by writing
// the next frame again (a deficit) or skipping frames (a surplus).
//
// Time runs in 64 bits: the 32-bit tick count wraps (every 49.7 days) and so
// would its value in units of 10 us (every 11.9 hours); differences of ticks
// in uint32_t are correct across the wrap, so each turn adds its difference
// to a 64-bit running time.
#pragma once

#include <algorithm>
#include <cstdint>

namespace record {

// The tick count extended to 64 bits: milliseconds since the first Update.
class RunningTime {
public:
    uint64_t Update(uint32_t tick_ms) {
        if (started_)
            total_ms_ += static_cast<uint32_t>(tick_ms - last_tick_ms_);
        started_ = true;
        last_tick_ms_ = tick_ms;
        return total_ms_;
    }
    // What Update would return, without moving on.
    uint64_t Peek(uint32_t tick_ms) const {
        return started_ ? total_ms_ + static_cast<uint32_t>(tick_ms - last_tick_ms_) : 0;
    }

private:
    bool started_ = false;
    uint32_t last_tick_ms_ = 0;
    uint64_t total_ms_ = 0;
};

struct WriterPacing {
    static constexpr uint64_t kWindowMs = 30000;
    static constexpr int32_t kWindowSeconds = 30;
    // Frame periods are counted in units of 10 us.
    static constexpr uint64_t kUnitsPerSecond = 100000;
    static constexpr uint64_t kUnitsPerMs = 100;

    explicit WriterPacing(int32_t frames_per_second)
        : frame_rate(std::max(frames_per_second, 1)),
          frame_period(kUnitsPerSecond / static_cast<uint64_t>(frame_rate)) {}

    // One turn of the writer at tick now_ms: true when a frame is due; the
    // due time then moves on by one period, whether or not a frame is queued.
    bool Due(uint32_t now_ms) {
        const uint64_t now = clock.Update(now_ms);
        const uint64_t now_units = now * kUnitsPerMs;
        if (first) {
            first = false;
            next_due = now_units;
            written_count = 0;
            window_start_ms = now;
        }
        if (now - window_start_ms >= kWindowMs) {
            const int32_t expected = frame_rate * kWindowSeconds;
            skip_count = written_count < expected ? 0 : written_count - expected;
            repeat_count = written_count < expected ? expected - written_count : 0;
            next_due = now_units;
            written_count = 0;
            window_start_ms = now;
        }
        if (now_units < next_due || now_units - next_due < frame_period)
            return false;
        next_due += frame_period;
        return true;
    }

    // Milliseconds from tick now_ms until a turn has work: the frames-th
    // frame from now due, or the window's end (0: now). A writer that sleeps
    // this long between turns, and at each turn takes every frame due, has
    // the due turns a writer polling all the time would, each at most
    // frames - 1 periods later. Frames due before the window's end are
    // waited for one at a time: the end's turn would lose them.
    uint32_t MsUntilDue(uint32_t now_ms, int32_t frames = 1) const {
        if (first)
            return 0;
        const uint64_t now = clock.Peek(now_ms);
        const uint64_t window_end = window_start_ms + kWindowMs;
        const uint64_t now_units = now * kUnitsPerMs;
        uint64_t due_units = next_due + frame_period * static_cast<uint64_t>(std::max(frames, 1));
        if (due_units >= window_end * kUnitsPerMs)
            due_units = next_due + frame_period;
        if (now >= window_end || now_units >= due_units)
            return 0;
        const uint64_t due_ms = (due_units - now_units + kUnitsPerMs - 1) / kUnitsPerMs;
        return static_cast<uint32_t>(std::min(due_ms, window_end - now));
    }

    // The frame of the due turn is skipped: Copies will say 0.
    bool Skips() const { return skip_count > 0; }

    // The frame of a due turn: how many times to write it; 0 skips it.
    int32_t Copies() {
        if (skip_count > 0) {
            --skip_count;
            return 0;
        }
        const int32_t copies = repeat_count + 1;
        repeat_count = 0;
        return copies;
    }

    // After every due turn that had a frame, skipped or written.
    void CountWritten() { ++written_count; }

    // A new file: the next turn starts a new window.
    void Restart() { first = true; }

    const int32_t frame_rate;
    const uint64_t frame_period; // units of 10 us
    int32_t skip_count = 0;
    int32_t repeat_count = 0;
    int32_t written_count = 0; // due turns with a frame in this window
    uint64_t window_start_ms = 0;
    uint64_t next_due = 0; // units of 10 us
    bool first = true;
    RunningTime clock;
};

} // namespace record
