// Glyphs of the camera control tool bar: zoom, focus, brightness, sharpness,
// red and blue balance, auto, mirror, mono/colour and negative.
#include "Glyphs.h"

#include <QConicalGradient>
#include <QPainterPath>
#include <QtMath>

namespace skin {
namespace {

void Magnifier(QPainter& painter, const Ink& ink, bool plus) {
    const QPointF centre(10.0, 10.0);
    painter.setPen(Stroke(ink.line, 3.6));
    painter.drawLine(QPointF(15.0, 15.0), QPointF(21.0, 21.0));
    painter.setPen(Stroke(ink.line, 2.0));
    painter.setBrush(colour::kBlueLight);
    painter.drawEllipse(centre, 6.8, 6.8);
    painter.setPen(Stroke(ink.accent, 2.0));
    painter.drawLine(centre - QPointF(3.3, 0), centre + QPointF(3.3, 0));
    if (plus)
        painter.drawLine(centre - QPointF(0, 3.3), centre + QPointF(0, 3.3));
}

void Sun(QPainter& painter, const Ink& ink, bool bright) {
    const QPointF centre(10.5, 10.5);
    const double inner = 6.4, outer = bright ? 9.8 : 7.9;
    painter.setPen(Stroke(bright ? colour::kSunRay : colour::kSunRay.lighter(135), 1.8));
    for (int i = 0; i < 8; ++i) {
        const double a = qDegreesToRadians(i * 45.0);
        const QPointF d(qCos(a), qSin(a));
        painter.drawLine(centre + d * inner, centre + d * outer);
    }
    painter.setPen(Stroke(colour::kSunRay.darker(115), 1.1));
    painter.setBrush(bright ? colour::kSun : colour::kSun.lighter(150));
    painter.drawEllipse(centre, 4.4, 4.4);
    Badge(painter, ink, bright);
}

void Sharpness(QPainter& painter, const Ink& ink, bool sharp) {
    const QPolygonF triangle({{2.5, 19.0}, {10.5, 3.0}, {18.5, 19.0}});
    if (sharp) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink.face);
        painter.drawPolygon(triangle);
        painter.save();
        painter.setClipRect(QRectF(0, 0, 10.5, 24));
        painter.setBrush(ink.line);
        painter.drawPolygon(triangle);
        painter.restore();
        painter.setPen(QPen(ink.line, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(triangle);
    } else {
        // The same shape out of focus: faint copies around it.
        painter.setPen(Qt::NoPen);
        QColor haze = ink.line;
        haze.setAlpha(46);
        painter.setBrush(haze);
        for (int i = 0; i < 8; ++i) {
            const double a = qDegreesToRadians(i * 45.0);
            painter.drawPolygon(triangle.translated(1.5 * qCos(a), 1.5 * qSin(a)));
        }
        haze.setAlpha(90);
        painter.setBrush(haze);
        painter.drawPolygon(triangle);
    }
    Badge(painter, ink, sharp);
}

// A drop of the colour, paler for less, with its mark.
void ColourBalance(QPainter& painter, const Ink& ink, const QColor& hue, bool more) {
    Drop(painter, ink, more ? hue : hue.lighter(138));
    Badge(painter, ink, more);
}

} // namespace

void DrawZoomIn(QPainter& painter, const Ink& ink) {
    Magnifier(painter, ink, true);
}

void DrawZoomOut(QPainter& painter, const Ink& ink) {
    Magnifier(painter, ink, false);
}

void DrawFocusFar(QPainter& painter, const Ink& ink) {
    FocusCorners(painter, ink);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kSun);
    painter.drawEllipse(QPointF(16.8, 7.0), 1.9, 1.9);
    QLinearGradient rock(0, 8, 0, 18);
    rock.setColorAt(0, colour::kBlue.lighter(130));
    rock.setColorAt(1, colour::kSteel);
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(rock);
    painter.drawPolygon(
        QPolygonF({{3.5, 18.0}, {9.2, 8.5}, {12.6, 13.6}, {15.2, 10.6}, {20.5, 18.0}}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kWhite);
    painter.drawPolygon(
        QPolygonF({{9.2, 9.6}, {10.9, 12.2}, {9.9, 11.6}, {9.2, 12.5}, {8.4, 11.6}, {7.6, 12.2}}));
}

void DrawFocusNear(QPainter& painter, const Ink& ink) {
    FocusCorners(painter, ink);
    painter.setPen(Stroke(colour::kGreen.darker(120), 1.5));
    painter.drawLine(QPointF(12.0, 19.5), QPointF(12.0, 11.0));
    QPainterPath leaf;
    leaf.moveTo(12.0, 17.4);
    leaf.quadTo(15.0, 13.0, 18.2, 14.4);
    leaf.quadTo(16.2, 18.2, 12.0, 17.4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::kGreen);
    painter.drawPath(leaf);
    const QPointF centre(12.0, 8.6);
    painter.setPen(Stroke(colour::kPink.darker(135), 0.8));
    painter.setBrush(colour::kPink);
    for (int i = 0; i < 5; ++i) {
        const double a = qDegreesToRadians(-90.0 + i * 72.0);
        painter.drawEllipse(centre + QPointF(qCos(a), qSin(a)) * 2.7, 2.3, 2.3);
    }
    painter.setBrush(colour::kSun);
    painter.drawEllipse(centre, 1.8, 1.8);
}

void DrawBrightMore(QPainter& painter, const Ink& ink) {
    Sun(painter, ink, true);
}

void DrawBrightLess(QPainter& painter, const Ink& ink) {
    Sun(painter, ink, false);
}

void DrawSharpMore(QPainter& painter, const Ink& ink) {
    Sharpness(painter, ink, true);
}

void DrawSharpLess(QPainter& painter, const Ink& ink) {
    Sharpness(painter, ink, false);
}

void DrawRedMore(QPainter& painter, const Ink& ink) {
    ColourBalance(painter, ink, colour::kRed, true);
}

void DrawRedLess(QPainter& painter, const Ink& ink) {
    ColourBalance(painter, ink, colour::kRed, false);
}

void DrawBlueMore(QPainter& painter, const Ink& ink) {
    ColourBalance(painter, ink, colour::kBlue, true);
}

void DrawBlueLess(QPainter& painter, const Ink& ink) {
    ColourBalance(painter, ink, colour::kBlue, false);
}

void DrawAuto(QPainter& painter, const Ink& ink) {
    // A circling arrow around the letter A.
    const QRectF ring(2.2, 2.2, 19.6, 19.6);
    const double start = 65.0, sweep = 285.0;
    QPainterPath arc;
    arc.arcMoveTo(ring, start);
    arc.arcTo(ring, start, sweep);
    painter.setPen(Stroke(ink.accent, 1.7));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arc);
    const double end = qDegreesToRadians(start + sweep);
    const QPointF tip = ring.center() + QPointF(qCos(end), -qSin(end)) * (ring.width() / 2);
    const QPointF along(-qSin(end), -qCos(end)); // direction of travel
    const QPointF across(along.y(), -along.x());
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.accent);
    painter.drawPolygon(QPolygonF({tip + along * 3.2, tip + across * 2.4, tip - across * 2.4}));

    painter.setPen(Stroke(ink.line, 2.3));
    painter.drawPolyline(QPolygonF({{7.6, 17.0}, {12.0, 6.2}, {16.4, 17.0}}));
    painter.drawLine(QPointF(9.4, 13.2), QPointF(14.6, 13.2));
}

