// The annotation model's state and the rules that edit it: presses, moves
// and releases of the mouse, nudges, deletion, clearing and the choice of
// tool. Free of any window system and of locking: AnnotationStore holds the
// state under its lock and runs these for its callers.
#pragma once

#include "annotation/Shape.h"
#include "settings/GraphicDefaults.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace annotation {

// What the mouse is doing with the model, between a press and its release.
struct Interaction {
    bool drawing = false;          // a new shape is being drawn
    bool pending_creation = false; // create the shape at the next move
    bool first_move = false;       // normalise a handle drag at the next move
    int32_t last_x = 0;            // last point, for move deltas
    int32_t last_y = 0;
    int32_t current_id = -1; // the shape pressed on or being drawn; -1 none
    bool erasing = false;    // the eraser is held down
    int32_t next_shape_id = 0;
    int32_t next_segment_id = 0;
};

// What the tool panel's buttons enable.
enum PanelState : int32_t {
    kPanelStopped = 0, // camera stopped: reported by the main window
    kPanelNoneSelected = 1,
    kPanelOneSelected = 2,
    kPanelManySelected = 3,
};

// A text's box at a size (its pixel height): width and height in pixels.
struct TextExtent {
    int32_t width = 0;
    int32_t height = 0;
};
// Measures UTF-8 text, lines split by '\n'; the window's fonts in the
// program, EstimateTextExtent (TextRules.h) when empty.
using TextMeasure = std::function<TextExtent(const std::string& utf8, int32_t size)>;

struct AnnotationState {
    std::vector<Shape> shapes; // drawing order; new shapes at the end
    DrawTool tool = DrawTool::kLine;
    HandleMode handle_mode = HandleMode::kNone;
    SelectionBand band;
    int32_t cursor_kind = kCursorArrow;
    settings::GraphicDefaults defaults; // of new shapes
    int32_t frame_width = 0;            // W and H: moves stay within 0..W x 0..H
    int32_t frame_height = 0;
    bool hidden = false;  // Edit > Hide Annotations: kept, but drawn nowhere
    int32_t text_id = -1; // the text being typed; -1 none
    TextMeasure measure_text;
    Interaction input;

    Shape* Find(int32_t id);
    int SelectedCount() const;
};

// What an edit asks of the redraw worker.
struct Changes {
    bool dirty = false;     // continuous edits: drags and drawing
    int32_t redraws = 0;    // discrete events: press, release, nudge, ...
    bool band_wait = false; // a rubber band was released: wait before going on
};

// Mouse input while the camera plays; (px, py) is the image point. The text
// tool's press starts a text (TextRules.h); the eraser's press and moves
// remove every shape its path touches, whole; any other press ends a text
// being typed.
Changes Press(AnnotationState& s, int32_t px, int32_t py);
Changes MouseMove(AnnotationState& s, int32_t px, int32_t py);
Changes Release(AnnotationState& s, int32_t px, int32_t py);
// Whether a move may set the pointer: not during a group drag or a drawing.
bool PointerFree(const AnnotationState& s);

// Moves the selection by five pixels per step (dx, dy in -1..1).
Changes Nudge(AnnotationState& s, int32_t dx, int32_t dy);
// Removes the selected shapes and ends the band.
Changes DeleteSelected(AnnotationState& s);
// Removes every shape and ends the band.
Changes ClearShapes(AnnotationState& s);
// The tool panel's tool buttons: tool, cursor kind, and a drawing tool ends
// the group (the band stays drawn until the next press). Ends a text being
// typed.
Changes ChooseTool(AnnotationState& s, DrawTool tool);
// The camera stopped: no shapes, the Select tool, the arrow, and no press
// in progress.
Changes StopEditing(AnnotationState& s);

// Undo and redo: the shapes given, nothing selected, no band, no drag.
Changes RestoreShapes(AnnotationState& s, std::vector<Shape> shapes);

// Panel state for the shapes as they are: 1 none selected (or nothing to
// draw), 2 exactly one, 3 two or more.
int32_t PanelStateOf(const AnnotationState& s);

} // namespace annotation
