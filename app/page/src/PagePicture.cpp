#include "page/PagePicture.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace page {

std::optional<Quad> FindPage(const uint8_t* bgr, int width, int height, int stride) {
    if (bgr == nullptr || width < 16 || height < 16) {
        return std::nullopt;
    }
    const cv::Mat picture(height, width, CV_8UC3, const_cast<uint8_t*>(bgr),
                          static_cast<size_t>(stride));
    // Brightness as the darkest channel and colour as the spread of the
    // channels: paper is bright and colourless even in a shadow, a hand has
    // colour, the desk is dark.
    cv::Mat low(height, width, CV_8UC1);
    cv::Mat spread(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = picture.ptr<uint8_t>(y);
        uint8_t* l = low.ptr<uint8_t>(y);
        uint8_t* s = spread.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const uint8_t lo = std::min({p[0], p[1], p[2]});
            const uint8_t hi = std::max({p[0], p[1], p[2]});
            l[x] = lo;
            s[x] = static_cast<uint8_t>(hi - lo);
        }
    }
    cv::GaussianBlur(low, low, cv::Size(5, 5), 0);
    cv::Mat bright;
    cv::threshold(low, bright, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::Mat colourless;
    cv::threshold(spread, colourless, 48, 255, cv::THRESH_BINARY_INV);
    cv::Mat paper;
    cv::bitwise_and(bright, colourless, paper);
    // Print and small specks go; the page becomes one area.
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::morphologyEx(paper, paper, cv::MORPH_CLOSE, kernel);
    cv::morphologyEx(paper, paper, cv::MORPH_OPEN, kernel);

    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(paper, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    const std::vector<cv::Point>* largest = nullptr;
    double largest_area = 0;
    for (const auto& contour : contours) {
        const double area = cv::contourArea(contour);
        if (area > largest_area) {
            largest_area = area;
            largest = &contour;
        }
    }
    if (largest == nullptr) {
        return std::nullopt;
    }
    std::vector<cv::Point> hull;
    cv::convexHull(*largest, hull);
    // The outermost points in the four diagonal directions.
    cv::Point extreme[4] = {hull[0], hull[0], hull[0], hull[0]};
    for (const cv::Point& p : hull) {
        if (p.x + p.y < extreme[0].x + extreme[0].y)
            extreme[0] = p;
        if (p.x - p.y > extreme[1].x - extreme[1].y)
            extreme[1] = p;
        if (p.x + p.y > extreme[2].x + extreme[2].y)
            extreme[2] = p;
        if (p.y - p.x > extreme[3].y - extreme[3].x)
            extreme[3] = p;
    }
    Quad quad;
    for (int i = 0; i < 4; ++i) {
        // The centre of the pixel; the outline runs through pixel centres.
        quad[i] = {extreme[i].x + 0.5, extreme[i].y + 0.5};
        // A corner on the picture's edge is where the picture ends, not the
        // page (or the whole picture is one even area).
        if (extreme[i].x <= 1 || extreme[i].y <= 1 || extreme[i].x >= width - 2 ||
            extreme[i].y >= height - 2) {
            return std::nullopt;
        }
    }
    // The area found must be mostly the quad: a page cut by a hand keeps most
    // of it, a page being turned or a heap of paper does not.
    const std::vector<cv::Point2f> corners = {{float(quad[0].x), float(quad[0].y)},
                                              {float(quad[1].x), float(quad[1].y)},
                                              {float(quad[2].x), float(quad[2].y)},
                                              {float(quad[3].x), float(quad[3].y)}};
    const double quad_area = cv::contourArea(corners);
    if (quad_area <= 0 || largest_area < 0.8 * quad_area ||
        cv::contourArea(hull) > 1.15 * quad_area || !PlausibleQuad(quad, width, height)) {
        return std::nullopt;
    }
    return quad;
}

struct Flattener::State {
    cv::Mat map1;
    cv::Mat map2;
    cv::Mat out;
    Quad quad{};
    int width = 0;
    int height = 0;
    Size size;
};

Flattener::Flattener() : state_(std::make_unique<State>()) {}
Flattener::~Flattener() = default;

const uint8_t* Flattener::Flatten(const uint8_t* bgrx, int width, int height, int stride,
                                  const Quad& quad, Size out) {
    if (bgrx == nullptr || width <= 0 || height <= 0 || out.width <= 0 || out.height <= 0) {
        return nullptr;
    }
    State& s = *state_;
    if (s.map1.empty() || s.width != width || s.height != height || s.size.width != out.width ||
        s.size.height != out.height || QuadDistance(s.quad, quad) > 0) {
        // The camera point of every output pixel, once for these corners.
        const Homography map = MapBetween(RectQuad(out.width, out.height), quad);
        cv::Mat map_x(out.height, out.width, CV_32FC1);
        cv::Mat map_y(out.height, out.width, CV_32FC1);
        for (int y = 0; y < out.height; ++y) {
            float* mx = map_x.ptr<float>(y);
            float* my = map_y.ptr<float>(y);
            for (int x = 0; x < out.width; ++x) {
                const Point p = Apply(map, {x + 0.5, y + 0.5});
                mx[x] = static_cast<float>(p.x - 0.5);
                my[x] = static_cast<float>(p.y - 0.5);
            }
        }
        // Fixed-point maps remap about twice as fast as float ones.
        cv::convertMaps(map_x, map_y, s.map1, s.map2, CV_16SC2);
        s.out.create(out.height, out.width, CV_8UC4);
        s.quad = quad;
        s.width = width;
        s.height = height;
        s.size = out;
        ++maps_made_;
    }
    const cv::Mat in(height, width, CV_8UC4, const_cast<uint8_t*>(bgrx),
                     static_cast<size_t>(stride));
    cv::remap(in, s.out, s.map1, s.map2, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return s.out.data;
}

void Shrink(const uint8_t* bgrx, int width, int height, int stride, uint8_t* out, int out_width,
            int out_height) {
    const cv::Mat in(height, width, CV_8UC4, const_cast<uint8_t*>(bgrx),
                     static_cast<size_t>(stride));
    cv::Mat to(out_height, out_width, CV_8UC4, out);
    cv::resize(in, to, to.size(), 0, 0, cv::INTER_AREA);
}

void FilterDocument(uint8_t* bgrx, int width, int height, int stride, bool grey) {
    if (bgrx == nullptr || width < 8 || height < 8) {
        return;
    }
    cv::Mat picture(height, width, CV_8UC4, bgrx, static_cast<size_t>(stride));
    cv::Mat luma;
    cv::cvtColor(picture, luma, cv::COLOR_BGRA2GRAY);
    // The background: print taken away by a dilation (paper is the brightest
    // thing near it), then blurred, all at an eighth of the size.
    cv::Mat small;
    cv::resize(luma, small, cv::Size(std::max(1, width / 8), std::max(1, height / 8)), 0, 0,
               cv::INTER_AREA);
    cv::dilate(small, small, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
    cv::GaussianBlur(small, small, cv::Size(0, 0), 3);
    cv::Mat background;
    cv::resize(small, background, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);

    // Stretch: what the division leaves as paper (about 1) goes to white, and
    // the darkest print (the 2 % point) to black.
    cv::Mat ratio;
    cv::divide(luma, background, ratio, 255.0, CV_8UC1);
    int histogram[256] = {};
    for (int y = 0; y < height; ++y) {
        const uint8_t* r = ratio.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            ++histogram[r[x]];
        }
    }
    const long dark_count = static_cast<long>(width) * height / 50;
    long seen = 0;
    int dark = 0;
    while (dark < 200 && (seen += histogram[dark]) < dark_count) {
        ++dark;
    }
    const int white = 235;
    uint8_t lut[256];
    for (int v = 0; v < 256; ++v) {
        lut[v] =
            static_cast<uint8_t>(std::clamp((v - dark) * 255 / std::max(1, white - dark), 0, 255));
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture.ptr<uint8_t>(y);
        const uint8_t* b = background.ptr<uint8_t>(y);
        const uint8_t* r = ratio.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x, p += 4) {
            if (grey) {
                p[0] = p[1] = p[2] = lut[r[x]];
                continue;
            }
            const int bg = std::max<int>(1, b[x]);
            for (int c = 0; c < 3; ++c) {
                p[c] = lut[std::min(255, p[c] * 255 / bg)];
            }
        }
    }
}

} // namespace page
