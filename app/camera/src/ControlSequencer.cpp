#include "camera/ControlSequencer.h"

#include "camera/DocumentCamera.h"
#include "common/CommandIds.h"

namespace {

struct MenuSequence {
    uint32_t id;
    ControlStep steps[3];
    size_t count;
};

constexpr MenuSequence kMenuSequences[] = {
    {36797, {{ctl::kZoomIn, 100}, {ctl::kMotionEnd, 20}, {ctl::kZoomClose, 0}}, 3},
    {36798, {{ctl::kZoomOut, 100}, {ctl::kMotionEnd, 20}, {ctl::kZoomClose, 0}}, 3},
    {36799, {{ctl::kBrighter, 0}}, 1},
    {36800, {{ctl::kDarker, 0}}, 1},
    {36801, {{ctl::kFocusFar, 100}, {ctl::kMotionEnd, 0}}, 2},
    {36802, {{ctl::kFocusNear, 100}, {ctl::kMotionEnd, 0}}, 2},
    {36803, {{ctl::kAuto, 0}}, 1},
    {36804, {{ctl::kMirror, 0}}, 1},
    {36805, {{ctl::kMonoColor, 0}}, 1},
    {36806, {{ctl::kNegative, 0}}, 1},
};
static_assert(std::size(kMenuSequences) == cmd::kControlLast - cmd::kControlFirst + 1);

} // namespace

std::span<const ControlStep> ControlSequencer::Sequence(uint32_t id) {
    for (const MenuSequence& sequence : kMenuSequences) {
        if (sequence.id == id)
            return {sequence.steps, sequence.count};
    }
    return {};
}

int ControlSequencer::SendControlKey(DocumentCamera* camera, DeviceFamily family, int code) {
    if (camera == nullptr)
        return -1;
    const uint8_t byte = ctl::TranslateControlKey(family, code, counters_);
    camera->SendCmd(byte);
    if (memory_ != nullptr)
        memory_->OnCommandByte(family, byte);
    return 0;
}

bool ControlSequencer::RunCommand(DocumentCamera* camera, DeviceFamily family, uint32_t id,
                                  const WaitFn& wait) {
    const std::span<const ControlStep> steps = Sequence(id);
    if (steps.empty())
        return false;
    for (const ControlStep& step : steps) {
        SendControlKey(camera, family, step.code);
        if (step.wait_ms != 0 && wait)
            wait(step.wait_ms);
    }
    return true;
}

void ControlSequencer::ResetCounters() {
    for (int& counter : counters_)
        counter = 0;
}
