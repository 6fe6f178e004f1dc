// The element's time stamps, step by step.
#include "buffer_times.h"

#include <gtest/gtest.h>

using camsrc::BufferTime;
using camsrc::BufferTimes;

namespace {
constexpr int64_t kMs = 1000000;
} // namespace

TEST(BufferTimes, StampsRiseWithTheCapturesAndLastTheMeasuredPeriod) {
    struct Step {
        int64_t capture_ms;
        uint64_t pts_ns;
        uint64_t duration_ns;
    };
    // Starting from 62.5 ms (16 a second), the camera really delivers every 80 ms.
    const Step steps[] = {
        {-5, 0, 62500000},              // captured before playing: the start
        {75, 75 * kMs, 64687500},       // 62.5 + (80 - 62.5) / 8
        {155, 155 * kMs, 66601562},     // the period keeps nearing 80 ms
        {155, 155 * kMs + 1, 66601562}, // the same tick: still later than the last
        {154, 155 * kMs + 2, 66601562}, // a clock step back never goes back in time
        {5000, 5000 * kMs, 66601562},   // held up for seconds: no change of rate
        {5080, 5080 * kMs, 68276366},
    };
    BufferTimes times(62500000);
    for (const Step& s : steps) {
        const BufferTime t = times.Next(s.capture_ms * kMs);
        EXPECT_EQ(s.pts_ns, t.pts_ns) << s.capture_ms;
        EXPECT_EQ(s.duration_ns, t.duration_ns) << s.capture_ms;
    }
    // A new run starts from 0 and the announced rate again.
    times.Reset();
    const BufferTime first = times.Next(3 * kMs);
    EXPECT_EQ(uint64_t{3 * kMs}, first.pts_ns);
    EXPECT_EQ(62500000u, first.duration_ns);
}
