#include "camera/ReplugMemory.h"

#include "camera/ControlKeys.h"

namespace replug {

namespace {

// The Q5 family's toggles.
constexpr uint8_t kQ5Mirror = 0xB4;
constexpr uint8_t kQ5Negative = 0xB6;
constexpr uint8_t kQ5Mono = 0xB5;

// The RVX family's absolute states; the mirror bytes 0x4A..0x4D follow the
// order of the translation's mirror counter.
constexpr uint8_t kRvxPositive = 0x37;
constexpr uint8_t kRvxNegative = 0x38;
constexpr uint8_t kRvxColour = 0x48;
constexpr uint8_t kRvxMono = 0x49;
constexpr uint8_t kRvxMirrorFirst = 0x4A;
constexpr Mirror kRvxMirrorStates[] = {Mirror::kHorizontal, Mirror::kVertical, Mirror::kBoth,
                                       Mirror::kNone};

} // namespace

PictureState ApplyCommandByte(PictureState state, DeviceFamily family, uint8_t byte) {
    if (family == DeviceFamily::kQ5) {
        if (byte == kQ5Mirror)
            state.mirror = state.mirror == Mirror::kNone ? Mirror::kHorizontal : Mirror::kNone;
        else if (byte == kQ5Negative)
            state.negative = !state.negative;
        else if (byte == kQ5Mono)
            state.mono = !state.mono;
        return state;
    }
    if (family != DeviceFamily::kRVX)
        return state;
    if (byte == kRvxPositive || byte == kRvxNegative)
        state.negative = byte == kRvxNegative;
    else if (byte == kRvxColour || byte == kRvxMono)
        state.mono = byte == kRvxMono;
    else if (byte >= kRvxMirrorFirst && byte < kRvxMirrorFirst + std::size(kRvxMirrorStates))
        state.mirror = kRvxMirrorStates[byte - kRvxMirrorFirst];
    return state;
}

std::vector<uint8_t> RestoreCodes(DeviceFamily family, const PictureState& state) {
    std::vector<uint8_t> codes;
    if (state.mirror != Mirror::kNone) {
        // RVX: the counter from 0 steps horizontal, vertical, both.
        const int presses = family == DeviceFamily::kRVX ? static_cast<int>(state.mirror) : 1;
        codes.insert(codes.end(), static_cast<size_t>(presses), ctl::kMirror);
    }
    if (state.negative)
        codes.push_back(ctl::kNegative);
    if (state.mono)
        codes.push_back(ctl::kMonoColor);
    return codes;
}

} // namespace replug
