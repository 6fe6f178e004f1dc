// Page mode in the view: the page flattened at the size it is shown, fitted
// into the display rectangle at its own aspect, with four corner handles
// the teacher drags to set the corners by hand (keystone). The corners and
// the flattening are page::PageMode's; this only paints and maps the mouse.
//
// User-interface thread only (the view's paint and mouse).
#pragma once

#include "page/PageMode.h"
#include "platform/media.h"
#include "view/VideoGeometry.h"

#include <QRect>

#include <optional>

class QPainter;

namespace view {

inline constexpr int kPageHandleRadius = 9; // pixels: drawn and grabbed

class PageShow {
public:
    // Not owned; null turns the view's page mode off.
    void SetMode(page::PageMode* mode) { mode_ = mode; }
    bool Active() const { return mode_ != nullptr && mode_->Active(); }
    // The page is flattened: the view's pixels no longer map to the camera's.
    bool Flattening() const { return mode_ != nullptr && mode_->Enabled(); }

    // Paints frame as page mode makes it into target (black around is the
    // caller's), the page turned clockwise by quarter_turns as the view
    // turns the picture; false when page mode makes nothing of it.
    bool Paint(QPainter& painter, const VideoFrame& frame, const QRect& target,
               int quarter_turns = 0);

    // The left button at point: true when it took a corner handle.
    bool Press(const QPoint& point);
    // The mouse moved with the button held: true when a corner moved.
    bool Move(const QPoint& point);
    void Release() { handle_ = -1; }
    bool Dragging() const { return handle_ >= 0; }
    // Where the page was last painted (view pixels, turned); empty when not.
    QRect Drawn() const { return drawn_; }
    // The camera's pixel (of a camera_width x camera_height picture) under
    // the view's point, while the page is flattened; false off the page.
    bool CameraPoint(const QPoint& point, int camera_width, int camera_height, POINT* camera) const;

private:
    page::PageMode* mode_ = nullptr;
    page::PageRenderer renderer_;
    QRect drawn_;
    std::optional<page::Quad> drawn_quad_; // camera corners of what is drawn
    int frame_width_ = 0;
    int frame_height_ = 0;
    int turns_ = 0;   // of the last paint, 0 to 3
    int handle_ = -1; // the page's corner being dragged (before the turn)
    page::Quad press_quad_{};
    QRect press_drawn_;
    int press_turns_ = 0;
};

} // namespace view
