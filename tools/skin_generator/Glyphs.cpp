#include "Glyphs.h"

#include "Lookup.h"

#include <QPainterPath>

namespace skin {
namespace {

const Glyph kGlyphs[] = {
    {"camera", DrawCamera, {}},
    {"record", DrawRecord, QColor(0xE7, 0x4C, 0x3C)},
    {"sliders", DrawSliders, {}},
    {"pen", DrawPen, {}},
    {"gear", DrawGear, {}},
    {"browse", DrawBrowse, {}},
    {"save", DrawSave, {}},
    {"cancel", DrawCancel, {}},
    {"video", DrawVideo, {}},
    {"zoom_in", DrawZoomIn, {}},
    {"zoom_out", DrawZoomOut, {}},
    {"focus_far", DrawFocusFar, {}},
    {"focus_near", DrawFocusNear, {}},
    {"bright_more", DrawBrightMore, {}},
    {"bright_less", DrawBrightLess, {}},
    {"sharp_more", DrawSharpMore, {}},
    {"sharp_less", DrawSharpLess, {}},
    {"red_more", DrawRedMore, {}},
    {"red_less", DrawRedLess, {}},
    {"blue_more", DrawBlueMore, {}},
    {"blue_less", DrawBlueLess, {}},
    {"auto", DrawAuto, {}},
    {"mirror", DrawMirror, {}},
    {"mono_color", DrawMonoColor, {}},
    {"negative", DrawNegative, {}},
    {"select", DrawSelect, {}},
    {"line", DrawLine, {}},
    {"rectangle", DrawRectangle, {}},
    {"ellipse", DrawEllipse, {}},
    {"curve", DrawCurve, {}},
    {"defaults", DrawDefaults, {}},
    {"property", DrawProperty, {}},
    {"delete", DrawDelete, {}},
    {"clear", DrawClear, {}},
    {"text", DrawText, {}},
    {"arrow", DrawArrow, {}},
    {"highlighter", DrawHighlighter, {}},
    {"eraser", DrawEraser, {}},
};

} // namespace

const Glyph* FindGlyph(const std::string& art) {
    return FindByName(kGlyphs, &Glyph::art, art);
}

QPen Stroke(const QColor& colour, double width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Badge(QPainter& painter, const Ink& ink, bool plus) {
    const QPointF centre(18.6, 18.6);
    painter.setPen(Stroke(ink.face, 1.2));
    painter.setBrush(ink.line);
    painter.drawEllipse(centre, 5.0, 5.0);
    painter.setPen(Stroke(ink.face, 1.9));
    painter.drawLine(centre - QPointF(2.6, 0), centre + QPointF(2.6, 0));
    if (plus)
        painter.drawLine(centre - QPointF(0, 2.6), centre + QPointF(0, 2.6));
}

void Drop(QPainter& painter, const Ink& ink, const QColor& colour) {
    QPainterPath drop;
    drop.moveTo(10.5, 1.5);
    drop.cubicTo(13.0, 6.0, 17.5, 9.5, 17.5, 14.0);
    drop.cubicTo(17.5, 18.2, 14.4, 21.2, 10.5, 21.2);
    drop.cubicTo(6.6, 21.2, 3.5, 18.2, 3.5, 14.0);
    drop.cubicTo(3.5, 9.5, 8.0, 6.0, 10.5, 1.5);
    QLinearGradient fill(4, 4, 16, 20);
    fill.setColorAt(0, colour.lighter(135));
    fill.setColorAt(1, colour.darker(115));
    painter.setPen(Stroke(colour.darker(160), 1.3));
    painter.setBrush(fill);
    painter.drawPath(drop);
    // A highlight, so the drop reads as liquid.
    painter.setPen(Stroke(QColor(255, 255, 255, 200), 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(6.0, 10.5, 7.0, 7.0), 160 * 16, 70 * 16);
    (void)ink;
}

void FocusCorners(QPainter& painter, const Ink& ink) {
    painter.setPen(Stroke(ink.line, 1.5));
    painter.setBrush(Qt::NoBrush);
    const double a = 1.0, b = 23.0, l = 4.5;
    painter.drawPolyline(QPolygonF({{a, a + l}, {a, a}, {a + l, a}}));
    painter.drawPolyline(QPolygonF({{b - l, a}, {b, a}, {b, a + l}}));
    painter.drawPolyline(QPolygonF({{a, b - l}, {a, b}, {a + l, b}}));
    painter.drawPolyline(QPolygonF({{b - l, b}, {b, b}, {b, b - l}}));
}

} // namespace skin
