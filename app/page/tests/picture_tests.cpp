#include "page/PageMode.h"
#include "page/PagePicture.h"
#include "sim/desk.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace page;

namespace {

struct Scene {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgrx;
    Quad known{};
};

// A desk scene from the emulator, as the rendering thread gets it (32-bit).
Scene Desk(int width, int height, const sim::DeskOptions& options) {
    Scene s;
    s.width = width;
    s.height = height;
    std::vector<uint8_t> rgb;
    EXPECT_TRUE(sim::RenderDesk(width, height, options, rgb));
    s.bgrx.resize(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        s.bgrx[i * 4] = rgb[i * 3 + 2];
        s.bgrx[i * 4 + 1] = rgb[i * 3 + 1];
        s.bgrx[i * 4 + 2] = rgb[i * 3];
        s.bgrx[i * 4 + 3] = 255;
    }
    const auto corners = sim::DeskCorners(width, height, options);
    for (int i = 0; i < 4; ++i) {
        s.known[i] = {corners[i].x, corners[i].y};
    }
    return s;
}

// What PageMode hands its worker: the picture taken down to kFindWidth.
std::optional<Quad> FindInSmall(const Scene& s) {
    const int scale = (s.width + kFindWidth - 1) / kFindWidth;
    const int w = s.width / scale, h = s.height / scale;
    std::vector<uint8_t> small(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &s.bgrx[((static_cast<size_t>(y) * scale + scale / 2) * s.width +
                                        x * scale + scale / 2) *
                                       4];
            std::copy(p, p + 3, &small[(static_cast<size_t>(y) * w + x) * 3]);
        }
    }
    auto found = FindPage(small.data(), w, h, w * 3);
    if (found) {
        for (Point& p : *found) {
            p.x *= scale;
            p.y *= scale;
        }
    }
    return found;
}

int Grey(const uint8_t* bgrx, int width, int x, int y) {
    const uint8_t* p = bgrx + (static_cast<size_t>(y) * width + x) * 4;
    return (p[0] + p[1] + p[2]) / 3;
}

} // namespace

// Corners found on desk scenes at several angles and far-edge widths, in
// shadow and with a hand over the page: within 1 % of the page's diagonal
// of the known corners.
TEST(PagePicture, FindsCornersOfDeskScenes) {
    const struct {
        int width, height;
        double angle, far_edge;
        bool shadow;
        double hand;
    } cases[] = {
        {1920, 1080, 0, 1.0, false, 0},     {1920, 1080, -10, 0.9, false, 0},
        {1920, 1080, 10, 0.85, false, 0},   {1920, 1080, 6, 0.92, true, 0},
        {1920, 1080, -4, 0.92, false, 0.3}, {1920, 1080, 8, 0.9, true, 0.4},
        {1024, 768, -7, 0.92, false, 0},    {1024, 768, 3, 0.88, true, 0.25},
    };
    int page = 0;
    for (const auto& c : cases) {
        sim::DeskOptions options;
        options.page = page++;
        options.angle = c.angle;
        options.far_edge = c.far_edge;
        options.shadow = c.shadow;
        options.hand = c.hand;
        const Scene s = Desk(c.width, c.height, options);
        SCOPED_TRACE(testing::Message() << c.width << " angle " << c.angle << " shadow " << c.shadow
                                        << " hand " << c.hand);
        const auto found = FindInSmall(s);
        ASSERT_TRUE(found);
        const double diagonal =
            std::hypot(s.known[2].x - s.known[0].x, s.known[2].y - s.known[0].y);
        EXPECT_LT(QuadDistance(s.known, *found), 0.01 * diagonal);
    }
}

// The page's own aspect comes back from its corners, whatever the tilt and
// turn it is seen at.
TEST(PagePicture, AspectFromPerspective) {
    for (double far_edge : {1.0, 0.95, 0.9, 0.85}) {
        for (double angle : {-10.0, 0.0, 7.0}) {
            sim::DeskOptions options;
            options.angle = angle;
            options.far_edge = far_edge;
            const auto c = sim::DeskCorners(1920, 1080, options);
            const Quad q = {Point{c[0].x, c[0].y}, Point{c[1].x, c[1].y}, Point{c[2].x, c[2].y},
                            Point{c[3].x, c[3].y}};
            EXPECT_NEAR(1 / 1.4142, PageAspect(q, 1920, 1080), 0.01) << far_edge << " " << angle;
        }
    }
}

TEST(PagePicture, NothingFoundOnAnEmptyDesk) {
    std::vector<uint8_t> desk(480 * 270 * 3, 50);
    EXPECT_FALSE(FindPage(desk.data(), 480, 270, 480 * 3));
}

// The flattened page is paper to its edges, and the map is made once for
// the same corners.
TEST(PagePicture, FlattensToPaperWithOneMapPerCorners) {
    sim::DeskOptions options;
    options.angle = 8;
    const Scene s = Desk(1920, 1080, options);
    Flattener flattener;
    const Size size = FlatSize(s.known, 1920, 1080, 1920, 1080);
    EXPECT_NEAR(1.414, double(size.height) / size.width, 0.02);
    const uint8_t* out = nullptr;
    for (int i = 0; i < 3; ++i) {
        out = flattener.Flatten(s.bgrx.data(), s.width, s.height, s.width * 4, s.known, size);
        ASSERT_NE(nullptr, out);
    }
    EXPECT_EQ(1, flattener.MapsMade());
    const int inset = 3;
    for (const auto& [x, y] : {std::pair{inset, inset},
                               {size.width - 1 - inset, inset},
                               {inset, size.height - 1 - inset},
                               {size.width - 1 - inset, size.height - 1 - inset}}) {
        EXPECT_GT(Grey(out, size.width, x, y), 200) << x << "," << y;
    }
}

// A shadow over half the page: after the filter both halves' paper is white.
TEST(PagePicture, FilterEvensOutAShadow) {
    sim::DeskOptions options;
    options.shadow = true;
    const Scene s = Desk(1280, 720, options);
    Flattener flattener;
    const Size size = FlatSize(s.known, 1280, 720, 1280, 720);
    std::vector<uint8_t> flat(static_cast<size_t>(size.width) * size.height * 4);
    const uint8_t* out =
        flattener.Flatten(s.bgrx.data(), s.width, s.height, s.width * 4, s.known, size);
    std::copy(out, out + flat.size(), flat.begin());
    const int y = size.height - 8; // below the text, above the page number
    EXPECT_LT(Grey(flat.data(), size.width, 6, y),
              Grey(flat.data(), size.width, size.width - 6, y) - 25);
    FilterDocument(flat.data(), size.width, size.height, size.width * 4, false);
    EXPECT_GT(Grey(flat.data(), size.width, 6, y), 235);
    EXPECT_GT(Grey(flat.data(), size.width, size.width - 6, y), 235);
}

// The worker finds the page in pictures offered as the camera streams them,
// and page mode going off forgets it.
TEST(PagePicture, ModeFindsPageOffered) {
    const Scene s = Desk(1920, 1080, sim::DeskOptionsForPage(3));
    PageMode mode;
    mode.SetEnabled(true);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        mode.Offer(s.bgrx.data(), s.width, s.height, s.width * 4);
        return mode.Current().quad.has_value();
    }));
    EXPECT_LT(QuadDistance(s.known, *mode.Current().quad), 0.01 * std::hypot(1920.0, 1080.0));
    mode.SetManual(RectQuad(100, 100));
    EXPECT_TRUE(mode.Current().manual);
    mode.SetEnabled(false);
    EXPECT_FALSE(mode.Current().quad);
}
