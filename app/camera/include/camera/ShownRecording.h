// A recording of the picture as shown (the setting "Record the picture as
// shown"): the recorder's writer thread makes each camera frame into the
// shown picture, annotated and turned (capture/ShownFrameEncoder), through
// its frame transform.
#pragma once

#include "record/Recorder.h"

class OverlayWorker;
class ShownPicture;
namespace page {
class PageMode;
}

// params->width and params->height hold the camera's picture size; they
// become the shown picture's now, and params->transform encodes each frame
// as shown (page may be null: no page mode). overlay, shown and page must
// outlive the recording (the recorder keeps the transform until its next
// start or its end).
void RecordAsShown(OverlayWorker* overlay, const ShownPicture* shown, const page::PageMode* page,
                   record::RecordParams* params);
