// Panel backgrounds and the scene table. Each background is drawn so that
// any band a panel cuts from it looks right: the command panel shows it
// from the left edge, the tool columns and the settings dialog cut a
// vertically centred band, the idle video view the middle of it.
#include "Glyphs.h"
#include "Lookup.h"
#include "Plate.h"
#include "Scenes.h"

#include <QPainterPath>
#include <QRadialGradient>

namespace skin {
namespace {

QImage Canvas(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour::kWhite);
    return image;
}

// Command panel across the top: light steel, darker toward the bottom, a blue
// rule along the bottom edge.
QImage Left(const QSize& size, const QImage&) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    const int h = size.height();
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0, QColor(0xF5, 0xF8, 0xFB));
    fill.setColorAt(0.6, QColor(0xE4, 0xEA, 0xF1));
    fill.setColorAt(1, QColor(0xCD, 0xD7, 0xE2));
    painter.fillRect(image.rect(), fill);
    painter.fillRect(QRect(0, 0, size.width(), 1), colour::kWhite);
    painter.fillRect(QRect(0, h - 3, size.width(), 1), QColor(0x7F, 0xA8, 0xD6));
    painter.fillRect(QRect(0, h - 2, size.width(), 2), QColor(0x2F, 0x6F, 0xAF));
    return image;
}

// A tool column: the same steel, shaded toward the edge that meets the video
// (the right edge for the control bar, the left for the right panel). The
// same from top to bottom, so every vertical band matches its buttons.
QImage Column(const QSize& size, bool shade_right) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    const double w = size.width();
    QLinearGradient fill(shade_right ? 0 : w, 0, shade_right ? w : 0, 0);
    fill.setColorAt(0, QColor(0xF2, 0xF5, 0xF8));
    fill.setColorAt(0.72, QColor(0xE6, 0xEB, 0xF1));
    fill.setColorAt(0.93, QColor(0xD3, 0xDC, 0xE6));
    fill.setColorAt(1, QColor(0xB4, 0xC1, 0xCE));
    painter.fillRect(image.rect(), fill);
    const int edge = shade_right ? size.width() - 1 : 0;
    const int light = shade_right ? 0 : size.width() - 1;
    painter.fillRect(QRect(edge, 0, 1, size.height()), QColor(0x8E, 0x9D, 0xAD));
    painter.fillRect(QRect(light, 0, 1, size.height()), colour::kWhite);
    return image;
}

QImage Top1(const QSize& size, const QImage&) {
    return Column(size, true);
}

QImage Right(const QSize& size, const QImage&) {
    return Column(size, false);
}

// Settings dialog: a quiet light gradient behind its labels, which are drawn
// transparently on it in the default text colour.
QImage Setting(const QSize& size, const QImage&) {
    QImage image = Canvas(size);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, QColor(0xF7, 0xF9, 0xFB));
    fill.setColorAt(1, QColor(0xE2, 0xE8, 0xEE));
    painter.fillRect(image.rect(), fill);
    return image;
}

// Idle video view: dark, lighter in the middle where a faint emblem and the
// name sit; every edge pixel is the view's own fill (0x202020), so a view
// bigger than the picture shows no seam.
QImage Main(const QSize& size, const QImage&) {
    const QColor edge(0x20, 0x20, 0x20);
    QImage image(size, QImage::Format_RGB32);
    image.fill(edge);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    {
        painter.save();
        painter.translate(size.width() / 2.0, size.height() / 2.0);
        painter.scale(size.width() / 2.0, size.height() / 2.0);
        QRadialGradient glow(QPointF(0, 0), 1.0);
        glow.setColorAt(0, QColor(0x33, 0x3A, 0x42));
        glow.setColorAt(0.55, QColor(0x27, 0x2B, 0x30));
        glow.setColorAt(1, edge);
        painter.fillRect(QRectF(-1, -1, 2, 2), glow);
        painter.restore();
    }
    const double side = std::min(size.width(), size.height()) * 0.3;
    QImage emblem(QSize(static_cast<int>(side), static_cast<int>(side)),
                  QImage::Format_ARGB32_Premultiplied);
    emblem.fill(Qt::transparent);
    {
        QPainter layer(&emblem);
        DrawDocumentCamera(layer, QRectF(0, 0, side, side), side);
    }
    Desaturate(&emblem);
    const QPointF at(size.width() / 2.0 - side / 2.0, size.height() / 2.0 - side * 0.62);
    painter.setOpacity(0.16);
    painter.drawImage(at, emblem);
    painter.setOpacity(1.0);

    const char* name = "LUMIVUE";
    const double unit = side / 50.0;
    const double width = StrokeWordWidth(name) * unit;
    painter.setPen(
        QPen(QColor(0x45, 0x4C, 0x55), unit * 0.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    DrawStrokeWord(painter, name,
                   QPointF(size.width() / 2.0 - width / 2.0, at.y() + side + side * 0.08), unit);
    return image;
}

QImage Logo(const QSize&, const QImage& backdrop) {
    return DrawLogo(backdrop);
}

QImage Icon(const QSize& size, const QImage&) {
    return DrawIcon(size);
}

struct Scene {
    const char* art;
    QImage (*draw)(const QSize& size, const QImage& backdrop);
};

const Scene kScenes[] = {
    {"bg_left", Left}, {"bg_top1", Top1}, {"bg_right", Right}, {"bg_setting", Setting},
    {"bg_main", Main}, {"logo", Logo},    {"app_icon", Icon},
};

const Scene* FindScene(const std::string& art) {
    return FindByName(kScenes, &Scene::art, art);
}

} // namespace

bool IsScene(const std::string& art) {
    return FindScene(art) != nullptr;
}

QImage DrawScene(const std::string& art, const QSize& size, const QImage& backdrop) {
    const Scene* scene = FindScene(art);
    return scene ? scene->draw(size, backdrop) : QImage();
}

} // namespace skin
