#include "page/PageRules.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace page {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Cross(const Point& o, const Point& a, const Point& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double Length(const Point& a, const Point& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

double Area(const Quad& q) {
    double twice = 0;
    for (int i = 0; i < 4; ++i) {
        const Point& a = q[i];
        const Point& b = q[(i + 1) % 4];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

Quad Blend(const Quad& a, const Quad& b, double weight) {
    Quad out;
    for (int i = 0; i < 4; ++i) {
        out[i] = {a[i].x + (b[i].x - a[i].x) * weight, a[i].y + (b[i].y - a[i].y) * weight};
    }
    return out;
}

} // namespace

Quad OrderCorners(const std::array<Point, 4>& points) {
    std::array<Point, 4> p = points;
    std::sort(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.y < b.y; });
    if (p[0].x > p[1].x) {
        std::swap(p[0], p[1]);
    }
    if (p[2].x < p[3].x) {
        std::swap(p[2], p[3]);
    }
    return {p[0], p[1], p[2], p[3]};
}

bool ConvexQuad(const Quad& q) {
    double sign = 0;
    for (int i = 0; i < 4; ++i) {
        const double c = Cross(q[i], q[(i + 1) % 4], q[(i + 2) % 4]);
        if (c == 0 || (sign != 0 && (c > 0) != (sign > 0))) {
            return false;
        }
        sign = c;
    }
    return true;
}

bool PlausibleQuad(const Quad& q, int width, int height) {
    if (width <= 0 || height <= 0 || !ConvexQuad(q)) {
        return false;
    }
    if (Area(q) < 0.1 * width * height) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        const Point& prev = q[(i + 3) % 4];
        const Point& here = q[i];
        const Point& next = q[(i + 1) % 4];
        const double ax = prev.x - here.x, ay = prev.y - here.y;
        const double bx = next.x - here.x, by = next.y - here.y;
        const double angle =
            std::acos(std::clamp((ax * bx + ay * by) / (std::hypot(ax, ay) * std::hypot(bx, by)),
                                 -1.0, 1.0)) *
            180 / kPi;
        if (angle < 50 || angle > 130) {
            return false;
        }
    }
    for (int i = 0; i < 2; ++i) {
        const double a = Length(q[i], q[i + 1]);
        const double b = Length(q[i + 2], q[(i + 3) % 4]);
        if (a > 2 * b || b > 2 * a) {
            return false;
        }
    }
    return true;
}

double QuadDistance(const Quad& a, const Quad& b) {
    double d = 0;
    for (int i = 0; i < 4; ++i) {
        d = std::max(d, Length(a[i], b[i]));
    }
    return d;
}

bool CornerSmoother::Update(const std::optional<Quad>& found, int width, int height) {
    if (!found) {
        candidate_.reset();
        return false; // hold
    }
    const double diagonal = std::hypot(width, height);
    if (!held_) {
        held_ = found;
        candidate_.reset();
        return true;
    }
    const double distance = QuadDistance(*held_, *found);
    if (distance <= kFollowShare * diagonal) {
        candidate_.reset();
        if (distance <= kStillShare * diagonal) {
            return false;
        }
        held_ = Blend(*held_, *found, kWeight);
        return true;
    }
    if (candidate_ && QuadDistance(*candidate_, *found) <= kAgreeShare * diagonal) {
        held_ = found;
        candidate_.reset();
        return true;
    }
    candidate_ = found;
    return false;
}

void CornerSmoother::Reset() {
    held_.reset();
    candidate_.reset();
}

