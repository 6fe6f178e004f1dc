#include "annotation/ShapeRules.h"

#include <algorithm>
#include <cstdlib>

namespace annotation {

namespace {

inline bool Near(int64_t a, int64_t b, int64_t reach) {
    return std::llabs(a - b) < reach;
}

inline bool Within(int64_t v, int64_t limit) {
    return v >= 0 && v <= limit;
}

// The four corners of a box, in the order the rules test them.
enum class Corner { kTopLeft, kBottomRight, kBottomLeft, kTopRight, kNone };

Corner CornerNear(const Shape& s, int64_t px, int64_t py, int64_t reach) {
    const int64_t x[] = {s.MinX(), s.MaxX(), s.MinX(), s.MaxX()};
    const int64_t y[] = {s.MinY(), s.MaxY(), s.MaxY(), s.MinY()};
    for (int i = 0; i < 4; ++i) {
        if (Near(px, x[i], reach) && Near(py, y[i], reach))
            return static_cast<Corner>(i);
    }
    return Corner::kNone;
}

// Puts the anchor (x1, y1) at the corner opposite to the grabbed one.
void AnchorOpposite(Shape* s, Corner grabbed) {
    const int32_t min_x = s->MinX(), max_x = s->MaxX(), min_y = s->MinY(), max_y = s->MaxY();
    switch (grabbed) {
    case Corner::kTopLeft:
        s->x1 = max_x, s->y1 = max_y;
        break;
    case Corner::kBottomRight:
        s->x1 = min_x, s->y1 = min_y;
        break;
    case Corner::kBottomLeft:
        s->x1 = max_x, s->y1 = min_y;
        break;
    case Corner::kTopRight:
        s->x1 = min_x, s->y1 = max_y;
        break;
    case Corner::kNone:
        break;
    }
}

bool NearLineEnd(const Shape& s, int32_t px, int32_t py) {
    return (Near(px, s.x1, kEndReach) && Near(py, s.y1, kEndReach)) ||
           (Near(px, s.x2, kEndReach) && Near(py, s.y2, kEndReach));
}

// Whether (px, py) lies within half the pen of a segment's end: the dots a
// freehand stroke leaves where it paused, which OnLine cannot hit.
bool TouchesStroke(const Shape& s, int64_t px, int64_t py) {
    const int64_t reach = std::max<int64_t>(s.pen_width / 2, kBoxMargin / 2) + 1;
    for (const CurveSegment& seg : s.segments) {
        if ((Near(px, seg.x1, reach) && Near(py, seg.y1, reach)) ||
            (Near(px, seg.x2, reach) && Near(py, seg.y2, reach)))
            return true;
    }
    return false;
}

bool HitsSegment(const Shape& s, int32_t px, int32_t py) {
    for (const CurveSegment& seg : s.segments) {
        if (OnLine(px, py, seg.x1, seg.y1, seg.x2, seg.y2))
            return true;
    }
    return false;
}

} // namespace

bool InBox(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int64_t min_x = std::min(x1, x2), max_x = std::max(x1, x2);
    const int64_t min_y = std::min(y1, y2), max_y = std::max(y1, y2);
    return min_x - kBoxMargin < px && px < max_x + kBoxMargin && min_y - kBoxMargin < py &&
           py < max_y + kBoxMargin;
}

bool OnLine(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!InBox(px, py, x1, y1, x2, y2))
        return false;
    const int64_t dx = static_cast<int64_t>(x2) - x1;
    const int64_t dy = static_cast<int64_t>(y2) - y1;
    if (std::llabs(dy) <= kStraightSlack)
        return std::min(x1, x2) < px && px < std::max(x1, x2);
    if (std::llabs(dx) <= kStraightSlack)
        return std::min(y1, y2) < py && py < std::max(y1, y2);
    const int64_t line_x = x1 + (static_cast<int64_t>(py) - y1) * dx / dy;
    return std::llabs(line_x - px) < kLineReach;
}

