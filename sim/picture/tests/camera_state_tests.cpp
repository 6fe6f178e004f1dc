#include "sim/picture.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace sim;

namespace {

// A state away from every default and limit, so each command shows.
CameraState Busy() {
    CameraState s;
    s.zoom = 3;
    s.focus = 2;
    s.brightness = 1;
    s.red_gain = -1;
    s.blue_gain = 2;
    s.sharpness = 1;
    return s;
}

struct Expectation {
    uint8_t byte;
    std::function<void(CameraState&)> change; // applied to Busy() gives the expected state
};

void ExpectTable(bool (*apply)(CameraState&, uint8_t), const std::vector<Expectation>& table) {
    for (const Expectation& e : table) {
        CameraState state = Busy();
        CameraState expected = Busy();
        e.change(expected);
        EXPECT_TRUE(apply(state, e.byte)) << std::hex << int{e.byte};
        EXPECT_EQ(expected, state) << std::hex << int{e.byte};
    }
}

void ResetPicture(CameraState& s) {
    s.focus = s.brightness = s.red_gain = s.blue_gain = s.sharpness = 0;
}

} // namespace

TEST(Q5Commands, EachByteChangesTheStateAsExpected) {
    ExpectTable(ApplyQ5Command, {
                                    {0xB1, [](CameraState& s) { s.zoom = 4; }},
                                    {0xB2, [](CameraState& s) { s.zoom = 2; }},
                                    {0xBA, [](CameraState&) {}}, // end of motion
                                    {0xBB, [](CameraState&) {}}, // end of zoom sequence
                                    {0xB8, [](CameraState& s) { s.focus = 1; }},
                                    {0xB9, [](CameraState& s) { s.focus = 3; }},
                                    {0xBC, [](CameraState& s) { s.brightness = 2; }},
                                    {0xBD, [](CameraState& s) { s.brightness = 0; }},
                                    {0xBE, [](CameraState& s) { s.sharpness = 2; }},
                                    {0xBF, [](CameraState& s) { s.sharpness = 0; }},
                                    {0xD2, [](CameraState& s) { s.red_gain = 0; }},
                                    {0xD3, [](CameraState& s) { s.red_gain = -2; }},
                                    {0xD0, [](CameraState& s) { s.blue_gain = 3; }},
                                    {0xD1, [](CameraState& s) { s.blue_gain = 1; }},
                                    {0xB3, ResetPicture}, // auto keeps the zoom
                                    {0xB4, [](CameraState& s) { s.mirror = Mirror::kHorizontal; }},
                                    {0xB6, [](CameraState& s) { s.negative = true; }},
                                    {0xB5, [](CameraState& s) { s.mono = true; }},
                                });
}

TEST(Q5Commands, ModeBytesToggle) {
    CameraState s;
    for (uint8_t byte : {0xB4, 0xB6, 0xB5}) {
        ASSERT_TRUE(ApplyQ5Command(s, byte));
        ASSERT_TRUE(ApplyQ5Command(s, byte));
    }
    EXPECT_EQ(CameraState{}, s);
}

TEST(RvxCommands, EachByteChangesTheStateAsExpected) {
    ExpectTable(ApplyRvxCommand,
                {
                    {0x31, [](CameraState& s) { s.zoom = 4; }},
                    {0x32, [](CameraState& s) { s.zoom = 2; }},
                    {0x30, [](CameraState&) {}}, // end of motion
                    {0x34, [](CameraState& s) { s.focus = 1; }},
                    {0x33, [](CameraState& s) { s.focus = 3; }},
                    {0x41, [](CameraState& s) { s.brightness = 2; }},
                    {0x40, [](CameraState& s) { s.brightness = 0; }},
                    {0x43, [](CameraState& s) { s.sharpness = 2; }},
                    {0x42, [](CameraState& s) { s.sharpness = 0; }},
                    {0x45, [](CameraState& s) { s.red_gain = 0; }},
                    {0x44, [](CameraState& s) { s.red_gain = -2; }},
                    {0x47, [](CameraState& s) { s.blue_gain = 3; }},
                    {0x46, [](CameraState& s) { s.blue_gain = 1; }},
                    {0x35, ResetPicture}, // auto, also the end of every zoom sequence
                    {0x4A, [](CameraState& s) { s.mirror = Mirror::kHorizontal; }},
                    {0x4B, [](CameraState& s) { s.mirror = Mirror::kVertical; }},
                    {0x4C, [](CameraState& s) { s.mirror = Mirror::kBoth; }},
                    {0x4D, [](CameraState& s) { s.mirror = Mirror::kNone; }},
                    {0x38, [](CameraState& s) { s.negative = true; }},
                    {0x37, [](CameraState& s) { s.negative = false; }},
                    {0x49, [](CameraState& s) { s.mono = true; }},
                    {0x48, [](CameraState& s) { s.mono = false; }},
                });
}