double PageAspect(const Quad& q, int width, int height) {
    // Corners as homogeneous points about the picture's middle.
    struct V {
        double x, y, z;
    };
    auto at = [&](const Point& p) { return V{p.x - width / 2.0, p.y - height / 2.0, 1.0}; };
    auto cross = [](const V& a, const V& b) {
        return V{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    auto dot = [](const V& a, const V& b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    const V m1 = at(q[0]), m2 = at(q[1]), m3 = at(q[3]), m4 = at(q[2]);
    const double d2 = dot(cross(m2, m4), m3);
    const double d3 = dot(cross(m3, m4), m2);
    const double side_w = (Length(q[0], q[1]) + Length(q[3], q[2])) / 2;
    const double side_h = (Length(q[0], q[3]) + Length(q[1], q[2])) / 2;
    const double fallback = side_h > 0 ? side_w / side_h : 1.0;
    if (d2 == 0 || d3 == 0) {
        return fallback;
    }
    const double k2 = dot(cross(m1, m4), m3) / d2;
    const double k3 = dot(cross(m1, m4), m2) / d3;
    const V n2{k2 * m2.x - m1.x, k2 * m2.y - m1.y, k2 * m2.z - m1.z};
    const V n3{k3 * m3.x - m1.x, k3 * m3.y - m1.y, k3 * m3.z - m1.z};
    // With a pair of sides parallel (or nearly) the focal length cannot be
    // told from the corners; a document camera's lens then stands in: about
    // as long as the picture is wide (a 53 degree view across).
    double f2 = width * static_cast<double>(width);
    if (std::fabs(n2.z) > 1e-3 && std::fabs(n3.z) > 1e-3) {
        const double found = -(n2.x * n3.x + n2.y * n3.y) / (n2.z * n3.z);
        // One far from any camera's (a tenth to ten times the width) means
        // the corners are too near parallel to trust it.
        if (found > 0.01 * f2 && found < 100 * f2) {
            f2 = found;
        }
    }
    const double w2 = (n2.x * n2.x + n2.y * n2.y) / f2 + n2.z * n2.z;
    const double h2 = (n3.x * n3.x + n3.y * n3.y) / f2 + n3.z * n3.z;
    const double aspect = std::sqrt(w2 / h2);
    return std::isfinite(aspect) && aspect > 0.2 && aspect < 5 ? aspect : fallback;
}

Size FlatSize(const Quad& q, int width, int height, int max_width, int max_height, bool fill) {
    const double h = (Length(q[0], q[3]) + Length(q[1], q[2])) / 2;
    const double w = h * PageAspect(q, width, height);
    if (w <= 0 || h <= 0 || max_width <= 0 || max_height <= 0) {
        return {16, 16};
    }
    const double fit = std::min({fill ? 1e9 : 1.0, max_width / w, max_height / h});
    return {std::max(16, static_cast<int>(w * fit + 0.5)),
            std::max(16, static_cast<int>(h * fit + 0.5))};
}

Homography MapBetween(const Quad& from, const Quad& to) {
    cv::Point2f src[4];
    cv::Point2f dst[4];
    for (int i = 0; i < 4; ++i) {
        src[i] = cv::Point2f(static_cast<float>(from[i].x), static_cast<float>(from[i].y));
        dst[i] = cv::Point2f(static_cast<float>(to[i].x), static_cast<float>(to[i].y));
    }
    const cv::Mat m = cv::getPerspectiveTransform(src, dst);
    Homography h{};
    for (int i = 0; i < 9; ++i)
        h[i] = m.at<double>(i / 3, i % 3);
    // Degenerate corners (three on a line) give no map: points stay put.
    const bool usable =
        std::all_of(h.begin(), h.end(), [](double v) { return std::isfinite(v); }) && h[8] != 0;
    return usable ? h : Homography{1, 0, 0, 0, 1, 0, 0, 0, 1};
}

Point Apply(const Homography& m, const Point& p) {
    const double w = m[6] * p.x + m[7] * p.y + m[8];
    if (w == 0) {
        return p;
    }
    return {(m[0] * p.x + m[1] * p.y + m[2]) / w, (m[3] * p.x + m[4] * p.y + m[5]) / w};
}

Quad RectQuad(double width, double height) {
    return {Point{0, 0}, Point{width, 0}, Point{width, height}, Point{0, height}};
}

int HitHandle(const Quad& quad, const Point& point, double radius) {
    int best = -1;
    double best_distance = radius;
    for (int i = 0; i < 4; ++i) {
        const double d = Length(quad[i], point);
        if (d <= best_distance) {
            best = i;
            best_distance = d;
        }
    }
    return best;
}

Quad DragCorner(const Quad& press_quad, int handle, const Point& view_point, double flat_left,
                double flat_top, double scale, Size flat, int width, int height) {
    Quad out = press_quad;
    if (handle < 0 || handle > 3 || scale <= 0) {
        return out;
    }
    const Homography flat_to_camera = MapBetween(RectQuad(flat.width, flat.height), press_quad);
    const Point in_flat{(view_point.x - flat_left) / scale, (view_point.y - flat_top) / scale};
    Point camera = Apply(flat_to_camera, in_flat);
    camera.x = std::clamp(camera.x, 0.0, static_cast<double>(width));
    camera.y = std::clamp(camera.y, 0.0, static_cast<double>(height));
    out[handle] = camera;
    return ConvexQuad(out) ? out : press_quad;
}

} // namespace page
