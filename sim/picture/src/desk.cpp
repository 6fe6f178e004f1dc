// The emulated desk: the page is set flat with cairo once, then laid onto the
// desk through a perspective map (bilinear samples of the flat page).
#include "sim/desk.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string_view>

namespace sim {

namespace {

std::atomic<int> g_scene{static_cast<int>(Scene::kPage)};
std::atomic<int> g_page{0};

constexpr double kPi = 3.14159265358979323846;
constexpr double kPageAspect = 1.4142; // A4, height over width
constexpr double kPageHeight = 0.78;   // of the picture's height, before the turn

// Sentences the pages are made of; each page takes its own run of them.
constexpr std::string_view kSentences[] = {
    "The river rises in the northern hills and flows south through the valley.",
    "Farmers along its banks grow wheat, barley and apples in the summer months.",
    "In winter the water freezes near the old mill and children skate on it.",
    "A small museum in the town shows tools that were used two hundred years ago.",
    "Visitors can walk from the station to the bridge in about twenty minutes.",
    "The school library opens every morning at eight and closes at four.",
    "Students should return their books before the end of each term.",
    "Light travels faster than sound, which is why we see lightning first.",
    "Plants need water, sunlight and carbon dioxide to make their own food.",
    "The heart pumps blood through the body about seventy times a minute.",
    "Many birds fly south in autumn and come back when the days grow longer.",
    "Write your name at the top of the page and answer every question.",
    "Measure the length of each side and add them together to find the perimeter.",
    "A triangle has three sides and the sum of its angles is always the same.",
    "The market square fills with stalls selling bread, cheese and flowers.",
    "Our class will visit the castle next week if the weather stays fine.",
};
constexpr int kSentenceCount = static_cast<int>(std::size(kSentences));
constexpr int kSentencesPerPage = 9;

// Turns of successive pages, degrees.
constexpr double kAngles[] = {-6, 4, 9, -10, 2, -3, 7, -8};

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// Sets the page flat into a width x height surface.
void DrawFlatPage(cairo_t* cr, int width, int height, int page) {
    cairo_set_source_rgb(cr, 0.98, 0.98, 0.965);
    cairo_paint(cr);
    const double margin = width * 0.08;
    const double body = height / 36.0;
    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, body * 1.6);
    cairo_set_source_rgb(cr, 0.08, 0.12, 0.3);
    double y = margin + body * 1.6;
    const std::string title = "Lesson " + std::to_string(page + 1);
    cairo_move_to(cr, margin, y);
    cairo_show_text(cr, title.c_str());
    y += body * 1.2;

    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, body);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    const double line_height = body * 1.5;
    const double right = width - margin;
    double x = margin;
    y += line_height;
    const std::string text = DeskPageText(page);
    size_t start = 0;
    while (start < text.size() && y < height - margin) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(start, end - start) + " ";
        cairo_text_extents_t extents;
        cairo_text_extents(cr, word.c_str(), &extents);
        if (x > margin && x + extents.x_advance - body * 0.3 > right) {
            x = margin;
            y += line_height;
        }
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, word.c_str());
        x += extents.x_advance;
        start = end + 1;
    }
    // The page number at the foot, as printed pages have.
    cairo_set_font_size(cr, body * 0.8);
    const std::string number = std::to_string(page + 1);
    cairo_move_to(cr, width / 2.0, height - margin / 2);
    cairo_show_text(cr, number.c_str());
}

// The homography (row-major, h[8] = 1) that maps from[i] to to[i].
std::array<double, 9> Homography(const std::array<DeskPoint, 4>& from,
                                 const std::array<DeskPoint, 4>& to) {
    double a[8][9] = {};
    for (int i = 0; i < 4; ++i) {
        const double x = from[i].x, y = from[i].y, u = to[i].x, v = to[i].y;
        double r0[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        double r1[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
        std::copy(r0, r0 + 9, a[2 * i]);
        std::copy(r1, r1 + 9, a[2 * i + 1]);
    }
    for (int c = 0; c < 8; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 8; ++r) {
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
                pivot = r;
            }
        }
        std::swap(a[c], a[pivot]);
        for (int r = 0; r < 8; ++r) {
            if (r != c && a[c][c] != 0) {
                const double f = a[r][c] / a[c][c];
                for (int k = c; k < 9; ++k) {
                    a[r][k] -= f * a[c][k];
                }
            }
        }
    }
    std::array<double, 9> h{};
    for (int i = 0; i < 8; ++i) {
        h[i] = a[i][i] != 0 ? a[i][8] / a[i][i] : 0;
    }
    h[8] = 1;
    return h;
}

