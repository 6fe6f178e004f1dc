// The session's play rules driven through whole orders of commands, timer
// and open results, as a user and the camera produce them: what the camera
// is told to do in all, and where the picture ends.
#include "camera/PlayRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using play::Input;
using play::Phase;

constexpr uint32_t kSettle = 1000;

// What the actions of a sequence added up to.
struct Tally {
    int stops = 0;
    int closes = 0;
    int timers = 0;
    int opens = 0;
    int runs = 0;
    int failures = 0;
    Phase phase = Phase::kStopped;
    bool starting = false;

    bool operator==(const Tally&) const = default;
};

// Inputs by letter: P Play, p Play of a camera that has just arrived (no
// settle), S Stop, T the settle's timer, O opened, F open failed, R removed.
// The clock moves 100 ms a step.
Tally Drive(const std::string& inputs) {
    play::State state;
    Tally tally;
    uint32_t now = 5000;
    for (const char c : inputs) {
        Input input = Input::kPlay;
        uint32_t settle = kSettle;
        switch (c) {
        case 'p':
            settle = 0;
            break;
        case 'S':
            input = Input::kStop;
            break;
        case 'T':
            input = Input::kSettled;
            break;
        case 'O':
            input = Input::kOpened;
            break;
        case 'F':
            input = Input::kOpenFailed;
            break;
        case 'R':
            input = Input::kRemoved;
            break;
        default:
            break;
        }
        const play::Step step = play::Next(state, input, now, settle);
        if (step.actions.arm_timer) {
            EXPECT_EQ(step.state.due_ms, now + settle) << inputs;
        }
        state = step.state;
        tally.stops += step.actions.stop_picture;
        tally.closes += step.actions.close;
        tally.timers += step.actions.arm_timer;
        tally.opens += step.actions.open;
        tally.runs += step.actions.run;
        tally.failures += step.actions.failed;
        now += 100;
    }
    tally.phase = state.phase;
    tally.starting = play::Starting(state);
    return tally;
}

TEST(PlayRulesTest, OrdersOfCommandsAndResults) {
    struct Case {
        const char* inputs;
        Tally want;
    };
    // stops, closes, timers, opens, runs, failures, phase, starting
    const std::vector<Case> cases = {
        {"P", {0, 1, 1, 0, 0, 0, Phase::kSettling, true}},
        {"PT", {0, 1, 1, 1, 0, 0, Phase::kOpening, true}},
        {"PTO", {0, 1, 1, 1, 1, 0, Phase::kPlaying, false}},
        // A camera that has just arrived opens at once.
        {"pO", {0, 1, 0, 1, 1, 0, Phase::kPlaying, false}},
        // A second Play during the settle or the open starts nothing new.
        {"PPTO", {0, 1, 1, 1, 1, 0, Phase::kPlaying, false}},
        {"PTPO", {0, 1, 1, 1, 1, 0, Phase::kPlaying, false}},
        // A Stop meanwhile: the camera still opens, the picture stays off.
        {"PSTO", {0, 1, 1, 1, 0, 0, Phase::kStopped, false}},
        {"PTSO", {0, 1, 1, 1, 0, 0, Phase::kStopped, false}},
        // ... and a Play after that Stop runs it after all.
        {"PSPTO", {0, 1, 1, 1, 1, 0, Phase::kPlaying, false}},
        // Play while playing starts over: closed, settled, opened again.
        {"pOPTO", {0, 2, 1, 2, 2, 0, Phase::kPlaying, false}},
        {"pOS", {1, 1, 0, 1, 1, 0, Phase::kStopped, false}},
        // A failed open is told only when the picture was wanted.
        {"PTF", {0, 1, 1, 1, 0, 1, Phase::kStopped, false}},
        {"PTSF", {0, 1, 1, 1, 0, 0, Phase::kStopped, false}},
        // A removal ends it all; the late timer and open result do nothing.
        {"PRT", {0, 1, 1, 0, 0, 0, Phase::kStopped, false}},
        {"PTRO", {0, 1, 1, 1, 0, 0, Phase::kStopped, false}},
        {"pORO", {0, 1, 0, 1, 1, 0, Phase::kStopped, false}},
        // Results nobody waits for.
        {"TO", {0, 0, 0, 0, 0, 0, Phase::kStopped, false}},
        {"F", {0, 0, 0, 0, 0, 0, Phase::kStopped, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Drive(c.inputs), c.want) << c.inputs;
}

} // namespace
