#include "view/ShownFrame.h"

#include "view/FramePresenter.h"
#include "view/Rotation.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

namespace view {
namespace {

constexpr int kMarkMargin = 8;
constexpr int kMarkPadding = 6;

} // namespace

void DrawViewMark(QPainter& painter, const QRect& target, const QString& text) {
    const QPaintDevice* device = painter.device();
    const QRect visible = target.intersected(QRect(0, 0, device->width(), device->height()));
    if (visible.isEmpty())
        return;
    painter.save();
    painter.resetTransform();
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSize(std::max(font.pointSize(), 12));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    QRect box = metrics.boundingRect(text).adjusted(-kMarkPadding, -kMarkPadding / 2, kMarkPadding,
                                                    kMarkPadding / 2);
    box.moveTopLeft(visible.topLeft() + QPoint(kMarkMargin, kMarkMargin));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(160, 0, 0, 200));
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void DrawShownFrame(QPainter& painter, const QImage& frame, const QRect& target,
                    const ShownState& shown) {
    const int turns = NormalQuarterTurns(shown.quarter_turns);
    const PictureSize turned = RotateSize(frame.width(), frame.height(), turns);
    painter.setRenderHint(
        QPainter::SmoothPixmapTransform,
        UseSmoothScaling(turned.width, turned.height, target.width(), target.height()));
    if (turns == 0) {
        painter.drawImage(target, frame);
    } else {
        // The frame's top-left corner goes where a clockwise turn puts it;
        // the painter turns about it and draws the frame upright there.
        painter.save();
        if (turns == 1)
            painter.translate(target.left() + target.width(), target.top());
        else if (turns == 2)
            painter.translate(target.left() + target.width(), target.top() + target.height());
        else
            painter.translate(target.left(), target.top() + target.height());
        painter.rotate(90.0 * turns);
        const bool odd = turns % 2 == 1;
        painter.drawImage(QRect(0, 0, odd ? target.height() : target.width(),
                                odd ? target.width() : target.height()),
                          frame);
        painter.restore();
    }
    if (!shown.frozen_mark.isEmpty())
        DrawViewMark(painter, target, shown.frozen_mark);
}

QImage TurnedImage(const QImage& frame, int quarter_turns) {
    if (frame.isNull())
        return QImage();
    const QImage source = frame.format() == QImage::Format_RGB32
                              ? frame
                              : frame.convertToFormat(QImage::Format_RGB32);
    const PictureSize turned = RotateSize(source.width(), source.height(), quarter_turns);
    QImage out(turned.width, turned.height, QImage::Format_RGB32);
    if (out.isNull() || out.bytesPerLine() != turned.width * 4 ||
        !RotateFrame(source.constBits(), source.width(), source.height(),
                     static_cast<int>(source.bytesPerLine()), quarter_turns, out.bits(),
                     static_cast<size_t>(out.sizeInBytes())))
        return QImage();
    return out;
}

} // namespace view
