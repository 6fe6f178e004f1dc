// The document camera emblem, the stroke lettering, the logo and the icon.
#include "Glyphs.h"
#include "Scenes.h"

#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <vector>

namespace skin {
namespace {

// Letters on a grid of width up to 4 and height 6, as polylines.
struct Letter {
    char c;
    double width;
    std::vector<std::vector<QPointF>> strokes;
};

const std::vector<Letter>& Letters() {
    static const std::vector<Letter> letters = {
        {'A', 3.8, {{{0, 6}, {1.9, 0}, {3.8, 6}}, {{0.65, 4}, {3.15, 4}}}},
        {'E', 3.3, {{{3.3, 0}, {0, 0}, {0, 6}, {3.3, 6}}, {{0, 3}, {2.7, 3}}}},
        {'I', 0.0, {{{0, 0}, {0, 6}}}},
        {'L', 3.2, {{{0, 0}, {0, 6}, {3.2, 6}}}},
        {'M', 4.2, {{{0, 6}, {0, 0}, {2.1, 3.8}, {4.2, 0}, {4.2, 6}}}},
        {'U',
         3.5,
         {{{0, 0},
           {0, 4.3},
           {0.35, 5.4},
           {1.1, 5.95},
           {1.75, 6.0},
           {2.4, 5.95},
           {3.15, 5.4},
           {3.5, 4.3},
           {3.5, 0}}}},
        {'V', 3.8, {{{0, 0}, {1.9, 6}, {3.8, 0}}}},
    };
    return letters;
}

const Letter* FindLetter(char c) {
    for (const Letter& letter : Letters()) {
        if (letter.c == c)
            return &letter;
    }
    return nullptr;
}

constexpr double kLetterGap = 1.4;

} // namespace

double StrokeWordWidth(const char* word) {
    double width = 0;
    int count = 0;
    for (const char* c = word; *c != '\0'; ++c) {
        if (const Letter* letter = FindLetter(*c)) {
            width += letter->width;
            ++count;
        }
    }
    return count > 0 ? width + kLetterGap * (count - 1) : 0.0;
}

void DrawStrokeWord(QPainter& painter, const char* word, const QPointF& top_left, double unit) {
    double x = 0;
    for (const char* c = word; *c != '\0'; ++c) {
        const Letter* letter = FindLetter(*c);
        if (letter == nullptr)
            continue;
        for (const auto& stroke : letter->strokes) {
            QPolygonF line;
            for (const QPointF& p : stroke)
                line << top_left + QPointF((x + p.x()) * unit, p.y() * unit);
            painter.drawPolyline(line);
        }
        x += letter->width + kLetterGap;
    }
}

void DrawDocumentCamera(QPainter& painter, const QRectF& box, double pixels) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.topLeft());
    painter.scale(box.width() / 100.0, box.height() / 100.0);
    const double unit_px = pixels / 100.0;
    // Outlines stay at least about one pixel wide on screen.
    const double outline = std::max(1.6, 1.0 / unit_px);
    const bool detailed = pixels >= 40;
    const QColor dark = colour::kSlate;

    if (detailed) {
        // The camera's light falling on the sheet.
        QLinearGradient light(0, 34, 0, 78);
        light.setColorAt(0, QColor(255, 236, 150, 150));
        light.setColorAt(1, QColor(255, 236, 150, 40));
        painter.setPen(Qt::NoPen);
        painter.setBrush(light);
        painter.drawPolygon(QPolygonF({{60, 33}, {70, 33}, {90, 77}, {36, 77}}));
    }

    // Base platform.
    QLinearGradient base(0, 76, 0, 96);
    base.setColorAt(0, colour::kSteel.lighter(125));
    base.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(130), outline));
    painter.setBrush(base);
    painter.drawRoundedRect(QRectF(3, 77, 94, 18), 6, 6);

    // The sheet of paper lying on it.
    painter.setPen(QPen(QColor(0x7F, 0x8C, 0x8D), outline * 0.8));
    painter.setBrush(colour::kWhite);
    painter.drawPolygon(QPolygonF({{34, 73}, {84, 73}, {91, 89}, {28, 89}}));
    if (pixels >= 48) {
        painter.setPen(QPen(QColor(0xA6, 0xB0, 0xB8), std::max(1.3, 0.8 / unit_px)));
        for (int i = 0; i < 3; ++i) {
            const double y = 77.0 + 4.0 * i;
            const double inset = (y - 73) * 7.0 / 16.0;
            painter.drawLine(QPointF(39 - inset * 0.8, y), QPointF(78 + inset * 0.9 - i * 6, y));
        }
    }

    // Arm: a post from the base's left, an elbow and a reach over the sheet.
    QLinearGradient metal(10, 0, 22, 0);
    metal.setColorAt(0, QColor(0xB8, 0xC2, 0xCC));
    metal.setColorAt(1, colour::kSteel);
    const double arm = detailed ? 7.0 : 10.0;
    painter.setPen(QPen(dark, outline));
    painter.setBrush(metal);
    painter.drawRoundedRect(QRectF(16 - arm / 2, 20, arm, 62), arm / 2, arm / 2);
    painter.drawRoundedRect(QRectF(16, 20 - arm / 2, 40, arm), arm / 2, arm / 2);
    painter.setBrush(dark);
    painter.drawRoundedRect(QRectF(8, 76, 16, 6), 2, 2);
    if (detailed) {
        painter.setBrush(colour::kSteel.lighter(140));
        painter.drawEllipse(QPointF(16, 20), 6.5, 6.5);
    }

    // Camera head looking down, with its lens.
    QLinearGradient head(0, 10, 0, 32);
    head.setColorAt(0, colour::kBlue.lighter(130));
    head.setColorAt(1, colour::kBlueDark);
    painter.setPen(QPen(dark, outline));
    painter.setBrush(head);
    painter.drawRoundedRect(QRectF(48, 10, 34, 19), 5, 5);
    painter.setBrush(dark);
    painter.drawRoundedRect(QRectF(57, 28, 16, 6), 2, 2);
    if (detailed) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 160));
        painter.drawRoundedRect(QRectF(52, 13, 14, 3.5), 1.5, 1.5);
        painter.setBrush(colour::kGreen.lighter(130));
        painter.drawEllipse(QPointF(76, 15.5), 2.2, 2.2);
    }
    painter.restore();
}

