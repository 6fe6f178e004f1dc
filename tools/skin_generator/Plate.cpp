#include "Plate.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace skin {
namespace {

struct PlateLook {
    QColor top, bottom; // fill gradient
    QColor rim;
    double rim_width; // in pixels at 32 px, scaled with the button
    bool inset;       // pressed: darker, shadowed, glyph moved
};

PlateLook LookFor(State state, bool second, const QColor& second_plate) {
    const QColor hue = second_plate.isValid() ? second_plate : colour::kBlue;
    const QColor hover_rim(0x2F, 0x80, 0xD0);
    if (second) {
        if (state == State::MouseOver)
            return {hue.lighter(150), hue.lighter(105), hover_rim.darker(130), 1.6, false};
        return {hue.lighter(125), hue.darker(112), hue.darker(160), 1.0, false};
    }
    switch (state) {
    case State::MouseOver:
        return {QColor(0xFF, 0xFF, 0xFF), QColor(0xDF, 0xEE, 0xFC), hover_rim, 1.6, false};
    case State::ClickDown:
        return {QColor(0xB4, 0xC2, 0xD0), QColor(0xDA, 0xE2, 0xEA), QColor(0x50, 0x63, 0x78), 1.0,
                true};
    case State::Normal:
    case State::Gray:
        break;
    }
    return {QColor(0xFF, 0xFF, 0xFF), QColor(0xD3, 0xDC, 0xE6), QColor(0x83, 0x93, 0xA5), 1.0,
            false};
}

Ink InkFor(bool second) {
    if (second)
        return {colour::kWhite, QColor(0xEA, 0xF4, 0xFD), QColor(0xFF, 0xD2, 0x5A), true};
    return {colour::kSlate, colour::kWhite, colour::kBlue, false};
}

// Maps the 24-unit design square onto area.
void Design(QPainter& painter, const QRectF& area) {
    painter.translate(area.topLeft());
    painter.scale(area.width() / 24.0, area.height() / 24.0);
}

QImage Layer(const QSize& size) {
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    return layer;
}

QImage Compose(const QImage& backdrop, const QImage& layer) {
    QImage out = backdrop.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&out);
    painter.drawImage(0, 0, layer);
    return out;
}

} // namespace

QImage DrawButtonFace(const Glyph& glyph, const QImage& backdrop, State state, bool second) {
    const QSize size = backdrop.size();
    const double scale = std::min(size.width(), size.height()) / 32.0;
    const PlateLook look = LookFor(state, second, glyph.second_plate);
    QImage layer = Layer(size);
    {
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        const double rim = look.rim_width * std::max(1.0, scale * 0.75);
        const QRectF outer = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5);
        const QRectF plate = outer.adjusted(rim / 2, rim / 2, -rim / 2, -rim / 2);
        const double radius = 5.0 * scale;
        QPainterPath shape;
        shape.addRoundedRect(plate, radius, radius);

        QLinearGradient fill(0, plate.top(), 0, plate.bottom());
        fill.setColorAt(0, look.top);
        fill.setColorAt(1, look.bottom);
        painter.fillPath(shape, fill);

        painter.save();
        painter.setClipPath(shape);
        if (look.inset) {
            // A shadow along the top and left inner edges.
            painter.setPen(QPen(QColor(0, 0, 0, 70), 2.5 * scale));
            painter.drawLine(plate.topLeft(), plate.topRight());
            painter.drawLine(plate.topLeft(), plate.bottomLeft());
        } else {
            // A light rim along the upper inner edge.
            painter.setPen(QPen(QColor(255, 255, 255, 150), 1.2 * scale));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(plate.adjusted(scale, scale, -scale, -scale), radius, radius);
        }
        painter.restore();
        painter.setPen(QPen(look.rim, rim));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);

        const double margin = std::round(size.width() * 0.18);
        const double shift = look.inset ? std::max(1.0, std::round(scale)) : 0.0;
        painter.save();
        Design(painter, QRectF(margin + shift, margin + shift, size.width() - 2 * margin,
                               size.height() - 2 * margin));
        glyph.draw(painter, InkFor(second));
        painter.restore();
    }
    if (state == State::Gray)
        Desaturate(&layer);
    return Compose(backdrop, layer);
}

QImage DrawPicture(const Glyph& glyph, const QImage& backdrop) {
    const QSize size = backdrop.size();
    QImage layer = Layer(size);
    {
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        const double margin = std::round(size.width() * 0.06);
        Design(painter,
               QRectF(margin, margin, size.width() - 2 * margin, size.height() - 2 * margin));
        glyph.draw(painter, InkFor(false));
    }
    return Compose(backdrop, layer);
}

void Desaturate(QImage* image) {
    // Grey = 112 + 0.5 x luminance: dark ink becomes mid grey, white stays
    // light, so the face reads as unavailable but keeps its shape.
    for (int y = 0; y < image->height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image->scanLine(y));
        for (int x = 0; x < image->width(); ++x) {
            const QRgb p = row[x];
            const int a = qAlpha(p);
            if (a == 0)
                continue;
            // Premultiplied in, premultiplied out.
            const double lum = (0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p)) / a;
            const int grey = static_cast<int>(std::lround((112.0 + 0.5 * lum * 255.0) * a / 255.0));
            row[x] = qRgba(grey, grey, grey, a);
        }
    }
}

} // namespace skin
