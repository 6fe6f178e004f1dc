#include "view/ShowEffectRules.h"

#include <algorithm>
#include <cmath>

namespace view {

namespace {

constexpr int kPointerArrow = 0;
constexpr int kPointerMove = 1;
constexpr int kPointerWestEast = 5;
constexpr int kPointerNorthSouth = 6;
constexpr int kPointerNorthWest = 7;
constexpr int kPointerNorthEast = 8;

// Below this share of a direction an axis is not being pulled: a grab at the
// side of the ellipse changes its width only, at its top its height only.
constexpr double kAxisShare = 0.38;

bool Usable(const RECT& area) {
    return area.right > area.left && area.bottom > area.top;
}

double Width(const RECT& area) {
    return static_cast<double>(area.right - area.left);
}

double Height(const RECT& area) {
    return static_cast<double>(area.bottom - area.top);
}

// The spotlight in pixels.
struct Ellipse {
    double cx, cy, rx, ry;
};

Ellipse ToPixels(const SpotlightShape& s, const RECT& area) {
    return {area.left + s.cx * Width(area), area.top + s.cy * Height(area), s.rx * Width(area),
            s.ry * Height(area)};
}

// Back to fractions, centre inside the area and radii within their bounds.
SpotlightShape ToShape(const Ellipse& e, const RECT& area) {
    const double w = Width(area);
    const double h = Height(area);
    const double min = kSpotMinRadius;
    return {std::clamp((e.cx - area.left) / w, 0.0, 1.0),
            std::clamp((e.cy - area.top) / h, 0.0, 1.0),
            std::clamp(e.rx, std::min(min, w), std::max(min, w)) / w,
            std::clamp(e.ry, std::min(min, h), std::max(min, h)) / h};
}

// Where point lies against the ellipse: q, the point's distance from the
// centre in radii (1 on the ellipse), and the unit direction in radii.
struct Polar {
    double q, ux, uy;
};

Polar PolarOf(const Ellipse& e, const POINT& p) {
    const double nx = (p.x - e.cx) / e.rx;
    const double ny = (p.y - e.cy) / e.ry;
    const double q = std::hypot(nx, ny);
    return q > 0 ? Polar{q, nx / q, ny / q} : Polar{0, 0, 0};
}

int SizePointer(double ux, double uy) {
    if (std::abs(uy) < kAxisShare)
        return kPointerWestEast;
    if (std::abs(ux) < kAxisShare)
        return kPointerNorthSouth;
    return ux * uy > 0 ? kPointerNorthWest : kPointerNorthEast;
}

// The coordinate of the curtain's edge on its axis, in pixels.
double CurtainEdge(const CurtainShape& c, const RECT& area) {
    switch (c.side) {
    case CurtainSide::kTop:
        return area.top + c.revealed * Height(area);
    case CurtainSide::kBottom:
        return area.bottom - c.revealed * Height(area);
    case CurtainSide::kLeft:
        return area.left + c.revealed * Width(area);
    case CurtainSide::kRight:
        return area.right - c.revealed * Width(area);
    }
    return 0;
}

bool Vertical(CurtainSide side) {
    return side == CurtainSide::kTop || side == CurtainSide::kBottom;
}

// The side a press at point takes the curtain by; false when it takes none.
bool CurtainGrab(const CurtainShape& c, const RECT& area, const POINT& p, CurtainSide* side) {
    if (!Usable(area))
        return false;
    if (c.revealed > 0) {
        const double at = Vertical(c.side) ? p.y : p.x;
        *side = c.side;
        return std::abs(at - CurtainEdge(c, area)) <= kCurtainEdgeGrab;
    }
    // Closed: the nearest edge of the area, near enough, starting with the
    // one the curtain has.
    const double distance[] = {
        static_cast<double>(p.y - area.top), static_cast<double>(area.bottom - p.y),
        static_cast<double>(p.x - area.left), static_cast<double>(area.right - p.x)};
    const CurtainSide sides[] = {CurtainSide::kTop, CurtainSide::kBottom, CurtainSide::kLeft,
                                 CurtainSide::kRight};
    int best = static_cast<int>(c.side);
    for (int i = 0; i < 4; ++i)
        if (std::abs(distance[i]) < std::abs(distance[best]))
            best = i;
    *side = sides[best];
    return distance[best] >= -kCurtainEdgeGrab && distance[best] <= kCurtainStartBand;
}

} // namespace

ShowEffectState StartShowEffect(ShowEffectKind kind) {
    ShowEffectState s;
    s.kind = kind;
    return s;
}

RECT VisibleArea(const RECT& display, int view_width, int view_height) {
    return RECT{std::max<LONG>(display.left, 0), std::max<LONG>(display.top, 0),
                std::min<LONG>(display.right, view_width),
                std::min<LONG>(display.bottom, view_height)};
}

BoxF SpotBox(const SpotlightShape& spot, const RECT& area) {
    const Ellipse e = ToPixels(spot, area);
    return {e.cx - e.rx, e.cy - e.ry, 2 * e.rx, 2 * e.ry};
}

RECT CurtainShade(const CurtainShape& c, const RECT& area) {
    RECT shade = area;
    if (!Usable(area))
        return shade;
    const LONG edge = std::lround(CurtainEdge(c, area));
    switch (c.side) {
    case CurtainSide::kTop:
        shade.top = edge;
        break;
    case CurtainSide::kBottom:
        shade.bottom = edge;
        break;
    case CurtainSide::kLeft:
        shade.left = edge;
        break;
    case CurtainSide::kRight:
        shade.right = edge;
        break;
    }
    return shade;
}

SpotPart HitSpot(const SpotlightShape& spot, const RECT& area, const POINT& point) {
    if (!Usable(area))
        return SpotPart::kOutside;
    const Ellipse e = ToPixels(spot, area);
    const Polar at = PolarOf(e, point);
    if (at.q == 0)
        return SpotPart::kInside;
    // Along the ray from the centre: the point's distance from the ellipse.
    const double from_centre = std::hypot(point.x - e.cx, point.y - e.cy);
    const double from_edge = from_centre - from_centre / at.q;
    if (std::abs(from_edge) <= kSpotEdgeGrab)
        return SpotPart::kEdge;
    return at.q < 1 ? SpotPart::kInside : SpotPart::kOutside;
}

bool EffectPress(ShowEffectState& s, const RECT& area, const POINT& point) {
    s.drag = EffectDrag::kNone;
    if (s.kind == ShowEffectKind::kSpotlight) {
        const SpotPart part = HitSpot(s.spot, area, point);
        const Ellipse e = ToPixels(s.spot, area);
        if (part == SpotPart::kInside) {
            s.drag = EffectDrag::kMoveSpot;
            s.grab_x = point.x - e.cx;
            s.grab_y = point.y - e.cy;
        } else if (part == SpotPart::kEdge) {
            const Polar at = PolarOf(e, point);
            s.drag = EffectDrag::kSizeSpot;
            s.grab_x = at.ux;
            s.grab_y = at.uy;
        }
    } else if (s.kind == ShowEffectKind::kCurtain) {
        CurtainSide side{};
        if (CurtainGrab(s.curtain, area, point, &side)) {
            s.drag = EffectDrag::kCurtain;
            s.curtain.side = side;
        }
    }
    return s.drag != EffectDrag::kNone;
}

bool EffectMove(ShowEffectState& s, const RECT& area, const POINT& point) {
    if (s.drag == EffectDrag::kNone || !Usable(area))
        return false;
    if (s.drag == EffectDrag::kCurtain) {
        CurtainShape& c = s.curtain;
        double from_side = 0;
        switch (c.side) {
        case CurtainSide::kTop:
            from_side = (point.y - area.top) / Height(area);
            break;
        case CurtainSide::kBottom:
            from_side = (area.bottom - point.y) / Height(area);
            break;
        case CurtainSide::kLeft:
            from_side = (point.x - area.left) / Width(area);
            break;
        case CurtainSide::kRight:
            from_side = (area.right - point.x) / Width(area);
            break;
        }
        const double revealed = std::clamp(from_side, 0.0, 1.0);
        const bool changed = revealed != c.revealed;
        c.revealed = revealed;
        return changed;
    }
    Ellipse e = ToPixels(s.spot, area);
    if (s.drag == EffectDrag::kMoveSpot) {
        e.cx = point.x - s.grab_x;
        e.cy = point.y - s.grab_y;
    } else {
        if (std::abs(s.grab_x) >= kAxisShare)
            e.rx = std::abs(point.x - e.cx) / std::abs(s.grab_x);
        if (std::abs(s.grab_y) >= kAxisShare)
            e.ry = std::abs(point.y - e.cy) / std::abs(s.grab_y);
    }
    const SpotlightShape moved = ToShape(e, area);
    const bool changed = moved.cx != s.spot.cx || moved.cy != s.spot.cy || moved.rx != s.spot.rx ||
                         moved.ry != s.spot.ry;
    s.spot = moved;
    return changed;
}

void EffectRelease(ShowEffectState& s) {
    s.drag = EffectDrag::kNone;
}

bool EffectWheel(ShowEffectState& s, const RECT& area, double notches) {
    if (s.kind != ShowEffectKind::kSpotlight || !Usable(area) || !std::isfinite(notches))
        return false;
    const double factor = std::pow(kWheelStep, std::clamp(notches, -20.0, 20.0));
    Ellipse e = ToPixels(s.spot, area);
    e.rx *= factor;
    e.ry *= factor;
    const SpotlightShape sized = ToShape(e, area);
    const bool changed = sized.rx != s.spot.rx || sized.ry != s.spot.ry;
    s.spot = sized;
    return changed;
}

int EffectPointer(const ShowEffectState& s, const RECT& area, const POINT& point) {
    switch (s.drag) {
    case EffectDrag::kMoveSpot:
        return kPointerMove;
    case EffectDrag::kSizeSpot:
        return SizePointer(s.grab_x, s.grab_y);
    case EffectDrag::kCurtain:
        return Vertical(s.curtain.side) ? kPointerNorthSouth : kPointerWestEast;
    case EffectDrag::kNone:
        break;
    }
    if (s.kind == ShowEffectKind::kSpotlight) {
        switch (HitSpot(s.spot, area, point)) {
        case SpotPart::kInside:
            return kPointerMove;
        case SpotPart::kEdge: {
            const Polar at = PolarOf(ToPixels(s.spot, area), point);
            return SizePointer(at.ux, at.uy);
        }
        case SpotPart::kOutside:
            break;
        }
    } else if (s.kind == ShowEffectKind::kCurtain) {
        CurtainSide side{};
        if (CurtainGrab(s.curtain, area, point, &side))
            return Vertical(side) ? kPointerNorthSouth : kPointerWestEast;
    }
    return kPointerArrow;
}

} // namespace view
