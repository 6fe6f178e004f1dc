#include "camera/PlayRules.h"

namespace play {

Step Next(const State& state, Input input, uint32_t now_ms, uint32_t settle_ms) {
    Step step{state, {}};
    const bool under_way = state.phase == Phase::kSettling || state.phase == Phase::kOpening;
    switch (input) {
    case Input::kPlay:
        // The settle or open under way serves this Play too.
        if (under_way) {
            step.state.run_when_open = true;
            return step;
        }
        step.actions.close = true;
        step.state.run_when_open = true;
        if (settle_ms == 0) {
            step.state.phase = Phase::kOpening;
            step.actions.open = true;
        } else {
            step.state.phase = Phase::kSettling;
            step.state.due_ms = now_ms + settle_ms;
            step.actions.arm_timer = true;
        }
        return step;
    case Input::kStop:
        // The camera still opens, so that it is open and stopped as after
        // any Stop; only the picture stays off.
        if (under_way) {
            step.state.run_when_open = false;
            return step;
        }
        step.state = State{};
        step.actions.stop_picture = true;
        return step;
    case Input::kSettled:
        if (state.phase != Phase::kSettling)
            return step; // a timer of a settle that ended otherwise
        step.state.phase = Phase::kOpening;
        step.actions.open = true;
        return step;
    case Input::kOpened:
    case Input::kOpenFailed:
        if (state.phase != Phase::kOpening)
            return step; // the camera was pulled meanwhile
        step.state = State{};
        if (input == Input::kOpenFailed) {
            step.actions.failed = state.run_when_open;
        } else if (state.run_when_open) {
            step.state.phase = Phase::kPlaying;
            step.actions.run = true;
        }
        return step;
    case Input::kRemoved:
        step.state = State{};
        return step;
    }
    return step;
}

} // namespace play
