#include "annotation/UndoHistory.h"

namespace annotation {

UndoHistory::Shapes WithoutSelection(const UndoHistory::Shapes& shapes) {
    UndoHistory::Shapes plain = shapes;
    for (Shape& shape : plain) {
        shape.selected = false;
        // Grabbing an edge turns a box's corners round so the edge moves;
        // the box is the same, and a press that only did that is no step.
        if (shape.kind == ShapeKind::kRectangle || shape.kind == ShapeKind::kCircle) {
            const Shape box = shape;
            shape.x1 = box.MinX();
            shape.x2 = box.MaxX();
            shape.y1 = box.MinY();
            shape.y2 = box.MaxY();
        }
    }
    return plain;
}

void UndoHistory::Begin(const Shapes& shapes) {
    if (open_)
        End(shapes);
    open_ = WithoutSelection(shapes);
}

bool UndoHistory::End(const Shapes& shapes) {
    if (!open_)
        return false;
    Shapes before = std::move(*open_);
    open_.reset();
    if (before == WithoutSelection(shapes))
        return false;
    undo_.push_back(std::move(before));
    if (undo_.size() > kMaxSteps)
        undo_.pop_front();
    redo_.clear();
    return true;
}

std::optional<UndoHistory::Shapes> UndoHistory::Undo(const Shapes& current) {
    return Step(undo_, redo_, current);
}

std::optional<UndoHistory::Shapes> UndoHistory::Redo(const Shapes& current) {
    return Step(redo_, undo_, current);
}

std::optional<UndoHistory::Shapes>
UndoHistory::Step(std::deque<Shapes>& from, std::deque<Shapes>& to, const Shapes& current) {
    End(current);
    if (from.empty())
        return std::nullopt;
    Shapes restored = std::move(from.back());
    from.pop_back();
    to.push_back(WithoutSelection(current));
    return restored;
}

void UndoHistory::Clear() {
    open_.reset();
    undo_.clear();
    redo_.clear();
}

} // namespace annotation
