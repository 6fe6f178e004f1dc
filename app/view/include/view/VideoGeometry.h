// Geometry of the video view, free of any window system: the zoom modes and
// their commands, the destination rectangle of the picture for a zoom mode,
// and the mapping between view coordinates and image pixels.
#pragma once

#include "common/CommandIds.h"
#include "platform/wintypes.h"

#include <cstdint>

namespace view {

// A point in view coordinates or in image pixels.
struct POINT {
    LONG x;
    LONG y;
};

// Zoom modes; the values are what the ZoomMode setting stores.
enum ZoomMode : int {
    kActualSize = 0,
    kFitHeight = 1,
    kFitWidth = 2,
    kFitWindow = 3, // stretched, aspect ratio not kept
    kFitImage = 4,  // aspect ratio kept, whole picture inside
};
constexpr int kZoomModeCount = 5;

static_assert(kZoomModeCount == static_cast<int>(cmd::kZoomCount));

// Mode for a zoom command, -1 for any other command.
int ZoomModeFromCommand(uint32_t command);
// Command for a zoom mode, 0 for a mode out of range.
uint32_t ZoomCommandFromMode(int mode);
// The command after this one in the double-click cycle (Fit Image wraps to
// Actual Size); 0 for a command that is not a zoom command.
uint32_t NextZoomCommand(uint32_t command);
// Menu text of a zoom mode ("Actual Size" ...), empty for a mode out of range.
const char* ZoomModeText(int mode);

// Where a picture of image_width x image_height lies in an area of
// available_width x available_height for a zoom mode. A picture smaller than
// the area is centred; a larger one is cut equally on both sides (negative
// left or top). An image with a dimension of zero or less, or an unknown
// mode, gives an all-zero rectangle.
RECT CalcDisplayRect(int available_width, int available_height, int image_width, int image_height,
                     int mode);

// How many pixels of the camera's picture a display rectangle shows: its
// size in device pixels (device_ratio per view pixel, rounded up), turned
// back by the quarter turns shown to the camera's orientation; 0 x 0 for
// an empty or 1 x 1 rectangle (nothing shown). The decoder needs no more than this.
struct ShownPixels {
    int width = 0;
    int height = 0;
};
ShownPixels PixelsShown(const RECT& display, int quarter_turns, double device_ratio);

// Rounded multiply-divide: number * numerator / denominator, rounded half
// away from zero, in 64-bit; -1 when denominator is 0.
int MulDiv(int number, int numerator, int denominator);

// True when the view point lies in the rectangle (left and top inclusive,
// right and bottom exclusive).
bool PointInRect(const RECT& rect, const POINT& point);

// The image pixel under a view point. Returns false and leaves image_point
// unchanged when the point lies outside the display rectangle or the image
// is empty; otherwise the result lies in [0, size - 1] on both axes.
bool ClientToImage(const RECT& display, int image_width, int image_height,
                   const POINT& client_point, POINT* image_point);

// The first view pixel that maps back to the image pixel (the inverse of
// ClientToImage where the picture is shown at least at actual size). The
// image point is clamped to the image first.
POINT ImageToClient(const RECT& display, int image_width, int image_height,
                    const POINT& image_point);

} // namespace view
