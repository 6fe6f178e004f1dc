#include "annotation/OverlayRenderer.h"

#include "annotation/TextRules.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

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

// The thinnest pen, in the camera's pixels, of the overlay being drawn: one
// pixel of its picture (1 at the camera's own size). A thinner pen would be
// drawn faint, and a faint pixel is no overlay colour.
thread_local double t_thinnest_pen = 1.0;

double PenWidth(int width) {
    return std::max(static_cast<double>(std::max(width, 1)), t_thinnest_pen);
}

QPen SolidPen(COLORREF color, int width) {
    return QPen(ToQColor(color), PenWidth(width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
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

// From the camera's pixels to those of a picture decoded at another size.
struct Scale {
    double x = 1.0;
    double y = 1.0;

    bool Identity() const { return x == 1.0 && y == 1.0; }
    void Apply(QPainter& painter) const {
        if (!Identity())
            painter.setTransform(QTransform::fromScale(x, y));
    }
    // A little over one picture pixel, so that rounding never makes it less.
    double ThinnestPen() const { return Identity() ? 1.0 : 1.01 / std::min(x, y); }
    // A box in the picture's pixels that holds the scaled one.
    Bounds Of(const Bounds& b) const {
        if (Identity() || b.left >= b.right)
            return b;
        Bounds scaled;
        scaled.left = static_cast<int64_t>(std::floor(static_cast<double>(b.left) * x)) - 1;
        scaled.top = static_cast<int64_t>(std::floor(static_cast<double>(b.top) * y)) - 1;
        scaled.right = static_cast<int64_t>(std::ceil(static_cast<double>(b.right) * x)) + 1;
        scaled.bottom = static_cast<int64_t>(std::ceil(static_cast<double>(b.bottom) * y)) + 1;
        return scaled;
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

// The head's length grows with the line so that it stays visible on a
// thick arrow; it is as wide as it is long.
void DrawArrow(QPainter& p, const Shape& s) {
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    const double length = std::hypot(dx, dy);
    const int width = std::max(s.pen_width, 1);
    const double head = std::min(std::max(10.0, 3.0 * width + 6.0), std::max(length, 1.0));
    const QColor color = ToQColor(s.pen_color);
    if (length < 1.0) {
        p.fillRect(QRect(s.x2 - width / 2, s.y2 - width / 2, width, width), color);
        return;
    }
    const double ux = dx / length, uy = dy / length;
    const QPointF tip(s.x2, s.y2);
    const QPointF base = tip - QPointF(ux, uy) * head;
    const QPointF side = QPointF(-uy, ux) * (head / 2.0);
    // The shaft stops inside the head, so its round end cannot show past it.
    p.setPen(SolidPen(s.pen_color, width));
    p.drawLine(QPointF(s.x1, s.y1), base + QPointF(ux, uy) * (head / 3.0));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({tip, base + side, base - side}));
    p.setBrush(Qt::NoBrush);
    if (s.selected) {
        Marker(p, s.x1, s.y1, Inverse(s.pen_color));
        Marker(p, s.x2, s.y2, Inverse(s.pen_color));
    }
}

void DrawText(QPainter& p, const Shape& s, bool typing) {
    const QFont font = TextFont(s.pen_width);
    const QString text = QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size()));
    p.setFont(font);
    p.setPen(ToQColor(s.pen_color));
    p.drawText(QRect(s.MinX(), s.MinY(), s.MaxX() - s.MinX() + s.pen_width,
                     s.MaxY() - s.MinY() + s.pen_width),
               Qt::AlignLeft | Qt::AlignTop, text);
    if (typing) {
        // The caret after the last character, where the next one goes.
        const QFontMetrics metrics(font);
        const qsizetype last_break = text.lastIndexOf(QLatin1Char('\n'));
        const int line = static_cast<int>(text.count(QLatin1Char('\n')));
        const int x = s.MinX() + metrics.horizontalAdvance(text.mid(last_break + 1));
        const int y = s.MinY() + line * metrics.lineSpacing();
        p.fillRect(QRect(x + 1, y, std::max(2, s.pen_width / 16), metrics.height()),
                   ToQColor(s.pen_color));
    }
    if (s.selected || typing) {
        p.setPen(QPen(Inverse(s.pen_color), PenWidth(1), Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(Box(s).adjusted(-3, -3, 3, 3));
    }
}

// A highlighter stroke in its ink; MarkMultiply makes the ink multiply.
void DrawHighlight(QPainter& p, const Shape& s) {
    p.setPen(QPen(ToQColor(s.pen_color), PenWidth(s.pen_width), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    for (const CurveSegment& seg : s.segments)
        p.drawLine(seg.x1, seg.y1, seg.x2, seg.y2);
}

// Every drawn pixel of the box [left, right) x [top, bottom) multiplies.
void MarkMultiply(uint8_t* overlay, int w, int h, const Bounds& box) {
    const int left = static_cast<int>(std::clamp<int64_t>(box.left, 0, w));
    const int right = static_cast<int>(std::clamp<int64_t>(box.right, 0, w));
    const int top = static_cast<int>(std::clamp<int64_t>(box.top, 0, h));
    const int bottom = static_cast<int>(std::clamp<int64_t>(box.bottom, 0, h));
    for (int y = top; y < bottom; ++y) {
        uint8_t* row = overlay + static_cast<size_t>(y) * w * 4;
        for (int x = left; x < right; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + x * 4, 4);
            if (!OverlayPixelTransparent(pixel))
                row[x * 4 + 3] = kMultiplyByte;
        }
    }
}

void DrawShape(QPainter& p, const Shape& s, bool typing, Bounds* bounds) {
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
    case ShapeKind::kArrow:
        bounds->Add(s.x1, s.y1, margin + 3 * std::max(s.pen_width, 1) + 6);
        bounds->Add(s.x2, s.y2, margin + 3 * std::max(s.pen_width, 1) + 6);
        DrawArrow(p, s);
        return;
    case ShapeKind::kHighlighter:
        // The stroke itself was drawn before every other shape; a selected
        // one shows its ends.
        if (s.selected && !s.segments.empty()) {
            Marker(p, s.segments.front().x1, s.segments.front().y1, Inverse(s.pen_color));
            Marker(p, s.segments.back().x2, s.segments.back().y2, Inverse(s.pen_color));
        }
        return;
    case ShapeKind::kText:
        // Glyphs reach a little past the measured box.
        bounds->Add(s.MinX(), s.MinY(), margin + s.pen_width);
        bounds->Add(s.MaxX(), s.MaxY(), margin + s.pen_width);
        DrawText(p, s, typing);
        return;
    }
}

void DrawBand(QPainter& p, const SelectionBand& b, Bounds* bounds) {
    p.setPen(QPen(QBrush(Qt::black), PenWidth(kBandPenWidth), Qt::DotLine, Qt::SquareCap,
                  Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(b.bx1, b.by1), QPoint(b.bx2, b.by2)).normalized());
    bounds->Add(b.bx1, b.by1, kBandPenWidth + kBoundsSlack);
    bounds->Add(b.bx2, b.by2, kBandPenWidth + kBoundsSlack);
}

} // namespace

QFont TextFont(int32_t size) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::clamp(size, kMinTextSize, kMaxTextSize));
    // Keyed overlay pixels must be exact: no blended edges.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

TextExtent MeasureText(const std::string& utf8, int32_t size) {
    const QFontMetrics metrics(TextFont(size));
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QRect box =
        metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, text);
    const int lines = static_cast<int>(text.count(QLatin1Char('\n'))) + 1;
    return {std::max(box.width(), 1), std::max(box.height(), lines * metrics.lineSpacing())};
}

bool RenderOverlay(AnnotationStore& store, uint8_t* overlay, size_t size, OverlayExtent* extent) {
    int width = 0;
    int height = 0;
    return RenderOverlay(store, overlay, size, extent, &width, &height);
}

bool RenderOverlay(AnnotationStore& store, uint8_t* overlay, size_t size, OverlayExtent* extent,
                   int* width, int* height) {
    int32_t panel = kPanelNoneSelected;
    const bool drawn = store.Read([&](const AnnotationState& s) {
        if ((s.shapes.empty() && !s.band.shown) || s.hidden)
            return false;
        panel = PanelStateOf(s);
        const bool sized = *width > 0 && *height > 0;
        const int w = sized ? *width : s.frame_width, h = sized ? *height : s.frame_height;
        if (overlay == nullptr || w <= 0 || h <= 0 || s.frame_width <= 0 || s.frame_height <= 0 ||
            static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4 > size)
            return false;
        *width = w;
        *height = h;
        // The camera's pixels onto the picture's: no transform at the frame
        // size, so that the overlay there is exact.
        const Scale scale{static_cast<double>(w) / s.frame_width,
                          static_cast<double>(h) / s.frame_height};
        t_thinnest_pen = scale.ThinnestPen();
        QImage image(overlay, w, h, w * 4, QImage::Format_RGB32);
        image.fill(0xFF000000u | kOverlayKeyColor);
        Bounds bounds;
        // Highlighter strokes first, so that every other shape lies over
        // them and keeps its own colour.
        Bounds highlight;
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing, false);
            scale.Apply(painter);
            for (const Shape& shape : s.shapes) {
                if (shape.kind != ShapeKind::kHighlighter)
                    continue;
                for (const CurveSegment& seg : shape.segments) {
                    highlight.Add(seg.x1, seg.y1, shape.pen_width / 2 + kBoundsSlack);
                    highlight.Add(seg.x2, seg.y2, shape.pen_width / 2 + kBoundsSlack);
                }
                DrawHighlight(painter, shape);
            }
        }
        if (highlight.left < highlight.right) {
            MarkMultiply(overlay, w, h, scale.Of(highlight));
            bounds = highlight;
        }
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            scale.Apply(painter);
            for (const Shape& shape : s.shapes)
                DrawShape(painter, shape, shape.id == s.text_id, &bounds);
            if (s.band.shown)
                DrawBand(painter, s.band, &bounds);
        }
        bounds = scale.Of(bounds);
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
