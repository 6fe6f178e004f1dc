#include "test_pictures.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

namespace text_test {

DrawnPage DrawPage(const std::vector<std::string>& lines, int width, int height, double font_px,
                   double degrees) {
    DrawnPage page;
    page.width = width;
    page.height = height;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_translate(cr, width / 2.0, height / 2.0);
    cairo_rotate(cr, degrees * M_PI / 180.0);
    cairo_translate(cr, -width / 2.0, -height / 2.0);
    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font_px);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    const double margin = font_px * 2;
    double baseline = margin + font_px;
    for (const std::string& line : lines) {
        if (page.words.empty()) {
            cairo_text_extents_t extents;
            cairo_text_extents(cr, line.substr(0, line.find(' ')).c_str(), &extents);
            page.first_left = static_cast<int>(margin + extents.x_bearing);
            page.first_top = static_cast<int>(baseline + extents.y_bearing);
        }
        cairo_move_to(cr, margin, baseline);
        cairo_show_text(cr, line.c_str());
        baseline += font_px * 1.6;
        std::istringstream split(line);
        for (std::string word; split >> word;)
            page.words.push_back(word);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    page.pixels.resize(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::memcpy(page.pixels.data() + static_cast<size_t>(y) * width * 4,
                    data + static_cast<size_t>(y) * stride, static_cast<size_t>(width) * 4);
    cairo_surface_destroy(surface);
    return page;
}

const std::vector<std::string>& SampleLines() {
    static const std::vector<std::string> lines = {
        "Lumivue shows the page on the wall",     "while the teacher writes on the desk.",
        "Every student can read the small print", "of the worksheet from the back row,",
        "and the picture follows each new page.", "Water boils at one hundred degrees.",
    };
    return lines;
}

double WordsRight(const std::vector<std::string>& want, const std::vector<text::Word>& got) {
    if (want.empty())
        return 1.0;
    std::map<std::string, int> left;
    for (const text::Word& word : got)
        ++left[word.text];
    int found = 0;
    for (const std::string& word : want) {
        auto it = left.find(word);
        if (it != left.end() && it->second > 0) {
            --it->second;
            ++found;
        }
    }
    return static_cast<double>(found) / want.size();
}

} // namespace text_test
