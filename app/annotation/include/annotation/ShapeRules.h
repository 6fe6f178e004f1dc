// The geometric rules of annotation editing, free of any window system and of
// the store's lock: hit tests, which handle a press grabs, the pointer over a
// shape, and moves kept inside the frame. Coordinates are image pixels;
// arithmetic is done in 64 bits, so extreme values cannot overflow, and
// divisions truncate toward zero.
#pragma once

#include "annotation/Shape.h"

#include <cstdint>

namespace annotation {

inline constexpr int kBoxMargin = 10;     // InBox widens the box by this much
inline constexpr int kStraightSlack = 10; // |dy| or |dx| up to this: nearly straight
inline constexpr int kLineReach = 20;     // horizontal distance that still hits a line
inline constexpr int kEndReach = 20;      // a line end lies under the pointer
inline constexpr int kHandleReach = 15;   // a box handle lies under the pointer
inline constexpr int kReanchorReach = 14; // first move of a box corner drag
inline constexpr int kReanchorSlack = 3;  // first move of a line end drag: |dy| up to this

// minX - 10 < px < maxX + 10 and minY - 10 < py < maxY + 10 (strict).
bool InBox(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// False unless InBox. A nearly horizontal line (|dy| <= 10) is hit strictly
// between its x ends, a nearly vertical one strictly between its y ends,
// any other where the line's x at the pointer's height lies less than 20
// from the pointer.
bool OnLine(int32_t px, int32_t py, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Lines by OnLine, rectangles and circles by InBox on their corners, curves
// by OnLine on any segment.
// Arrows as lines, highlighters as curves, texts by InBox on their box.
bool HitShape(const Shape& shape, int32_t px, int32_t py);
// Whether the eraser's path from (x0, y0) to (x1, y1) touches the shape:
// HitShape at points along it, and for freehand strokes also their dots.
bool TouchesPath(const Shape& shape, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// What a press on a selected shape grabbed.
struct Grab {
    HandleMode mode = HandleMode::kNone;
    bool first_move = false;  // normalise the anchor at the next move
    bool move_cursor = false; // the move pointer is shown
};
// Chooses the handle under (px, py) and rewrites the shape's two points so
// that (x1, y1) is the fixed anchor and (x2, y2) the grabbed handle.
Grab GrabHandle(Shape* shape, int32_t px, int32_t py);
// The first move of a corner or line-end drag: re-derives which point is
// the anchor from where the pointer is now.
void ReanchorCorner(Shape* shape, int32_t px, int32_t py);
// The pointer (CursorKind) while hovering over the shape.
int32_t HoverCursor(const Shape& shape, int32_t px, int32_t py);

// Moves the shape and its segments by (dx, dy) without checks.
void Translate(Shape* shape, int32_t dx, int32_t dy);
// Moves the shape by (dx, dy) only when its four new coordinates stay within
// 0..width x 0..height (inclusive); true when it moved.
bool TranslateWithin(Shape* shape, int32_t dx, int32_t dy, int32_t width, int32_t height);
// Whether the band moved by (dx, dy) keeps its four coordinates within
// 0..width x 0..height.
bool BandFits(const SelectionBand& band, int32_t dx, int32_t dy, int32_t width, int32_t height);
// Whether the shape lies wholly in the band: every segment end of a curve,
// both points of any other shape, pass InBox against the band's corners.
bool InsideBand(const Shape& shape, const SelectionBand& band);

} // namespace annotation
