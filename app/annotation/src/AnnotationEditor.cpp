#include "annotation/AnnotationEditor.h"

#include "platform/system.h"

namespace annotation {

AnnotationEditor::AnnotationEditor(AnnotationStore& store)
    : store_(store), wait_([](uint32_t ms) { platform::Sleep(ms); }) {}

// A press to its release is one undo step: a drawn shape, a drag, a resize,
// an erasing stroke. A text is one step from its press until it ends.
void AnnotationEditor::OnImageMouseDown(const view::POINT& p) {
    store_.SetHidden(false);
    store_.FinishText();
    store_.BeginStep();
    store_.Run(Press, p.x, p.y);
}

void AnnotationEditor::OnImageMouseMove(const view::POINT& p, bool) {
    store_.Run(MouseMove, p.x, p.y);
}

void AnnotationEditor::OnImageMouseUp(const view::POINT& p) {
    const Changes changes = store_.Run(Release, p.x, p.y);
    if (!store_.TypingText())
        store_.EndStep();
    // Waits without the lock: the worker may draw meanwhile.
    if (changes.band_wait && wait_)
        wait_(kBandWaitMs);
}

// With the text tool a double-click is two clicks into a text, never a
// change of zoom under the teacher's typing.
bool AnnotationEditor::OnImageDoubleClick(const view::POINT& p) {
    return store_.Tool() == DrawTool::kText || store_.OpenText(p.x, p.y);
}

void AnnotationEditor::NudgeSelection(int dx, int dy) {
    store_.NudgeSelection(dx, dy);
}

bool AnnotationEditor::SelectToolActive() const {
    return store_.Tool() == DrawTool::kSelect;
}

int AnnotationEditor::PointerKind() const {
    return store_.Read(
        [](const AnnotationState& s) { return PointerFree(s) ? s.cursor_kind : -1; });
}

} // namespace annotation
