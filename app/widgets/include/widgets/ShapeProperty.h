// The values the property dialog shows for one shape, and how they go back
// into it. Rules free of any window: the dialog reads and writes the shape
// under the store's lock through these.
//
// A rectangle, circle or text shows its box (a text's line width is its
// size, and its box follows its size): X, Y the top-left corner, width and
// height its size. A line or curve shows the point with the smaller x as
// (X, Y), its horizontal and vertical extent as width and height, and keeps
// in the vertical sign whether the other point lies below (+1) or above
// (-1), so that writing back gives the same segment, its ends possibly
// swapped.
#pragma once

#include "annotation/Shape.h"

#include <cstdint>

namespace graphic {

struct ShapeProperty {
    int32_t shape_id = -1; // the shape shown; -1: none was selected
    annotation::ShapeKind kind = annotation::ShapeKind::kLine;
    COLORREF line_color = 0;
    COLORREF fill_color = 0;
    bool filled = false;
    int32_t line_width = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t initial_x = 0; // X and Y as shown: a curve moves by the change
    int32_t initial_y = 0;
    int32_t h_sign = 1;
    int32_t v_sign = 1;
};

// The values of shape.
ShapeProperty PropertyOf(const annotation::Shape& shape);

// Writes the values into shape (its kind stays): pen, fill, and the points
// (X, Y) and (X + h_sign * width, Y + v_sign * height); a curve's segments
// move by (X - initial X, Y - initial Y), unscaled.
void ApplyProperty(const ShapeProperty& property, annotation::Shape& shape);

// The kind's name as the dialog shows it.
const char* KindName(annotation::ShapeKind kind);

} // namespace graphic
