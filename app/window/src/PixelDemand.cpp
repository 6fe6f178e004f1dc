#include "PixelDemand.h"

#include <QEvent>

PixelDemand::PixelDemand(QWidget* view, std::function<void(bool wanted)> tell)
    : QObject(view), view_(view), tell_(std::move(tell)) {
    view_->installEventFilter(this);
    Watch();
    Update();
}

PixelDemand::~PixelDemand() {
    // A window made later starts with its pictures decoded.
    if (!wanted_)
        tell_(true);
}

void PixelDemand::Watch() {
    QWidget* top = view_->window();
    if (top != top_) {
        if (top_ != nullptr)
            top_->removeEventFilter(this);
        top_ = top;
        if (top_ != nullptr && top_ != view_)
            top_->installEventFilter(this);
    }
    QWindow* window = top_ != nullptr ? top_->windowHandle() : nullptr;
    if (window != window_) {
        if (window_ != nullptr)
            window_->removeEventFilter(this);
        window_ = window;
        exposed_once_ = false;
        if (window_ != nullptr)
            window_->installEventFilter(this);
    }
}

void PixelDemand::Update() {
    // A platform that never tells of exposure (an offscreen one, some
    // without a compositor) must not leave the picture undecoded: not being
    // exposed counts only once the window has been.
    if (window_ != nullptr && window_->isExposed())
        exposed_once_ = true;
    const bool hidden_by_platform = exposed_once_ && !window_->isExposed();
    const bool wanted = top_ != nullptr && window_ != nullptr && !top_->isMinimized() &&
                        window_->isVisible() && !hidden_by_platform && view_->isVisible() &&
                        !ShownRegion().isEmpty();
    if (wanted == wanted_)
        return;
    wanted_ = wanted;
    tell_(wanted);
}

QRegion PixelDemand::ShownRegion() const {
    // The view's children count as the view: the surface the display server
    // draws frames into covers the picture, and shows its pixels.
    QRegion shown = view_->visibleRegion();
    for (QObject* child : view_->children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget != nullptr && widget->isVisible())
            shown += widget->visibleRegion().translated(widget->pos());
    }
    return shown;
}

bool PixelDemand::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::WinIdChange:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::Expose:
    case QEvent::Resize:
    // A view shown again may get its visible area only by the time it is
    // painted: without this it could stay "unseen" with nothing to wake it.
    case QEvent::Paint:
        Watch();
        Update();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
