#include "FramePainter.h"

#include "FramePresenter.h"
#include "FrameShrinker.h"

#include <QPainter>

namespace view {

void FramePainter::Draw(QPainter& painter, const VideoFrame& frame, const QRect& target) {
    // The frame's own pixels, wrapped: no copy, no conversion (B, G, R, X is
    // what RGB32 holds).
    const QImage image(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32);
    const ShrinkFactor factor =
        ShrinkFactorFor(frame.width, frame.height, target.width(), target.height());
    last_shrunk_ = false;
    if (factor != ShrinkFactor::kNone) {
        if (shrunk_.size() != target.size()) {
            shrunk_ = QImage(target.size(), QImage::Format_RGB32);
        }
        if (!shrunk_.isNull() &&
            ShrinkBgrx(factor, frame.pixels, frame.width, frame.height, frame.stride,
                       shrunk_.bits(), shrunk_.width(), shrunk_.height(),
                       static_cast<int>(shrunk_.bytesPerLine()))) {
            painter.drawImage(target.topLeft(), shrunk_);
            last_shrunk_ = true;
            return;
        }
    } else {
        shrunk_ = QImage(); // a size not shown now: its memory goes back
    }
    painter.setRenderHint(
        QPainter::SmoothPixmapTransform,
        UseSmoothScaling(frame.width, frame.height, target.width(), target.height()));
    painter.drawImage(target, image);
}

} // namespace view
