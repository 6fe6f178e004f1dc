// Glyphs of the command panel (camera, record, sliders, pen, gear), of the
// settings dialog (folder, disk, cross) and its video picture.
#include "Glyphs.h"

#include <QPainterPath>
#include <QRadialGradient>

#include <utility>

namespace skin {
namespace {

QLinearGradient Vertical(double top, double bottom, const QColor& from, const QColor& to) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

} // namespace

void DrawCamera(QPainter& painter, const Ink& ink) {
    // Viewfinder hump and shutter release behind the body's top edge.
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(ink.line);
    painter.drawRoundedRect(QRectF(7.5, 4.3, 8.0, 4.0), 1.0, 1.0);
    painter.setBrush(colour::kRed);
    painter.drawRoundedRect(QRectF(16.8, 5.2, 3.4, 2.6), 0.6, 0.6);

    painter.setPen(Stroke(ink.line, 1.4));
    painter.setBrush(Vertical(7.5, 20.5, ink.face, ink.face.darker(118)));
    painter.drawRoundedRect(QRectF(2.0, 7.5, 20.0, 13.0), 2.6, 2.6);
    painter.setBrush(colour::kAmber);
    painter.setPen(Stroke(ink.line, 0.8));
    painter.drawRect(QRectF(4.0, 9.4, 3.0, 1.8)); // flash

    // Lens: dark ring, blue glass, a glint.
    const QPointF centre(12.0, 14.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.line);
    painter.drawEllipse(centre, 5.4, 5.4);
    QRadialGradient glass(centre - QPointF(1.2, 1.2), 4.2);
    glass.setColorAt(0, colour::kBlue.lighter(150));
    glass.setColorAt(1, colour::kBlueDark);
    painter.setBrush(glass);
    painter.drawEllipse(centre, 3.7, 3.7);
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawEllipse(centre - QPointF(1.4, 1.4), 1.1, 1.1);
}

void DrawRecord(QPainter& painter, const Ink& ink) {
    const QPointF centre(12.0, 12.0);
    if (ink.second) {
        // Recording: a stop square in a ring, on the red plate.
        painter.setPen(Stroke(ink.line, 1.6));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, 9.6, 9.6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink.line);
        painter.drawRoundedRect(QRectF(7.3, 7.3, 9.4, 9.4), 1.6, 1.6);
        return;
    }
    painter.setPen(Stroke(ink.line, 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, 9.8, 9.8);
    QRadialGradient dot(centre - QPointF(2.5, 2.5), 9.0);
    dot.setColorAt(0, colour::kRed.lighter(145));
    dot.setColorAt(0.6, colour::kRed);
    dot.setColorAt(1, colour::kRedDark);
    painter.setPen(Stroke(colour::kRedDark.darker(130), 1.0));
    painter.setBrush(dot);
    painter.drawEllipse(centre, 7.4, 7.4);
}

void DrawSliders(QPainter& painter, const Ink& ink) {
    const double x[3] = {5.5, 12.0, 18.5};
    const double knob[3] = {15.0, 7.0, 12.0};
    for (int i = 0; i < 3; ++i) {
        painter.setPen(Stroke(ink.line, 1.7));
        painter.drawLine(QPointF(x[i], 2.5), QPointF(x[i], 21.5));
        painter.setPen(Stroke(ink.line, 1.2));
        painter.setBrush(ink.accent);
        painter.drawRoundedRect(QRectF(x[i] - 3.2, knob[i] - 2.1, 6.4, 4.2), 1.2, 1.2);
    }
}

void DrawPen(QPainter& painter, const Ink& ink) {
    // The line it has just drawn, from its tip to the right.
    QPainterPath trace;
    trace.moveTo(4.8, 20.2);
    trace.cubicTo(8.5, 23.5, 11.0, 16.5, 14.5, 19.5);
    trace.cubicTo(16.5, 21.2, 18.5, 21.0, 21.0, 18.5);
    painter.setPen(Stroke(ink.accent, 1.7));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(trace);

    // The pencil, tip down to the left.
    painter.save();
    painter.translate(12.5, 11.0);
    painter.rotate(135);
    painter.translate(-12.0, -12.0);
    painter.setPen(Stroke(ink.line, 1.1));
    painter.setBrush(colour::kPink);
    painter.drawRoundedRect(QRectF(2.0, 9.5, 3.2, 5.0), 1.0, 1.0);
    painter.setBrush(QColor(0xBF, 0xC9, 0xCA));
    painter.drawRect(QRectF(5.2, 9.5, 2.0, 5.0));
    painter.setBrush(Vertical(9.5, 14.5, colour::kAmber.lighter(115), colour::kAmberDark));
    painter.drawRect(QRectF(7.2, 9.5, 9.3, 5.0));
    painter.setBrush(QColor(0xF6, 0xDD, 0xB4));
    painter.drawPolygon(QPolygonF({{16.5, 9.5}, {21.5, 12.0}, {16.5, 14.5}}));
    painter.setBrush(ink.line);
    painter.drawPolygon(QPolygonF({{19.7, 11.1}, {21.5, 12.0}, {19.7, 12.9}}));
    painter.restore();
}

void DrawGear(QPainter& painter, const Ink& ink) {
    const QPointF centre(12.0, 12.0);
    QPainterPath wheel;
    wheel.addEllipse(centre, 7.4, 7.4);
    for (int i = 0; i < 8; ++i) {
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(i * 45.0);
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-1.9, -10.6, 3.8, 5.0), 0.8, 0.8);
        wheel = wheel.united(turn.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 3.1, 3.1);
    wheel = wheel.subtracted(hole);
    QRadialGradient metal(centre - QPointF(3, 3), 13);
    metal.setColorAt(0, ink.second ? ink.face : colour::kSteel.lighter(160));
    metal.setColorAt(1, ink.second ? ink.face.darker(125) : colour::kSteel);
    painter.setPen(Stroke(ink.line, 1.1));
    painter.setBrush(metal);
    painter.drawPath(wheel);
}

