#include "annotation/OverlayRenderer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace annotation {

namespace {

constexpr int kMarkerHalf = 5;     // markers are 10 x 10 squares
constexpr int kCurveEndsWider = 5; // a selected curve's first and last segment
constexpr int kBandPenWidth = 3;
constexpr int kBoundsSlack = 8; // beyond half a pen: round caps, markers

QColor ToQColor(COLORREF c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QColor Inverse(COLORREF c) {
    return ToQColor(0xFFFFFFu - (c & 0xFFFFFFu));
}

QPen SolidPen(COLORREF color, int width) {
    return QPen(ToQColor(color), std::max(width, 1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The box that holds everything drawn, in image pixels (may lie outside the
// image; the scan clips it).
struct Bounds {
    int64_t left = INT64_MAX;
    int64_t top = INT64_MAX;
    int64_t right = INT64_MIN; // exclusive
    int64_t bottom = INT64_MIN;

    void Add(int64_t x, int64_t y, int64_t margin) {
        left = std::min(left, x - margin);
        top = std::min(top, y - margin);
        right = std::max(right, x + margin + 1);
        bottom = std::max(bottom, y + margin + 1);
    }
    static int Clip(int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
};

void Marker(QPainter& p, int x, int y, const QColor& color) {
    p.fillRect(QRect(x - kMarkerHalf, y - kMarkerHalf, 2 * kMarkerHalf, 2 * kMarkerHalf), color);
}

QRect Box(const Shape& s) {
    return QRect(s.MinX(), s.MinY(), s.MaxX() - s.MinX(), s.MaxY() - s.MinY());
}

void DrawBox(QPainter& p, const Shape& s) {
    p.setPen(SolidPen(s.pen_color, s.pen_width));
    p.setBrush(s.filled ? QBrush(ToQColor(s.fill_color)) : QBrush(Qt::NoBrush));
    if (s.kind == ShapeKind::kRectangle)
        p.drawRect(Box(s));
    else
        p.drawEllipse(Box(s));
    if (!s.selected)
        return;
    const QColor inverse = Inverse(s.pen_color);
    const int mid_x = s.x1 + (s.x2 - s.x1) / 2;
    const int mid_y = s.y1 + (s.y2 - s.y1) / 2;
    const int points[8][2] = {{s.x1, s.y1},  {s.x2, s.y2},  {s.x1, s.y2},  {s.x2, s.y1},
                              {mid_x, s.y1}, {s.x1, mid_y}, {mid_x, s.y2}, {s.x2, mid_y}};
    for (const auto& point : points)
        Marker(p, point[0], point[1], inverse);
}

void DrawCurve(QPainter& p, const Shape& s) {
    if (s.selected && !s.segments.empty()) {
        p.setPen(SolidPen(0xFFFFFFu - (s.pen_color & 0xFFFFFFu), s.pen_width + kCurveEndsWider));
        for (const CurveSegment* seg : {&s.segments.front(), &s.segments.back()})
            p.drawLine(seg->x1, seg->y1, seg->x2, seg->y2);
    }
    p.setPen(SolidPen(s.pen_color, s.pen_width));
    for (const CurveSegment& seg : s.segments)
        p.drawLine(seg.x1, seg.y1, seg.x2, seg.y2);
}

void DrawShape(QPainter& p, const Shape& s, Bounds* bounds) {
    const int64_t margin = std::max(s.pen_width, 1) + kCurveEndsWider + kBoundsSlack;
    bounds->Add(s.x1, s.y1, margin);
    bounds->Add(s.x2, s.y2, margin);
    switch (s.kind) {
    case ShapeKind::kLine:
        p.setPen(SolidPen(s.pen_color, s.pen_width));
        p.drawLine(s.x1, s.y1, s.x2, s.y2);
        if (s.selected) {
            Marker(p, s.x1, s.y1, Inverse(s.pen_color));
            Marker(p, s.x2, s.y2, Inverse(s.pen_color));
        }
        return;
    case ShapeKind::kRectangle:
    case ShapeKind::kCircle:
        DrawBox(p, s);
        return;
    case ShapeKind::kCurve:
        for (const CurveSegment& seg : s.segments) {
            bounds->Add(seg.x1, seg.y1, margin);
            bounds->Add(seg.x2, seg.y2, margin);
        }
        DrawCurve(p, s);
        return;
    }
}

void DrawBand(QPainter& p, const SelectionBand& b, Bounds* bounds) {
    p.setPen(QPen(QBrush(Qt::black), kBandPenWidth, Qt::DotLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(b.bx1, b.by1), QPoint(b.bx2, b.by2)).normalized());
    bounds->Add(b.bx1, b.by1, kBandPenWidth + kBoundsSlack);
    bounds->Add(b.bx2, b.by2, kBandPenWidth + kBoundsSlack);
}

} // namespace

bool RenderOverlay(AnnotationStore& store, uint8_t* overlay, size_t size, OverlayExtent* extent) {
    int32_t panel = kPanelNoneSelected;
    const bool drawn = store.Read([&](const AnnotationState& s) {
        if ((s.shapes.empty() && !s.band.shown) || s.hidden)
            return false;
        panel = PanelStateOf(s);
        const int w = s.frame_width, h = s.frame_height;
        if (overlay == nullptr || w <= 0 || h <= 0 ||
            static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4 > size)
            return false;
        QImage image(overlay, w, h, w * 4, QImage::Format_RGB32);
        image.fill(0xFF000000u | kOverlayKeyColor);
        Bounds bounds;
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing, false);
            for (const Shape& shape : s.shapes)
                DrawShape(painter, shape, &bounds);
            if (s.band.shown)
                DrawBand(painter, s.band, &bounds);
        }
        ScanOverlayExtent(overlay, w, h, Bounds::Clip(bounds.left), Bounds::Clip(bounds.top),
                          Bounds::Clip(bounds.right), Bounds::Clip(bounds.bottom), extent);
        return true;
    });
    if (!drawn && extent != nullptr)
        ClearOverlayExtent(extent, 0, 0);
    store.ReportPanelState(panel);
    return drawn;
}

} // namespace annotation
