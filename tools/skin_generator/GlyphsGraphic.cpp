// Glyphs of the annotation tool panel: select, the shapes and teaching
// tools, defaults, property, delete and clear.
#include "Glyphs.h"

#include <QPainterPath>

namespace skin {

void DrawSelect(QPainter& painter, const Ink& ink) {
    painter.setPen(QPen(ink.line, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    painter.setBrush(ink.face);
    painter.drawPolygon(QPolygonF({{6.5, 2.5},
                                   {6.5, 19.5},
                                   {10.5, 15.6},
                                   {13.3, 21.5},
                                   {16.0, 20.3},
                                   {13.3, 14.6},
                                   {18.8, 14.6}}));
}

void DrawLine(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 2.2));
    painter.drawLine(QPointF(5.0, 19.0), QPointF(19.0, 5.0));
    painter.setPen(Stroke(ink.line, 0.9));
    painter.setBrush(ink.accent);
    for (const QPointF end : {QPointF(5.0, 19.0), QPointF(19.0, 5.0)})
        painter.drawRect(QRectF(end - QPointF(1.9, 1.9), QSizeF(3.8, 3.8)));
}

void DrawRectangle(QPainter& painter, const Ink& ink) {
    painter.setPen(QPen(ink.line, 2.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(3.5, 5.5, 17.0, 13.0));
}

void DrawEllipse(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(2.5, 5.0, 19.0, 14.0));
}

void DrawCurve(QPainter& painter, const Ink& ink) {
    QPainterPath curve;
    curve.moveTo(2.8, 16.5);
    curve.cubicTo(5.5, 3.5, 10.5, 5.5, 12.0, 12.0);
    curve.cubicTo(13.5, 18.5, 18.5, 20.5, 21.2, 7.5);
    painter.setPen(Stroke(ink.line, 2.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(curve);
}

void DrawDefaults(QPainter& painter, const Ink& ink) {
    // The default pens: a colour and a width per row.
    const QColor swatch[3] = {colour::kRed, colour::kGreen, colour::kBlue};
    const double width[3] = {1.0, 2.0, 3.4};
    for (int i = 0; i < 3; ++i) {
        const double y = 5.5 + 6.5 * i;
        painter.setPen(Stroke(ink.line, 0.9));
        painter.setBrush(swatch[i]);
        painter.drawRoundedRect(QRectF(2.2, y - 2.0, 4.0, 4.0), 0.8, 0.8);
        painter.setPen(Stroke(ink.line, width[i]));
        painter.drawLine(QPointF(9.5, y), QPointF(21.2, y));
    }
}

void DrawProperty(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(ink.face);
    painter.drawPolygon(
        QPolygonF({{4.5, 2.5}, {15.5, 2.5}, {19.5, 6.5}, {19.5, 21.5}, {4.5, 21.5}}));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({{15.5, 2.5}, {15.5, 6.5}, {19.5, 6.5}}));
    painter.setPen(Stroke(ink.line, 0.8));
    painter.setBrush(ink.accent);
    painter.drawRect(QRectF(7.0, 8.8, 3.6, 3.6));
    painter.setPen(Stroke(colour::kSteel, 1.3));
    painter.drawLine(QPointF(12.6, 10.6), QPointF(17.0, 10.6));
    painter.drawLine(QPointF(7.0, 15.0), QPointF(17.0, 15.0));
    painter.drawLine(QPointF(7.0, 18.4), QPointF(14.0, 18.4));
}

void DrawDelete(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({{9.4, 6.0}, {10.0, 3.4}, {14.0, 3.4}, {14.6, 6.0}}));
    painter.setBrush(ink.face);
    painter.drawPolygon(QPolygonF({{6.0, 7.6}, {18.0, 7.6}, {16.8, 21.2}, {7.2, 21.2}}));
    painter.setPen(Stroke(ink.line, 1.9));
    painter.drawLine(QPointF(4.2, 6.4), QPointF(19.8, 6.4));
    painter.setPen(Stroke(colour::kRed, 1.3));
    painter.drawLine(QPointF(9.6, 10.2), QPointF(10.0, 18.6));
    painter.drawLine(QPointF(12.0, 10.2), QPointF(12.0, 18.6));
    painter.drawLine(QPointF(14.4, 10.2), QPointF(14.0, 18.6));
}

void DrawClear(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(colour::kSteel, 1.2));
    painter.drawLine(QPointF(2.5, 21.0), QPointF(21.5, 21.0));
    painter.drawLine(QPointF(3.0, 17.8), QPointF(5.2, 17.8));
    painter.drawLine(QPointF(2.0, 15.2), QPointF(3.6, 15.2));

