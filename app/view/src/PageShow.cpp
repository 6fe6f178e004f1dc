#include "view/PageShow.h"

#include <QImage>
#include <QPainter>

namespace view {

namespace {

page::Quad DrawnCorners(const QRect& drawn) {
    const double l = drawn.left(), t = drawn.top();
    const double r = l + drawn.width(), b = t + drawn.height();
    return {page::Point{l, t}, page::Point{r, t}, page::Point{r, b}, page::Point{l, b}};
}

} // namespace

bool PageShow::Paint(QPainter& painter, const VideoFrame& frame, const QRect& target) {
    drawn_ = QRect();
    drawn_quad_.reset();
    if (!Active() || frame.pixels == nullptr || target.isEmpty()) {
        return false;
    }
    int width = 0;
    int height = 0;
    // Flattened at the size it shows: no work for pixels nobody sees.
    const uint8_t* pixels =
        renderer_.Render(*mode_, frame.pixels, frame.width, frame.height, frame.stride,
                         target.width() - 2 * kPageHandleRadius,
                         target.height() - 2 * kPageHandleRadius, true, &width, &height);
    if (pixels == nullptr) {
        return false;
    }
    const QImage image(pixels, width, height, width * 4, QImage::Format_RGB32);
    // Fitted at its own aspect, in the middle of the target, the handles
    // kept inside it.
    const QRect room =
        target.width() > 4 * kPageHandleRadius && target.height() > 4 * kPageHandleRadius
            ? target.adjusted(kPageHandleRadius, kPageHandleRadius, -kPageHandleRadius,
                              -kPageHandleRadius)
            : target;
    const double scale = std::min(static_cast<double>(room.width()) / width,
                                  static_cast<double>(room.height()) / height);
    const int w = static_cast<int>(width * scale + 0.5);
    const int h = static_cast<int>(height * scale + 0.5);
    drawn_ =
        QRect(room.left() + (room.width() - w) / 2, room.top() + (room.height() - h) / 2, w, h);
    painter.fillRect(target, Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, w != width);
    painter.drawImage(drawn_, image);
    frame_width_ = frame.width;
    frame_height_ = frame.height;
    drawn_quad_ = renderer_.LastQuad();
    if (!drawn_quad_ || !mode_->Enabled()) {
        return true;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.setBrush(QColor(0, 120, 215, 200));
    for (const page::Point& corner : DrawnCorners(drawn_)) {
        painter.drawEllipse(QPointF(corner.x, corner.y), kPageHandleRadius - 2,
                            kPageHandleRadius - 2);
    }
    return true;
}

bool PageShow::Press(const QPoint& point) {
    handle_ = -1;
    if (!Active() || !mode_->Enabled() || !drawn_quad_ || drawn_.isEmpty()) {
        return false;
    }
    handle_ = page::HitHandle(DrawnCorners(drawn_), {double(point.x()), double(point.y())},
                              kPageHandleRadius + 3);
    press_quad_ = *drawn_quad_;
    press_drawn_ = drawn_;
    return handle_ >= 0;
}

bool PageShow::Move(const QPoint& point) {
    if (handle_ < 0 || !Active()) {
        return false;
    }
    const page::Size flat{press_drawn_.width(), press_drawn_.height()};
    mode_->SetManual(page::DragCorner(press_quad_, handle_, {double(point.x()), double(point.y())},
                                      press_drawn_.left(), press_drawn_.top(), 1.0, flat,
                                      frame_width_, frame_height_));
    return true;
}

} // namespace view
