// The time stamps of the element's buffers, kept free of I/O so the rules can
// be driven step by step. As a live source does, each picture is stamped with
// the pipeline's running time at its capture and lasts one measured frame
// period, so that muxers and sinks downstream place every picture in time.
#pragma once

#include <cstdint>

namespace camsrc {

struct BufferTime {
    uint64_t pts_ns;
    uint64_t duration_ns;
};

class BufferTimes {
public:
    // period_ns: the frame period until one is measured (the caps' rate).
    explicit BufferTimes(int64_t period_ns)
        : initial_period_ns_(period_ns), period_ns_(period_ns) {}

    // Forgets the last picture: the next run starts afresh.
    void Reset() {
        last_capture_ns_ = kNone;
        last_pts_ns_ = kNone;
        period_ns_ = initial_period_ns_;
    }

    // The stamp of a picture captured at capture_ns of the running time
    // (negative before the pipeline started playing, which stamps 0). Stamps
    // rise strictly even when captures come closer than the clock tells
    // apart. The period follows the gaps between captures, averaged over
    // about eight pictures; a gap of more than four periods is a camera that
    // was held up or restarted, not its rate, and is left out.
    BufferTime Next(int64_t capture_ns) {
        if (last_capture_ns_ != kNone) {
            const int64_t gap = capture_ns - last_capture_ns_;
            if (gap > 0 && gap <= 4 * period_ns_) {
                period_ns_ += (gap - period_ns_) / 8;
            }
        }
        last_capture_ns_ = capture_ns;
        int64_t pts = capture_ns > 0 ? capture_ns : 0;
        if (last_pts_ns_ != kNone && pts <= last_pts_ns_) {
            pts = last_pts_ns_ + 1;
        }
        last_pts_ns_ = pts;
        return BufferTime{static_cast<uint64_t>(pts), static_cast<uint64_t>(period_ns_)};
    }

private:
    static constexpr int64_t kNone = INT64_MIN;
    const int64_t initial_period_ns_;
    int64_t period_ns_;
    int64_t last_capture_ns_ = kNone;
    int64_t last_pts_ns_ = kNone;
};

} // namespace camsrc
