#include "annotation/EditRules.h"

#include "annotation/ShapeRules.h"
#include "annotation/TextRules.h"

#include <algorithm>

namespace annotation {

namespace {

void Deselect(AnnotationState& s) {
    for (Shape& shape : s.shapes)
        shape.selected = false;
}

void EndGroup(SelectionBand& band) {
    band.shown = false;
    band.group_active = false;
    band.group_drag = false;
}

// A new shape of the current tool at (px, py) with the defaults of its kind.
Shape NewShape(AnnotationState& s, int32_t px, int32_t py) {
    const settings::GraphicDefaults& d = s.defaults;
    Shape shape;
    shape.id = s.input.next_shape_id++;
    shape.kind = static_cast<ShapeKind>(s.tool);
    shape.selected = true;
    shape.x1 = shape.x2 = px;
    shape.y1 = shape.y2 = py;
    switch (shape.kind) {
    case ShapeKind::kLine:
        shape.pen_color = d.line_color, shape.pen_width = d.line_width;
        break;
    case ShapeKind::kRectangle:
        shape.pen_color = d.rect_color, shape.pen_width = d.rect_width;
        shape.filled = d.rect_fill, shape.fill_color = d.rect_fill_color;
        break;
    case ShapeKind::kCircle:
        shape.pen_color = d.circle_color, shape.pen_width = d.circle_width;
        shape.filled = d.circle_fill, shape.fill_color = d.circle_fill_color;
        break;
    case ShapeKind::kCurve:
        shape.pen_color = d.curve_color, shape.pen_width = d.curve_width;
        break;
    case ShapeKind::kArrow:
        shape.pen_color = d.arrow_color, shape.pen_width = d.arrow_width;
        break;
    case ShapeKind::kHighlighter:
        shape.pen_color = d.highlighter_color, shape.pen_width = d.highlighter_width;
        break;
    case ShapeKind::kText: // started by StartText, never here
        break;
    }
    if (Freehand(shape.kind))
        shape.segments.push_back({s.input.next_segment_id++, px, py, px, py});
    return shape;
}

void DrawStep(AnnotationState& s, int32_t px, int32_t py, Changes* changes) {
    if (s.tool == DrawTool::kSelect)
        return;
    if (s.input.pending_creation) {
        s.shapes.push_back(NewShape(s, px, py));
        s.input.current_id = s.shapes.back().id;
        s.input.pending_creation = false;
    }
    Shape* shape = s.Find(s.input.current_id);
    if (shape == nullptr)
        return;
    if (Freehand(shape->kind)) {
        // One segment per move; the newest is a single point until the next.
        if (!shape->segments.empty())
            shape->segments.back().x2 = px, shape->segments.back().y2 = py;
        shape->segments.push_back({s.input.next_segment_id++, px, py, px, py});
    }
    shape->x2 = px, shape->y2 = py;
    changes->dirty = true;
}

void HandleDrag(AnnotationState& s, int32_t px, int32_t py, Changes* changes) {
    Shape* shape = s.Find(s.input.current_id);
    switch (s.handle_mode) {
    case HandleMode::kMove:
        // Refused moves still advance the last point: the shape stops at
        // the border and the pointer runs ahead.
        if (shape != nullptr && TranslateWithin(shape, px - s.input.last_x, py - s.input.last_y,
                                                s.frame_width, s.frame_height))
            changes->dirty = true;
        s.input.last_x = px, s.input.last_y = py;
        return;
    case HandleMode::kLeftEdge:
    case HandleMode::kRightEdge:
        if (shape != nullptr)
            shape->x2 = px, changes->dirty = true;
        return;
    case HandleMode::kTopEdge:
    case HandleMode::kBottomEdge:
        if (shape != nullptr)
            shape->y2 = py, changes->dirty = true;
        return;
    case HandleMode::kCorner:
        if (shape == nullptr)
            return;
        if (s.input.first_move) {
            ReanchorCorner(shape, px, py);
            s.input.first_move = false;
        }
        shape->x2 = px, shape->y2 = py;
        changes->dirty = true;
        return;
    case HandleMode::kNone:
        return;
    }
}

void Hover(AnnotationState& s, int32_t px, int32_t py, Changes* changes) {
    if (s.band.shown) {
        s.band.bx2 = px, s.band.by2 = py;
        changes->dirty = true;
        return;
    }
    const Shape* shape = s.Find(s.input.current_id);
    s.cursor_kind = shape != nullptr ? HoverCursor(*shape, px, py) : kCursorArrow;
}

// Removes every shape the eraser's path from the last point to (px, py)
// touches.
void EraseTo(AnnotationState& s, int32_t px, int32_t py, Changes* changes) {
    const int32_t x0 = s.input.last_x, y0 = s.input.last_y;
    const auto removed = std::erase_if(
        s.shapes, [&](const Shape& shape) { return TouchesPath(shape, x0, y0, px, py); });
    if (removed > 0)
        changes->dirty = true;
    s.input.last_x = px, s.input.last_y = py;
}

void MoveGroup(AnnotationState& s, int32_t px, int32_t py, Changes* changes) {
    const int32_t dx = px - s.input.last_x, dy = py - s.input.last_y;
    if (BandFits(s.band, dx, dy, s.frame_width, s.frame_height)) {
        s.band.bx1 += dx, s.band.bx2 += dx, s.band.by1 += dy, s.band.by2 += dy;
        for (Shape& shape : s.shapes) {
            if (shape.selected)
                Translate(&shape, dx, dy);
        }
        changes->dirty = true;
    }
    s.input.last_x = px, s.input.last_y = py;
}

} // namespace

Shape* AnnotationState::Find(int32_t id) {
    for (Shape& shape : shapes) {
        if (shape.id == id)
            return &shape;
    }
    return nullptr;
}

int AnnotationState::SelectedCount() const {
    return static_cast<int>(std::count_if(shapes.begin(), shapes.end(),
                                          [](const Shape& shape) { return shape.selected; }));
}

Changes Press(AnnotationState& s, int32_t px, int32_t py) {
    Changes changes;
    s.band.group_drag = false;
    s.handle_mode = HandleMode::kNone;
    s.input.pending_creation = s.input.drawing = s.input.first_move = false;
    s.input.last_x = px, s.input.last_y = py;
    s.input.current_id = -1;
    s.input.erasing = false;

    const SelectionBand& b = s.band;
    if (b.group_active && InBox(px, py, b.bx1, b.by1, b.bx2, b.by2)) {
        s.band.group_drag = true;
        return changes;
    }
    s.band.shown = s.band.group_active = false;

    Deselect(s);
    if (s.tool == DrawTool::kText) {
        // A click on a text opens it again; anywhere else starts a new one.
        changes = EndText(s);
        if (OpenTextAt(s, px, py))
            return changes;
        return StartText(s, px, py);
    }
    // A text being typed ends at any other press.
    const Changes ended = EndText(s);
    changes.redraws = ended.redraws;
    if (s.tool == DrawTool::kEraser) {
        s.input.erasing = true;
        EraseTo(s, px, py, &changes);
        return changes;
    }
    if (s.tool != DrawTool::kSelect) {
        // The shape is created at the first move.
        s.input.pending_creation = s.input.drawing = true;
        return changes;
    }
    // The newest shape under the pointer wins, whatever its kind.
    Shape* hit = nullptr;
    for (Shape& shape : s.shapes) {
        if (HitShape(shape, px, py) && (hit == nullptr || shape.id > hit->id))
            hit = &shape;
    }
    changes.redraws = 1;
    if (hit == nullptr) {
        s.band.shown = true;
        s.band.bx1 = s.band.bx2 = px;
        s.band.by1 = s.band.by2 = py;
        return changes;
    }
    hit->selected = true;
    s.input.current_id = hit->id;
    const Grab grab = GrabHandle(hit, px, py);
    s.handle_mode = grab.mode;
    s.input.first_move = grab.first_move;
    if (grab.move_cursor)
        s.cursor_kind = kCursorMove;
    return changes;
}

Changes MouseMove(AnnotationState& s, int32_t px, int32_t py) {
    Changes changes;
    if (s.band.group_active) {
        const SelectionBand& b = s.band;
        if (InBox(px, py, b.bx1, b.by1, b.bx2, b.by2)) {
            s.cursor_kind = kCursorMove;
            if (b.group_drag)
                MoveGroup(s, px, py, &changes);
        } else {
            s.cursor_kind = kCursorArrow;
        }
    } else if (s.input.erasing) {
        EraseTo(s, px, py, &changes);
    } else if (s.input.drawing) {
        DrawStep(s, px, py, &changes);
    } else if (s.handle_mode != HandleMode::kNone) {
        HandleDrag(s, px, py, &changes);
    } else if (s.tool == DrawTool::kSelect) {
        Hover(s, px, py, &changes);
    }
    return changes;
}

bool PointerFree(const AnnotationState& s) {
    return !s.band.group_drag && !s.input.drawing;
}

Changes Release(AnnotationState& s, int32_t px, int32_t py) {
    Changes changes;
    if (s.input.drawing) {
        if (Shape* shape = s.Find(s.input.current_id)) {
            shape->x2 = px, shape->y2 = py;
            if (Freehand(shape->kind) && !shape->segments.empty())
                shape->segments.back().x2 = px, shape->segments.back().y2 = py;
        }
    }
    if (s.input.erasing)
        EraseTo(s, px, py, &changes);
    s.input.drawing = s.input.pending_creation = s.input.first_move = s.input.erasing = false;
    s.handle_mode = HandleMode::kNone;

    if (s.band.shown && !s.band.group_active) {
        int selected = 0;
        for (Shape& shape : s.shapes) {
            if (InsideBand(shape, s.band)) {
                shape.selected = true;
                ++selected;
            }
        }
        // The band stays drawn around a group; an empty one goes.
        if (selected > 0)
            s.band.group_active = true;
        else
            s.band.shown = false;
        changes.band_wait = true;
    }
    changes.redraws = 1;
    s.band.group_drag = false;
    return changes;
}

Changes Nudge(AnnotationState& s, int32_t dx, int32_t dy) {
    Changes changes;
    changes.redraws = 1;
    const int32_t step_x = 5 * dx, step_y = 5 * dy;
    if (s.band.group_active && !BandFits(s.band, step_x, step_y, s.frame_width, s.frame_height))
        return changes;
    for (Shape& shape : s.shapes) {
        if (shape.selected)
            TranslateWithin(&shape, step_x, step_y, s.frame_width, s.frame_height);
    }
    s.band.bx1 += step_x, s.band.bx2 += step_x, s.band.by1 += step_y, s.band.by2 += step_y;
    return changes;
}

Changes DeleteSelected(AnnotationState& s) {
    Changes changes = EndText(s);
    EndGroup(s.band);
    const auto removed = std::erase_if(s.shapes, [](const Shape& shape) { return shape.selected; });
    if (removed > 0)
        changes.redraws = 1;
    return changes;
}

Changes ClearShapes(AnnotationState& s) {
    s.text_id = -1;
    s.shapes.clear();
    EndGroup(s.band);
    Changes changes;
    changes.redraws = 1;
    return changes;
}

Changes ChooseTool(AnnotationState& s, DrawTool tool) {
    const Changes changes = EndText(s);
    s.tool = tool;
    switch (tool) {
    case DrawTool::kSelect:
        s.cursor_kind = kCursorArrow;
        return changes;
    case DrawTool::kLine:
    case DrawTool::kCurve:
    case DrawTool::kArrow:
    case DrawTool::kHighlighter:
        s.cursor_kind = kCursorLine;
        break;
    case DrawTool::kRectangle:
    case DrawTool::kCircle:
        s.cursor_kind = kCursorBox;
        break;
    case DrawTool::kText:
        s.cursor_kind = kCursorText;
        break;
    case DrawTool::kEraser:
        s.cursor_kind = kCursorEraser;
        break;
    }
    s.band.group_active = false;
    return changes;
}

Changes StopEditing(AnnotationState& s) {
    const Changes changes = ClearShapes(s);
    s.hidden = false;
    s.tool = DrawTool::kSelect;
    s.cursor_kind = kCursorArrow;
    s.handle_mode = HandleMode::kNone;
    // A press in progress ends here: its flags would otherwise create a
    // shape at the first move of the next run, without any press.
    s.input.drawing = s.input.pending_creation = s.input.first_move = s.input.erasing = false;
    s.input.current_id = -1;
    return changes;
}

Changes RestoreShapes(AnnotationState& s, std::vector<Shape> shapes) {
    s.text_id = -1;
    s.shapes = std::move(shapes);
    EndGroup(s.band);
    s.handle_mode = HandleMode::kNone;
    // A drag in progress refers to shapes that may be gone: it ends here, and
    // its next moves edit nothing until the next press.
    s.input.drawing = s.input.pending_creation = s.input.first_move = s.input.erasing = false;
    s.input.current_id = -1;
    Changes changes;
    changes.redraws = 1;
    return changes;
}

int32_t PanelStateOf(const AnnotationState& s) {
    const int selected = s.SelectedCount();
    return selected == 0   ? kPanelNoneSelected
           : selected == 1 ? kPanelOneSelected
                           : kPanelManySelected;
}

} // namespace annotation
