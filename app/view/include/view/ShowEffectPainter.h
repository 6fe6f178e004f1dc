// Paints the spotlight or the curtain (ShowEffectRules.h) over the picture
// the view has just painted. A paint effect only: frames, snapshots and
// recordings never carry it. User-interface thread only.
#pragma once

#include "platform/wintypes.h"
#include "view/ShowEffectRules.h"

class QPainter;

namespace view {

// How much of the picture's light the spotlight takes away around its
// ellipse: strong, but the class still sees where the rest of the page is.
inline constexpr int kSpotlightShadeAlpha = 210; // of 255, about 82 %

// Paints state's effect over area (view pixels); nothing for kNone or an
// empty area.
void PaintShowEffect(QPainter& painter, const ShowEffectState& state, const RECT& area);

} // namespace view