void DrawBrowse(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.1));
    painter.setBrush(colour::kAmberDark);
    painter.drawPolygon(
        QPolygonF({{2.0, 5.0}, {8.8, 5.0}, {10.8, 7.2}, {21.0, 7.2}, {21.0, 19.5}, {2.0, 19.5}}));
    painter.setBrush(ink.face);
    painter.setPen(Stroke(ink.line, 0.8));
    painter.drawRect(QRectF(4.5, 8.6, 14.5, 6.0)); // a sheet inside
    painter.setPen(Stroke(ink.line, 1.1));
    painter.setBrush(Vertical(11.0, 19.5, colour::kAmber.lighter(112), colour::kAmber));
    painter.drawPolygon(QPolygonF({{5.6, 11.0}, {23.0, 11.0}, {20.2, 19.5}, {2.0, 19.5}}));
}

void DrawSave(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(Vertical(3.0, 21.0, colour::kBlue.lighter(120), colour::kBlueDark));
    painter.drawPolygon(
        QPolygonF({{3.0, 3.0}, {18.0, 3.0}, {21.0, 6.0}, {21.0, 21.0}, {3.0, 21.0}}));
    painter.setPen(Stroke(ink.line, 0.9));
    painter.setBrush(QColor(0xD5, 0xDB, 0xDB));
    painter.drawRect(QRectF(7.0, 3.0, 9.5, 6.3)); // shutter
    painter.setBrush(ink.line);
    painter.drawRect(QRectF(12.6, 4.2, 2.2, 3.9));
    painter.setBrush(ink.face);
    painter.drawRect(QRectF(5.8, 12.4, 12.4, 8.6)); // label
    painter.setPen(Stroke(QColor(0xAA, 0xB7, 0xB8), 1.0));
    painter.drawLine(QPointF(8.0, 15.3), QPointF(16.0, 15.3));
    painter.drawLine(QPointF(8.0, 18.1), QPointF(16.0, 18.1));
}

void DrawCancel(QPainter& painter, const Ink& ink) {
    // A dark cross under a lighter one, so the cross has an edge.
    const std::pair<QColor, double> passes[] = {{colour::kRedDark, 4.8}, {colour::kRed, 3.0}};
    for (const auto& [pen_colour, width] : passes) {
        painter.setPen(Stroke(pen_colour, width));
        painter.drawLine(QPointF(6.0, 6.0), QPointF(18.0, 18.0));
        painter.drawLine(QPointF(18.0, 6.0), QPointF(6.0, 18.0));
    }
    (void)ink;
}

void DrawVideo(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(ink.face);
    for (double x : {6.0, 12.6}) {
        painter.drawEllipse(QPointF(x, 6.0), 3.3, 3.3);
        painter.drawEllipse(QPointF(x, 6.0), 0.8, 0.8);
    }
    painter.setPen(Stroke(ink.line, 1.3));
    painter.setBrush(Vertical(9.5, 19.5, ink.face, ink.face.darker(118)));
    painter.drawRoundedRect(QRectF(2.0, 9.5, 14.0, 10.0), 1.8, 1.8);
    painter.setBrush(colour::kSteel);
    painter.drawPolygon(QPolygonF({{16.0, 12.5}, {22.0, 9.5}, {22.0, 19.5}, {16.0, 16.5}}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kRed);
    painter.drawEllipse(QPointF(5.2, 12.6), 1.4, 1.4);
}

} // namespace skin