void DrawDesk(int width, int height, uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // A dark wooden tone, lighter towards the middle, with faint grain.
            const double dx = (x - width / 2.0) / width;
            const double dy = (y - height / 2.0) / height;
            const double light = 1.0 - 0.8 * (dx * dx + dy * dy);
            const double grain = 4 * std::sin(y * 0.05 + std::sin(x * 0.01) * 3);
            uint8_t* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
            p[0] = static_cast<uint8_t>(std::clamp(72 * light + grain, 0.0, 255.0));
            p[1] = static_cast<uint8_t>(std::clamp(52 * light + grain, 0.0, 255.0));
            p[2] = static_cast<uint8_t>(std::clamp(40 * light + grain, 0.0, 255.0));
        }
    }
}

} // namespace

void SetScene(Scene scene) {
    g_scene.store(static_cast<int>(scene));
}

Scene CurrentScene() {
    return static_cast<Scene>(g_scene.load());
}

int NextDeskPage() {
    return g_page.fetch_add(1) + 1;
}

int DeskPageNumber() {
    return g_page.load();
}

DeskOptions DeskOptionsForPage(int page) {
    DeskOptions options;
    options.page = page;
    const int n = static_cast<int>(std::size(kAngles));
    options.angle = kAngles[((page % n) + n) % n];
    options.far_edge = 0.9 + 0.02 * (((page % 3) + 3) % 3);
    return options;
}

std::array<DeskPoint, 4> DeskCorners(int width, int height, const DeskOptions& options) {
    // A pinhole camera over the desk, looking at the picture's centre: the
    // page (1 wide, kPageAspect high) lies turned on the desk, which is tilted
    // so that the page's far edge shows far_edge as wide as its near one.
    const double focal = width;
    const double depth = focal * kPageAspect / (height * kPageHeight);
    const double far = std::clamp(options.far_edge, 0.8, 1.0);
    const double lift = depth * (1 - far) / (1 + far); // depth change over half the page
    const double tilt = std::asin(std::clamp(2 * lift / kPageAspect, 0.0, 0.9));
    const double angle = std::clamp(options.angle, -10.0, 10.0) * kPi / 180;
    // Pages lie a little off-centre, differently from page to page.
    const double shift = 0.02 * ((options.page % 5) - 2);
    const DeskPoint flat[4] = {{-0.5, -kPageAspect / 2},
                               {0.5, -kPageAspect / 2},
                               {0.5, kPageAspect / 2},
                               {-0.5, kPageAspect / 2}};
    std::array<DeskPoint, 4> corners;
    for (int i = 0; i < 4; ++i) {
        const double x = flat[i].x * std::cos(angle) - flat[i].y * std::sin(angle) + shift;
        const double y = flat[i].x * std::sin(angle) + flat[i].y * std::cos(angle);
        const double z = depth - y * std::sin(tilt);
        corners[i].x = width / 2.0 + focal * x / z;
        corners[i].y = height / 2.0 + focal * y * std::cos(tilt) / z;
    }
    return corners;
}

std::string DeskPageText(int page) {
    std::string text;
    const int first = ((page * 5) % kSentenceCount + kSentenceCount) % kSentenceCount;
    for (int i = 0; i < kSentencesPerPage; ++i) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kSentences[(first + i) % kSentenceCount];
    }
    return text;
}

