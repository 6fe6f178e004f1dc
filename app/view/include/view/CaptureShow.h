// Captures the view shows instead of, or beside, the live picture: one held
// capture filling the view, a capture on the left and the live picture on
// the right, or two to four captures side by side or in a 2 x 2 grid. Each
// picture keeps its aspect in its pane. The live pane gets the frame as the
// camera's callback composited it, annotations and all; the captures are
// painted from their decoded files. User-interface thread only.
#pragma once

#include "platform/media.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;

namespace view {

struct CaptureShow {
    std::vector<QImage> captures; // oldest first; empty: live as usual
    bool with_live = false;       // the live picture in a pane of its own, last
    QString badge;                // painted on every capture's pane
    bool Active() const { return !captures.empty(); }
};

// Paints show into area; live (may be null) turned by quarter_turns.
void PaintCaptureShow(QPainter& painter, const QRect& area, const CaptureShow& show,
                      const VideoFrame* live, int quarter_turns);

} // namespace view
