// Pictures of page mode (OpenCV): finding the page's corners in a small
// colour picture, flattening the page out of the camera's picture through a
// map made once per corner change, and the document filter.
#pragma once

#include "page/PageRules.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace page {

// The page in a width x height picture of packed B, G, R bytes (rows of
// stride bytes): the largest bright, colourless area whose outline has four
// corners, in that picture's pixels. Paper is told from a hand or the desk by
// its lack of colour; the corners are the outline's outermost points in the
// four diagonal directions, so a hand over an edge does not move them.
// nullopt when nothing plausible is found.
std::optional<Quad> FindPage(const uint8_t* bgr, int width, int height, int stride);

// Flattens the page out of 32-bit pictures (B, G, R, X). The map is made
// again only when the corners, the picture's size or the output size
// change; each picture then costs one remap. One flattener serves one thread.
class Flattener {
public:
    Flattener();
    ~Flattener();
    Flattener(const Flattener&) = delete;
    Flattener& operator=(const Flattener&) = delete;

    // The page inside quad of the width x height picture as an upright
    // out.width x out.height picture; its pixels stay valid until the next
    // call. nullptr for an empty picture or output.
    const uint8_t* Flatten(const uint8_t* bgrx, int width, int height, int stride, const Quad& quad,
                           Size out);
    // Maps made so far (tests, benchmark).
    int MapsMade() const { return maps_made_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    int maps_made_ = 0;
};

// The document filter in place on a 32-bit picture (B, G, R, X): each pixel
// divided by the blurred background around it (evens out lighting and
// shadows), then the contrast stretched so that paper is white and print
// dark; grey makes all three channels the same.
// width x height 32-bit pixels (rows of stride bytes) shrunk by area into
// out_width x out_height packed ones at out.
void Shrink(const uint8_t* bgrx, int width, int height, int stride, uint8_t* out, int out_width,
            int out_height);

void FilterDocument(uint8_t* bgrx, int width, int height, int stride, bool grey);

} // namespace page
