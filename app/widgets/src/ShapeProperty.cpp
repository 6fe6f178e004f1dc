#include "widgets/ShapeProperty.h"

#include <cstdlib>

namespace graphic {

using annotation::Shape;
using annotation::ShapeKind;

ShapeProperty PropertyOf(const Shape& shape) {
    ShapeProperty p;
    p.shape_id = shape.id;
    p.kind = shape.kind;
    p.line_color = shape.pen_color;
    p.fill_color = shape.fill_color;
    p.filled = shape.filled;
    p.line_width = shape.pen_width;
    p.x = shape.MinX();
    p.width = std::abs(shape.x2 - shape.x1);
    p.height = std::abs(shape.y2 - shape.y1);
    if (shape.kind == ShapeKind::kRectangle || shape.kind == ShapeKind::kCircle ||
        shape.kind == ShapeKind::kText) {
        p.y = shape.MinY();
    } else {
        p.y = shape.x1 <= shape.x2 ? shape.y1 : shape.y2;
        const bool right_end_lower = (shape.x1 < shape.x2 && shape.y1 < shape.y2) ||
                                     (shape.x1 > shape.x2 && shape.y1 > shape.y2);
        // A vertical segment has no point with a larger x: its sign follows
        // the second point, else writing back would flip it upwards.
        const bool vertical_down = shape.x1 == shape.x2 && shape.y2 >= shape.y1;
        p.v_sign = right_end_lower || vertical_down ? 1 : -1;
    }
    p.initial_x = p.x;
    p.initial_y = p.y;
    return p;
}

void ApplyProperty(const ShapeProperty& p, Shape& shape) {
    shape.pen_color = p.line_color;
    shape.pen_width = p.line_width;
    shape.fill_color = p.fill_color;
    shape.filled = p.filled;
    shape.x1 = p.x;
    shape.y1 = p.y;
    shape.x2 = p.x + p.h_sign * p.width;
    shape.y2 = p.y + p.v_sign * p.height;
    const int32_t dx = p.x - p.initial_x;
    const int32_t dy = p.y - p.initial_y;
    for (annotation::CurveSegment& segment : shape.segments) {
        segment.x1 += dx;
        segment.y1 += dy;
        segment.x2 += dx;
        segment.y2 += dy;
    }
}

const char* KindName(ShapeKind kind) {
    switch (kind) {
    case ShapeKind::kLine:
        return "Line";
    case ShapeKind::kRectangle:
        return "Rectangle";
    case ShapeKind::kCircle:
        return "Circle";
    case ShapeKind::kCurve:
        return "Curve";
    case ShapeKind::kArrow:
        return "Arrow";
    case ShapeKind::kHighlighter:
        return "Highlighter";
    case ShapeKind::kText:
        return "Text";
    }
    return "";
}

} // namespace graphic
