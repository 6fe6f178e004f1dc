#include "platform/system.h"

#include <gtest/gtest.h>

#include <thread>

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
