// RenderOverlay with QPainter: exact colours over the key, markers, fills, the
// band, the extent it records, and the overlay worker compositing it.
#include "annotation/FrameOverlay.h"
#include "annotation/OverlayRenderer.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace annotation {
namespace {

constexpr int kW = 64;
constexpr int kH = 48;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kGreen = 0x00FF00;

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "annotation_render_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv); // never destroyed
    return *app;
}

// The COLORREF of overlay pixel (x, y): bytes B, G, R, X.
COLORREF At(const std::vector<uint8_t>& overlay, int x, int y) {
    const uint8_t* p = &overlay[(static_cast<size_t>(y) * kW + x) * 4];
    return static_cast<COLORREF>(p[2]) | (p[1] << 8) | (p[0] << 16);
}

class RenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }
    void SetUp() override {
        store_.SetFrameSize(kW, kH);
        store_.SetPanelStateHandler([this](int32_t state) { panel_ = state; });
    }
    void Add(Shape shape) {
        store_.Edit([&](AnnotationState& s) { s.shapes.push_back(std::move(shape)); });
    }
    bool Render() { return RenderOverlay(store_, overlay_.data(), overlay_.size(), &extent_); }
    // Every pixel that is not the key, as (x, y, colour).
    int DrawnPixels() const {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                n += At(overlay_, x, y) != kOverlayKeyColor;
        return n;
    }

    AnnotationStore store_;
    std::vector<uint8_t> overlay_ = std::vector<uint8_t>(kW * kH * 4, 0x77);
    OverlayExtent extent_;
    int panel_ = -1;
};

Shape Line(int x1, int y1, int x2, int y2, COLORREF color, bool selected = false) {
    Shape s;
    s.kind = ShapeKind::kLine;
    s.x1 = x1, s.y1 = y1, s.x2 = x2, s.y2 = y2;
    s.pen_color = color;
    s.selected = selected;
    return s;
}

TEST_F(RenderTest, ARedLineIsRedAndEverythingElseKeyed) {
    Add(Line(5, 20, 40, 20, kRed));
    ASSERT_TRUE(Render());
    EXPECT_EQ(panel_, kPanelNoneSelected);
    for (int x = 5; x <= 40; ++x)
        EXPECT_EQ(At(overlay_, x, 20), kRed) << x;
    EXPECT_EQ(DrawnPixels(), 36); // exactly the line: no antialiased fringe
    EXPECT_EQ(overlay_[3], 0xFF); // the fourth byte of a keyed pixel

    // The extent holds that one row.
    EXPECT_EQ(extent_.width, kW);
    EXPECT_EQ(extent_.first_row, 20);
    EXPECT_EQ(extent_.end_row, 21);
    EXPECT_EQ(extent_.rows[20].begin, 5);
    EXPECT_EQ(extent_.rows[20].end, 41);
}

