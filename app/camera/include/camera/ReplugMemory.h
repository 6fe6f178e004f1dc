// What a camera that is pulled out and plugged back in gets back: the
// picture states the user set (mirror, negative, mono) and whether the user
// was playing and recording. Rules only, free of I/O: the session feeds it
// the command bytes its one control translation sent, the window asks it
// what to do at an attach that follows a removal.
//
// User-interface thread only, like the sequencer and the window that own it.
#pragma once

#include "settings/DeviceCatalogue.h"

#include <cstdint>
#include <vector>

namespace replug {

enum class Mirror : uint8_t { kNone = 0, kHorizontal = 1, kVertical = 2, kBoth = 3 };

// The picture states as the camera holds them after the bytes it was sent,
// starting from a camera just powered up (no mirror, positive, colour).
struct PictureState {
    Mirror mirror = Mirror::kNone;
    bool negative = false;
    bool mono = false;
    bool operator==(const PictureState&) const = default;
};

// The state after the camera of family executed command byte: the Q5 family
// toggles, the RVX family sets absolute states. Other bytes change nothing.
PictureState ApplyCommandByte(PictureState state, DeviceFamily family, uint8_t byte);

// The control codes (ControlKeys.h) that bring a freshly powered camera of
// family to state when sent through the translation with its counters at 0.
// A Q5 camera only toggles between no mirror and one mirror state, so any
// mirror state asks for one mirror press there.
std::vector<uint8_t> RestoreCodes(DeviceFamily family, const PictureState& state);

// The user's intent across a removal. Play and recording wishes are set by
// what the user started and cleared by what the user stopped; the end of the
// picture that a removal causes leaves them as they were.
class ReplugMemory {
public:
    // A camera command byte went out (the sequencer's translation).
    void OnCommandByte(DeviceFamily family, uint8_t byte) {
        picture_ = ApplyCommandByte(picture_, family, byte);
    }
    const PictureState& Picture() const { return picture_; }
    void SetPicture(const PictureState& picture) { picture_ = picture; }

    void SetPlayWanted(bool wanted) { play_wanted_ = wanted; }
    bool PlayWanted() const { return play_wanted_; }
    void SetRecordWanted(bool wanted) { record_wanted_ = wanted; }
    bool RecordWanted() const { return record_wanted_; }

    // The camera was removed: the next attach is a return.
    void OnRemoved() { removed_ = true; }
    // True once after a removal, at the attach that follows it.
    bool TakeReturn() {
        const bool was = removed_;
        removed_ = false;
        return was;
    }

    // Another camera was chosen: nothing carries over.
    void Forget() { *this = ReplugMemory{}; }

private:
    PictureState picture_;
    bool play_wanted_ = false;
    bool record_wanted_ = false;
    bool removed_ = false;
};

} // namespace replug
