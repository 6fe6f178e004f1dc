// The button plate every skin button shares, its four states and a toggle's
// second face, and the greying of the disabled state.
#pragma once

#include "Glyphs.h"
#include "SkinTable.h"

#include <QImage>

namespace skin {

// One face of a button: the plate for state (and second face), the glyph on
// it, over backdrop (the panel behind the button, RGB32, the button's size).
// Normal is a light plate; MouseOver lighter with a blue rim; ClickDown a
// darker inset plate with the glyph moved down and right; Gray the Normal face
// desaturated and faded; a second face is a coloured plate with light ink.
QImage DrawButtonFace(const Glyph& glyph, const QImage& backdrop, State state, bool second);

// The glyph alone over backdrop, filling it with a small margin.
QImage DrawPicture(const Glyph& glyph, const QImage& backdrop);

// Desaturates image in place and fades it toward light grey; alpha is kept.
void Desaturate(QImage* image);

} // namespace skin