bool HitShape(const Shape& s, int32_t px, int32_t py) {
    switch (s.kind) {
    case ShapeKind::kLine:
    case ShapeKind::kArrow:
        return OnLine(px, py, s.x1, s.y1, s.x2, s.y2);
    case ShapeKind::kCurve:
    case ShapeKind::kHighlighter:
        return HitsSegment(s, px, py);
    case ShapeKind::kRectangle:
    case ShapeKind::kCircle:
    case ShapeKind::kText:
        return InBox(px, py, s.x1, s.y1, s.x2, s.y2);
    }
    return false;
}

bool TouchesPath(const Shape& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    // Points no further apart than the narrowest reach of a hit test, so a
    // fast stroke of the eraser misses nothing it crossed.
    constexpr int64_t kStep = kBoxMargin / 2;
    const int64_t dx = static_cast<int64_t>(x1) - x0, dy = static_cast<int64_t>(y1) - y0;
    const int64_t steps = std::min<int64_t>(std::max(std::llabs(dx), std::llabs(dy)) / kStep, 4096);
    for (int64_t i = 0; i <= steps; ++i) {
        const int64_t x = steps == 0 ? x1 : x0 + dx * i / steps;
        const int64_t y = steps == 0 ? y1 : y0 + dy * i / steps;
        if (HitShape(s, static_cast<int32_t>(x), static_cast<int32_t>(y)) ||
            (Freehand(s.kind) && TouchesStroke(s, x, y)))
            return true;
    }
    return false;
}

Grab GrabHandle(Shape* s, int32_t px, int32_t py) {
    const Grab move{HandleMode::kMove, false, true};
    if (Freehand(s->kind) || s->kind == ShapeKind::kText)
        return move;
    if (Straight(s->kind))
        return NearLineEnd(*s, px, py) ? Grab{HandleMode::kCorner, true, false} : move;

    const Corner corner = CornerNear(*s, px, py, kHandleReach);
    if (corner != Corner::kNone) {
        const Shape before = *s;
        AnchorOpposite(s, corner);
        // The grabbed corner is the one opposite the anchor.
        s->x2 = s->x1 == before.MinX() ? before.MaxX() : before.MinX();
        s->y2 = s->y1 == before.MinY() ? before.MaxY() : before.MinY();
        return {HandleMode::kCorner, true, false};
    }
    const int32_t min_x = s->MinX(), max_x = s->MaxX(), min_y = s->MinY(), max_y = s->MaxY();
    const int64_t mid_x = (static_cast<int64_t>(min_x) + max_x) / 2;
    const int64_t mid_y = (static_cast<int64_t>(min_y) + max_y) / 2;
    if (Near(px, max_x, kHandleReach) && Near(py, mid_y, kHandleReach)) {
        s->x1 = min_x, s->x2 = max_x;
        return {HandleMode::kRightEdge, true, false};
    }
    if (Near(px, min_x, kHandleReach) && Near(py, mid_y, kHandleReach)) {
        s->x1 = max_x, s->x2 = min_x;
        return {HandleMode::kLeftEdge, true, false};
    }
    if (Near(py, max_y, kHandleReach) && Near(px, mid_x, kHandleReach)) {
        s->y1 = min_y, s->y2 = max_y;
        return {HandleMode::kBottomEdge, true, false};
    }
    if (Near(py, min_y, kHandleReach) && Near(px, mid_x, kHandleReach)) {
        s->y1 = max_y, s->y2 = min_y;
        return {HandleMode::kTopEdge, true, false};
    }
    return move;
}

void ReanchorCorner(Shape* s, int32_t px, int32_t py) {
    if (Straight(s->kind)) {
        if (!InBox(px, py, s->x1, s->y1, s->x2, s->y2))
            return;
        const int64_t dx = static_cast<int64_t>(s->x2) - s->x1;
        const int64_t dy = static_cast<int64_t>(s->y2) - s->y1;
        bool at_start;
        if (std::llabs(dy) > kReanchorSlack && std::llabs(dx) >= kReanchorSlack + 1)
            at_start = Near(s->x1 + dx * (static_cast<int64_t>(py) - s->y1) / dy, px, kEndReach) &&
                       Near(px, s->x1, kEndReach);
        else if (std::llabs(dy) > kReanchorSlack)
            at_start = Near(py, s->y1, kEndReach);
        else
            at_start = Near(px, s->x1, kEndReach);
        // Grabbed at its start: the old end becomes the fixed point.
        if (at_start)
            s->x1 = s->x2, s->y1 = s->y2;
        return;
    }
    if (Freehand(s->kind) || s->kind == ShapeKind::kText)
        return;
    const bool inside = s->MinX() < px && px < s->MaxX() && s->MinY() < py && py < s->MaxY();
    if (inside)
        AnchorOpposite(s, CornerNear(*s, px, py, kReanchorReach + 1));
}

