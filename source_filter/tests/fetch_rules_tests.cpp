// The pacing thread's rules, step by step.
#include "fetch_rules.h"

#include <gtest/gtest.h>

using camsrc::FetchOutcome;
using camsrc::JudgeFetch;
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

TEST(FetchRules, EachPictureIsPassedOnOnceAndAHeldUpCameraShowsNothingNew) {
    constexpr uint32_t kMax = 655360;
    struct Step {
        bool fetched;
        uint32_t length;
        FetchOutcome outcome;
    };
    const Step steps[] = {
        {false, 0, FetchOutcome::kNothing},       // before the first picture
        {true, 0, FetchOutcome::kNothing},        // an empty picture
        {true, kMax + 1, FetchOutcome::kNothing}, // too large for the output
        {true, 500, FetchOutcome::kPublish},      // new
        {false, 500, FetchOutcome::kNothing},     // the same number again, however long
        {true, 500, FetchOutcome::kPublish},      // new, though as long
        {true, kMax, FetchOutcome::kPublish},     // exactly the largest
        {false, kMax, FetchOutcome::kNothing},    // held up
    };
    for (const Step& s : steps) {
        EXPECT_EQ(s.outcome, JudgeFetch(s.fetched, s.length, kMax)) << s.fetched << " " << s.length;
    }
}
