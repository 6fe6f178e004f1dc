#include "annotation/AnnotationStore.h"

#include "annotation/PaletteRules.h"

namespace annotation {

void AnnotationStore::Apply(const Changes& changes) {
    if (changes.dirty)
        dirty_.store(true);
    if (changes.redraws > 0)
        pending_redraws_.fetch_add(changes.redraws);
    if (changes.dirty || changes.redraws > 0)
        WakeRenderer();
}

bool AnnotationStore::TakeRedraw() {
    if (dirty_.exchange(false))
        return true;
    int32_t count = pending_redraws_.load();
    while (count > 0 && !pending_redraws_.compare_exchange_weak(count, count - 1)) {
    }
    return count > 0;
}

void AnnotationStore::SetTool(DrawTool tool) {
    FinishText();
    Run(ChooseTool, tool);
}

DrawTool AnnotationStore::Tool() const {
    return Read([](const AnnotationState& s) { return s.tool; });
}

int32_t AnnotationStore::CursorKind() const {
    return Read([](const AnnotationState& s) { return s.cursor_kind; });
}

void AnnotationStore::NudgeSelection(int32_t dx, int32_t dy) {
    if (dx < -1 || dx > 1 || dy < -1 || dy > 1)
        return;
    BeginStep();
    Run(Nudge, dx, dy);
    EndStep();
}

void AnnotationStore::DeleteSelection() {
    FinishText();
    BeginStep();
    Run(DeleteSelected);
    EndStep();
}

void AnnotationStore::ClearAll() {
    FinishText();
    BeginStep();
    Run(ClearShapes);
    EndStep();
}

void AnnotationStore::Stop() {
    {
        platform::MutexLock guard(lock_);
        history_.Clear();
    }
    Run(StopEditing);
    ReportPanelState(kPanelStopped);
}

void AnnotationStore::BeginStep() {
    platform::MutexLock guard(lock_);
    history_.Begin(state_.shapes);
}

void AnnotationStore::EndStep() {
    platform::MutexLock guard(lock_);
    history_.End(state_.shapes);
}

bool AnnotationStore::Undo() {
    FinishText();
    return Restore(false);
}

bool AnnotationStore::Redo() {
    FinishText();
    return Restore(true);
}

bool AnnotationStore::TypingText() const {
    return Read([](const AnnotationState& s) { return s.text_id >= 0; });
}

void AnnotationStore::TypeText(TextKey key, const std::string& utf8) {
    Run(annotation::TypeText, key, utf8);
}

void AnnotationStore::FinishText() {
    Changes changes;
    {
        platform::MutexLock guard(lock_);
        if (state_.text_id < 0)
            return;
        changes = EndText(state_);
        history_.End(state_.shapes);
    }
    Apply(changes);
}

bool AnnotationStore::OpenText(int32_t px, int32_t py) {
    FinishText();
    Changes changes;
    {
        platform::MutexLock guard(lock_);
        if (state_.tool != DrawTool::kSelect)
            return false;
        history_.Begin(state_.shapes);
        if (!OpenTextAt(state_, px, py)) {
            history_.End(state_.shapes);
            return false;
        }
        changes.redraws = 1;
    }
    Apply(changes);
    return true;
}

// A choice while a text is typed belongs to the text's one step.
void AnnotationStore::ChooseColor(COLORREF color) {
    const bool typing = TypingText();
    if (!typing)
        BeginStep();
    Run(ChoosePaletteColor, color);
    if (!typing)
        EndStep();
}

void AnnotationStore::ChooseWidth(int index) {
    const bool typing = TypingText();
    if (!typing)
        BeginStep();
    Run(ChoosePaletteWidth, index);
    if (!typing)
        EndStep();
}

void AnnotationStore::SetTextMeasure(TextMeasure measure) {
    Edit([&measure](AnnotationState& s) { s.measure_text = std::move(measure); });
}

bool AnnotationStore::Restore(bool redo) {
    Changes changes;
    {
        platform::MutexLock guard(lock_);
        std::optional<UndoHistory::Shapes> shapes =
            redo ? history_.Redo(state_.shapes) : history_.Undo(state_.shapes);
        if (!shapes)
            return false;
        changes = RestoreShapes(state_, std::move(*shapes));
    }
    Apply(changes);
    return true;
}

bool AnnotationStore::HasShapes() const {
    return Read([](const AnnotationState& s) { return !s.shapes.empty(); });
}

void AnnotationStore::SetHidden(bool hidden) {
    const bool changed = Edit([hidden](AnnotationState& s) {
        const bool was = s.hidden;
        s.hidden = hidden;
        return was != hidden;
    });
    if (changed)
        RequestRedraw();
}

bool AnnotationStore::Hidden() const {
    return Read([](const AnnotationState& s) { return s.hidden; });
}

bool AnnotationStore::CanUndo() const {
    platform::MutexLock guard(lock_);
    return history_.CanUndo();
}

bool AnnotationStore::CanRedo() const {
    platform::MutexLock guard(lock_);
    return history_.CanRedo();
}

void AnnotationStore::SetFrameSize(int32_t width, int32_t height) {
    Edit([=](AnnotationState& s) {
        s.frame_width = width;
        s.frame_height = height;
    });
}

settings::GraphicDefaults AnnotationStore::Defaults() const {
    return Read([](const AnnotationState& s) { return s.defaults; });
}

void AnnotationStore::SetDefaults(const settings::GraphicDefaults& defaults) {
    Edit([&defaults](AnnotationState& s) { s.defaults = defaults; });
}

void AnnotationStore::SetPanelStateHandler(PanelStateHandler handler) {
    platform::MutexLock guard(lock_);
    on_panel_state_ = std::move(handler);
}

void AnnotationStore::ReportPanelState(int32_t state) {
    PanelStateHandler handler;
    {
        platform::MutexLock guard(lock_);
        handler = on_panel_state_;
    }
    if (handler)
        handler(state);
}

} // namespace annotation
