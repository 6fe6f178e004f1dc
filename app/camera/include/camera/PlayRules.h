// Where the camera session's picture stands between the user's Play and
// Stop, and the rules that move it, as one pure function: free of the
// camera, of Qt and of any clock, so that every order of commands, timer
// and open results can be tried in a table.
//
// Play closes the camera and lets the device settle before it opens again;
// the settle is a state with the tick it ends at, not a wait, and the open
// runs away from the user-interface thread. Whatever comes meanwhile only
// changes what happens once the camera is open: a Stop during the settle or
// the open leaves the camera open and stopped, a second Play does not start
// a second settle, and a camera pulled meanwhile ends it all.
#pragma once

#include <cstdint>

namespace play {

enum class Phase : uint8_t {
    kStopped,  // no picture; the camera open or not, nothing under way
    kSettling, // closed, the device settles until due_ms
    kOpening,  // the camera opens away from the user-interface thread
    kPlaying,  // the picture runs
};

struct State {
    Phase phase = Phase::kStopped;
    // Settling or opening: whether the picture runs once the camera is open
    // (a Stop meanwhile says no, a Play again yes).
    bool run_when_open = false;
    uint32_t due_ms = 0; // settling: the tick at which the camera may open
};

enum class Input : uint8_t {
    kPlay,       // the user's Play (also auto-play and a returning camera)
    kStop,       // the user's Stop
    kSettled,    // the settle's timer fired
    kOpened,     // the open returned with the camera open
    kOpenFailed, // the open returned without a camera
    kRemoved,    // the camera was pulled, or the session ends
};

// What the session does for one step, in this order.
struct Actions {
    bool stop_picture = false; // stop the running picture (hide, stop the camera)
    bool close = false;        // remove the callbacks, stop and close the camera
    bool arm_timer = false;    // (re)arm the settle timer for the new due_ms
    bool open = false;         // start the open on the worker thread
    bool run = false;          // the camera is open: run the picture
    bool failed = false;       // the Play asked for could not open the camera
};

struct Step {
    State state;
    Actions actions;
};

// The next state and what to do for input at now_ms. settle_ms is what a
// Play lets the device settle (0 for a camera that has just arrived: it has
// settled already).
Step Next(const State& state, Input input, uint32_t now_ms, uint32_t settle_ms);

// Whether the picture runs or is on its way (settling or opening to run):
// what the menus and the status show as playing.
inline bool Starting(const State& state) {
    return (state.phase == Phase::kSettling || state.phase == Phase::kOpening) &&
           state.run_when_open;
}

} // namespace play
