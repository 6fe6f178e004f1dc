#include "view/PaneLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(PaneLayout, PanesForOneToFourPictures) {
    const RECT area{10, 20, 810, 620}; // 800 x 600
    struct Case {
        int count;
        int gap;
        std::vector<RECT> panes;
    } cases[] = {
        {1, 4, {{10, 20, 810, 620}}},
        {2, 4, {{10, 20, 408, 620}, {412, 20, 810, 620}}},
        {3, 4, {{10, 20, 408, 318}, {412, 20, 810, 318}, {10, 322, 408, 620}}},
        {4,
         0,
         {{10, 20, 410, 320}, {410, 20, 810, 320}, {10, 320, 410, 620}, {410, 320, 810, 620}}},
        // An odd width: the right pane takes the pixel left over.
        {2, 3, {{10, 20, 408, 620}, {411, 20, 810, 620}}},
        {0, 4, {}},
        {5, 4, {}},
    };
    for (const Case& c : cases) {
        const std::vector<RECT> panes = view::PaneRects(c.count, area, c.gap);
        ASSERT_EQ(panes.size(), c.panes.size()) << c.count;
        for (size_t i = 0; i < panes.size(); ++i)
            EXPECT_TRUE(Same(panes[i], c.panes[i]))
                << c.count << " pane " << i << ": " << panes[i].left << "," << panes[i].top << ","
                << panes[i].right << "," << panes[i].bottom;
    }
    EXPECT_TRUE(view::PaneRects(2, RECT{0, 0, 5, 100}, 4).empty()); // no room for two
}

TEST(PaneLayout, FitKeepsThePicturesAspectCentred) {
    struct Case {
        const char* name;
        RECT pane;
        int width, height;
        RECT fitted;
    } cases[] = {
        {"wide picture, tall pane", {0, 0, 400, 600}, 1920, 1080, {0, 187, 400, 412}},
        {"tall picture, wide pane", {100, 0, 900, 300}, 600, 800, {387, 0, 612, 300}},
        {"same aspect", {0, 0, 640, 480}, 1024, 768, {0, 0, 640, 480}},
        {"a line of a picture stays one pixel", {0, 0, 100, 100}, 10000, 1, {0, 49, 100, 50}},
        {"empty picture", {5, 5, 100, 100}, 0, 768, {5, 5, 5, 5}},
        {"empty pane", {5, 5, 5, 100}, 1024, 768, {5, 5, 5, 5}},
    };
    for (const Case& c : cases) {
        const RECT r = view::FitAspect(c.pane, c.width, c.height);
        EXPECT_TRUE(Same(r, c.fitted))
            << c.name << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}
