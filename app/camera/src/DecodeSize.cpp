// How large the camera session has its pictures decoded: no larger than the
// view shows them, unless something needs the camera's own pixels.
#include "camera/CameraSession.h"

void CameraSession::SetViewSize(int width, int height) {
    view_width_.store(width);
    view_height_.store(height);
}

void CameraSession::ChooseDecodeSize() {
    // These take the decoded picture, or an overlay drawn for it, at the
    // camera's size.
    const bool whole = shown_.Altered() || page_.Active() || snapshot_.SampleRequested() ||
                       grab_.Requested() || tapped_.load() ||
                       (recording_as_shown_.load() && recorder_.Recording());
    if (whole)
        tovek_media_set_view_size(0, 0);
    else
        tovek_media_set_view_size(view_width_.load(), view_height_.load());
}
