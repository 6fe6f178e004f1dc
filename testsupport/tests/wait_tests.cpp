#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;

// When done() first holds, against the bound: the pause runs only between
// two calls, and the call after the bound still counts.
TEST(WaitUntil, AsksUntilTrueAndOnceMoreAfterTheBound) {
    struct Case {
        const char* name;
        int true_from_call; // 0: never
        std::chrono::milliseconds timeout;
        bool result;
        int pauses; // -1: at least one
    } const cases[] = {
        {"true at once", 1, 1h, true, 0},
        {"true at the third call", 3, 1h, true, 2},
        {"true only after the bound", 2, 1ms, true, 1},
        {"never true", 0, 1ms, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        int pauses = 0;
        const bool result =
            testsupport::WaitUntil([&] { return ++calls == c.true_from_call; }, c.timeout,
                                   [&] {
                                       ++pauses;
                                       std::this_thread::sleep_for(2ms); // past a bound of 1 ms
                                   });
        EXPECT_EQ(c.result, result);
        if (c.pauses >= 0) {
            EXPECT_EQ(c.pauses, pauses);
        } else {
            EXPECT_GE(pauses, 1);
            EXPECT_EQ(calls, pauses + 1) << "asked after the last pause";
        }
    }
}

TEST(WaitUntil, SeesWhatAnotherThreadDoes) {
    std::atomic<bool> done{false};
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        done = true;
    });
    EXPECT_TRUE(testsupport::WaitUntil([&] { return done.load(); }));
    other.join();
}

} // namespace
