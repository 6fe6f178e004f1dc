#include "FramePainter.h"

#include "FramePresenter.h"
#include "FrameShrinker.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <new>

namespace view {

bool FramePainter::ShrinkInPlace(QPainter& painter, ShrinkFactor factor, const VideoFrame& frame,
                                 const QRect& target) {
    // Only a plain 32-bit picture painted one to one, with nothing but a
    // whole-pixel offset between the painter and it.
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || painter.hasClipping())
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image)
        return false;
    const auto* image = static_cast<const QImage*>(device);
    const QTransform& transform = painter.deviceTransform();
    if (image->format() != QImage::Format_RGB32 || image->devicePixelRatio() != 1.0 ||
        transform.type() > QTransform::TxTranslate || transform.dx() != qRound(transform.dx()) ||
        transform.dy() != qRound(transform.dy()))
        return false;
    const QRect place = target.translated(qRound(transform.dx()), qRound(transform.dy()));
    // All of it inside the picture and inside what this paint may touch.
    const QRegion allowed = engine->systemClip();
    if (!image->rect().contains(place) ||
        (!allowed.isEmpty() && !(QRegion(place) - allowed).isEmpty()))
        return false;
    // The painter is writing into these pixels anyway; constBits does not
    // detach the picture from the window's buffer.
    auto* pixels = const_cast<uint8_t*>(image->constBits()) +
                   static_cast<ptrdiff_t>(place.top()) * image->bytesPerLine() + place.left() * 4;
    return ShrinkBgrx(factor, frame.pixels, frame.width, frame.height, frame.stride, pixels,
                      place.width(), place.height(), static_cast<int>(image->bytesPerLine()));
}

void FramePainter::Draw(QPainter& painter, const VideoFrame& frame, const QRect& target) {
    const ShrinkFactor factor =
        ShrinkFactorFor(frame.width, frame.height, target.width(), target.height());
    last_shrunk_ = false;
    last_in_place_ = false;
    if (factor != ShrinkFactor::kNone && ShrinkInPlace(painter, factor, frame, target)) {
        last_shrunk_ = true;
        last_in_place_ = true;
        return;
    }
    if (factor != ShrinkFactor::kNone) {
        const size_t bytes = static_cast<size_t>(target.width()) * target.height() * 4;
        try {
            if (shrunk_.size() != bytes) {
                shrunk_.assign(bytes, 0);
            }
        } catch (const std::bad_alloc&) {
            shrunk_.clear(); // QPainter scales it instead
        }
        const int stride = target.width() * 4;
        if (shrunk_.size() == bytes &&
            ShrinkBgrx(factor, frame.pixels, frame.width, frame.height, frame.stride,
                       shrunk_.data(), target.width(), target.height(), stride)) {
            // Wrapped, not owned: a QImage of its own would fault its pages
            // in afresh whenever its pixels are asked for writing.
            painter.drawImage(target.topLeft(),
                              QImage(shrunk_.data(), target.width(), target.height(), stride,
                                     QImage::Format_RGB32));
            last_shrunk_ = true;
            return;
        }
    } else {
        std::vector<uint8_t>().swap(shrunk_); // a size not shown now: its memory goes back
    }
    painter.setRenderHint(
        QPainter::SmoothPixmapTransform,
        UseSmoothScaling(frame.width, frame.height, target.width(), target.height()));
    // The frame's own pixels, wrapped: no copy, no conversion (B, G, R, X is
    // what RGB32 holds).
    painter.drawImage(target, QImage(frame.pixels, frame.width, frame.height, frame.stride,
                                     QImage::Format_RGB32));
}

} // namespace view
