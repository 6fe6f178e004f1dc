#include "window/WindowPlacer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace {

RECT DesktopRect() {
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    return RECT{desktop.left(), desktop.top(), desktop.left() + desktop.width(),
                desktop.top() + desktop.height()};
}

} // namespace

settings::WindowPlacement WindowPlacer::Apply() {
    const int caption_height =
        window_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window_);
    const settings::WindowPlacement placement =
        settings::LoadWindowPlacement(*ini_, DesktopRect(), caption_height);
    // The rectangle is the normal position also when the window starts
    // minimised or maximised: Qt restores to it.
    const RECT& r = placement.rect;
    window_->move(r.left, r.top);
    window_->resize(std::max<LONG>(r.right - r.left, 1), std::max<LONG>(r.bottom - r.top, 1));
    if (placement.show_mode == 1)
        window_->setWindowState(Qt::WindowMinimized);
    else if (placement.show_mode == 2)
        window_->setWindowState(Qt::WindowMaximized);
    return placement;
}

void WindowPlacer::SaveRect() {
    if (!initialised_ || window_->isMinimized() || window_->isMaximized() ||
        window_->isFullScreen())
        return;
    const RECT r{window_->x(), window_->y(), window_->x() + window_->width(),
                 window_->y() + window_->height()};
    ini_->WriteRect(settings::kSectionApp, settings::kWindowPos, r);
}

void WindowPlacer::SaveShowMode() {
    if (!initialised_)
        return;
    const int mode = window_->isMinimized() ? 1 : window_->isMaximized() ? 2 : 0;
    ini_->WriteInt(settings::kSectionApp, settings::kShowWindowMode, mode, 10);
}

void WindowPlacer::OnMoved() {
    SaveRect();
}

void WindowPlacer::OnResized() {
    SaveShowMode();
    SaveRect();
}

// Minimising does not always resize; the show mode follows the state.
void WindowPlacer::OnStateChanged() {
    SaveShowMode();
}
