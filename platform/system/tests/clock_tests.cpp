#include "platform/system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

TEST(Clock, FakeClockStepsTimeAndSleepAdvancesIt) {
    uint32_t before_real = GetTickCount();
    {
        FakeClock clock(0xFFFFFF00u);
        EXPECT_EQ(0xFFFFFF00u, GetTickCount());
        Sleep(0x200); // wraps past 2^32 like GetTickCount
        EXPECT_EQ(0x100u, GetTickCount());
        EXPECT_EQ(0x200u, GetTickCount() - 0xFFFFFF00u);
        EXPECT_EQ(0x200u, clock.Slept());
    }
    // The real clock is back and has not jumped.
    EXPECT_LT(GetTickCount() - before_real, 10000u);
}

// Tests install a clock on their stack while the threads of the window they
// test still ask the time; taking the clock down must not leave them reading
// a dead one (the sanitizer builds see such a read).
TEST(Clock, FakeClocksComeAndGoWhileOtherThreadsAskTheTime) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&, i] {
            while (!stop.load()) {
                if (i == 0)
                    Sleep(1); // advances a fake clock, sleeps on the real one
                else
                    (void)GetTickCount();
            }
        });
    for (int round = 0; round < 2000; ++round) {
        FakeClock clock(static_cast<uint32_t>(round));
        EXPECT_GE(GetTickCount(), static_cast<uint32_t>(round));
    }
    stop.store(true);
    for (std::thread& reader : readers)
        reader.join();
}

TEST(Clock, AutoResetEventWakesOneWaitAndResets) {
    AutoResetEvent event;
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)); // reset itself

    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));

    bool woke = false;
    std::thread waiter([&] { woke = event.Wait(10000); });
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}

// The writer's sleep between turns: a fake clock only advances, the real one
// is cut short by the event.
TEST(Clock, SleepUnlessSetAdvancesAFakeClockAndWakesOnTheEvent) {
    AutoResetEvent event;
    {
        FakeClock clock(1000);
        EXPECT_FALSE(event.SleepUnlessSet(250));
        event.Set();
        EXPECT_TRUE(event.SleepUnlessSet(40));
        EXPECT_EQ(1290u, GetTickCount());
    }
    bool woke = false;
    std::thread sleeper([&] { woke = event.SleepUnlessSet(600000); });
    event.Set();
    sleeper.join();
    EXPECT_TRUE(woke);
}
