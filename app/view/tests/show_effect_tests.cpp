#include "view/ShowEffectRules.h"

#include <gtest/gtest.h>

#include <cmath>

using view::CurtainSide;
using view::POINT;
using view::ShowEffectKind;
using view::SpotPart;

namespace {

// 600 x 600 pixels at (100, 50): the spotlight starts at (400, 350) with
// radii of 100.
constexpr RECT kArea{100, 50, 700, 650};

struct SpotPx {
    double cx, cy, rx, ry;
};

void ExpectSpot(const view::SpotlightShape& s, SpotPx want) {
    const view::BoxF b = view::SpotBox(s, kArea);
    EXPECT_NEAR(b.left + b.width / 2, want.cx, 0.5);
    EXPECT_NEAR(b.top + b.height / 2, want.cy, 0.5);
    EXPECT_NEAR(b.width / 2, want.rx, 0.5);
    EXPECT_NEAR(b.height / 2, want.ry, 0.5);
}

void ExpectRect(const RECT& got, const RECT& want) {
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
}

} // namespace

TEST(ShowEffectRules, VisibleAreaIsThePictureCutToTheView) {
    // Actual size, larger than the view; a picture inside; none.
    ExpectRect(view::VisibleArea({-240, -212, 1040, 812}, 800, 600), {0, 0, 800, 600});
    ExpectRect(view::VisibleArea({24, 0, 774, 600}, 800, 600), {24, 0, 774, 600});
    ExpectRect(view::VisibleArea({0, 0, 0, 0}, 800, 600), {0, 0, 0, 0});
}

TEST(ShowEffectRules, SpotlightHitsAndPointers) {
    const view::ShowEffectState s = view::StartShowEffect(ShowEffectKind::kSpotlight);
    const struct {
        POINT p;
        SpotPart part;
        int pointer;
    } rows[] = {
        {{400, 350}, SpotPart::kInside, 1},  {{400, 260}, SpotPart::kInside, 1},
        {{500, 350}, SpotPart::kEdge, 5},    {{507, 350}, SpotPart::kEdge, 5},
        {{400, 245}, SpotPart::kEdge, 6},    {{471, 421}, SpotPart::kEdge, 7},
        {{329, 421}, SpotPart::kEdge, 8},    {{510, 350}, SpotPart::kOutside, 0},
        {{650, 600}, SpotPart::kOutside, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.p.x << "," << row.p.y);
        EXPECT_EQ(view::HitSpot(s.spot, kArea, row.p), row.part);
        EXPECT_EQ(view::EffectPointer(s, kArea, row.p), row.pointer);
    }
    EXPECT_EQ(view::HitSpot(s.spot, RECT{0, 0, 0, 0}, POINT{0, 0}), SpotPart::kOutside);
}

TEST(ShowEffectRules, SpotlightDragsMoveInsideAndResizeOnTheEdge) {
    const struct {
        const char* what;
        POINT press;
        POINT move;
        bool grabbed;
        SpotPx want;
    } rows[] = {
        {"move", {420, 360}, {520, 460}, true, {500, 450, 100, 100}},
        {"move kept in the area", {400, 350}, {900, -100}, true, {700, 50, 100, 100}},
        {"right edge: width only", {500, 350}, {560, 350}, true, {400, 350, 160, 100}},
        {"top edge: height only", {400, 250}, {400, 300}, true, {400, 350, 100, 50}},
        {"diagonal: both", {471, 421}, {541, 491}, true, {400, 350, 199.4, 199.4}},
        {"not below the least", {500, 350}, {402, 350}, true, {400, 350, 16, 100}},
        {"not beyond the area", {500, 350}, {1400, 350}, true, {400, 350, 600, 100}},
        {"outside: nothing", {650, 600}, {400, 350}, false, {400, 350, 100, 100}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        view::ShowEffectState s = view::StartShowEffect(ShowEffectKind::kSpotlight);
        EXPECT_EQ(view::EffectPress(s, kArea, row.press), row.grabbed);
        EXPECT_EQ(view::EffectMove(s, kArea, row.move), row.grabbed);
        view::EffectRelease(s);
        EXPECT_FALSE(view::EffectMove(s, kArea, POINT{300, 300})); // released: stays
        ExpectSpot(s.spot, row.want);
    }
}

TEST(ShowEffectRules, TheWheelScalesTheSpotlightWithinItsBounds) {
    const struct {
        double notches;
        bool changed;
        double radius;
    } rows[] = {
        {1, true, 110},   {-2, true, 100 / 1.21}, {100, true, 600},
        {-100, true, 16}, {NAN, false, 100},
    };
    for (const auto& row : rows) {
        view::ShowEffectState s = view::StartShowEffect(ShowEffectKind::kSpotlight);
        EXPECT_EQ(view::EffectWheel(s, kArea, row.notches), row.changed) << row.notches;
        ExpectSpot(s.spot, {400, 350, row.radius, row.radius});
    }
    view::ShowEffectState curtain = view::StartShowEffect(ShowEffectKind::kCurtain);
    EXPECT_FALSE(view::EffectWheel(curtain, kArea, 1));
}

TEST(ShowEffectRules, TheCurtainIsDraggedBackFromAnEdge) {
    constexpr CurtainSide kTop = CurtainSide::kTop, kBottom = CurtainSide::kBottom;
    // Closed, a press near any edge takes the curtain from there, the middle
    // takes nothing; open, only its edge takes it, down or back up.
    const struct {
        view::CurtainShape start;
        POINT press;
        POINT move;
        bool grabbed;
        view::CurtainShape want;
        int pointer; // at the press
    } rows[] = {
        {{}, {400, 60}, {400, 350}, true, {kTop, 0.5}, 6},
        {{}, {400, 640}, {400, 500}, true, {kBottom, 0.25}, 6},
        {{}, {110, 350}, {250, 350}, true, {CurtainSide::kLeft, 0.25}, 5},
        {{}, {690, 350}, {400, 350}, true, {CurtainSide::kRight, 0.5}, 5},
        {{}, {400, 350}, {400, 500}, false, {}, 0},
        {{kTop, 0.5}, {400, 355}, {400, 750}, true, {kTop, 1}, 6},
        {{kTop, 0.5}, {400, 345}, {400, 0}, true, {kTop, 0}, 6},
        {{kTop, 0.5}, {400, 640}, {400, 500}, false, {kTop, 0.5}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "press " << row.press.x << "," << row.press.y);
        view::ShowEffectState s = view::StartShowEffect(ShowEffectKind::kCurtain);
        s.curtain = row.start;
        EXPECT_EQ(view::EffectPointer(s, kArea, row.press), row.pointer);
        EXPECT_EQ(view::EffectPress(s, kArea, row.press), row.grabbed);
        view::EffectMove(s, kArea, row.move);
        EXPECT_EQ(s.curtain.side, row.want.side);
        EXPECT_DOUBLE_EQ(s.curtain.revealed, row.want.revealed);
    }
}

TEST(ShowEffectRules, TheShadeCoversWhatIsNotRevealed) {
    ExpectRect(view::CurtainShade({CurtainSide::kTop, 0}, kArea), kArea);
    ExpectRect(view::CurtainShade({CurtainSide::kTop, 0.25}, kArea), {100, 200, 700, 650});
    ExpectRect(view::CurtainShade({CurtainSide::kBottom, 0.25}, kArea), {100, 50, 700, 500});
    ExpectRect(view::CurtainShade({CurtainSide::kLeft, 0.5}, kArea), {400, 50, 700, 650});
    ExpectRect(view::CurtainShade({CurtainSide::kRight, 1}, kArea), {100, 50, 100, 650});
}
