#include "page/PageRules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace page;

namespace {

const Quad kPage = {Point{400, 100}, Point{1100, 120}, Point{1150, 1000}, Point{350, 980}};

Quad Moved(const Quad& q, double dx, double dy) {
    Quad out = q;
    for (Point& p : out) {
        p.x += dx;
        p.y += dy;
    }
    return out;
}

} // namespace

TEST(PageRules, PlausibleQuads) {
    const struct {
        const char* name;
        Quad quad;
        bool plausible;
    } cases[] = {
        {"page", kPage, true},
        {"tiny", {Point{10, 10}, Point{60, 10}, Point{60, 60}, Point{10, 60}}, false},
        {"concave", {Point{400, 100}, Point{1100, 120}, Point{700, 400}, Point{350, 980}}, false},
        {"crossed", {kPage[0], kPage[2], kPage[1], kPage[3]}, false},
        {"sharp corner",
         {Point{100, 100}, Point{1800, 100}, Point{1700, 900}, Point{1500, 900}},
         false},
        {"one side far longer",
         {Point{100, 100}, Point{1500, 100}, Point{1100, 1000}, Point{500, 1000}},
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.plausible, PlausibleQuad(c.quad, 1920, 1080)) << c.name;
    }
}

TEST(PageRules, OrderCornersFromAnyOrder) {
    const std::array<Point, 4> shuffled = {kPage[2], kPage[0], kPage[3], kPage[1]};
    EXPECT_EQ(0, QuadDistance(kPage, OrderCorners(shuffled)));
}

// A sequence of detections and what the held corners do: jitter is ignored,
// small moves followed, a one-off jump (a hand, a page turning) held off,
// a jump seen twice (a new page) taken, nothing found holds.
TEST(PageRules, SmootherHoldsAndFollows) {
    const double diagonal = std::hypot(1920.0, 1080.0);
    const Quad far_page = Moved(kPage, 300, 0);
    const struct {
        const char* step;
        std::optional<Quad> found;
        bool changed;
        Quad held;
    } steps[] = {
        {"first", kPage, true, kPage},
        {"jitter", Moved(kPage, 1, 1), false, kPage},
        {"small move", Moved(kPage, 20, 0), true, Moved(kPage, 10, 0)},
        {"nothing", std::nullopt, false, Moved(kPage, 10, 0)},
        {"one-off jump", Moved(kPage, -200, 50), false, Moved(kPage, 10, 0)},
        {"new page", far_page, false, Moved(kPage, 10, 0)},
        {"new page again", Moved(far_page, 2, 0), true, Moved(far_page, 2, 0)},
    };
    CornerSmoother smoother;
    for (const auto& s : steps) {
        EXPECT_EQ(s.changed, smoother.Update(s.found, 1920, 1080)) << s.step;
        ASSERT_TRUE(smoother.Held()) << s.step;
        EXPECT_LT(QuadDistance(s.held, *smoother.Held()), 1e-6 * diagonal) << s.step;
    }
}

TEST(PageRules, FlatSizeKeepsAspectWithinLimits) {
    const Quad a4 = {Point{0, 0}, Point{1000, 0}, Point{1000, 1414}, Point{0, 1414}};
    const Size full = FlatSize(a4, 1000, 1414, 4000, 4000);
    EXPECT_EQ(1000, full.width);
    EXPECT_EQ(1414, full.height);
    const Size fitted = FlatSize(a4, 1000, 1414, 500, 500);
    EXPECT_EQ(500, fitted.height);
    EXPECT_NEAR(1.414, double(fitted.height) / fitted.width, 0.01);
}

TEST(PageRules, HandlesHitNearestWithinRadius) {
    const Quad q = {Point{0, 0}, Point{10, 0}, Point{10, 10}, Point{0, 10}};
    EXPECT_EQ(1, HitHandle(q, {9, 1}, 6));
    EXPECT_EQ(2, HitHandle(q, {8, 7}, 6));
    EXPECT_EQ(-1, HitHandle(q, {5, 5}, 6));
}

// A handle dragged in the flattened view lands where the press-time picture
// shows that point: at its own place when not moved, at the camera point
// under the mouse when dragged inwards, never outside the picture, and not
// at all where the page would fold.
TEST(PageRules, DragCornerMapsThroughPressTimeView) {
    const Size flat = FlatSize(kPage, 1920, 1080, 800, 800);
    const double scale = 0.5, left = 100, top = 20;
    auto view = [&](double fx, double fy) { return Point{left + fx * scale, top + fy * scale}; };
    Quad same = DragCorner(kPage, 0, view(0, 0), left, top, scale, flat, 1920, 1080);
    EXPECT_LT(QuadDistance(kPage, same), 1e-6);
    Quad to_mid = DragCorner(kPage, 2, view(flat.width * 0.75, flat.height * 0.75), left, top,
                             scale, flat, 1920, 1080);
    const Point centre = Apply(MapBetween(RectQuad(flat.width, flat.height), kPage),
                               {flat.width * 0.75, flat.height * 0.75});
    EXPECT_NEAR(centre.x, to_mid[2].x, 1e-6);
    EXPECT_NEAR(centre.y, to_mid[2].y, 1e-6);
    // Dragged past the opposite corner: the page would fold, nothing moves.
    Quad folded = DragCorner(kPage, 0, view(flat.width * 1.5, flat.height * 1.5), left, top, scale,
                             flat, 1920, 1080);
    EXPECT_LT(QuadDistance(kPage, folded), 1e-6);
    Quad outside = DragCorner(kPage, 1, {5000, -5000}, left, top, scale, flat, 1920, 1080);
    EXPECT_GE(outside[1].x, 0);
    EXPECT_LE(outside[1].x, 1920);
    EXPECT_GE(outside[1].y, 0);
    EXPECT_LE(outside[1].y, 1080);
}
