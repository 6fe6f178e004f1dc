// The quick palette of the tool panel: eight colours and three widths that
// apply to the selected shapes and to the next shape drawn. Free of any
// window system and of locking, like EditRules.h.
#pragma once

#include "annotation/EditRules.h"

#include <cstdint>

namespace annotation {

// Black, white, red, orange, yellow, green, blue and purple (0x00BBGGRR).
inline constexpr COLORREF kPaletteColors[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x008CFF,
                                              0x00E6FF, 0x00A000, 0xFF5A00, 0xC80096};
inline constexpr int kPaletteColorCount = 8;
// Thin, medium and thick.
inline constexpr int kPaletteWidthCount = 3;

// What width choice index (0 thin .. 2 thick) means for a kind: a pen
// width, a highlighter's width, a text's size.
int32_t PaletteWidthFor(ShapeKind kind, int index);

// The colour of the selected shapes and of the next shapes: with the
// highlighter current, the highlighter's alone (its ink must stay light to
// keep print readable); otherwise every pen but the highlighter's.
Changes ChoosePaletteColor(AnnotationState& s, COLORREF color);
// The width (size) of the selected shapes and of the next shapes, chosen
// the same way. An index out of range changes nothing.
Changes ChoosePaletteWidth(AnnotationState& s, int index);

} // namespace annotation
