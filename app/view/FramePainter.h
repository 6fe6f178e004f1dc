// Draws a BGRX frame scaled into a rectangle of the video view. Where the
// frame shrinks by exactly 3:2 or 2:1 it is filtered (FrameShrinker) into a
// picture of the rectangle's size, kept from paint to paint (allocated again only when
// the size changes), and drawn unscaled; otherwise QPainter scales it,
// smooth or fast as UseSmoothScaling says.
//
// User-interface thread only (it belongs to the view's paint).
#pragma once

#include "platform/media.h"

#include <QImage>

class QPainter;
class QRect;

namespace view {

class FramePainter {
public:
    void Draw(QPainter& painter, const VideoFrame& frame, const QRect& target);
    // Whether the last Draw went through FrameShrinker (for tests).
    bool LastShrunk() const { return last_shrunk_; }

private:
    QImage shrunk_; // the shrunk picture, reused while its size holds
    bool last_shrunk_ = false;
};

} // namespace view
