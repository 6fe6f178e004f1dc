// SavableImage: an image that saves itself with the encoder its file name's
// extension selects. Snapshot saving uses it with ".jpg" paths.
#pragma once

#include <QImage>
#include <QString>

class SavableImage : public QImage {
public:
    using QImage::QImage;
    SavableImage() = default;
    explicit SavableImage(const QImage& image) : QImage(image) {}

    // Quality of the JPEG encoder's default settings.
    static constexpr int kJpegQuality = 75;

    // Saves to path with the encoder for its extension (case ignored): JPEG
    // for ".jpg", ".jpeg", ".jpe" and ".jfif", otherwise any installed image
    // writer for that format. False for a null image, a path without a known
    // extension or a failed write; a failed write leaves no partial file.
    bool Save(const QString& path) const;
};
