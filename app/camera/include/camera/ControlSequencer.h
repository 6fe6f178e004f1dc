// The one path from a control code to the camera: the translation into the
// family's command byte with the three command counters, and the Control
// menu's sequences of codes and waits. The menu, the keys and the control
// tool bar all come through here, so they share the counters.
//
// User-interface thread only, like the camera object it sends through.
#pragma once

#include "camera/ControlKeys.h"
#include "camera/ReplugMemory.h"
#include "settings/DeviceCatalogue.h"

#include <cstdint>
#include <functional>
#include <span>

class DocumentCamera;

// One control code of a menu sequence and the wait after it, which lets a
// motion run before it is ended.
struct ControlStep {
    uint8_t code;
    uint32_t wait_ms;
};

class ControlSequencer {
public:
    using WaitFn = std::function<void(uint32_t ms)>;

    // The codes of Control-menu command id (36797 to 36806); empty for any
    // other id.
    static std::span<const ControlStep> Sequence(uint32_t id);

    // Translates code for family and sends the byte when camera is not null:
    // 0 when a byte went out, -1 when there was no camera (nothing is
    // translated then, so no counter moves). The camera's result is not
    // examined.
    int SendControlKey(DocumentCamera* camera, DeviceFamily family, int code);
    // Sends the sequence of command id with its waits; false for an id that
    // is no Control-menu command.
    bool RunCommand(DocumentCamera* camera, DeviceFamily family, uint32_t id, const WaitFn& wait);

    // A camera open or change starts the counters again.
    void ResetCounters();
    int Counter(int index) const { return counters_[index]; }

    // Every byte sent is also told to memory (may be null; it must outlive
    // the sequencer's use).
    void SetMemory(replug::ReplugMemory* memory) { memory_ = memory; }

private:
    int counters_[ctl::kCounterCount] = {0, 0, 0};
    replug::ReplugMemory* memory_ = nullptr;
};