bool RenderDesk(int width, int height, const DeskOptions& options, std::vector<uint8_t>& rgb) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    rgb.resize(static_cast<size_t>(width) * height * 3);
    DrawDesk(width, height, rgb.data());

    const auto corners = DeskCorners(width, height, options);
    // The flat page at about the size it shows, a little larger for detail.
    const int flat_h = static_cast<int>(height * kPageHeight * 1.25);
    const int flat_w = static_cast<int>(flat_h / kPageAspect);
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, flat_w, flat_h));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return false;
    }
    {
        std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
        DrawFlatPage(cr.get(), flat_w, flat_h, options.page);
    }
    cairo_surface_flush(surface.get());
    const uint8_t* flat = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());

    const std::array<DeskPoint, 4> flat_corners = {DeskPoint{0, 0}, DeskPoint{double(flat_w), 0},
                                                   DeskPoint{double(flat_w), double(flat_h)},
                                                   DeskPoint{0, double(flat_h)}};
    const auto h = Homography(corners, flat_corners); // picture -> flat page
    double min_x = width, max_x = 0, min_y = height, max_y = 0;
    for (const DeskPoint& c : corners) {
        min_x = std::min(min_x, c.x);
        max_x = std::max(max_x, c.x);
        min_y = std::min(min_y, c.y);
        max_y = std::max(max_y, c.y);
    }
    const int x0 = std::max(0, static_cast<int>(min_x) - 1);
    const int x1 = std::min(width, static_cast<int>(max_x) + 2);
    const int y0 = std::max(0, static_cast<int>(min_y) - 1);
    const int y1 = std::min(height, static_cast<int>(max_y) + 2);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double w = h[6] * px + h[7] * py + h[8];
            const double u = (h[0] * px + h[1] * py + h[2]) / w - 0.5;
            const double v = (h[3] * px + h[4] * py + h[5]) / w - 0.5;
            if (u < -0.5 || v < -0.5 || u > flat_w - 0.5 || v > flat_h - 0.5) {
                continue;
            }
            const int iu = std::clamp(static_cast<int>(std::floor(u)), 0, flat_w - 2);
            const int iv = std::clamp(static_cast<int>(std::floor(v)), 0, flat_h - 2);
            const double fu = std::clamp(u - iu, 0.0, 1.0), fv = std::clamp(v - iv, 0.0, 1.0);
            const uint8_t* a = flat + static_cast<size_t>(iv) * stride + iu * 4;
            const uint8_t* b = a + stride;
            uint8_t* out = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
            for (int c = 0; c < 3; ++c) {
                const int from = 2 - c; // cairo keeps B, G, R, X in memory
                const double top = a[from] * (1 - fu) + a[from + 4] * fu;
                const double bottom = b[from] * (1 - fu) + b[from + 4] * fu;
                out[c] = static_cast<uint8_t>(top * (1 - fv) + bottom * fv + 0.5);
            }
        }
    }

    if (options.shadow) {
        // A soft shadow from the left, as of a lamp's arm: darkest at the
        // left edge, gone past the middle.
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width / 2; ++x) {
                const double f = 0.55 + 0.45 * (static_cast<double>(x) / (width / 2.0));
                uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
                for (int c = 0; c < 3; ++c) {
                    p[c] = static_cast<uint8_t>(p[c] * f);
                }
            }
        }
    }
    if (options.hand > 0) {
        // A hand and arm reaching in from the right over the page's middle.
        const double reach = std::clamp(options.hand, 0.0, 0.6);
        const DeskPoint right_mid{(corners[1].x + corners[2].x) / 2,
                                  (corners[1].y + corners[2].y) / 2};
        const double page_w = std::hypot(corners[2].x - corners[3].x, corners[2].y - corners[3].y);
        const double tip = right_mid.x - page_w * reach;
        const double half = height * 0.07;
        for (int y = 0; y < height; ++y) {
            const double dy = (y - right_mid.y) / half;
            if (std::fabs(dy) >= 1) {
                continue;
            }
            const double start = tip + half * (1 - std::sqrt(1 - dy * dy));
            for (int x = std::max(0, static_cast<int>(start)); x < width; ++x) {
                uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
                p[0] = 196;
                p[1] = 146;
                p[2] = 118;
            }
        }
    }
    return true;
}

} // namespace sim
