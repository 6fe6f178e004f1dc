// The rules of page mode as pure functions: which four points can be a page,
// how found corners are smoothed and held, how big the flattened page is,
// and which corner handle the mouse takes. No picture, thread or widget.
#pragma once

#include <array>
#include <optional>

namespace page {

struct Point {
    double x = 0;
    double y = 0;
};

// Corners of the page as read: top-left, top-right, bottom-right, bottom-left.
using Quad = std::array<Point, 4>;

// A row-major 3 x 3 projective map.
using Homography = std::array<double, 9>;

// The four points put in page order: the two highest (smallest y) are the top
// edge, left before right; the other two the bottom edge.
Quad OrderCorners(const std::array<Point, 4>& points);

// quad's corners turn the same way all round (no corner dragged across
// the page or onto another).
bool ConvexQuad(const Quad& quad);

// Could quad be a page lying in a width x height picture? It must be convex,
// cover at least a tenth of the picture, have every corner's angle within
// 50 to 130 degrees and opposite sides no more than twice as long as each
// other.
bool PlausibleQuad(const Quad& quad, int width, int height);

// The largest distance between matching corners.
double QuadDistance(const Quad& a, const Quad& b);

// Smooths the corners found every few frames, and holds them through what is
// not a new page. A found quad near the held one (within kFollowShare of
// the picture's diagonal) is followed smoothly; one far from it is taken
// only when the next detection agrees with it (a new page lies still, a
// hand or a page being turned does not); nothing found holds the last good
// corners.
class CornerSmoother {
public:
    static constexpr double kFollowShare = 0.04; // of the diagonal
    static constexpr double kAgreeShare = 0.02;  // two detections agree
    static constexpr double kStillShare = 0.002; // below this, no change at all
    static constexpr double kWeight = 0.5;       // of a new detection

    // One detection (nullopt: none plausible) in a width x height picture.
    // True when the held corners changed.
    bool Update(const std::optional<Quad>& found, int width, int height);
    const std::optional<Quad>& Held() const { return held_; }
    void Reset();

private:
    std::optional<Quad> held_;
    std::optional<Quad> candidate_;
};

// The page's own width over height, from quad seen in a width x height
// picture whose optical centre is its middle: the focal length follows from
// the two vanishing points (as in whiteboard scanning, Zhang and He), and
// with it the aspect. Where a pair of sides is parallel, a lens about as
// long as the picture is wide is taken.
double PageAspect(const Quad& quad, int width, int height);

// Width and height of the flattened page: the mean height of the sides and
// the page's aspect, made smaller to fit within max_width x max_height (or,
// with fill, made as large as fits), at least 16 x 16.
struct Size {
    int width = 0;
    int height = 0;
};
Size FlatSize(const Quad& quad, int width, int height, int max_width, int max_height,
              bool fill = false);

// The map that takes the four points from to the four points to.
Homography MapBetween(const Quad& from, const Quad& to);
Point Apply(const Homography& map, const Point& point);
// The corners of a width x height rectangle, in Quad order.
Quad RectQuad(double width, double height);

// The handle of quad (view points) within radius of point: 0 to 3, or -1.
// The nearest wins when handles overlap.
int HitHandle(const Quad& quad, const Point& point, double radius);

// Dragging corner handle of camera quad to view point drag, where the view
// shows the page flattened from quad at press_quad into a rectangle of
// flat_width x flat_height placed at flat_left, flat_top with scale: the new
// camera quad. The press-time quad maps the view back to the camera, so the
// corner follows the mouse without feedback from the changing picture. The
// corner stays inside the width x height camera picture; a drag that would
// fold the page (ConvexQuad false) leaves press_quad as it was.
Quad DragCorner(const Quad& press_quad, int handle, const Point& view_point, double flat_left,
                double flat_top, double scale, Size flat, int width, int height);

} // namespace page
