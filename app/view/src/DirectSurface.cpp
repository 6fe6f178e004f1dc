#include "DirectSurface.h"

#include <QEvent>
#include <QGuiApplication>
#include <QtGlobal>

namespace view {

DirectSurface::DirectSurface(QWidget* view) : QWidget(view) {
    // Its own X window, drawn by the server from the frame's block; Qt
    // neither paints nor flushes it.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Its X window gets the pointer's moves from the server. Qt drops a move
    // without buttons at the first widget that does not track the mouse, so
    // the view would never hear of it; tracked, the move is ignored here and
    // goes on to the view.
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

DirectSurface::~DirectSurface() = default;

bool DirectSurface::Available() {
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           qEnvironmentVariable("TOVEK_DIRECT_SHOW") != QLatin1String("0");
}

bool DirectSurface::Show(const SharedVideoFrame& frame, const QRect& target) {
    if (refused_ || !frame || frame->shared_fd < 0 || frame->width != target.width() ||
        frame->height != target.height())
        return false;
    // Where the surface comes or moves, the view paints black around the
    // picture again: what it showed there before (its background while
    // stopped, an earlier rectangle) would stay otherwise.
    const bool placed = !isHidden() && geometry() == target;
    if (geometry() != target)
        setGeometry(target);
    if (isHidden()) {
        // Below anything else the view holds.
        lower();
        show();
    }
    frame_ = frame;
    if (!Put()) {
        Withdraw();
        return false;
    }
    if (!placed && parentWidget() != nullptr)
        parentWidget()->update();
    ++shown_;
    return true;
}

bool DirectSurface::Unobstructed(const QRect& target) const {
    const QWidget* view = parentWidget();
    if (view == nullptr || !view->rect().contains(target))
        return false;
    const auto overlaps = [](const QObjectList& widgets, const QWidget* skip, const QRect& area) {
        for (const QObject* object : widgets) {
            const auto* widget = qobject_cast<const QWidget*>(object);
            if (widget != nullptr && widget != skip && !widget->isWindow() && widget->isVisible() &&
                widget->geometry().intersects(area))
                return true;
        }
        return false;
    };
    if (overlaps(view->children(), this, target))
        return false;
    const QWidget* around = view->isWindow() ? nullptr : view->parentWidget();
    return around == nullptr || !overlaps(around->children(), view, view->geometry());
}

void DirectSurface::Withdraw() {
    if (isHidden() && !frame_)
        return;
    hide();
    frame_.reset();
    if (presenter_)
        presenter_->Sync(); // the server is done with every block it was given
}

bool DirectSurface::Put() {
    if (!frame_ || refused_)
        return false;
    if (!presenter_) {
        std::string why;
        presenter_ = platform::ShmPresenter::Open(nullptr, static_cast<uint32_t>(winId()), &why);
        if (!presenter_) {
            qInfo("Frames are painted by the window: %s", why.c_str());
            refused_ = true;
            return false;
        }
    }
    const VideoFrame& f = *frame_;
    const platform::ShmPicture picture{
        f.shared_fd, f.shared_offset, f.shared_file_size, f.shared_id, f.width, f.height, f.stride};
    if (presenter_->Put(picture, {0, 0, f.width, f.height}, 0, 0, frame_))
        return true;
    if (!presenter_->Usable()) {
        qInfo("Frames are painted by the window: %s", presenter_->LastError().c_str());
        refused_ = true;
        presenter_.reset();
    }
    return false;
}

void DirectSurface::paintEvent(QPaintEvent*) {
    // Exposed again: the server lost what it drew.
    Put();
}

bool DirectSurface::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange) {
        // A new native window (the view went full screen or came back):
        // the connection drew into the old one.
        presenter_.reset();
    }
    return QWidget::event(event);
}

} // namespace view
