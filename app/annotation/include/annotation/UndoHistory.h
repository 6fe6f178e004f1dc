// UndoHistory: undo and redo over the annotation shapes. A step is the
// shapes as they were before one edit -- a drag from press to release, a
// nudge, a deletion, a clearing, a dialog's change. What only selects is no
// step: selection is left out of every comparison and every stored state.
// A pure model, free of locking: AnnotationStore keeps one under its lock.
#pragma once

#include "annotation/Shape.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace annotation {

class UndoHistory {
public:
    using Shapes = std::vector<Shape>;
    // Teachers undo a lesson's worth of marks; the oldest steps go first.
    static constexpr size_t kMaxSteps = 100;

    // An edit begins on these shapes. A step still open is ended first, on
    // the same shapes.
    void Begin(const Shapes& shapes);
    // The edit ended with these shapes. True when they differ from those at
    // Begin: a new undo step, and the redo steps go. False without a Begin.
    bool End(const Shapes& shapes);

    // The shapes to show instead of current, or nothing when there is no
    // step. current becomes the redo (undo) step. An open step is ended on
    // current first, so an undo in the middle of a drag takes the drag back.
    std::optional<Shapes> Undo(const Shapes& current);
    std::optional<Shapes> Redo(const Shapes& current);
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }

    // Forgets every step (the camera stopped: its shapes are gone for good).
    void Clear();

private:
    // Takes from's newest step, current going onto to.
    std::optional<Shapes> Step(std::deque<Shapes>& from, std::deque<Shapes>& to,
                               const Shapes& current);

    std::optional<Shapes> open_;
    std::deque<Shapes> undo_; // oldest first
    std::deque<Shapes> redo_; // oldest first
};

// The shapes without their selection marks, boxes by their least and
// greatest corners: what undo stores and compares.
UndoHistory::Shapes WithoutSelection(const UndoHistory::Shapes& shapes);

} // namespace annotation
