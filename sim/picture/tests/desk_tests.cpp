#include "decode.h"
#include "sim/desk.h"
#include "sim/picture.h"

#include <gtest/gtest.h>

using namespace sim;
using sim::test::Decode;
using sim::test::Decoded;

namespace {

// Scene and page are process-wide: each test leaves the default behind.
struct SceneGuard {
    ~SceneGuard() { SetScene(Scene::kPage); }
};

int Grey(const Decoded& d, double x, double y) {
    const uint8_t* p = d.At(static_cast<int>(x), static_cast<int>(y));
    return (p[0] + p[1] + p[2]) / 3;
}

} // namespace

// Paper just inside each known corner, desk just outside, at both camera
// sizes and over pages of different angles: the corners a test reads are
// where the picture has them.
TEST(Desk, KnownCornersMatchThePicture) {
    SceneGuard guard;
    SetScene(Scene::kDesk);
    const struct { int width, height; } sizes[] = {{1920, 1080}, {1024, 768}};
    for (const auto& size : sizes) {
        PictureGenerator generator(size.width, size.height);
        for (int step = 0; step < 4; ++step) {
            auto jpeg = generator.Jpeg();
            ASSERT_NE(nullptr, jpeg);
            const Decoded d = Decode(*jpeg);
            const auto corners =
                DeskCorners(size.width, size.height, DeskOptionsForPage(DeskPageNumber()));
            double cx = 0, cy = 0;
            for (const DeskPoint& c : corners) {
                cx += c.x / 4;
                cy += c.y / 4;
            }
            for (const DeskPoint& c : corners) {
                SCOPED_TRACE(testing::Message() << size.width << " page " << DeskPageNumber()
                                                << " corner " << c.x << "," << c.y);
                EXPECT_GT(Grey(d, c.x + (cx - c.x) * 0.04, c.y + (cy - c.y) * 0.04), 200);
                EXPECT_LT(Grey(d, c.x - (cx - c.x) * 0.04, c.y - (cy - c.y) * 0.04), 110);
                EXPECT_GT(c.x, 0);
                EXPECT_LT(c.x, size.width);
                EXPECT_GT(c.y, 0);
                EXPECT_LT(c.y, size.height);
            }
            NextDeskPage();
        }
    }
}

// The desk is drawn once per page and size, not per picture; switching back
// gives the test page again.
TEST(Desk, DrawnOncePerPageAndSceneSwitchesBack) {
    SceneGuard guard;
    PictureGenerator generator(1280, 720);
    auto test_page = generator.Jpeg();
    SetScene(Scene::kDesk);
    auto desk = generator.Jpeg();
    EXPECT_EQ(desk, generator.Jpeg());
    NextDeskPage();
    auto next = generator.Jpeg();
    EXPECT_NE(*desk, *next);
    EXPECT_EQ(3u, generator.Stats().page_renders);
    SetScene(Scene::kPage);
    EXPECT_EQ(*test_page, *generator.Jpeg());
}

TEST(Desk, PagesCarryDifferentText) {
    EXPECT_NE(DeskPageText(0), DeskPageText(1));
    EXPECT_GT(DeskPageText(0).size(), 300u);
}
