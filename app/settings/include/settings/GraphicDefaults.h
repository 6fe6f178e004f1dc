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
};

} // namespace settings