TEST_F(RenderTest, HighlighterInkMultipliesUnderTheOtherShapesAndTextAndArrowsDraw) {
    Shape highlight;
    highlight.kind = ShapeKind::kHighlighter;
    highlight.pen_color = 0x00FFFF;
    highlight.pen_width = 8;
    highlight.segments = {{0, 4, 10, 30, 10}};
    Add(highlight);
    Add(Line(16, 2, 16, 20, kRed)); // drawn later: lies over the stroke
    Shape arrow = Line(40, 40, 60, 40, kBlue);
    arrow.kind = ShapeKind::kArrow;
    arrow.pen_width = 2;
    Add(arrow);
    ASSERT_TRUE(Render());
    const auto fourth = [this](int x, int y) { return overlay_[(y * kW + x) * 4 + 3]; };
    EXPECT_EQ(At(overlay_, 10, 10), 0x00FFFFu);
    EXPECT_EQ(fourth(10, 10), kMultiplyByte);
    EXPECT_EQ(At(overlay_, 16, 10), kRed);
    EXPECT_EQ(fourth(16, 10), 0xFF);
    // The arrow's head is filled and wider than its shaft.
    EXPECT_EQ(At(overlay_, 57, 40), kBlue);
    EXPECT_EQ(At(overlay_, 52, 42), kBlue);
    EXPECT_EQ(At(overlay_, 45, 43), kOverlayKeyColor);

    // Composited into a grey frame: multiplied under the stroke, replaced
    // under the line.
    std::vector<uint8_t> frame(kW * kH * 4, 0x80);
    CompositeOverlay(frame.data(), kW * 4, overlay_.data(), kW, kH, extent_);
    const uint8_t* under_stroke = &frame[(10 * kW + 10) * 4];
    EXPECT_EQ(under_stroke[0], 0x00);
    EXPECT_EQ(under_stroke[1], 0x80);
    EXPECT_EQ(under_stroke[2], 0x80);

    // A text being typed: its letters, its caret and a frame around it, all
    // in exact colours; measured, its box holds its letters.
    store_.Edit([](AnnotationState& s) {
        s.shapes.clear();
        s.measure_text = MeasureText;
    });
    store_.Run(StartText, 4, 4);
    store_.TypeText(TextKey::kCharacters, "Hi");
    store_.Edit([](AnnotationState& s) {
        s.shapes[0].pen_color = kRed;
        s.shapes[0].pen_width = 20;
        FitTextBox(s, &s.shapes[0]);
    });
    ASSERT_TRUE(Render());
    const Shape text = store_.Read([](const AnnotationState& s) { return s.shapes[0]; });
    int red = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const COLORREF c = At(overlay_, x, y);
            EXPECT_TRUE(c == kOverlayKeyColor || c == kRed || c == 0xFFFFFF - kRed)
                << x << "," << y;
            if (c == kRed) {
                ++red;
                EXPECT_TRUE(x >= text.x1 && x <= text.x2 + 3 && y >= text.y1 && y <= text.y2)
                    << x << "," << y;
            }
        }
    EXPECT_GT(red, 40);
}

TEST_F(RenderTest, SelectedShapesCarryMarkersInTheInverseColour) {
    Add(Line(10, 10, 50, 30, kRed, true));
    ASSERT_TRUE(Render());
    EXPECT_EQ(panel_, kPanelOneSelected);
    const COLORREF inverse = 0xFFFFFF - kRed;
    // 10 x 10 squares from (x - 5, y - 5) to (x + 4, y + 4).
    for (auto [x, y] : {std::pair{5, 5}, {14, 14}, {45, 25}, {54, 34}})
        EXPECT_EQ(At(overlay_, x, y), inverse) << x << "," << y;
    EXPECT_EQ(At(overlay_, 4, 5), kOverlayKeyColor);
    EXPECT_EQ(At(overlay_, 55, 34), kOverlayKeyColor);

    Shape second = Line(0, 45, 20, 45, kBlue, true);
    Add(second);
    Render();
    EXPECT_EQ(panel_, kPanelManySelected);
}

TEST_F(RenderTest, FilledAndOpenBoxes) {
    Shape rect;
    rect.kind = ShapeKind::kRectangle;
    rect.x1 = 40, rect.y1 = 30, rect.x2 = 10, rect.y2 = 5; // corners in any order
    rect.pen_color = kBlue;
    rect.filled = true;
    rect.fill_color = kGreen;
    Add(rect);
    Shape circle = rect;
    circle.kind = ShapeKind::kCircle;
    circle.x1 = 44, circle.y1 = 30, circle.x2 = 63, circle.y2 = 47;
    circle.filled = false;
    Add(circle);
    ASSERT_TRUE(Render());
    EXPECT_EQ(At(overlay_, 25, 17), kGreen);           // interior
    EXPECT_EQ(At(overlay_, 10, 17), kBlue);            // left side
    EXPECT_EQ(At(overlay_, 25, 5), kBlue);             // top side
    EXPECT_EQ(At(overlay_, 9, 17), kOverlayKeyColor);  // outside
    EXPECT_EQ(At(overlay_, 53, 38), kOverlayKeyColor); // an open circle's middle
    EXPECT_EQ(At(overlay_, 44, 38), kBlue);            // its left rim
}

