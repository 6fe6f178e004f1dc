// How the view shows a frame beyond its zoom: turned by quarter turns, and
// marked while the picture is held. The view's paint makes one call here,
// so that the turn and the mark live in one place.
//
// User-interface thread (painters and images of the view).
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace view {

struct ShownState {
    int quarter_turns = 0; // clockwise, 0 to 3
    QString frozen_mark;   // drawn while not empty
};

// Draws frame, the camera's picture, turned into target (the display
// rectangle of the turned size) and the frozen mark in the top-left corner of
// the part of target the painter's device shows.
void DrawShownFrame(QPainter& painter, const QImage& frame, const QRect& target,
                    const ShownState& shown);

// text in a red box in the top-left corner of the part of target the
// painter's device shows (the frozen mark, the capture badge).
void DrawViewMark(QPainter& painter, const QRect& target, const QString& text);

// A copy of frame (32-bit) turned by quarter_turns; null for a null frame.
QImage TurnedImage(const QImage& frame, int quarter_turns);

} // namespace view
