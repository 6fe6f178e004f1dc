// The annotation overlay's ink as a transparent PNG (libpng), for the layer
// a browser stacks over the camera's picture. Qt-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct OverlayExtent;

namespace share {

// overlay: the overlay's 32-bit pixels (rows of width x 4 bytes) as
// OverlayWorker::ReadOverlay gives them, only rows the extent names read
// (all when its width is 0); null: nothing drawn. A pixel that multiplies
// (a highlighter) becomes half transparent. shrink (1, 2, ...) divides the
// layer's sides (rounded up; the browser stretches it over the picture);
// a block with any ink takes its colour. False, *png empty, for a size the
// PNG cannot hold.
bool InkToPng(const uint8_t* overlay, const OverlayExtent* extent, int width, int height,
              int shrink, std::vector<uint8_t>* png);

} // namespace share
