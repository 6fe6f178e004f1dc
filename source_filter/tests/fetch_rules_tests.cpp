// The pacing thread's rules, step by step.
#include "fetch_rules.h"

#include <gtest/gtest.h>

using camsrc::FetchOutcome;
using camsrc::JudgeFetch;
using camsrc::LastPicture;
using camsrc::MsUntilNextFetch;

TEST(FetchRules, NextFetchIsOnePeriodAfterTheLastDueOne) {
    struct Case {
        uint32_t now;
        uint32_t schedule;
        uint32_t period;
        uint32_t wait;
    };
    const Case cases[] = {
        {1000, 1000, 60, 60},             // just fetched
        {1059, 1000, 60, 1},              // one millisecond early
        {1060, 1000, 60, 0},              // due
        {1500, 1000, 60, 0},              // far behind: due until caught up
        {990, 1000, 60, 70},              // the schedule lies ahead
        {0x00000010, 0xFFFFFFF0, 60, 28}, // across the wrap
        {0x00000030, 0xFFFFFFF0, 60, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.wait, MsUntilNextFetch(c.now, c.schedule, c.period))
            << c.now << " " << c.schedule;
    }
    // A thread 3.5 periods late fetches three times at once, then waits.
    uint32_t schedule = 1000;
    int fetches = 0;
    while (MsUntilNextFetch(1210, schedule, 60) == 0) {
        schedule += 60;
        ++fetches;
    }
    EXPECT_EQ(3, fetches);
    EXPECT_EQ(30u, MsUntilNextFetch(1210, schedule, 60));
}

TEST(FetchRules, EachPictureIsPassedOnOnceUnlessTheCameraIsHeldUp) {
    constexpr uint32_t kMax = 655360;
    constexpr uint32_t kRepeat = 1000;
    struct Step {
        bool fetched;
        uint32_t length;
        uint32_t now;
        FetchOutcome outcome;
        uint32_t last_length; // after the step
    };
    const Step steps[] = {
        {false, 0, 100, FetchOutcome::kNothing, 0},          // before the first picture
        {true, 0, 110, FetchOutcome::kNothing, 0},           // an empty picture
        {true, kMax + 1, 120, FetchOutcome::kNothing, 0},    // too large for the output
        {true, 500, 200, FetchOutcome::kPublish, 500},       // new
        {false, 500, 260, FetchOutcome::kNothing, 500},      // the same picture again
        {true, 500, 320, FetchOutcome::kPublish, 500},       // new, though as long
        {true, kMax, 380, FetchOutcome::kPublish, kMax},     // exactly the largest
        {false, kMax, 1379, FetchOutcome::kNothing, kMax},   // held up, not for long enough
        {false, kMax, 1380, FetchOutcome::kRepublish, kMax}, // held up for a second
        {false, kMax, 1440, FetchOutcome::kNothing, kMax},   // once a second only
        {false, kMax, 2380, FetchOutcome::kRepublish, kMax},
        {false, 0, 4000, FetchOutcome::kNothing, kMax}, // streaming ended
        {true, 700, 4010, FetchOutcome::kPublish, 700},
    };
    LastPicture last;
    for (const Step& s : steps) {
        EXPECT_EQ(s.outcome, JudgeFetch(s.fetched, s.length, kMax, s.now, kRepeat, &last))
            << "at " << s.now;
        EXPECT_EQ(s.last_length, last.length) << "at " << s.now;
    }
    // Across the tick count's wrap.
    last = LastPicture{500, 0xFFFFFF00};
    EXPECT_EQ(FetchOutcome::kNothing, JudgeFetch(false, 500, kMax, 0x100, kRepeat, &last));
    EXPECT_EQ(FetchOutcome::kRepublish, JudgeFetch(false, 500, kMax, 0x300, kRepeat, &last));
}
