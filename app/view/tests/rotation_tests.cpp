#include "view/Rotation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using view::POINT;

namespace {

// A width x height frame whose pixel (x, y) holds x | y << 16, in rows of
// stride bytes (the padding holds 0xEE).
std::vector<uint8_t> NumberedFrame(int width, int height, int stride) {
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t v = static_cast<uint32_t>(x) | static_cast<uint32_t>(y) << 16;
            std::memcpy(frame.data() + static_cast<size_t>(y) * stride + x * 4, &v, 4);
        }
    return frame;
}

POINT PixelAt(const std::vector<uint8_t>& frame, int row_pixels, int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, frame.data() + (static_cast<size_t>(y) * row_pixels + x) * 4, 4);
    return POINT{static_cast<LONG>(v & 0xFFFF), static_cast<LONG>(v >> 16)};
}

} // namespace

TEST(Rotation, TurnsAndSizes) {
    struct Case {
        int turns;
        int normal;
        int width; // of a 40 x 30 picture
        int height;
    };
    const Case cases[] = {
        {0, 0, 40, 30}, {1, 1, 30, 40},  {2, 2, 40, 30},  {3, 3, 30, 40},
        {4, 0, 40, 30}, {-1, 3, 30, 40}, {-2, 2, 40, 30}, {7, 3, 30, 40},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(view::NormalQuarterTurns(c.turns), c.normal) << c.turns;
        const view::PictureSize s = view::RotateSize(40, 30, c.turns);
        EXPECT_EQ(s.width, c.width) << c.turns;
        EXPECT_EQ(s.height, c.height) << c.turns;
    }
}

TEST(Rotation, CornersLandWhereAClockwiseTurnPutsThem) {
    // The top-left pixel of a 40 x 30 picture, and its top-right one.
    struct Case {
        int turns;
        POINT top_left;
        POINT top_right;
    };
    const Case cases[] = {
        {0, {0, 0}, {39, 0}},
        {1, {29, 0}, {29, 39}}, // right: the top edge becomes the right edge
        {2, {39, 29}, {0, 29}},
        {3, {0, 39}, {0, 0}}, // left: the top edge becomes the left edge
    };
    for (const Case& c : cases) {
        const POINT a = view::RotatePoint({0, 0}, 40, 30, c.turns);
        const POINT b = view::RotatePoint({39, 0}, 40, 30, c.turns);
        EXPECT_EQ(a.x, c.top_left.x) << c.turns;
        EXPECT_EQ(a.y, c.top_left.y) << c.turns;
        EXPECT_EQ(b.x, c.top_right.x) << c.turns;
        EXPECT_EQ(b.y, c.top_right.y) << c.turns;
    }
}

TEST(Rotation, UnrotateUndoesEveryTurnAtEveryPixel) {
    for (int turns = -4; turns <= 4; ++turns)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const POINT turned = view::RotatePoint({x, y}, 7, 5, turns);
                const view::PictureSize s = view::RotateSize(7, 5, turns);
                ASSERT_GE(turned.x, 0);
                ASSERT_LT(turned.x, s.width);
                ASSERT_GE(turned.y, 0);
                ASSERT_LT(turned.y, s.height);
                const POINT back = view::UnrotatePoint(turned, 7, 5, turns);
                ASSERT_EQ(back.x, x) << turns;
                ASSERT_EQ(back.y, y) << turns;
            }
}

TEST(Rotation, ArrowStepsTurnBackToThePicture) {
    // "Right" on screen, and where it moves on the camera's picture.
    struct Case {
        int turns;
        POINT step;
    };
    const Case cases[] = {{0, {1, 0}}, {1, {0, -1}}, {2, {-1, 0}}, {3, {0, 1}}, {-1, {0, 1}}};
    for (const Case& c : cases) {
        const POINT step = view::UnrotateStep({1, 0}, c.turns);
        EXPECT_EQ(step.x, c.step.x) << c.turns;
        EXPECT_EQ(step.y, c.step.y) << c.turns;
        // The step agrees with the point mapping of a real picture.
        const POINT a = view::RotatePoint({10, 10}, 40, 30, c.turns);
        const POINT b = view::UnrotatePoint({a.x + 1, a.y}, 40, 30, c.turns);
        EXPECT_EQ(b.x - 10, c.step.x) << c.turns;
        EXPECT_EQ(b.y - 10, c.step.y) << c.turns;
    }
}

TEST(Rotation, FrameMatchesThePointMappingWithPaddedRows) {
    // Sizes beyond one 32-pixel block and not a multiple of it, and a thin one.
    const view::PictureSize sizes[] = {{70, 37}, {1, 9}, {33, 1}};
    for (const view::PictureSize size : sizes) {
        const int stride = size.width * 4 + 12;
        const std::vector<uint8_t> source = NumberedFrame(size.width, size.height, stride);
        for (int turns = 0; turns < 4; ++turns) {
            const view::PictureSize turned = view::RotateSize(size.width, size.height, turns);
            std::vector<uint8_t> out(view::RotatedFrameBytes(size.width, size.height));
            ASSERT_TRUE(view::RotateFrame(source.data(), size.width, size.height, stride, turns,
                                          out.data(), out.size()));
            for (int y = 0; y < turned.height; ++y)
                for (int x = 0; x < turned.width; ++x) {
                    const POINT want = view::UnrotatePoint({x, y}, size.width, size.height, turns);
                    const POINT got = PixelAt(out, turned.width, x, y);
                    ASSERT_EQ(got.x, want.x) << turns << " at " << x << "," << y;
                    ASSERT_EQ(got.y, want.y) << turns << " at " << x << "," << y;
                }
        }
    }
}

TEST(Rotation, FourQuarterTurnsGiveTheFrameBack) {
    const std::vector<uint8_t> source = NumberedFrame(45, 20, 45 * 4);
    std::vector<uint8_t> a(source.size());
    std::vector<uint8_t> b(source.size());
    int width = 45;
    int height = 20;
    ASSERT_TRUE(view::RotateFrame(source.data(), width, height, width * 4, 1, a.data(), a.size()));
    for (int i = 0; i < 3; ++i) {
        std::swap(width, height);
        ASSERT_TRUE(view::RotateFrame(a.data(), width, height, width * 4, 1, b.data(), b.size()));
        std::swap(a, b);
    }
    EXPECT_EQ(a, source);
}

TEST(Rotation, RefusesBadFramesWithoutWriting) {
    const std::vector<uint8_t> source = NumberedFrame(8, 4, 32);
    std::vector<uint8_t> out(128, 0x55);
    struct Case {
        const uint8_t* source;
        int width;
        int height;
        int stride;
        size_t capacity;
    };
    const Case cases[] = {
        {source.data(), 0, 4, 32, 128}, {source.data(), 8, -1, 32, 128},
        {source.data(), 8, 4, 28, 128}, {source.data(), 8, 4, 32, 127},
        {nullptr, 8, 4, 32, 128},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(
            view::RotateFrame(c.source, c.width, c.height, c.stride, 1, out.data(), c.capacity));
        EXPECT_EQ(out, std::vector<uint8_t>(128, 0x55));
    }
    EXPECT_FALSE(view::RotateFrame(source.data(), 8, 4, 32, 1, nullptr, 128));
    EXPECT_EQ(view::RotatedFrameBytes(0, 5), 0u);
}
