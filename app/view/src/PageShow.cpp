#include "view/PageShow.h"

#include "view/Rotation.h"
#include "view/ShownFrame.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace view {

namespace {

page::Quad DrawnCorners(const QRect& drawn) {
    const double l = drawn.left(), t = drawn.top();
    const double r = l + drawn.width(), b = t + drawn.height();
    return {page::Point{l, t}, page::Point{r, t}, page::Point{r, b}, page::Point{l, b}};
}

} // namespace

bool PageShow::Paint(QPainter& painter, const VideoFrame& frame, const QRect& target,
                     int quarter_turns) {
    drawn_ = QRect();
    drawn_quad_.reset();
    if (!Active() || frame.pixels == nullptr || target.isEmpty()) {
        return false;
    }
    turns_ = NormalQuarterTurns(quarter_turns);
    const bool odd = turns_ % 2 == 1;
    // Fitted at its own aspect, in the middle of the target, the handles
    // kept inside it.
    const QRect room =
        target.width() > 4 * kPageHandleRadius && target.height() > 4 * kPageHandleRadius
            ? target.adjusted(kPageHandleRadius, kPageHandleRadius, -kPageHandleRadius,
                              -kPageHandleRadius)
            : target;
    int width = 0;
    int height = 0;
    // Flattened at the size it shows, before the turn: no work for pixels
    // nobody sees.
    const uint8_t* pixels =
        renderer_.Render(*mode_, frame.pixels, frame.width, frame.height, frame.stride,
                         odd ? room.height() : room.width(), odd ? room.width() : room.height(),
                         true, &width, &height);
    if (pixels == nullptr) {
        return false;
    }
    const QImage image(pixels, width, height, width * 4, QImage::Format_RGB32);
    const PictureSize turned = RotateSize(width, height, turns_);
    const double scale = std::min(static_cast<double>(room.width()) / turned.width,
                                  static_cast<double>(room.height()) / turned.height);
    const int w = static_cast<int>(turned.width * scale + 0.5);
    const int h = static_cast<int>(turned.height * scale + 0.5);
    drawn_ =
        QRect(room.left() + (room.width() - w) / 2, room.top() + (room.height() - h) / 2, w, h);
    painter.fillRect(target, Qt::black);
    ShownState shown;
    shown.quarter_turns = turns_;
    DrawShownFrame(painter, image, drawn_, shown);
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

bool PageShow::CameraPoint(const QPoint& point, int camera_width, int camera_height,
                           POINT* camera) const {
    if (!Flattening() || !drawn_quad_ || !drawn_.contains(point) || frame_width_ <= 0 ||
        frame_height_ <= 0 || camera_width <= 0 || camera_height <= 0) {
        return false;
    }
    const PictureSize upright = RotateSize(drawn_.width(), drawn_.height(), turns_);
    const POINT on_page = UnrotatePoint({point.x() - drawn_.left(), point.y() - drawn_.top()},
                                        upright.width, upright.height, turns_);
    const page::Quad flat = DrawnCorners(QRect(0, 0, upright.width, upright.height));
    // The page was flattened from the frame shown, which may be a scaled
    // decode of the camera's picture.
    const page::Point at =
        page::Apply(page::MapBetween(flat, *drawn_quad_), {on_page.x + 0.5, on_page.y + 0.5});
    const double x = at.x * camera_width / frame_width_;
    const double y = at.y * camera_height / frame_height_;
    camera->x = std::clamp(static_cast<int>(x), 0, camera_width - 1);
    camera->y = std::clamp(static_cast<int>(y), 0, camera_height - 1);
    return true;
}

bool PageShow::Press(const QPoint& point) {
    handle_ = -1;
    if (!Active() || !mode_->Enabled() || !drawn_quad_ || drawn_.isEmpty()) {
        return false;
    }
    const int shown = page::HitHandle(DrawnCorners(drawn_), {double(point.x()), double(point.y())},
                                      kPageHandleRadius + 3);
    if (shown < 0) {
        return false;
    }
    // The corners go round clockwise, as the turns do: the page's corner
    // that shows at this one.
    handle_ = (shown - turns_ + 4) % 4;
    press_quad_ = *drawn_quad_;
    press_drawn_ = drawn_;
    press_turns_ = turns_;
    return true;
}

bool PageShow::Move(const QPoint& point) {
    if (handle_ < 0 || !Active()) {
        return false;
    }
    // The point on the page as it was drawn before its turn.
    const POINT on_page = UnrotatePoint(
        {point.x() - press_drawn_.left(), point.y() - press_drawn_.top()},
        press_turns_ % 2 == 1 ? press_drawn_.height() : press_drawn_.width(),
        press_turns_ % 2 == 1 ? press_drawn_.width() : press_drawn_.height(), press_turns_);
    const PictureSize upright =
        RotateSize(press_drawn_.width(), press_drawn_.height(), press_turns_);
    const page::Size flat{upright.width, upright.height};
    mode_->SetManual(page::DragCorner(press_quad_, handle_, {double(on_page.x), double(on_page.y)},
                                      0, 0, 1.0, flat, frame_width_, frame_height_));
    return true;
}

} // namespace view
