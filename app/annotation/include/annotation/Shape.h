// The annotation shapes: lines, rectangles, circles (ellipses), free-hand
// curves, arrows, highlighter strokes and typed texts, in image pixels of
// the current frame (origin at the picture's top-left corner). Plain values;
// the store owns them.
#pragma once

#include "platform/wintypes.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace annotation {

enum class ShapeKind : int32_t {
    kLine = 0,
    kRectangle = 1,
    kCircle = 2,
    kCurve = 3,
    kArrow = 4,       // a line with a filled head at (x2, y2)
    kHighlighter = 5, // a wide free-hand stroke that multiplies with the picture
    kText = 6,        // typed lines from (x1, y1); (x2, y2) the far corner of its box
};

// A drawing tool creates shapes of the kind with the same number; the
// eraser creates none.
enum class DrawTool : int32_t {
    kSelect = -1,
    kLine = 0,
    kRectangle = 1,
    kCircle = 2,
    kCurve = 3,
    kArrow = 4,
    kHighlighter = 5,
    kText = 6,
    kEraser = 7,
};

// Kinds drawn as a chain of segments.
inline bool Freehand(ShapeKind kind) {
    return kind == ShapeKind::kCurve || kind == ShapeKind::kHighlighter;
}
// Kinds drawn as one segment from (x1, y1) to (x2, y2).
inline bool Straight(ShapeKind kind) {
    return kind == ShapeKind::kLine || kind == ShapeKind::kArrow;
}

// What a press grabbed: the whole shape, an edge or a corner. Edges and
// corners move (x2, y2); (x1, y1) is the fixed anchor.
enum class HandleMode : int32_t {
    kNone = 0,
    kMove = 1,
    kBottomEdge = 2, // moves y2
    kTopEdge = 3,    // moves y2
    kLeftEdge = 4,   // moves x2
    kRightEdge = 5,  // moves x2
    kCorner = 6,     // corner or line end: moves x2 and y2
};

// The pointer the view shows.
enum CursorKind : int32_t {
    kCursorArrow = 0,
    kCursorMove = 1, // program cursor 140
    kCursorLine = 2, // program cursor 138: line and curve tools
    kCursorBox = 3,  // program cursor 139: rectangle and circle tools
    kCursorHand = 4,
    kCursorSizeWE = 5,
    kCursorSizeNS = 6,
    kCursorSizeNWSE = 7,
    kCursorSizeNESW = 8,
    kCursorText = 9, // text tool: where a click starts a text
    kCursorEraser = 10,
};
inline constexpr int kCursorKindCount = 11;

// Fill colour of lines and curves, which have no interior.
inline constexpr COLORREF kUnusedFillColor = 0xAAAAAA;

struct CurveSegment {
    int32_t id = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x2 = 0;
    int32_t y2 = 0;

    bool operator==(const CurveSegment&) const = default;
};

struct Shape {
    int32_t id = 0; // a larger id is a newer shape
    ShapeKind kind = ShapeKind::kLine;
    int32_t x1 = 0; // line start, a box corner, a curve's first point
    int32_t y1 = 0;
    int32_t x2 = 0; // line end, the opposite corner, a curve's latest point
    int32_t y2 = 0;
    bool filled = false;   // rectangles and circles only
    int32_t pen_width = 1; // a text's height in pixels
    COLORREF pen_color = 0;
    COLORREF fill_color = kUnusedFillColor;
    bool selected = false;
    std::vector<CurveSegment> segments; // freehand kinds only, in drawing order
    std::string text;                   // texts only: UTF-8, lines split by '\n'

    int32_t MinX() const { return std::min(x1, x2); }
    int32_t MaxX() const { return std::max(x1, x2); }
    int32_t MinY() const { return std::min(y1, y2); }
    int32_t MaxY() const { return std::max(y1, y2); }

    bool operator==(const Shape&) const = default;
};

// Where the rubber band lies and what it is doing.
struct SelectionBand {
    int32_t bx1 = 0;
    int32_t by1 = 0;
    int32_t bx2 = 0;
    int32_t by2 = 0;
    bool shown = false;        // being dragged, or drawn around a group
    bool group_active = false; // the band has selected a group
    bool group_drag = false;   // the group is being dragged
};

} // namespace annotation