QImage DrawLogo(const QImage& backdrop) {
    QImage out = backdrop.convertToFormat(QImage::Format_RGB32);
    const QRectF all(QPointF(0, 0), QSizeF(out.size()));
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);

    // A deep blue name plate.
    const QRectF plate = all.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient blue(0, plate.top(), 0, plate.bottom());
    blue.setColorAt(0, QColor(0x2F, 0x5D, 0x8F));
    blue.setColorAt(1, QColor(0x17, 0x33, 0x55));
    painter.setPen(QPen(QColor(0x12, 0x2A, 0x45), 1.2));
    painter.setBrush(blue);
    painter.drawRoundedRect(plate, 9, 9);
    painter.setPen(QPen(QColor(255, 255, 255, 70), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(plate.adjusted(1.5, 1.5, -1.5, -1.5), 7.5, 7.5);

    // The emblem on a light disc at the left.
    const double side = out.height() - 20.0;
    const QRectF disc(7, 10, side, side);
    QRadialGradient light(disc.center() - QPointF(6, 6), side * 0.7);
    light.setColorAt(0, colour::kWhite);
    light.setColorAt(1, QColor(0xCF, 0xDE, 0xEE));
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawEllipse(disc);
    DrawDocumentCamera(painter, disc.adjusted(side * 0.17, side * 0.15, -side * 0.15, -side * 0.19),
                       side * 0.66);

    // The name, with an amber rule under it.
    const char* name = "LUMIVUE";
    const double left = disc.right() + 8.0;
    const double room = all.right() - 9.0 - left;
    const double unit = room / StrokeWordWidth(name);
    const double top = all.center().y() - 3.0 * unit - 4.0;
    painter.setPen(QPen(colour::kWhite, std::max(1.6, unit * 0.62), Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    DrawStrokeWord(painter, name, QPointF(left, top), unit);
    painter.setPen(QPen(colour::kAmber, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(left, top + 6 * unit + 6.0),
                     QPointF(left + room, top + 6 * unit + 6.0));
    return out;
}

QImage DrawIcon(const QSize& size) {
    QImage icon(size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    const double side = std::min(size.width(), size.height());
    const double margin = side >= 32 ? side * 0.04 : 0.0;
    DrawDocumentCamera(painter, QRectF(margin, margin, side - 2 * margin, side - 2 * margin),
                       side - 2 * margin);
    return icon;
}

} // namespace skin
