#include "view/PaneLayout.h"

#include <cstdint>

namespace view {

std::vector<RECT> PaneRects(int count, const RECT& area, int gap) {
    if (count < 1 || count > 4)
        return {};
    const int columns = count == 1 ? 1 : 2;
    const int rows = count <= 2 ? 1 : 2;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const int pane_w = (width - gap * (columns - 1)) / columns;
    const int pane_h = (height - gap * (rows - 1)) / rows;
    if (pane_w < 1 || pane_h < 1)
        return {};
    std::vector<RECT> panes;
    for (int i = 0; i < count; ++i) {
        const int column = i % columns;
        const int row = i / columns;
        const int left = area.left + column * (pane_w + gap);
        const int top = area.top + row * (pane_h + gap);
        // The last column and row take what the division left over.
        const int right = column == columns - 1 ? area.right : left + pane_w;
        const int bottom = row == rows - 1 ? area.bottom : top + pane_h;
        panes.push_back(RECT{left, top, right, bottom});
    }
    return panes;
}

RECT FitAspect(const RECT& pane, int width, int height) {
    const int pane_w = pane.right - pane.left;
    const int pane_h = pane.bottom - pane.top;
    if (width <= 0 || height <= 0 || pane_w <= 0 || pane_h <= 0)
        return RECT{pane.left, pane.top, pane.left, pane.top};
    // Compare pane_w / pane_h with width / height without rounding.
    int w = pane_w;
    int h = pane_h;
    if (static_cast<int64_t>(pane_w) * height > static_cast<int64_t>(pane_h) * width)
        w = static_cast<int>(static_cast<int64_t>(pane_h) * width / height);
    else
        h = static_cast<int>(static_cast<int64_t>(pane_w) * height / width);
    w = w < 1 ? 1 : w;
    h = h < 1 ? 1 : h;
    const int left = pane.left + (pane_w - w) / 2;
    const int top = pane.top + (pane_h - h) / 2;
    return RECT{left, top, left + w, top + h};
}

} // namespace view
