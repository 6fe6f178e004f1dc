// What the video view tells the annotation editor, free of any window
// system. All points are image pixels of the current frame (origin at the
// picture's top-left corner, whatever the zoom); outside the picture the last
// valid image point is passed again. Every call comes on the user-interface
// thread, and only while the camera plays: while it does not, the view shows
// the arrow and passes nothing on.
#pragma once

#include "view/VideoGeometry.h"

class ViewMouseInput {
public:
    virtual void OnImageMouseDown(const view::POINT& image_point) = 0;
    // left_down: the left button is held during the move.
    virtual void OnImageMouseMove(const view::POINT& image_point, bool left_down) = 0;
    virtual void OnImageMouseUp(const view::POINT& image_point) = 0;
    // True when the double-click was taken (a text opened for typing); else
    // the view changes its zoom.
    virtual bool OnImageDoubleClick(const view::POINT& image_point) = 0;
    // Arrow keys, dx and dy in {-1, 0, 1}.
    virtual void NudgeSelection(int dx, int dy) = 0;
    // The context menu opens only while the Select tool is current.
    virtual bool SelectToolActive() const = 0;
    // The pointer to show after a move (0 arrow ... 10, see annotation::CursorKind);
    // -1 leaves the pointer as it is (a drawing or a group drag goes on).
    virtual int PointerKind() const = 0;

protected:
    ~ViewMouseInput() = default;
};
