// AnnotationEditor: the video view's mouse and arrow keys turned into edits
// of the annotation store. It keeps no state of its own (the press in
// progress lives in the store, under its lock), so any number of views could
// share the store. User-interface thread only.
#pragma once

#include "annotation/AnnotationStore.h"
#include "view/ViewMouseInput.h"

#include <cstdint>
#include <functional>

namespace annotation {

class AnnotationEditor final : public ViewMouseInput {
public:
    // How long a released rubber band holds the user-interface thread, so
    // the worker draws the selected group before the next input.
    static constexpr uint32_t kBandWaitMs = 20;

    // store must outlive the editor.
    explicit AnnotationEditor(AnnotationStore& store);
    AnnotationEditor(const AnnotationEditor&) = delete;
    AnnotationEditor& operator=(const AnnotationEditor&) = delete;

    // The wait after a band's release; platform::Sleep (the replaceable
    // clock) by default.
    void SetWaitFunction(std::function<void(uint32_t)> wait) { wait_ = std::move(wait); }

    // ViewMouseInput.
    void OnImageMouseDown(const view::POINT& image_point) override;
    void OnImageMouseMove(const view::POINT& image_point, bool left_down) override;
    void OnImageMouseUp(const view::POINT& image_point) override;
    bool OnImageDoubleClick(const view::POINT& image_point) override;
    void NudgeSelection(int dx, int dy) override;
    bool SelectToolActive() const override;
    int PointerKind() const override;

private:
    AnnotationStore& store_;
    std::function<void(uint32_t)> wait_;
};

} // namespace annotation
