// Command bytes of the two camera families and what they do to the state.
#include "sim/picture.h"

#include <algorithm>

namespace sim {

namespace {

// What a command byte does, independent of the family that sends it.
enum class Action {
    kNone, // understood, changes nothing: the end of a motion or of a zoom sequence
    kZoomIn,
    kZoomOut,
    kFocusNear,
    kFocusFar,
    kBrighter,
    kDarker,
    kSharper,
    kSofter,
    kRedUp,
    kRedDown,
    kBlueUp,
    kBlueDown,
    kAuto,
    kMirrorToggle,
    kMirrorHorizontal,
    kMirrorVertical,
    kMirrorBoth,
    kMirrorNone,
    kNegativeToggle,
    kNegativeOn,
    kNegativeOff,
    kMonoToggle,
    kMonoOn,
    kMonoOff,
};

struct Command {
    uint8_t byte;
    Action action;
    int rvx_status = kRvxStatusNormal; // what an RVX camera reports afterwards
};

constexpr Command kQ5Commands[] = {
    {0xBA, Action::kNone},         {0xBB, Action::kNone},           {0xB1, Action::kZoomIn},
    {0xB2, Action::kZoomOut},      {0xB8, Action::kFocusNear},      {0xB9, Action::kFocusFar},
    {0xBC, Action::kBrighter},     {0xBD, Action::kDarker},         {0xBE, Action::kSharper},
    {0xBF, Action::kSofter},       {0xD2, Action::kRedUp},          {0xD3, Action::kRedDown},
    {0xD0, Action::kBlueUp},       {0xD1, Action::kBlueDown},       {0xB3, Action::kAuto},
    {0xB4, Action::kMirrorToggle}, {0xB6, Action::kNegativeToggle}, {0xB5, Action::kMonoToggle},
};

constexpr Command kRvxCommands[] = {
    {0x30, Action::kNone, kRvxStatusNormal},
    {0x31, Action::kZoomIn, 0x82},           // "Tele"
    {0x32, Action::kZoomOut, 0x83},          // "Wide"
    {0x33, Action::kFocusFar, 0x85},         // "Foucus Far"
    {0x34, Action::kFocusNear, 0x86},        // "Foucus Near"
    {0x35, Action::kAuto, 0x95},             // "Auto"
    {0x37, Action::kNegativeOff, 0x80},      // "Positive"
    {0x38, Action::kNegativeOn, 0x81},       // "Negative"
    {0x40, Action::kDarker, 0x88},           // "Bright -"
    {0x41, Action::kBrighter, 0x87},         // "Bright +"
    {0x42, Action::kSofter, 0x90},           // "Sharp -"
    {0x43, Action::kSharper, 0x8F},          // "Sharp +"
    {0x44, Action::kRedDown, 0x8A},          // "Red -"
    {0x45, Action::kRedUp, 0x89},            // "Red +"
    {0x46, Action::kBlueDown, 0x8C},         // "Blue -"
    {0x47, Action::kBlueUp, 0x8B},           // "Blue +"
    {0x48, Action::kMonoOff, 0x92},          // "Color"
    {0x49, Action::kMonoOn, 0x91},           // "Mono"
    {0x4A, Action::kMirrorHorizontal, 0x8E}, // "Mirror"
    {0x4B, Action::kMirrorVertical, 0x8E},
    {0x4C, Action::kMirrorBoth, 0x8E},
    {0x4D, Action::kMirrorNone, 0x8E},
};

template <size_t N>
const Command* Find(const Command (&table)[N], uint8_t byte) {
    for (const Command& command : table) {
        if (command.byte == byte) {
            return &command;
        }
    }
    return nullptr;
}

void Step(int& value, int delta, int low, int high) {
    value = std::clamp(value + delta, low, high);
}

void Apply(CameraState& state, Action action) {
    switch (action) {
    case Action::kNone:
        break;
    case Action::kZoomIn:
        Step(state.zoom, 1, 0, kMaxZoom);
        break;
    case Action::kZoomOut:
        Step(state.zoom, -1, 0, kMaxZoom);
        break;
    case Action::kFocusNear:
        Step(state.focus, -1, -kMaxFocus, kMaxFocus);
        break;
    case Action::kFocusFar:
        Step(state.focus, 1, -kMaxFocus, kMaxFocus);
        break;
    case Action::kBrighter:
        Step(state.brightness, 1, -kMaxBrightness, kMaxBrightness);
        break;
    case Action::kDarker:
        Step(state.brightness, -1, -kMaxBrightness, kMaxBrightness);
        break;
    case Action::kSharper:
        Step(state.sharpness, 1, -kMaxSharpness, kMaxSharpness);
        break;
    case Action::kSofter:
        Step(state.sharpness, -1, -kMaxSharpness, kMaxSharpness);
        break;
    case Action::kRedUp:
        Step(state.red_gain, 1, -kMaxColourGain, kMaxColourGain);
        break;
    case Action::kRedDown:
        Step(state.red_gain, -1, -kMaxColourGain, kMaxColourGain);
        break;
    case Action::kBlueUp:
        Step(state.blue_gain, 1, -kMaxColourGain, kMaxColourGain);
        break;
    case Action::kBlueDown:
        Step(state.blue_gain, -1, -kMaxColourGain, kMaxColourGain);
        break;
    case Action::kAuto:
        ResetPictureSettings(state);
        break;
    case Action::kMirrorToggle:
        state.mirror = state.mirror == Mirror::kNone ? Mirror::kHorizontal : Mirror::kNone;
        break;
    case Action::kMirrorHorizontal:
        state.mirror = Mirror::kHorizontal;
        break;
    case Action::kMirrorVertical:
        state.mirror = Mirror::kVertical;
        break;
    case Action::kMirrorBoth:
        state.mirror = Mirror::kBoth;
        break;
    case Action::kMirrorNone:
        state.mirror = Mirror::kNone;
        break;
    case Action::kNegativeToggle:
        state.negative = !state.negative;
        break;
    case Action::kNegativeOn:
    case Action::kNegativeOff:
        state.negative = action == Action::kNegativeOn;
        break;
    case Action::kMonoToggle:
        state.mono = !state.mono;
        break;
    case Action::kMonoOn:
    case Action::kMonoOff:
        state.mono = action == Action::kMonoOn;
        break;
    }
}

} // namespace

CameraState ClampState(const CameraState& state) {
    CameraState out = state;
    out.zoom = std::clamp(state.zoom, 0, kMaxZoom);
    out.focus = std::clamp(state.focus, -kMaxFocus, kMaxFocus);
    out.brightness = std::clamp(state.brightness, -kMaxBrightness, kMaxBrightness);
    out.red_gain = std::clamp(state.red_gain, -kMaxColourGain, kMaxColourGain);
    out.blue_gain = std::clamp(state.blue_gain, -kMaxColourGain, kMaxColourGain);
    out.sharpness = std::clamp(state.sharpness, -kMaxSharpness, kMaxSharpness);
    const int mirror = static_cast<int>(state.mirror);
    if (mirror < 0 || mirror > 3) {
        out.mirror = Mirror::kNone;
    }
    return out;
}

void ResetPictureSettings(CameraState& state) {
    const CameraState defaults;
    state.focus = defaults.focus;
    state.brightness = defaults.brightness;
    state.red_gain = defaults.red_gain;
    state.blue_gain = defaults.blue_gain;
    state.sharpness = defaults.sharpness;
}

bool ApplyQ5Command(CameraState& state, uint8_t command) {
    const Command* known = Find(kQ5Commands, command);
    if (known) {
        Apply(state, known->action);
    }
    return known != nullptr;
}

bool ApplyRvxCommand(CameraState& state, uint8_t command) {
    const Command* known = Find(kRvxCommands, command);
    if (known) {
        Apply(state, known->action);
    }
    return known != nullptr;
}

int RvxStatusForCommand(uint8_t command) {
    const Command* known = Find(kRvxCommands, command);
    return known ? known->rvx_status : kRvxStatusNormal;
}

} // namespace sim