    painter.save();
    painter.translate(13.0, 12.5);
    painter.rotate(-35);
    const QRectF body(-8.0, -3.6, 16.0, 7.2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kPink);
    painter.drawRoundedRect(QRectF(body.left(), body.top(), 7.5, body.height()), 1.4, 1.4);
    painter.setBrush(ink.face);
    painter.drawRect(QRectF(body.left() + 6.0, body.top(), body.width() - 6.0, body.height()));
    painter.setBrush(colour::kBlue);
    painter.drawRect(QRectF(body.left() + 10.5, body.top(), 2.2, body.height()));
    painter.setPen(Stroke(ink.line, 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, 1.4, 1.4);
    painter.restore();
}

// A serif capital T with a caret beside it, drawn as paths so that no
// font is needed.
void DrawText(QPainter& painter, const Ink& ink) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.line);
    painter.drawRect(QRectF(3.5, 3.5, 13.0, 2.6));
    painter.drawRect(QRectF(8.7, 3.5, 2.6, 16.0));
    painter.drawRect(QRectF(6.8, 18.0, 6.4, 1.8));
    painter.drawRect(QRectF(3.5, 3.5, 1.8, 4.6));
    painter.drawRect(QRectF(14.7, 3.5, 1.8, 4.6));
    painter.setPen(Stroke(ink.accent, 1.4));
    painter.drawLine(QPointF(19.5, 10.0), QPointF(19.5, 20.5));
}

void DrawArrow(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 2.2));
    painter.drawLine(QPointF(4.0, 20.0), QPointF(15.0, 9.0));
    painter.setPen(Stroke(ink.line, 1.0));
    painter.setBrush(ink.line);
    painter.drawPolygon(QPolygonF({{20.5, 3.5}, {17.8, 13.6}, {10.4, 6.2}}));
}

void DrawHighlighter(QPainter& painter, const Ink& ink) {
    // A yellow band under a line of print, and the marker's tip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xFF, 0xE6, 0x30));
    painter.drawRect(QRectF(2.0, 14.0, 20.0, 6.5));
    painter.setPen(Stroke(ink.line, 1.1));
    for (double x : {3.5, 8.0, 12.5, 17.0})
        painter.drawLine(QPointF(x, 17.2), QPointF(x + 3.0, 17.2));
    painter.save();
    painter.translate(15.0, 8.0);
    painter.rotate(-40);
    painter.setBrush(ink.face);
    painter.setPen(Stroke(ink.line, 1.2));
    painter.drawRoundedRect(QRectF(-2.5, -7.5, 5.0, 11.0), 1.0, 1.0);
    painter.setBrush(QColor(0xFF, 0xE6, 0x30));
    painter.drawPolygon(QPolygonF({{-2.5, 3.5}, {2.5, 3.5}, {1.2, 7.0}, {-1.2, 7.0}}));
    painter.restore();
}

void DrawEraser(QPainter& painter, const Ink& ink) {
    painter.save();
    painter.translate(12.0, 12.5);
    painter.rotate(-40);
    const QRectF body(-8.5, -4.2, 17.0, 8.4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kPink);
    painter.drawRoundedRect(body, 1.6, 1.6);
    painter.setBrush(ink.face);
    painter.drawRect(QRectF(body.left(), body.top(), 6.5, body.height()));
    painter.setPen(Stroke(ink.line, 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, 1.6, 1.6);
    painter.restore();
}

} // namespace skin
