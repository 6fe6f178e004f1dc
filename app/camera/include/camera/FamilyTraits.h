// What differs between the two camera families, in one table: the nominal
// frame rate the recorder paces to, how attach and detach reach the program,
// and whether the Ctrl keys may move the camera's optics.
#pragma once

#include "settings/DeviceCatalogue.h"

#include <cstdint>

struct FamilyTraits {
    DeviceFamily family;
    int frame_rate; // frames per second the recorder paces to
    // Attach and detach come as device-change notifications judged by the
    // library (RVX); otherwise as stream events of the open device (Q5).
    bool device_notification;
    // The pipeline is built by InitDirectShow after the callbacks are set.
    bool init_direct_show;
    // Ctrl+I/O/R/N move zoom and focus; the RVX family's motions are too slow
    // for keys and take the menu only.
    bool keys_move_optics;
};

inline constexpr FamilyTraits kFamilyTraits[] = {
    {DeviceFamily::kQ5, 16, false, true, true},
    {DeviceFamily::kRVX, 30, true, false, false},
};

// The frame rate after the user chose an RVX capture format.
inline constexpr int kCapturePinFrameRate = 11;

// The traits of family; the Q5 family's for kNone (no camera, nothing sent).
inline const FamilyTraits& TraitsOf(DeviceFamily family) {
    for (const FamilyTraits& traits : kFamilyTraits) {
        if (traits.family == family)
            return traits;
    }
    return kFamilyTraits[0];
}
