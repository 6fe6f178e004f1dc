#include "capture/ShownPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Filled(int width, int height, uint8_t value) {
    return std::vector<uint8_t>(static_cast<size_t>(width) * height * 4, value);
}

} // namespace

TEST(ShownPicture, FreezeHoldsTheNextSampleUntilUnfreeze) {
    ShownPicture shown;
    struct Step {
        const char* action; // "freeze", "unfreeze" or "" before the sample
        uint8_t live;       // the camera's sample
        uint8_t shown;      // what the sample holds afterwards
        bool frozen;
    };
    const Step steps[] = {
        {"", 1, 1, false},         {"freeze", 2, 2, true},
        {"", 3, 2, true},          {"freeze", 4, 2, true}, // freezing again keeps the first hold
        {"unfreeze", 5, 5, false}, {"", 6, 6, false},
        {"freeze", 7, 7, true},    {"", 8, 7, true},
    };
    for (const Step& step : steps) {
        if (std::string(step.action) == "freeze")
            shown.Freeze();
        else if (std::string(step.action) == "unfreeze")
            shown.Unfreeze();
        std::vector<uint8_t> sample = Filled(6, 4, step.live);
        shown.OnSample(sample.data(), 6, 4);
        EXPECT_EQ(sample, Filled(6, 4, step.shown)) << int(step.live);
        EXPECT_EQ(shown.Frozen(), step.frozen) << int(step.live);
    }
}

TEST(ShownPicture, AnotherSizeIsHeldInsteadOfOverrunningTheSample) {
    ShownPicture shown;
    shown.Freeze();
    std::vector<uint8_t> big = Filled(8, 8, 1);
    shown.OnSample(big.data(), 8, 8);
    std::vector<uint8_t> small = Filled(4, 2, 2);
    shown.OnSample(small.data(), 4, 2);
    EXPECT_EQ(small, Filled(4, 2, 2));
    std::vector<uint8_t> next = Filled(4, 2, 3);
    shown.OnSample(next.data(), 4, 2);
    EXPECT_EQ(next, Filled(4, 2, 2));
    // Not a frame at all: left alone.
    shown.OnSample(nullptr, 4, 2);
    std::vector<uint8_t> empty;
    shown.OnSample(empty.data(), 0, 0);
}

TEST(ShownPicture, TurnsForSnapshotsAndSaysWhenTheCameraFrameWillNotDo) {
    ShownPicture shown;
    EXPECT_FALSE(shown.Altered());
    // A 3 x 2 frame whose pixels are numbered 0 to 5 in their first byte.
    std::vector<uint8_t> frame(3 * 2 * 4, 0);
    for (int i = 0; i < 6; ++i)
        frame[static_cast<size_t>(i) * 4] = static_cast<uint8_t>(i);
    int w = 0;
    int h = 0;
    EXPECT_EQ(shown.Turned(frame.data(), 3, 2, &w, &h), frame.data());
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);

    shown.SetQuarterTurns(-3); // one turn right
    EXPECT_EQ(shown.QuarterTurns(), 1);
    EXPECT_TRUE(shown.Altered());
    const uint8_t* turned = shown.Turned(frame.data(), 3, 2, &w, &h);
    ASSERT_NE(turned, frame.data());
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 3);
    // 0 1 2 / 3 4 5 turned right reads 3 0 / 4 1 / 5 2.
    const uint8_t want[] = {3, 0, 4, 1, 5, 2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(turned[static_cast<size_t>(i) * 4], want[i]) << i;

    shown.SetQuarterTurns(4);
    EXPECT_FALSE(shown.Altered());
    shown.Freeze();
    EXPECT_TRUE(shown.Altered());
}
