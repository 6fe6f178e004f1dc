// The stages of the picture: the base page, the camera state applied to it,
// and the live marker drawn over the result.
#pragma once

#include "image.h"
#include "sim/picture.h"

namespace sim::detail {

// Draws the document page at width x height into page.
void RenderPage(RgbImage& page, int width, int height);

// Writes page with state (already clamped) applied into out; scratch is a
// work buffer. out and scratch are resized as needed and must not be page.
void ApplyState(const RgbImage& page, const CameraState& state, RgbImage& out, RgbImage& scratch);

// Height of the band at the top of the picture that the live marker covers.
int LiveMarkerRows(int height);
// Draws the frame counter and moving square into the top LiveMarkerRows rows.
void DrawLiveMarker(RgbImage& image, uint32_t frame_number);

} // namespace sim::detail
