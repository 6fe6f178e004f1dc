// The rules a returning camera is restored by: the picture states the command
// bytes leave, and the codes that bring a freshly powered camera back to
// them through the one translation.
#include "camera/ControlKeys.h"
#include "camera/ControlSequencer.h"
#include "camera/ReplugMemory.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using replug::Mirror;
using replug::PictureState;

TEST(ReplugMemory, CommandBytesSetThePictureStates) {
    struct Case {
        DeviceFamily family;
        std::vector<uint8_t> bytes;
        PictureState expected;
    };
    const Case cases[] = {
        {DeviceFamily::kQ5, {0xB4}, {Mirror::kHorizontal, false, false}},
        {DeviceFamily::kQ5, {0xB4, 0xB4}, {}},
        {DeviceFamily::kQ5, {0xB6, 0xB5}, {Mirror::kNone, true, true}},
        {DeviceFamily::kQ5, {0xB6, 0xB6, 0xB1, 0xBA}, {}}, // zoom and end change nothing
        {DeviceFamily::kRVX, {0x4B}, {Mirror::kVertical, false, false}},
        {DeviceFamily::kRVX, {0x4C, 0x38, 0x49}, {Mirror::kBoth, true, true}},
        {DeviceFamily::kRVX, {0x4A, 0x4D, 0x38, 0x37}, {}},
        {DeviceFamily::kRVX, {0x38, 0x38}, {Mirror::kNone, true, false}}, // absolute, not toggles
        {DeviceFamily::kRVX, {0xB4, 0xB6}, {}},                           // Q5 bytes mean nothing
        {DeviceFamily::kNone, {0xB4, 0x38}, {}},
    };
    for (const Case& c : cases) {
        PictureState state;
        for (const uint8_t byte : c.bytes)
            state = replug::ApplyCommandByte(state, c.family, byte);
        EXPECT_EQ(state, c.expected) << static_cast<int>(c.family) << " " << c.bytes.size();
    }
}

// Sends the restore codes of every state through the translation, counters
// at 0 as after an open, onto a camera just powered up: the memory fed by the
// sequencer ends at the wanted state.
TEST(ReplugMemory, RestoreCodesReachEveryStateThroughTheTranslation) {
    for (const DeviceFamily family : {DeviceFamily::kQ5, DeviceFamily::kRVX}) {
        const std::vector<Mirror> mirrors =
            family == DeviceFamily::kRVX ? std::vector<Mirror>{Mirror::kNone, Mirror::kHorizontal,
                                                               Mirror::kVertical, Mirror::kBoth}
                                         : std::vector<Mirror>{Mirror::kNone, Mirror::kHorizontal};
        for (const Mirror mirror : mirrors) {
            for (const int bits : {0, 1, 2, 3}) {
                const PictureState wanted{mirror, (bits & 1) != 0, (bits & 2) != 0};
                int counters[ctl::kCounterCount] = {0, 0, 0};
                PictureState state;
                for (const uint8_t code : replug::RestoreCodes(family, wanted))
                    state = replug::ApplyCommandByte(
                        state, family, ctl::TranslateControlKey(family, code, counters));
                EXPECT_EQ(state, wanted) << static_cast<int>(family) << " mirror "
                                         << static_cast<int>(mirror) << " bits " << bits;
            }
        }
    }
}

TEST(ReplugMemory, TheSequencerFeedsTheMemoryAndCounterResetsKeepIt) {
    replug::ReplugMemory memory;
    ControlSequencer sequencer;
    sequencer.SetMemory(&memory);
    // Without a camera nothing is sent, so nothing is remembered.
    EXPECT_EQ(sequencer.SendControlKey(nullptr, DeviceFamily::kRVX, ctl::kNegative), -1);
    EXPECT_EQ(memory.Picture(), PictureState{});

    memory.OnCommandByte(DeviceFamily::kRVX, 0x38);
    memory.SetPlayWanted(true);
    memory.OnRemoved();
    sequencer.ResetCounters(); // an open restarts the counters, not the camera
    EXPECT_TRUE(memory.Picture().negative);
    EXPECT_TRUE(memory.TakeReturn());
    EXPECT_FALSE(memory.TakeReturn()); // once per removal
    memory.Forget();
    EXPECT_EQ(memory.Picture(), PictureState{});
    EXPECT_FALSE(memory.PlayWanted());
}

} // namespace
