// Pages of known text drawn with cairo for the reader's tests and bench:
// black serif print on white, lines at known places, the whole page turned
// by a small angle as a page lying askew under the camera is.
#pragma once

#include "text/TextReader.h"

#include <string>
#include <vector>

namespace text_test {

struct DrawnPage {
    std::vector<uint8_t> pixels; // B, G, R, X
    int width = 0;
    int height = 0;
    std::vector<std::string> words; // as drawn, in order
    // The first word's box, in pixels, before the turn.
    int first_left = 0;
    int first_top = 0;

    text::Picture Picture() const { return {pixels.data(), width, height, width * 4}; }
};

// lines drawn from the top left margin on a width x height page, glyphs
// font_px high, the page then turned by degrees about its centre.
DrawnPage DrawPage(const std::vector<std::string>& lines, int width, int height, double font_px,
                   double degrees);

// A few paragraphs of ordinary English prose, one line an entry.
const std::vector<std::string>& SampleLines();

// The share (0 to 1) of want's words found in got's words, each found word
// used once; case and trailing punctuation count.
double WordsRight(const std::vector<std::string>& want, const std::vector<text::Word>& got);

} // namespace text_test
