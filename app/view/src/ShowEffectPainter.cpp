#include "view/ShowEffectPainter.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRect>

#include <algorithm>

namespace view {

namespace {

const QColor kCurtainShade(58, 58, 58);
const QColor kCurtainRim(150, 150, 150);
constexpr int kRimWidth = 3;
constexpr int kGripLength = 48;
constexpr int kGripThickness = 8;

QRect ToQRect(const RECT& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

void PaintSpotlight(QPainter& painter, const SpotlightShape& spot, const RECT& area) {
    const BoxF box = SpotBox(spot, area);
    QPainterPath shade; // the area less the ellipse (odd-even fill)
    shade.addRect(ToQRect(area));
    shade.addEllipse(QRectF(box.left, box.top, box.width, box.height));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shade, QColor(0, 0, 0, kSpotlightShadeAlpha));
}

// The shade, and a light rim with a grip along its edge so the teacher sees
// what to take; the rim stays in the area when all is revealed.
void PaintCurtain(QPainter& painter, const CurtainShape& curtain, const RECT& area) {
    const RECT shade = CurtainShade(curtain, area);
    if (shade.right > shade.left && shade.bottom > shade.top)
        painter.fillRect(ToQRect(shade), kCurtainShade);
    const QRect inside = ToQRect(area);
    QRect rim;
    QRect grip;
    switch (curtain.side) {
    case CurtainSide::kTop:
        rim = QRect(inside.left(), std::min<int>(shade.top, area.bottom - kRimWidth),
                    inside.width(), kRimWidth);
        break;
    case CurtainSide::kBottom:
        rim = QRect(inside.left(), std::max<int>(shade.bottom - kRimWidth, area.top),
                    inside.width(), kRimWidth);
        break;
    case CurtainSide::kLeft:
        rim = QRect(std::min<int>(shade.left, area.right - kRimWidth), inside.top(), kRimWidth,
                    inside.height());
        break;
    case CurtainSide::kRight:
        rim = QRect(std::max<int>(shade.right - kRimWidth, area.left), inside.top(), kRimWidth,
                    inside.height());
        break;
    }
    grip = rim.width() > rim.height() ? QRect(0, 0, kGripLength, kGripThickness)
                                      : QRect(0, 0, kGripThickness, kGripLength);
    grip.moveCenter(rim.center());
    painter.fillRect(rim, kCurtainRim);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kCurtainRim);
    painter.drawRoundedRect(grip.intersected(inside), 3, 3);
}

} // namespace

void PaintShowEffect(QPainter& painter, const ShowEffectState& state, const RECT& area) {
    if (state.kind == ShowEffectKind::kNone || area.right <= area.left || area.bottom <= area.top)
        return;
    painter.save();
    if (state.kind == ShowEffectKind::kSpotlight)
        PaintSpotlight(painter, state.spot, area);
    else
        PaintCurtain(painter, state.curtain, area);
    painter.restore();
}

} // namespace view