void DrawMirror(QPainter& painter, const Ink& ink) {
    painter.setPen(QPen(ink.line, 1.3, Qt::DashLine, Qt::FlatCap));
    painter.drawLine(QPointF(12.0, 1.5), QPointF(12.0, 22.5));
    painter.setPen(Stroke(ink.line, 1.2));
    painter.setBrush(ink.accent);
    painter.drawPolygon(QPolygonF({{2.0, 19.0}, {9.8, 19.0}, {9.8, 5.0}}));
    painter.setPen(Stroke(ink.accent, 1.5));
    painter.setBrush(colour::kBlueLight);
    painter.drawPolygon(QPolygonF({{22.0, 19.0}, {14.2, 19.0}, {14.2, 5.0}}));
}

void DrawMonoColor(QPainter& painter, const Ink& ink) {
    const QPointF centre(12.0, 12.0);
    const QRectF disc(2.5, 2.5, 19.0, 19.0);
    QConicalGradient hues(centre, 90);
    hues.setColorAt(0.0, QColor(0xE7, 0x4C, 0x3C));
    hues.setColorAt(0.17, QColor(0xF5, 0xB7, 0x00));
    hues.setColorAt(0.34, QColor(0x27, 0xAE, 0x60));
    hues.setColorAt(0.5, QColor(0x2E, 0x86, 0xDE));
    painter.setPen(Qt::NoPen);
    painter.setBrush(hues);
    painter.drawPie(disc, 90 * 16, 180 * 16);
    QLinearGradient greys(0, 3, 0, 21);
    greys.setColorAt(0, QColor(0xF4, 0xF4, 0xF4));
    greys.setColorAt(1, QColor(0x3A, 0x3A, 0x3A));
    painter.setBrush(greys);
    painter.drawPie(disc, -90 * 16, 180 * 16);
    painter.setPen(Stroke(ink.line, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);
    painter.drawLine(QPointF(12.0, 2.5), QPointF(12.0, 21.5));
}

void DrawNegative(QPainter& painter, const Ink& ink) {
    const QRectF frame(3.0, 3.0, 18.0, 18.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.face);
    painter.drawRoundedRect(frame, 2.2, 2.2);
    // The upper left half dark, the lower right light, a dot of the other in each.
    QPainterPath card, half;
    card.addRoundedRect(frame, 2.2, 2.2);
    half.addPolygon(QPolygonF({{3.0, 3.0}, {21.0, 3.0}, {3.0, 21.0}}));
    painter.setBrush(ink.line);
    painter.drawPath(card.intersected(half));
    painter.setBrush(ink.face);
    painter.drawEllipse(QPointF(8.6, 8.6), 2.6, 2.6);
    painter.setBrush(ink.line);
    painter.drawEllipse(QPointF(15.4, 15.4), 2.6, 2.6);
    painter.setPen(Stroke(ink.line, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame, 2.2, 2.2);
}

} // namespace skin
