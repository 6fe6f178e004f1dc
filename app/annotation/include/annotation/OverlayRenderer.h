// RenderOverlay: draws the annotation store into the frame-sized overlay that
// the sample callback composites into every rendered sample.
#pragma once

#include "annotation/AnnotationStore.h"
#include "annotation/FrameOverlay.h"

#include <QFont>

#include <cstddef>
#include <cstdint>
#include <string>

namespace annotation {

// Untouched overlay pixels: transparent when composited.
inline constexpr COLORREF kOverlayKeyColor = 0xFEFEFE;

// Draws every shape and the band into overlay (highlighter strokes first,
// as pixels that multiply) (size bytes; W x H 32-bit
// pixels B, G, R, X of the store's frame size, rows top-down) over the key
// colour, without antialiasing so that keyed pixels stay exact, and records
// in extent where it drew. Then reports the panel state through the store.
// Returns whether there is anything to composite: false, with the overlay
// left as it was, when there is no shape and no band or the frame size does
// not fit in size bytes.
// Runs on the overlay worker thread (OverlayWorker::ExtentRenderer) and holds
// the store's lock while it reads the shapes.
bool RenderOverlay(AnnotationStore& store, uint8_t* overlay, size_t size, OverlayExtent* extent);
// The same for a picture of *width x *height pixels (OverlayWorker::
// SizedRenderer; 0 x 0 is the store's frame size): the shapes, in the
// camera's pixels, are drawn scaled to that picture, as a smaller decode
// shows the camera's picture, and *width x *height is the size drawn. At the
// frame size the overlay is the one above, pixel for pixel.
bool RenderOverlay(AnnotationStore& store, uint8_t* overlay, size_t size, OverlayExtent* extent,
                   int* width, int* height);

// The font of texts of this pixel height, without antialiasing.
QFont TextFont(int32_t size);
// A text's box in that font (AnnotationStore::SetTextMeasure).
TextExtent MeasureText(const std::string& utf8, int32_t size);

} // namespace annotation
