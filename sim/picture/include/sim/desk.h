// The emulated desk: a printed page lying on a dark desk, seen at an angle
// (turned by up to 10 degrees, its far edge narrower), with the desk showing
// on every side. Its text is set in a real font (DejaVu Serif, through
// cairo) large enough for text recognition at 1080p.
//
// Which scene the emulated cameras show is one choice for the whole process:
// the full-frame test page (the default) or the desk, switched by the
// emulator's control ("tovek-sim scene desk", "tovek-sim scene page",
// "tovek-sim page next"). The functions below also serve tests that need
// desk pictures with known corners, shadows or a hand over the page.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class Scene : int { kPage = 0, kDesk = 1 };

// Process-wide scene; every picture generator follows it at its next picture.
void SetScene(Scene scene);
Scene CurrentScene();
// The desk shows the next page (other text, another angle). Returns its number.
int NextDeskPage();
int DeskPageNumber();

struct DeskPoint {
    double x = 0;
    double y = 0;
};

struct DeskOptions {
    int page = 0;
    // Turn of the page in degrees (clockwise on screen), -10 to 10.
    double angle = 0;
    // Width of the far (top) edge against the near one, 0.8 to 1.
    double far_edge = 0.92;
    // A soft shadow falls over the left part of the picture.
    bool shadow = false;
    // A hand covers this fraction of the page's width from its right edge
    // (0: none), over the middle of the page.
    double hand = 0;
};

// The options the generator uses for page number page: angle and placement
// vary from page to page.
DeskOptions DeskOptionsForPage(int page);

// The page's corners in picture pixels: top-left, top-right, bottom-right,
// bottom-left of the page as read.
std::array<DeskPoint, 4> DeskCorners(int width, int height, const DeskOptions& options);

// The body text of page number page (words separated by single spaces), as
// printed on it.
std::string DeskPageText(int page);

// Draws the scene at width x height into rgb (packed 8-bit RGB, rows
// top-down). False when cairo cannot draw (out of memory).
bool RenderDesk(int width, int height, const DeskOptions& options, std::vector<uint8_t>& rgb);

} // namespace sim
