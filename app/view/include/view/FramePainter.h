// Draws a BGRX frame scaled into a rectangle of the video view. Where the
// frame shrinks by at most 4:1 a direction it is filtered (platform/frame_shrinker.h) at
// the rectangle's size: straight into the painter's pixels where it can,
// else into a picture kept from paint to paint (allocated again only when
// the size changes) drawn unscaled. Otherwise (enlarged, or shrunk further)
// QPainter scales it, smooth or fast as UseSmoothScaling says.
//
// User-interface thread only (it belongs to the view's paint).
#pragma once

#include "platform/frame_shrinker.h"
#include "platform/media.h"

#include <QImage>

#include <cstdint>
#include <vector>

class QPainter;
class QRect;

namespace view {

class FramePainter {
public:
    void Draw(QPainter& painter, const VideoFrame& frame, const QRect& target);
    // Whether the last Draw went through the frame shrinker, and whether straight
    // into the painter's pixels (for tests).
    bool LastShrunk() const { return last_shrunk_; }
    bool LastInPlace() const { return last_in_place_; }

private:
    // Shrinks straight into the pixels the painter paints on, sparing the
    // copy, where they are a plain RGB32 picture at a whole-pixel offset and
    // the paint may touch all of target but a few pixels (child widgets over
    // the view), which are kept and put back; false (nothing done) otherwise.
    bool ShrinkInPlace(QPainter& painter, platform::ShrinkFactor factor, const VideoFrame& frame,
                       const QRect& target);

    std::vector<uint8_t> shrunk_; // the shrunk picture, reused while its size holds
    std::vector<uint8_t> kept_;   // pixels the in-place shrink must put back
    bool last_shrunk_ = false;
    bool last_in_place_ = false;
};

} // namespace view
