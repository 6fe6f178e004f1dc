// Where the view puts several pictures at once (a capture beside the live
// picture, or up to four captures compared): the panes and each picture's
// place in its pane. Pure functions of view pixels, Qt-free.
#pragma once

#include "platform/wintypes.h"

#include <vector>

namespace view {

// Pixels left between panes.
inline constexpr int kPaneGap = 4;

// The panes for count pictures in area, left to right and top to bottom:
// one fills it, two stand side by side, three or four share a 2 x 2 grid
// (three leave the last cell empty). gap pixels lie between panes. Nothing
// for a count outside 1 to 4 or an area too small to hold the panes.
std::vector<RECT> PaneRects(int count, const RECT& area, int gap = kPaneGap);

// The largest rectangle of the picture's aspect (width : height) centred in
// pane; empty for an empty picture or pane.
RECT FitAspect(const RECT& pane, int width, int height);

} // namespace view