TEST_F(RenderTest, ASelectedCurveHasWideInverseEnds) {
    Shape curve;
    curve.kind = ShapeKind::kCurve;
    curve.pen_color = kRed;
    curve.selected = true;
    curve.segments = {{0, 5, 10, 30, 10}, {1, 30, 10, 30, 40}, {2, 30, 40, 55, 40}};
    curve.x1 = 5, curve.y1 = 10, curve.x2 = 55, curve.y2 = 40;
    Add(curve);
    ASSERT_TRUE(Render());
    const COLORREF inverse = 0xFFFFFF - kRed;
    EXPECT_EQ(At(overlay_, 15, 10), kRed);    // the pen over the wide one
    EXPECT_EQ(At(overlay_, 15, 11), inverse); // the wide first segment
    EXPECT_EQ(At(overlay_, 45, 39), inverse); // the wide last segment
    EXPECT_EQ(At(overlay_, 30, 25), kRed);    // the middle one, narrow
    EXPECT_EQ(At(overlay_, 32, 25), kOverlayKeyColor);
}

TEST_F(RenderTest, TheBandIsDottedBlackAndHollow) {
    store_.Edit([](AnnotationState& s) { s.band = {10, 10, 50, 40, true, false, false}; });
    ASSERT_TRUE(Render());
    int black = 0, keyed = 0;
    for (int x = 10; x <= 50; ++x) {
        black += At(overlay_, x, 10) == 0;
        keyed += At(overlay_, x, 10) == kOverlayKeyColor;
    }
    EXPECT_GT(black, 5);
    EXPECT_GT(keyed, 5); // dotted, not solid
    EXPECT_EQ(At(overlay_, 30, 25), kOverlayKeyColor);
}

TEST_F(RenderTest, NothingToDrawLeavesTheOverlayAndReportsNoSelection) {
    EXPECT_FALSE(Render());
    EXPECT_EQ(panel_, kPanelNoneSelected);
    EXPECT_EQ(overlay_[0], 0x77); // untouched
    // Shapes, but a frame size the buffer cannot hold: nothing is drawn.
    Add(Line(0, 0, 10, 10, kRed, true));
    store_.SetFrameSize(kW, kH + 1);
    EXPECT_FALSE(Render());
    EXPECT_EQ(overlay_[0], 0x77);
    EXPECT_EQ(panel_, kPanelOneSelected);
}

TEST_F(RenderTest, TheWorkerCompositesOnlyWhileThereIsSomethingToDraw) {
    OverlayWorker worker;
    worker.SetExtentRenderer([this](uint8_t* overlay, size_t size, OverlayExtent* extent) {
        return RenderOverlay(store_, overlay, size, extent);
    });
    worker.SetRedrawSource([this] { return store_.TakeRedraw(); });
    worker.SetPlaying(true);

    std::vector<uint8_t> frame(kW * kH * 4, 0x40);
    const std::vector<uint8_t> original = frame;
    Add(Line(0, 3, 63, 3, kRed));
    EXPECT_FALSE(worker.Turn()); // no request yet
    store_.RequestRedraw();
    ASSERT_TRUE(worker.Turn());
    ASSERT_TRUE(worker.Present());
    worker.Composite(frame.data(), kW * 4, kW, kH);
    EXPECT_EQ(At(frame, 17, 3), kRed);
    EXPECT_EQ(std::memcmp(frame.data() + 4 * kW * 4, original.data() + 4 * kW * 4,
                          frame.size() - 4 * kW * 4),
              0);

    // With no shapes and no band the overlay is off: frames pass unchanged.
    store_.ClearAll();
    ASSERT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Present());
    std::vector<uint8_t> next = original;
    worker.Composite(next.data(), kW * 4, kW, kH);
    EXPECT_EQ(next, original);
}

} // namespace
} // namespace annotation
