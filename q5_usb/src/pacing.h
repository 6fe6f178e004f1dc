// Adaptive pause and frame-period measurement of the streaming worker, kept
// free of I/O so the rules can be driven step by step.
#pragma once

#include <cstdint>

namespace q5 {

struct Pacing {
    uint32_t failures = 0;
    uint32_t successes = 0;
    uint32_t pause_ms = 60;
    uint32_t frames_since_stamp = 0;
    uint32_t stamp_ms = 0;
    uint32_t time_per_frame_ms = 60;

    void OnRetry() { ++failures; }

    // Counts a delivered picture; every 1001st attempt tunes the pause by 1 ms
    // toward 3..10 failures per 1001, within 10..1000 ms.
    void OnSuccess() {
        ++successes;
        if (successes + failures > 1000) {
            if (failures > 10) {
                ++pause_ms;
            } else if (failures < 3) {
                --pause_ms;
            }
            failures = 0;
            successes = 0;
            if (pause_ms < 10 || pause_ms > 1000) {
                pause_ms = 60;
            }
        }
    }

    // Called after each delivered picture; every 201 pictures the average
    // period since the last stamp is measured.
    void OnFrame(uint32_t now_ms) {
        if (++frames_since_stamp > 200) {
            time_per_frame_ms = (now_ms - stamp_ms) / 201;
            stamp_ms = now_ms;
            frames_since_stamp = 0;
        }
    }
};

} // namespace q5
