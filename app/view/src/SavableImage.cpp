#include "view/SavableImage.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <turbojpeg.h>

#include <memory>

namespace {

bool IsJpegSuffix(const QString& suffix) {
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ||
           suffix == QLatin1String("jpe") || suffix == QLatin1String("jfif");
}

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct TjFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};

bool WriteAll(const QString& path, const char* data, qint64 size) {
    // Written beside and renamed at the end: no half file on a full disk.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data, size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool SaveJpeg(const QImage& source, const QString& path) {
    // B, G, R, X bytes, rows top-down.
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return false;
    std::unique_ptr<void, TjDeleter> tj(tjInitCompress());
    if (!tj)
        return false;
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    const int rc = tjCompress2(tj.get(), image.constBits(), image.width(),
                               static_cast<int>(image.bytesPerLine()), image.height(), TJPF_BGRX,
                               &out, &out_size, TJSAMP_420, SavableImage::kJpegQuality, 0);
    std::unique_ptr<unsigned char, TjFree> owned(out);
    if (rc != 0 || out == nullptr)
        return false;
    return WriteAll(path, reinterpret_cast<const char*>(out), static_cast<qint64>(out_size));
}

} // namespace

bool SavableImage::Save(const QString& path) const {
    if (isNull() || path.isEmpty())
        return false;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty())
        return false;
    if (IsJpegSuffix(suffix))
        return SaveJpeg(*this, path);
    const QByteArray format = suffix.toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, format);
    if (!writer.write(*this)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
