#include "../src/pacing.h"

#include <gtest/gtest.h>

using q5::Pacing;

namespace {
// Runs one adaptation window of 1001 attempts with the given failures first.
uint32_t PauseAfterWindow(uint32_t start_pause, uint32_t failures) {
    Pacing p;
    p.pause_ms = start_pause;
    for (uint32_t i = 0; i < failures; ++i) {
        p.OnRetry();
    }
    for (uint32_t i = 0; i < 1001 - failures; ++i) {
        p.OnSuccess();
    }
    EXPECT_EQ(0u, p.failures + p.successes) << "the window closes at 1001 attempts";
    return p.pause_ms;
}
} // namespace

TEST(Pacing, PauseFollowsTheFailureRateOfEach1001Attempts) {
    EXPECT_EQ(61u, PauseAfterWindow(60, 11));
    EXPECT_EQ(59u, PauseAfterWindow(60, 2));
    EXPECT_EQ(60u, PauseAfterWindow(60, 5));
    EXPECT_EQ(60u, PauseAfterWindow(60, 3));
    EXPECT_EQ(60u, PauseAfterWindow(60, 10));
    // Drifting below 10 ms or above 1000 ms resets to 60.
    EXPECT_EQ(60u, PauseAfterWindow(10, 0));
    EXPECT_EQ(60u, PauseAfterWindow(1000, 20));
    EXPECT_EQ(11u, PauseAfterWindow(10, 11));
}

TEST(Pacing, TimePerFrameIsMeasuredEvery201Pictures) {
    Pacing p;
    p.stamp_ms = 0xFFFFFF00u; // the tick count wraps during the measurement
    for (int i = 0; i < 200; ++i) {
        p.OnFrame(0);
    }
    EXPECT_EQ(60u, p.time_per_frame_ms);
    p.OnFrame(0xFFFFFF00u + 201 * 33);
    EXPECT_EQ(33u, p.time_per_frame_ms);
    EXPECT_EQ(0u, p.frames_since_stamp);
}