int32_t HoverCursor(const Shape& s, int32_t px, int32_t py) {
    switch (s.kind) {
    case ShapeKind::kLine:
    case ShapeKind::kArrow:
        if (!OnLine(px, py, s.x1, s.y1, s.x2, s.y2))
            return kCursorArrow;
        return NearLineEnd(s, px, py) ? kCursorSizeWE : kCursorMove;
    case ShapeKind::kCurve:
    case ShapeKind::kHighlighter:
        return HitsSegment(s, px, py) ? kCursorMove : kCursorArrow;
    case ShapeKind::kText:
        return InBox(px, py, s.x1, s.y1, s.x2, s.y2) ? kCursorMove : kCursorArrow;
    case ShapeKind::kRectangle:
    case ShapeKind::kCircle:
        break;
    }
    if (!InBox(px, py, s.x1, s.y1, s.x2, s.y2))
        return kCursorArrow;
    switch (CornerNear(s, px, py, kHandleReach)) {
    case Corner::kTopLeft:
    case Corner::kBottomRight:
        return kCursorSizeNWSE;
    case Corner::kBottomLeft:
    case Corner::kTopRight:
        return kCursorSizeNESW;
    case Corner::kNone:
        break;
    }
    const int64_t mid_x = (static_cast<int64_t>(s.MinX()) + s.MaxX()) / 2;
    const int64_t mid_y = (static_cast<int64_t>(s.MinY()) + s.MaxY()) / 2;
    if ((Near(px, s.MinX(), kHandleReach) || Near(px, s.MaxX(), kHandleReach)) &&
        Near(py, mid_y, kHandleReach))
        return kCursorSizeWE;
    if ((Near(py, s.MinY(), kHandleReach) || Near(py, s.MaxY(), kHandleReach)) &&
        Near(px, mid_x, kHandleReach))
        return kCursorSizeNS;
    return kCursorMove;
}

void Translate(Shape* s, int32_t dx, int32_t dy) {
    s->x1 += dx, s->y1 += dy, s->x2 += dx, s->y2 += dy;
    for (CurveSegment& seg : s->segments)
        seg.x1 += dx, seg.y1 += dy, seg.x2 += dx, seg.y2 += dy;
}

bool TranslateWithin(Shape* s, int32_t dx, int32_t dy, int32_t width, int32_t height) {
    if (!Within(static_cast<int64_t>(s->x1) + dx, width) ||
        !Within(static_cast<int64_t>(s->x2) + dx, width) ||
        !Within(static_cast<int64_t>(s->y1) + dy, height) ||
        !Within(static_cast<int64_t>(s->y2) + dy, height))
        return false;
    Translate(s, dx, dy);
    return true;
}

bool BandFits(const SelectionBand& b, int32_t dx, int32_t dy, int32_t width, int32_t height) {
    return Within(static_cast<int64_t>(b.bx1) + dx, width) &&
           Within(static_cast<int64_t>(b.bx2) + dx, width) &&
           Within(static_cast<int64_t>(b.by1) + dy, height) &&
           Within(static_cast<int64_t>(b.by2) + dy, height);
}

bool InsideBand(const Shape& s, const SelectionBand& b) {
    auto in = [&b](int32_t x, int32_t y) { return InBox(x, y, b.bx1, b.by1, b.bx2, b.by2); };
    if (Freehand(s.kind)) {
        for (const CurveSegment& seg : s.segments) {
            if (!in(seg.x1, seg.y1) || !in(seg.x2, seg.y2))
                return false;
        }
        return true;
    }
    return in(s.x1, s.y1) && in(s.x2, s.y2);
}

} // namespace annotation