TEST(RvxCommands, ProgramSequencesGiveTheExpectedModes) {
    // The program's mirror counter sends 4A, 4B, 4C, 4D, 4A ...
    CameraState s;
    const Mirror expected[] = {Mirror::kHorizontal, Mirror::kVertical, Mirror::kBoth, Mirror::kNone,
                               Mirror::kHorizontal};
    const uint8_t bytes[] = {0x4A, 0x4B, 0x4C, 0x4D, 0x4A};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(ApplyRvxCommand(s, bytes[i]));
        EXPECT_EQ(expected[i], s.mirror) << i;
    }
    // Negative and mono alternate 38/37 and 49/48; the set bytes are idempotent.
    for (uint8_t byte : {0x38, 0x38, 0x49}) {
        ApplyRvxCommand(s, byte);
    }
    EXPECT_TRUE(s.negative);
    EXPECT_TRUE(s.mono);
    ApplyRvxCommand(s, 0x37);
    ApplyRvxCommand(s, 0x48);
    EXPECT_FALSE(s.negative);
    EXPECT_FALSE(s.mono);

    // A zoom-in sequence (31, 30, 35) zooms one step and refocuses.
    CameraState z;
    z.focus = 4;
    for (uint8_t byte : {0x31, 0x30, 0x35}) {
        ASSERT_TRUE(ApplyRvxCommand(z, byte));
    }
    EXPECT_EQ(1, z.zoom);
    EXPECT_EQ(0, z.focus);
}

TEST(Commands, UnknownBytesAreNotUnderstoodAndChangeNothing) {
    const std::set<int> q5 = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB8, 0xB9, 0xBA,
                              0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xD0, 0xD1, 0xD2, 0xD3};
    const std::set<int> rvx = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x37, 0x38, 0x40, 0x41, 0x42,
                               0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D};
    for (int byte = 0; byte < 256; ++byte) {
        CameraState s = Busy();
        EXPECT_EQ(q5.count(byte) == 1, ApplyQ5Command(s, static_cast<uint8_t>(byte))) << byte;
        CameraState r = Busy();
        EXPECT_EQ(rvx.count(byte) == 1, ApplyRvxCommand(r, static_cast<uint8_t>(byte))) << byte;
        if (!q5.count(byte)) {
            EXPECT_EQ(Busy(), s) << byte;
        }
        if (!rvx.count(byte)) {
            EXPECT_EQ(Busy(), r) << byte;
        }
    }
}

TEST(Commands, SettingsStopAtTheirLimits) {
    CameraState s;
    for (int i = 0; i < 40; ++i) {
        for (uint8_t byte : {0x31, 0x33, 0x41, 0x43, 0x45, 0x46}) {
            ASSERT_TRUE(ApplyRvxCommand(s, byte));
        }
    }
    EXPECT_EQ(kMaxZoom, s.zoom);
    EXPECT_EQ(kMaxFocus, s.focus);
    EXPECT_EQ(kMaxBrightness, s.brightness);
    EXPECT_EQ(kMaxSharpness, s.sharpness);
    EXPECT_EQ(kMaxColourGain, s.red_gain);
    EXPECT_EQ(-kMaxColourGain, s.blue_gain);
    for (int i = 0; i < 40; ++i) {
        ApplyQ5Command(s, 0xB2);
        ApplyQ5Command(s, 0xB8);
    }
    EXPECT_EQ(0, s.zoom);
    EXPECT_EQ(-kMaxFocus, s.focus);

    CameraState wild;
    wild.zoom = 99;
    wild.focus = -99;
    wild.mirror = static_cast<Mirror>(7);
    const CameraState clamped = ClampState(wild);
    EXPECT_EQ(kMaxZoom, clamped.zoom);
    EXPECT_EQ(-kMaxFocus, clamped.focus);
    EXPECT_EQ(Mirror::kNone, clamped.mirror);
}

TEST(RvxStatus, EachCommandReportsItsStatus) {
    const std::pair<uint8_t, int> expected[] = {
        {0x31, 0x82}, {0x32, 0x83}, {0x33, 0x85}, {0x34, 0x86}, {0x35, 0x95}, {0x37, 0x80},
        {0x38, 0x81}, {0x40, 0x88}, {0x41, 0x87}, {0x42, 0x90}, {0x43, 0x8F}, {0x44, 0x8A},
        {0x45, 0x89}, {0x46, 0x8C}, {0x47, 0x8B}, {0x48, 0x92}, {0x49, 0x91}, {0x4A, 0x8E},
        {0x4B, 0x8E}, {0x4C, 0x8E}, {0x4D, 0x8E}};
    for (auto [byte, status] : expected) {
        EXPECT_EQ(status, RvxStatusForCommand(byte)) << std::hex << int{byte};
    }
    for (uint8_t byte : {0x30, 0xBA, 0x00, 0xFF, 0x36}) {
        EXPECT_EQ(kRvxStatusNormal, RvxStatusForCommand(byte)) << std::hex << int{byte};
    }
}
