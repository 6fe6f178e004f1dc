// AnnotationStore: the one annotation model of the process. The video view's
// editor, the tool panel, the graphic dialogs and the main window edit it on
// the user-interface thread; the overlay worker renders it on its own
// thread. Every edit and every rendering runs under the store's one lock, so
// a shape is never freed while it is drawn.
//
// Change signals: continuous edits (drags, drawing) set the dirty flag,
// discrete ones (press, release, nudge, delete, clear, dialogs) add a
// pending redraw; the overlay worker takes them with TakeRedraw.
#pragma once

#include "annotation/EditRules.h"
#include "annotation/TextRules.h"
#include "annotation/UndoHistory.h"
#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

namespace annotation {

class AnnotationStore {
public:
    // Told the panel state (PanelState) after every rendering, on the
    // overlay worker's thread, without the store's lock held.
    using PanelStateHandler = std::function<void(int32_t state)>;

    AnnotationStore() = default;
    AnnotationStore(const AnnotationStore&) = delete;
    AnnotationStore& operator=(const AnnotationStore&) = delete;

    // Runs fn(AnnotationState&) under the lock and returns its result. fn
    // must not call back into the store. The dialogs edit shapes this way,
    // then call RequestRedraw.
    template <typename Fn>
    decltype(auto) Edit(Fn&& fn) {
        platform::MutexLock guard(lock_);
        return std::forward<Fn>(fn)(state_);
    }
    template <typename Fn>
    decltype(auto) Read(Fn&& fn) const {
        platform::MutexLock guard(lock_);
        return std::forward<Fn>(fn)(static_cast<const AnnotationState&>(state_));
    }
    // Edit with one of the rules of EditRules.h, then raise its signals.
    template <typename Rule, typename... Args>
    Changes Run(Rule&& rule, Args&&... args) {
        const Changes changes = Edit([&](AnnotationState& s) {
            return std::forward<Rule>(rule)(s, std::forward<Args>(args)...);
        });
        Apply(changes);
        return changes;
    }

    // ---- change signals (any thread) ----
    void MarkDirty() {
        dirty_.store(true);
        WakeRenderer();
    }
    void RequestRedraw() {
        pending_redraws_.fetch_add(1);
        WakeRenderer();
    }
    void Apply(const Changes& changes);
    // Called after every change signal, on the thread that raised it, so that
    // the one who renders (the overlay worker) need not poll. Set it before
    // the first change; it must only signal.
    void SetRenderWaker(std::function<void()> waker) { waker_ = std::move(waker); }
    // One request for the overlay worker: the dirty flag first, else one
    // pending redraw. False when nothing is asked for.
    bool TakeRedraw();
    bool Dirty() const { return dirty_.load(); }
    int32_t PendingRedraws() const { return pending_redraws_.load(); }

    // ---- user-interface thread ----
    // The tool panel's tool buttons and the tool keys; ends a text being
    // typed.
    void SetTool(DrawTool tool);
    DrawTool Tool() const;
    int32_t CursorKind() const;
    // Arrow keys: dx, dy in -1..1 (anything else is ignored).
    void NudgeSelection(int32_t dx, int32_t dy);
    void DeleteSelection();
    void ClearAll();
    // The main window's Stop: clears all, the Select tool, the arrow, and
    // reports panel state 0.
    void Stop();
    // Undo steps: an edit begins and ends (the editor's press and release,
    // a dialog around its change); nudges, deletion and clearing are steps
    // of their own. The camera's Stop forgets every step.
    void BeginStep();
    void EndStep();
    // False when there was nothing to undo (redo).
    bool Undo();
    bool Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    bool HasShapes() const;
    // Hidden shapes stay in the model and out of every picture, snapshots
    // and recordings included. A press in the picture shows them again:
    // nobody draws blind.
    void SetHidden(bool hidden);
    bool Hidden() const;
    // Typing (TextRules.h): a text is open from the text tool's press, or
    // from OpenText, until FinishText (Esc, another press, a tool, Stop).
    // All it takes in that time is one undo step.
    bool TypingText() const;
    void TypeText(TextKey key, const std::string& utf8);
    void FinishText();
    // A double-click at (px, py): opens the text there for typing while the
    // Select tool is current. False when nothing opened.
    bool OpenText(int32_t px, int32_t py);
    // The quick palette (PaletteRules.h): one undo step each.
    void ChooseColor(COLORREF color);
    void ChooseWidth(int index);
    // Measures texts with the window's fonts (set once, before any edit).
    void SetTextMeasure(TextMeasure measure);
    // W and H of the frames now playing: moves stay within 0..W x 0..H and
    // the overlay is drawn at this size.
    void SetFrameSize(int32_t width, int32_t height);
    settings::GraphicDefaults Defaults() const;
    void SetDefaults(const settings::GraphicDefaults& defaults);

    void SetPanelStateHandler(PanelStateHandler handler);
    // Calls the panel state handler, if any (any thread, not under the lock).
    void ReportPanelState(int32_t state);

private:
    // Undo (or redo): history_'s newest step, as an edit.
    bool Restore(bool redo);
    void WakeRenderer() {
        if (waker_)
            waker_();
    }

    mutable platform::Mutex lock_;
    AnnotationState state_ TOVEK_GUARDED_BY(lock_);
    UndoHistory history_ TOVEK_GUARDED_BY(lock_);
    PanelStateHandler on_panel_state_ TOVEK_GUARDED_BY(lock_);
    std::atomic<bool> dirty_{false};
    std::atomic<int32_t> pending_redraws_{0};
    std::function<void()> waker_; // set once on the user-interface thread, before any change
};

} // namespace annotation
