// The main window's timers: the clock pane every second, the camera's status
// banner every 50 ms while the picture plays and can be seen, and the idle
// update (slower while the picture cannot be seen).
#include "window/MainWindow.h"

#include "PixelDemand.h"
#include "WindowTrace.h"
#include "view/VideoView.h"

#include <QTime>
#include <QTimerEvent>

void MainWindow::StartStatusTimer() {
    status_asked_ = true;
    PaceTimers();
}

void MainWindow::StopStatusTimer() {
    status_asked_ = false;
    PaceTimers();
}

// PixelDemand's word: while nobody can see the picture (minimised, hidden,
// covered) the banner has no one to tell and the idle update shows nothing,
// so neither wakes the program as often.
void MainWindow::OnPictureSeen(bool seen) {
    picture_seen_ = seen;
    if (!seen && banner_.Get() != nullptr)
        banner_.Hide();
    PaceTimers();
}

void MainWindow::PaceTimers() {
    const bool status = status_asked_ && picture_seen_;
    if (status && timer_ids_[kTimerStatus] == 0) {
        timer_ids_[kTimerStatus] = startTimer(50);
    } else if (!status && timer_ids_[kTimerStatus] != 0) {
        killTimer(timer_ids_[kTimerStatus]);
        timer_ids_[kTimerStatus] = 0;
    }
    // The idle timer lives from start-up to OnDestroy.
    if (idle_timer_ != 0 && idle_seen_ != picture_seen_) {
        killTimer(idle_timer_);
        idle_timer_ = startTimer(picture_seen_ ? kIdleUpdateMs : kUnseenIdleUpdateMs);
        idle_seen_ = picture_seen_;
        // Back in sight: the command states and texts at once, not a second late.
        if (picture_seen_)
            Refresh();
    }
}

bool MainWindow::TimerActive(int timer) const {
    return (timer == kTimerClock || timer == kTimerStatus) && timer_ids_[timer] != 0;
}

void MainWindow::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_ids_[kTimerClock] && timer_ids_[kTimerClock] != 0)
        OnTimer(kTimerClock);
    else if (e->timerId() == timer_ids_[kTimerStatus] && timer_ids_[kTimerStatus] != 0)
        OnTimer(kTimerStatus);
    else if (e->timerId() == idle_timer_ && idle_timer_ != 0)
        OnKickIdle();
    else
        QDialog::timerEvent(e);
}

void MainWindow::OnTimer(int timer) {
    TRACE_DLG("OnTimer");
    if (timer == kTimerClock) {
        panes_->SetClock(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        // Timed texts of the message pane run out.
        Refresh();
        return;
    }
    if (timer != kTimerStatus || !session_->Camera() || banner_.Get() == nullptr)
        return;
    if (!session_->Playing() || isMinimized()) {
        banner_.Hide();
        return;
    }
    int status = CameraSession::kNormalStatus;
    if (session_->PollStatus(&status))
        banner_.Show(status, view_, view_->IsFullScreen());
}
