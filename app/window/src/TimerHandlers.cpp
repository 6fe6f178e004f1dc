// The main window's timers: the clock pane every second, the camera's status
// banner every 50 ms while the picture plays, and the idle update.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "view/VideoView.h"

#include <QTime>
#include <QTimerEvent>

void MainWindow::StartStatusTimer() {
    if (timer_ids_[kTimerStatus] == 0)
        timer_ids_[kTimerStatus] = startTimer(50);
}

void MainWindow::StopStatusTimer() {
    if (timer_ids_[kTimerStatus] != 0) {
        killTimer(timer_ids_[kTimerStatus]);
        timer_ids_[kTimerStatus] = 0;
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
