// The main window's freeze and turn of the picture on screen. The session
// holds and turns the rendered samples (and so the snapshots); the view
// turns its paint and mouse mapping and marks a held picture. The camera's
// own frames, which recording and time-lapse use, stay live and upright.
// The blank screen, the spotlight and the curtain are the view's paint only.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "common/AppTrace.h"
#include "common/LangText.h"
#include "view/VideoView.h"

void MainWindow::OnFreeze(uint32_t) {
    TRACE_DLG("OnFreeze");
    ShownPicture& shown = session_->Shown();
    if (shown.Frozen())
        shown.Unfreeze();
    else if (session_->Playing())
        shown.Freeze();
    Refresh();
}

void MainWindow::OnBlank(uint32_t) {
    view_->SetBlanked(!view_->Blanked() && session_->Playing());
    Refresh();
}

// One at a time: choosing one ends the other, choosing it again ends it.
void MainWindow::OnShowEffect(uint32_t id) {
    const view::ShowEffectKind kind =
        id == cmd::kSpotlight ? view::ShowEffectKind::kSpotlight : view::ShowEffectKind::kCurtain;
    const bool on = view_->ShowEffect().kind != kind && session_->Playing();
    view_->SetShowEffect(on ? kind : view::ShowEffectKind::kNone);
    Refresh();
}

// Esc steps back one thing at a time: the captures shown first, then the
// spotlight or curtain.
bool MainWindow::EndShowEffect() {
    if (EndCaptureShow())
        return true;
    if (view_ == nullptr || view_->ShowEffect().kind == view::ShowEffectKind::kNone)
        return false;
    view_->SetShowEffect(view::ShowEffectKind::kNone);
    Refresh();
    return true;
}

void MainWindow::OnRotate(uint32_t id) {
    TRACE_DLG("OnRotate");
    const int step = id == cmd::kRotateRight ? 1 : -1;
    view_->SetQuarterTurns(view_->QuarterTurns() + step);
    session_->Shown().SetQuarterTurns(view_->QuarterTurns());
    Refresh();
}

void MainWindow::RefreshShownPicture(bool frozen) {
    // A stop, a removal or a new camera ended the hold in the session.
    view_->SetFrozenMark(frozen ? LangText(lang_, "Frozen") : QString());
    // ... and leaves nothing to blank or light: the view shows its
    // background again.
    if (!session_->Playing()) {
        view_->SetBlanked(false);
        view_->SetShowEffect(view::ShowEffectKind::kNone);
    }
}
