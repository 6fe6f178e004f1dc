#include "VideoView.h"

#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cstring>

CVideoView::CVideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CVideoView::~CVideoView() = default;

void CVideoView::SetImageSize(int width, int height) {
    image_width_ = width;
    image_height_ = height;
}

void CVideoView::CalcDisplayRect(int available_width, int available_height) {
    if (image_width_ <= 0 || image_height_ <= 0 || available_width <= 0 || available_height <= 0) {
        display_rect_ = RECT{};
        return;
    }
    // Fit: the largest size of the image's aspect that the area holds.
    int w = available_width;
    int h = static_cast<int>(static_cast<int64_t>(image_height_) * w / image_width_);
    if (h > available_height) {
        h = available_height;
        w = static_cast<int>(static_cast<int64_t>(image_width_) * h / image_height_);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    const int left = (available_width - w) / 2;
    const int top = (available_height - h) / 2;
    display_rect_ = RECT{left, top, left + w, top + h};
    if (on_display_rect_)
        on_display_rect_(display_rect_);
    update();
}

bool CVideoView::HasFrame() const {
    std::lock_guard<std::mutex> guard(frame_lock_);
    return !frame_.isNull();
}

QImage CVideoView::LatestFrame() const {
    std::lock_guard<std::mutex> guard(frame_lock_);
    return frame_.copy();
}

void CVideoView::PresentFrame(const uint8_t* pixels, int width, int height, int stride,
                              const RECT& destination) {
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width * 4)
        return;
    {
        std::lock_guard<std::mutex> guard(frame_lock_);
        if (frame_.width() != width || frame_.height() != height)
            frame_ = QImage(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            std::memcpy(frame_.scanLine(y), pixels + static_cast<size_t>(y) * stride,
                        static_cast<size_t>(width) * 4);
        destination_ = destination;
    }
    frames_.fetch_add(1);
    // A queued call is safe from any thread and is dropped with the view.
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

void CVideoView::ClearVideo() {
    {
        std::lock_guard<std::mutex> guard(frame_lock_);
        frame_ = QImage();
        destination_ = RECT{};
    }
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

void CVideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    std::lock_guard<std::mutex> guard(frame_lock_);
    if (frame_.isNull())
        return;
    const QRect target(destination_.left, destination_.top, destination_.right - destination_.left,
                       destination_.bottom - destination_.top);
    if (target.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, frame_);
}

void CVideoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CalcDisplayRect(width(), height());
}
