// The document page: white paper on a dark desk with a title, text lines,
// three coloured shapes and a millimetre ruler. Everything is laid out in
// fractions of the picture size, so every size shows the same page.
#include "render.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace sim::detail {

namespace {

constexpr Rgb kDesk{58, 60, 66};
constexpr Rgb kPaper{250, 250, 246};
constexpr Rgb kTitleInk{24, 36, 80};
constexpr Rgb kInk{30, 30, 30};
constexpr Rgb kGreyInk{110, 110, 110};
constexpr Rgb kRulerBody{238, 214, 110};
constexpr Rgb kRulerInk{20, 20, 20};
constexpr Rgb kRed{220, 30, 35};
constexpr Rgb kGreen{30, 160, 60};
constexpr Rgb kBlue{30, 70, 200};

// The camera sees about 33 cm of desk across the picture.
constexpr double kVisibleWidthMm = 330.0;

constexpr std::string_view kBodyText =
    "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
    "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
    "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure "
    "dolor in reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur. "
    "Excepteur sint occaecat cupidatat non proident, sunt in culpa qui officia deserunt "
    "mollit anim id est laborum. Curabitur pretium tincidunt lacus, nulla gravida orci a "
    "odio; nullam varius, turpis et commodo pharetra, est eros bibendum elit, nec luctus "
    "magna felis sollicitudin mauris.";

int Scaled(int extent, double fraction) {
    return static_cast<int>(extent * fraction + 0.5);
}

// Draws kBodyText word-wrapped into [left, right) from top while lines fit
// above bottom.
void DrawParagraph(RgbImage& page, int left, int right, int top, int bottom, int scale) {
    const int line_height = kCellHeight * scale * 5 / 4;
    const size_t max_chars =
        static_cast<size_t>(std::max(1, (right - left) / (kCellWidth * scale)));
    std::string_view rest = kBodyText;
    for (int y = top; y + kCellHeight * scale <= bottom && !rest.empty(); y += line_height) {
        size_t take = rest.size();
        if (take > max_chars) {
            const size_t space = rest.rfind(' ', max_chars);
            take = (space == std::string_view::npos || space == 0) ? max_chars : space;
        }
        DrawText(page, left, y, rest.substr(0, take), scale, kInk);
        rest.remove_prefix(take);
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
    }
}

void DrawRuler(RgbImage& page, int left, int right, int top, int bottom, int label_scale) {
    FillRect(page, left, top, right, bottom, kRulerBody);
    const int line = std::max(1, (bottom - top) / 40);
    FillRect(page, left, top, right, top + line, kRulerInk);
    FillRect(page, left, bottom - line, right, bottom, kRulerInk);

    const double px_per_mm = page.width / kVisibleWidthMm;
    const int tick_width = std::max(1, static_cast<int>(px_per_mm * 0.15 + 0.5));
    const int height = bottom - top;
    const int origin = left + Scaled(page.width, 0.01);
    for (int mm = 0;; ++mm) {
        const int x = origin + static_cast<int>(mm * px_per_mm + 0.5);
        if (x + tick_width >= right - Scaled(page.width, 0.005)) {
            break;
        }
        const int length = mm % 10 == 0  ? height * 45 / 100
                           : mm % 5 == 0 ? height * 30 / 100
                                         : height * 18 / 100;
        FillRect(page, x, top, x + tick_width, top + length, kRulerInk);
        if (mm % 10 == 0) {
            char label[12];
            std::snprintf(label, sizeof label, "%d", mm / 10);
            const int label_x = x + tick_width / 2 - TextWidth(label, label_scale) / 2;
            DrawText(page, label_x, top + length + line * 2, label, label_scale, kRulerInk);
        }
    }
    DrawText(page, right - TextWidth("cm ", label_scale),
             bottom - line * 3 - kCellHeight * label_scale, "cm", label_scale, kRulerInk);
}

} // namespace

void RenderPage(RgbImage& page, int width, int height) {
    page.Resize(width, height);
    const int w = width;
    const int h = height;
    FillRect(page, 0, 0, w, h, kDesk);

    const int paper_left = Scaled(w, 0.035);
    const int paper_right = w - paper_left;
    const int paper_top = Scaled(h, 0.045);
    const int paper_bottom = h - paper_top;
    FillRect(page, paper_left, paper_top, paper_right, paper_bottom, kPaper);

    const int body_scale = std::max(1, h / 240);
    const int text_left = paper_left + Scaled(w, 0.04);
    const int text_right = paper_right - Scaled(w, 0.04);

    int y = paper_top + Scaled(h, 0.04);
    const int title_scale = body_scale * 3;
    DrawText(page, text_left, y, "Lumivue", title_scale, kTitleInk);
    const int subtitle_scale = std::max(1, body_scale * 2 / 3);
    const std::string_view subtitle = "Document camera test page";
    DrawText(page, text_right - TextWidth(subtitle, subtitle_scale),
             y + (kGlyphHeight * title_scale - kGlyphHeight * subtitle_scale), subtitle,
             subtitle_scale, kGreyInk);
    y += kCellHeight * title_scale;
    FillRect(page, text_left, y, text_right, y + std::max(1, body_scale / 2), kTitleInk);
    y += kCellHeight * body_scale;
    DrawParagraph(page, text_left, text_right, y, Scaled(h, 0.50), body_scale);

    // Shapes that tell left from right and top from bottom, and show colour.
    FillCircle(page, Scaled(w, 0.20), Scaled(h, 0.66), Scaled(h, 0.12), kRed);
    const int tx[3] = {Scaled(w, 0.50), Scaled(w, 0.40), Scaled(w, 0.60)};
    const int ty[3] = {Scaled(h, 0.53), Scaled(h, 0.79), Scaled(h, 0.79)};
    FillTriangle(page, tx, ty, kGreen);
    FillRect(page, Scaled(w, 0.70), Scaled(h, 0.55), Scaled(w, 0.88), Scaled(h, 0.78), kBlue);

    DrawRuler(page, paper_left + Scaled(w, 0.02), paper_right - Scaled(w, 0.02),
              paper_bottom - Scaled(h, 0.12), paper_bottom - Scaled(h, 0.03),
              std::max(1, body_scale / 2));
}

int LiveMarkerRows(int height) {
    return std::max(8, height / 30);
}

void DrawLiveMarker(RgbImage& image, uint32_t frame_number) {
    const int rows = LiveMarkerRows(image.height);
    const int scale = std::max(1, rows / kCellHeight);
    const int side = rows - 2;

    char counter[16];
    std::snprintf(counter, sizeof counter, "%08u", static_cast<unsigned>(frame_number));
    const int counter_width = TextWidth(counter, scale) + 2 * scale;
    const int counter_left = image.width - counter_width;
    FillRect(image, counter_left, 0, image.width, rows, Rgb{0, 0, 0});
    DrawText(image, counter_left + scale, (rows - kGlyphHeight * scale) / 2, counter, scale,
             Rgb{255, 255, 255});

    // The square sweeps the band left of the counter, a few pixels a frame.
    const int track = std::max(1, counter_left - side);
    const int step = std::max(2, image.width / 160);
    const int x = static_cast<int>((static_cast<uint64_t>(frame_number) * step) % track);
    FillRect(image, x, 1, x + side, 1 + side, Rgb{255, 200, 0});
}

} // namespace sim::detail
