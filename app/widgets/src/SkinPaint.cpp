#include "SkinPaint.h"

#include "widgets/SkinButton.h"

#include <QPainter>
#include <QRect>
#include <QString>

std::string SkinFile(const char* relative) {
    return SkinFolder() + "/" + relative;
}

QImage LoadSkinImage(const char* relative) {
    const QImage image(QString::fromStdString(SkinFile(relative)));
    return image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
}

void SetSkinFaces(SkinButton* button, const char* group, const char* normal, const char* mouse_over,
                  const char* click_down, const char* gray) {
    const auto path = [group](const char* name) {
        return name != nullptr ? SkinFile((std::string(group) + "/" + name + ".bmp").c_str())
                               : std::string();
    };
    const std::string paths[] = {path(normal), path(mouse_over), path(click_down), path(gray)};
    button->SetSkinBitmaps(paths[0].c_str(), paths[1].c_str(), paths[2].c_str(), paths[3].c_str());
}

void PaintCentredBand(QPainter& painter, const QImage& background, const QSize& client,
                      const QColor& fill) {
    painter.fillRect(QRect(QPoint(0, 0), client), fill);
    if (background.isNull())
        return;
    const QRect band(0, (background.height() - client.height()) / 2, client.width(),
                     client.height());
    const QRect inside = band.intersected(background.rect());
    if (inside.isEmpty())
        return;
    painter.drawImage(inside.topLeft() - band.topLeft(), background, inside);
}
