#include "view/VideoGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace view {
namespace {

struct ZoomEntry {
    int mode;
    uint32_t command;
    const char* text;
};

constexpr ZoomEntry kZoomTable[kZoomModeCount] = {
    {kActualSize, cmd::kZoomFirst + kActualSize, "Actual Size"},
    {kFitHeight, cmd::kZoomFirst + kFitHeight, "Fit Height"},
    {kFitWidth, cmd::kZoomFirst + kFitWidth, "Fit Width"},
    {kFitWindow, cmd::kZoomFirst + kFitWindow, "Fit Window"},
    {kFitImage, cmd::kZoomFirst + kFitImage, "Fit Image"},
};

// Products are taken in 64 bits so that no size overflows; the quotient
// truncates like the 32-bit division the sizes were designed with.
int ScaleTruncating(int a, int b, int c) {
    const int64_t q = static_cast<int64_t>(a) * b / c;
    return static_cast<int>(
        std::clamp<int64_t>(q, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int64_t CeilDiv(int64_t a, int64_t b) { // b > 0
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

} // namespace

int ZoomModeFromCommand(uint32_t command) {
    for (const ZoomEntry& e : kZoomTable)
        if (e.command == command)
            return e.mode;
    return -1;
}

uint32_t ZoomCommandFromMode(int mode) {
    for (const ZoomEntry& e : kZoomTable)
        if (e.mode == mode)
            return e.command;
    return 0;
}

uint32_t NextZoomCommand(uint32_t command) {
    if (command < cmd::kZoomFirst || command > cmd::kZoomLast)
        return 0;
    return command == cmd::kZoomLast ? cmd::kZoomFirst : command + 1;
}

const char* ZoomModeText(int mode) {
    for (const ZoomEntry& e : kZoomTable)
        if (e.mode == mode)
            return e.text;
    return "";
}

RECT CalcDisplayRect(int available_width, int available_height, int image_width, int image_height,
                     int mode) {
    if (image_width <= 0 || image_height <= 0)
        return RECT{};
    const int W = available_width;
    const int H = available_height;
    const int fit_w = ScaleTruncating(H, image_width, image_height);
    const int fit_h = ScaleTruncating(W, image_height, image_width);
    int w = 0;
    int h = 0;
    switch (mode) {
    case kActualSize:
        w = image_width;
        h = image_height;
        break;
    case kFitHeight:
        w = fit_w;
        h = H;
        break;
    case kFitWidth:
        w = W;
        h = fit_h;
        break;
    case kFitWindow:
        w = W;
        h = H;
        break;
    case kFitImage:
        if (fit_w <= W) {
            w = fit_w;
            h = H;
        } else {
            w = W;
            h = fit_h;
        }
        break;
    default:
        return RECT{};
    }
    // The half pixel makes an odd difference favour the right and bottom.
    const int ox = static_cast<int>((w + 0.5 - W) * 0.5);
    const int oy = static_cast<int>((h + 0.5 - H) * 0.5);
    return RECT{-ox, -oy, w - ox, h - oy};
}

ShownPixels PixelsShown(const RECT& display, int quarter_turns, double device_ratio) {
    const int64_t width = static_cast<int64_t>(display.right) - display.left;
    const int64_t height = static_cast<int64_t>(display.bottom) - display.top;
    if (width <= 0 || height <= 0 || (width == 1 && height == 1))
        return {};
    const double ratio = device_ratio > 0.0 ? device_ratio : 1.0;
    const auto device = [ratio](int64_t side) {
        return static_cast<int>(
            std::min<double>(std::ceil(static_cast<double>(side) * ratio), INT32_MAX));
    };
    ShownPixels shown{device(width), device(height)};
    if ((quarter_turns & 1) != 0)
        std::swap(shown.width, shown.height);
    return shown;
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t a = product < 0 ? -product : product;
    const int64_t b = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
    const int64_t q = (a + b / 2) / b;
    const int64_t r = negative ? -q : q;
    return static_cast<int>(
        std::clamp<int64_t>(r, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool PointInRect(const RECT& rect, const POINT& point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
           point.y < rect.bottom;
}

bool ClientToImage(const RECT& display, int image_width, int image_height,
                   const POINT& client_point, POINT* image_point) {
    if (image_point == nullptr || image_width <= 0 || image_height <= 0 ||
        !PointInRect(display, client_point))
        return false;
    const int x = MulDiv(image_width, client_point.x - display.left, display.right - display.left);
    const int y = MulDiv(image_height, client_point.y - display.top, display.bottom - display.top);
    // Rounding can reach one past the last pixel when the picture is shown
    // more than twice its size; keep the point on the picture.
    image_point->x = std::clamp(x, 0, image_width - 1);
    image_point->y = std::clamp(y, 0, image_height - 1);
    return true;
}

POINT ImageToClient(const RECT& display, int image_width, int image_height,
                    const POINT& image_point) {
    if (image_width <= 0 || image_height <= 0)
        return POINT{display.left, display.top};
    const int64_t w = static_cast<int64_t>(display.right) - display.left;
    const int64_t h = static_cast<int64_t>(display.bottom) - display.top;
    const int64_t x = std::clamp<int64_t>(image_point.x, 0, image_width - 1);
    const int64_t y = std::clamp<int64_t>(image_point.y, 0, image_height - 1);
    // The smallest offset d with round(size * d / extent) == pixel.
    // A reduced picture may have no view pixel for its last pixel: take the
    // last view pixel then.
    const int64_t dx = std::clamp<int64_t>(CeilDiv((2 * x - 1) * w, 2 * int64_t{image_width}), 0,
                                           std::max<int64_t>(w - 1, 0));
    const int64_t dy = std::clamp<int64_t>(CeilDiv((2 * y - 1) * h, 2 * int64_t{image_height}), 0,
                                           std::max<int64_t>(h - 1, 0));
    return POINT{static_cast<LONG>(display.left + dx), static_cast<LONG>(display.top + dy)};
}

} // namespace view
