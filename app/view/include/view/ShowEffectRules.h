// The spotlight and the curtain a teacher lays over the shown picture, and
// the rules the mouse works them by, free of any window system. Both live in
// view pixels over the area where the picture shows; their shapes are kept
// as fractions of that area, so they stay on the same part of the page when
// the view goes to full screen and back.
//
// Spotlight: everything but an ellipse is darkened; a drag inside moves the
// ellipse, a drag on its edge (a band either side of it) resizes it, and the
// wheel grows or shrinks it. Its centre stays in the area; each radius is at
// least kSpotMinRadius pixels and at most the area's size.
//
// Curtain: an opaque shade over what is not revealed yet. It starts closed
// (revealed 0) from the top; dragging its edge reveals the picture line by
// line, as far as the mouse goes. While closed, a press near any edge of the
// area starts from that edge instead.
#pragma once

#include "platform/wintypes.h"
#include "view/VideoGeometry.h"

namespace view {

enum class ShowEffectKind { kNone, kSpotlight, kCurtain };

// Centre and radii, as fractions of the area's width and height.
struct SpotlightShape {
    double cx = 0.5;
    double cy = 0.5;
    double rx = 1.0 / 6; // a third of the area across
    double ry = 1.0 / 6;
};

// The edge the picture is revealed from.
enum class CurtainSide { kTop, kBottom, kLeft, kRight };

struct CurtainShape {
    CurtainSide side = CurtainSide::kTop;
    double revealed = 0; // fraction of the area's extent from side, 0 to 1
};

enum class EffectDrag { kNone, kMoveSpot, kSizeSpot, kCurtain };

struct ShowEffectState {
    ShowEffectKind kind = ShowEffectKind::kNone;
    SpotlightShape spot;
    CurtainShape curtain;
    EffectDrag drag = EffectDrag::kNone;
    // kMoveSpot: press point minus centre, pixels; kSizeSpot: the unit
    // direction from the centre to where the edge was taken.
    double grab_x = 0;
    double grab_y = 0;
};

inline constexpr int kSpotEdgeGrab = 8;      // pixels either side of the ellipse
inline constexpr int kSpotMinRadius = 16;    // pixels
inline constexpr int kCurtainEdgeGrab = 10;  // pixels either side of the shade's edge
inline constexpr int kCurtainStartBand = 32; // pixels inside the area, while closed
inline constexpr double kWheelStep = 1.1;    // size factor of one wheel notch

// The state a kind starts with: the spotlight in the middle over a third of
// the area, the curtain closed from the top; nothing dragged.
ShowEffectState StartShowEffect(ShowEffectKind kind);

// Where the picture shows: the display rectangle cut to the view. Empty
// (right <= left or bottom <= top) when they do not meet.
RECT VisibleArea(const RECT& display, int view_width, int view_height);

// The spotlight's bounding box in view pixels.
struct BoxF {
    double left;
    double top;
    double width;
    double height;
};
BoxF SpotBox(const SpotlightShape& spot, const RECT& area);

// The rectangle the curtain's shade covers in view pixels (empty when all
// is revealed).
RECT CurtainShade(const CurtainShape& curtain, const RECT& area);

enum class SpotPart { kOutside, kInside, kEdge };
SpotPart HitSpot(const SpotlightShape& spot, const RECT& area, const POINT& point);

// The left button pressed at point: true when a drag of the effect starts.
bool EffectPress(ShowEffectState& s, const RECT& area, const POINT& point);
// The mouse moved to point: true when the effect changed (during a drag).
bool EffectMove(ShowEffectState& s, const RECT& area, const POINT& point);
void EffectRelease(ShowEffectState& s);
// Wheel notches (positive away from the user) grow the spotlight, negative
// ones shrink it; true when it changed. The curtain ignores the wheel.
bool EffectWheel(ShowEffectState& s, const RECT& area, double notches);
// The view's pointer kind at point (0 arrow, 1 move, 5 west-east, 6
// north-south, 7 north-west/south-east, 8 north-east/south-west).
int EffectPointer(const ShowEffectState& s, const RECT& area, const POINT& point);

} // namespace view
