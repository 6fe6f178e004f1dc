// The geometric rules: hit tests, handle choice, hover pointers, re-anchoring
// and moves kept inside the frame.
#include "annotation/ShapeRules.h"

#include <gtest/gtest.h>

namespace annotation {
namespace {

Shape Box(ShapeKind kind, int x1, int y1, int x2, int y2) {
    Shape s;
    s.kind = kind;
    s.x1 = x1, s.y1 = y1, s.x2 = x2, s.y2 = y2;
    return s;
}

TEST(ShapeRules, InBoxIsStrictTenPixelsAroundTheBoxInAnyCornerOrder) {
    struct Case {
        int px, py;
        bool in;
    } cases[] = {
        {91, 120, true},   // 9 left of the box
        {90, 120, false},  // 10 left
        {209, 120, true},  // 9 right
        {210, 120, false}, // 10 right
        {150, 91, true},   {150, 90, false}, {150, 159, true},
        {150, 160, false}, {150, 120, true}, // inside
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InBox(c.px, c.py, 100, 100, 200, 150), c.in) << c.px << "," << c.py;
        EXPECT_EQ(InBox(c.px, c.py, 200, 150, 100, 100), c.in) << "swapped " << c.px;
    }
}

TEST(ShapeRules, OnLineNearlyStraightAndSlantedCases) {
    struct Case {
        int x1, y1, x2, y2, px, py;
        bool hit;
    } cases[] = {
        {0, 0, 100, 5, 50, 14, true},    // |dy| <= 10: between the x ends
        {0, 0, 100, 5, 101, 3, false},   // past the end (still in the box)
        {0, 0, 100, 5, 0, 0, false},     // strictly between: an end is not
        {0, 0, 100, 100, 50, 69, true},  // line x 69 at y 69: distance 19
        {0, 0, 100, 100, 50, 70, false}, // distance 20
        {0, 0, 100, 100, 50, 31, true},  // 19 on the other side
        {0, 0, 100, 100, 50, 30, false},
        {10, 0, 14, 300, 20, 150, true}, // |dx| <= 10: between the y ends
        {10, 0, 14, 300, 20, 300, false},
        {0, 0, 100, 100, 200, 200, false}, // outside the box
        // Truncating division: x = 0 + (7 * 100) / 30 = 23 (23.3).
        {0, 0, 100, 30, 4, 7, true},
        {0, 0, 100, 30, 3, 7, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OnLine(c.px, c.py, c.x1, c.y1, c.x2, c.y2), c.hit)
            << "(" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ") at " << c.px << ","
            << c.py;
}

TEST(ShapeRules, CurvesAreHitOnAnySegmentAndEmptyCurvesNever) {
    Shape curve = Box(ShapeKind::kCurve, 0, 0, 300, 0);
    EXPECT_FALSE(HitShape(curve, 100, 0));
    curve.segments = {{0, 0, 0, 100, 0}, {1, 100, 0, 100, 200}};
    EXPECT_TRUE(HitShape(curve, 50, 3));
    EXPECT_TRUE(HitShape(curve, 104, 150));
    EXPECT_FALSE(HitShape(curve, 250, 0)); // the shape's own points do not count
}

TEST(ShapeRules, GrabHandleRewritesAnchorAndHandle) {
    struct Case {
        int px, py;
        HandleMode mode;
        int x1, y1, x2, y2; // after the rewrite
    } cases[] = {
        {102, 101, HandleMode::kCorner, 200, 200, 100, 100},    // top-left
        {198, 199, HandleMode::kCorner, 100, 100, 200, 200},    // bottom-right
        {101, 199, HandleMode::kCorner, 200, 100, 100, 200},    // bottom-left
        {199, 101, HandleMode::kCorner, 100, 200, 200, 100},    // top-right
        {199, 150, HandleMode::kRightEdge, 100, 200, 200, 100}, // x only
        {101, 150, HandleMode::kLeftEdge, 200, 200, 100, 100},
        {150, 199, HandleMode::kBottomEdge, 200, 100, 100, 200}, // y only
        {150, 101, HandleMode::kTopEdge, 200, 200, 100, 100},
        {150, 150, HandleMode::kMove, 200, 200, 100, 100}, // unchanged
        {115, 150, HandleMode::kMove, 200, 200, 100, 100}, // 15 from the edge
    };
    for (const Case& c : cases) {
        // Stored with the corners the other way round on purpose.
        Shape s = Box(ShapeKind::kRectangle, 200, 200, 100, 100);
        const Grab grab = GrabHandle(&s, c.px, c.py);
        EXPECT_EQ(grab.mode, c.mode) << c.px << "," << c.py;
        EXPECT_EQ(grab.first_move, c.mode != HandleMode::kMove);
        EXPECT_EQ(grab.move_cursor, c.mode == HandleMode::kMove);
        EXPECT_EQ(s.x1, c.x1) << c.px << "," << c.py;
        EXPECT_EQ(s.y1, c.y1) << c.px << "," << c.py;
        EXPECT_EQ(s.x2, c.x2) << c.px << "," << c.py;
        EXPECT_EQ(s.y2, c.y2) << c.px << "," << c.py;
    }
}

TEST(ShapeRules, FirstMoveOfALineStartMakesTheOldEndTheAnchor) {
    struct Case {
        int x1, y1, x2, y2, px, py;
        bool swapped;
    } cases[] = {
        {0, 0, 100, 100, 5, 5, true},    // slanted, near the start
        {0, 0, 100, 100, 95, 95, false}, // near the end
        {0, 0, 2, 200, 1, 10, true},     // |dx| < 4: by y
        {0, 0, 200, 2, 10, 1, true},     // |dy| <= 3: by x
        {0, 0, 200, 2, 190, 1, false},
        {0, 0, 100, 100, -30, -30, false}, // outside the widened box
    };
    for (const Case& c : cases) {
        Shape s = Box(ShapeKind::kLine, c.x1, c.y1, c.x2, c.y2);
        ReanchorCorner(&s, c.px, c.py);
        EXPECT_EQ(s.x1 == c.x2 && s.y1 == c.y2, c.swapped) << c.px << "," << c.py;
    }
}

TEST(ShapeRules, FirstMoveInsideABoxAnchorsTheOppositeCorner) {
    Shape s = Box(ShapeKind::kCircle, 100, 100, 200, 200);
    ReanchorCorner(&s, 114, 114); // within 14 of the top-left
    EXPECT_EQ(s.x1, 200);
    EXPECT_EQ(s.y1, 200);
    s = Box(ShapeKind::kCircle, 100, 100, 200, 200);
    ReanchorCorner(&s, 115, 110); // 15 away: nothing
    EXPECT_EQ(s.x1, 100);
    ReanchorCorner(&s, 95, 95); // outside the box: nothing
    EXPECT_EQ(s.x1, 100);
}

TEST(ShapeRules, HoverPointers) {
    const Shape line = Box(ShapeKind::kLine, 0, 0, 100, 100);
    const Shape rect = Box(ShapeKind::kRectangle, 100, 100, 200, 200);
    struct Case {
        const Shape* shape;
        int px, py, kind;
    } cases[] = {
        {&line, 10, 10, kCursorSizeWE},     {&line, 50, 50, kCursorMove},
        {&line, 50, 90, kCursorArrow},      {&rect, 90, 150, kCursorArrow},
        {&rect, 105, 105, kCursorSizeNWSE}, {&rect, 195, 195, kCursorSizeNWSE},
        {&rect, 105, 195, kCursorSizeNESW}, {&rect, 195, 105, kCursorSizeNESW},
        {&rect, 105, 150, kCursorSizeWE},   {&rect, 150, 195, kCursorSizeNS},
        {&rect, 150, 150, kCursorMove},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HoverCursor(*c.shape, c.px, c.py), c.kind) << c.px << "," << c.py;
}

} // namespace
} // namespace annotation
