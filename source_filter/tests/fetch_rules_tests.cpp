// The fetch rules, step by step.
#include "fetch_rules.h"

#include <gtest/gtest.h>

#include <iterator>

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

// A waiting streaming thread takes the fetches; the pacing thread keeps out of
// its way, and takes over, caught up, once no puller asked for a lease.
TEST(FetchRules, AWaitingPullerTakesTheFetchesUntilItLeaves) {
    using camsrc::Fetcher;
    constexpr uint32_t kLease = camsrc::FetchTurns::kPullerLeaseMs;
    const struct {
        Fetcher who;
        uint32_t now;
        uint32_t wait; // 0: this one fetches now
    } steps[] = {
        {Fetcher::kPacing, 1060, 0},           // nobody pulls: the pacing thread fetches
        {Fetcher::kPuller, 1070, 50},          // a puller waits for the next fetch
        {Fetcher::kPacing, 1120, kLease - 50}, // and the pacing thread leaves it to it
        {Fetcher::kPuller, 1120, 0},
        {Fetcher::kPacing, 1070 + kLease, 50}, // within the lease of the puller's last wait
        {Fetcher::kPacing, 1120 + kLease, 0},  // the puller is gone: caught up at fixed rate
        {Fetcher::kPacing, 1120 + kLease, 0},
        {Fetcher::kPuller, 1121 + kLease, 0}, // a puller back, still behind, fetches
        {Fetcher::kPacing, 1122 + kLease, kLease - 1},
    };
    camsrc::FetchTurns turns;
    turns.Restart(1000);
    for (size_t i = 0; i < std::size(steps); ++i) {
        const uint32_t wait = turns.MsUntilTurn(steps[i].who, steps[i].now, 60);
        EXPECT_EQ(steps[i].wait, wait) << "step " << i;
        if (wait == 0) {
            turns.Fetched(60);
        }
    }
}
