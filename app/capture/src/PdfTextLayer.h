// The searchable PDF's text layer: a picture's words read (the JPEG decoded
// whole for the reader) and drawn over it where they stand, invisible.
#pragma once

#include "text/TextReader.h"

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace pdf_export {

// Reads the words of jpeg (any JPEG libjpeg-turbo decodes) into *page.
// text::kOk, or the reader's result (kCancelled when monitor asked to stop).
int ReadJpegText(const std::vector<uint8_t>& jpeg, text::Reader* reader, text::Monitor* monitor,
                 text::Page* page, text::Error* error);

// Draws page's words on cr, whose user space is the picture's pixels: each
// word's glyphs stretched over its box, so that a reader's selection and
// search find it where the picture shows it; the ink is all but fully
// transparent, so the picture looks as it did.
void DrawTextLayer(cairo_t* cr, const text::Page& page);

} // namespace pdf_export
