// What new annotation shapes start with: kept by the settings store and read
// by the annotation rules, which need nothing else of the settings.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>

namespace settings {

// Annotation tool defaults, section GraphicDefault, in the application's
// field order.
struct GraphicDefaults {
    COLORREF line_color = 0;
    int32_t line_width = 1;
    COLORREF rect_color = 0;
    COLORREF rect_fill_color = 0;
    int32_t rect_width = 1;
    bool rect_fill = false;
    COLORREF circle_color = 0;
    COLORREF circle_fill_color = 0;
    int32_t circle_width = 1;
    bool circle_fill = false;
    COLORREF curve_color = 0;
    int32_t curve_width = 1;
    // The teaching tools' pens, not kept in the INI: each lesson starts with
    // them. Red shows on white paper and on most print; a yellow
    // highlighter a little wider than a line of print; text about 48 pixels
    // high reads from the back of a room on a 1080p picture.
    COLORREF arrow_color = 0x0000FF;
    int32_t arrow_width = 4;
    COLORREF highlighter_color = 0x00FFFF;
    int32_t highlighter_width = 24;
    COLORREF text_color = 0x0000FF;
    int32_t text_size = 48;
};

} // namespace settings
