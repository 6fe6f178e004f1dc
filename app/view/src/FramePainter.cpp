#include "view/FramePainter.h"

#include "platform/frame_shrinker.h"
#include "view/FramePresenter.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <cstring>
#include <new>

namespace view {

bool FramePainter::ShrinkInPlace(QPainter& painter, platform::ShrinkFactor factor,
                                 const VideoFrame& frame, const QRect& target) {
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
    // The shrunk pixels are opaque: right for either format a window's
    // buffer has.
    const QImage::Format format = image->format();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
        image->devicePixelRatio() != 1.0 || transform.type() > QTransform::TxTranslate ||
        transform.dx() != qRound(transform.dx()) || transform.dy() != qRound(transform.dy()))
        return false;
    const QRect place = target.translated(qRound(transform.dx()), qRound(transform.dy()));
    if (!image->rect().contains(place))
        return false;
    // The parts this paint may not touch: where child widgets stand that
    // are not painted again now (the frame counter, the recording mark).
    const QRegion allowed = engine->systemClip();
    const QRegion outside = allowed.isEmpty() ? QRegion() : QRegion(place) - allowed;
    qint64 outside_area = 0;
    for (const QRect& r : outside)
        outside_area += static_cast<qint64>(r.width()) * r.height();
    // More than a few: drawing the shrunk picture clipped costs less.
    if (outside_area > static_cast<qint64>(place.width()) * place.height() / 16)
        return false;
    const size_t kept_bytes = static_cast<size_t>(outside_area) * 4;
    try {
        if (kept_.size() < kept_bytes)
            kept_.resize(kept_bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The painter is writing into these pixels anyway; constBits does not
    // detach the picture from the window's buffer.
    auto* base = const_cast<uint8_t*>(image->constBits());
    const auto line = static_cast<ptrdiff_t>(image->bytesPerLine());
    // Copies each row of the outside rectangles out (to true) or back.
    const auto move_outside = [&](bool out) {
        uint8_t* kept = kept_.data();
        for (const QRect& r : outside) {
            const size_t row = static_cast<size_t>(r.width()) * 4;
            for (int y = r.top(); y <= r.bottom(); ++y, kept += row) {
                uint8_t* at = base + y * line + r.left() * 4;
                std::memcpy(out ? kept : at, out ? at : kept, row);
            }
        }
    };
    move_outside(true);
    const bool done =
        platform::ShrinkBgrx(factor, frame.pixels, frame.width, frame.height, frame.stride,
                             base + place.top() * line + place.left() * 4, place.width(),
                             place.height(), static_cast<int>(line));
    move_outside(false);
    return done;
}

void FramePainter::Draw(QPainter& painter, const VideoFrame& frame, const QRect& target) {
    const platform::ShrinkFactor factor =
        platform::ShrinkFactorFor(frame.width, frame.height, target.width(), target.height());
    last_shrunk_ = false;
    last_in_place_ = false;
    if (factor != platform::ShrinkFactor::kNone && ShrinkInPlace(painter, factor, frame, target)) {
        last_shrunk_ = true;
        last_in_place_ = true;
        return;
    }
    if (factor != platform::ShrinkFactor::kNone) {
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
            platform::ShrinkBgrx(factor, frame.pixels, frame.width, frame.height, frame.stride,
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
