#include "view/CaptureShow.h"

#include "view/PaneLayout.h"
#include "view/Rotation.h"
#include "view/ShownFrame.h"

#include <QPainter>

namespace view {
namespace {

QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

} // namespace

void PaintCaptureShow(QPainter& painter, const QRect& area, const CaptureShow& show,
                      const VideoFrame* live, int quarter_turns) {
    painter.fillRect(area, Qt::black);
    const int count = static_cast<int>(show.captures.size()) + (show.with_live ? 1 : 0);
    const std::vector<RECT> panes =
        PaneRects(count, RECT{area.left(), area.top(), area.right() + 1, area.bottom() + 1});
    for (size_t i = 0; i < panes.size(); ++i) {
        if (i < show.captures.size()) {
            const QImage& capture = show.captures[i];
            const QRect target = ToQRect(FitAspect(panes[i], capture.width(), capture.height()));
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, capture);
            if (!show.badge.isEmpty())
                DrawViewMark(painter, target, show.badge);
        } else if (live != nullptr) {
            const QImage frame(live->pixels, live->width, live->height, live->stride,
                               QImage::Format_RGB32);
            const PictureSize turned = RotateSize(live->width, live->height, quarter_turns);
            const QRect target = ToQRect(FitAspect(panes[i], turned.width, turned.height));
            DrawShownFrame(painter, frame, target, ShownState{quarter_turns, QString()});
        }
    }
}

} // namespace view
