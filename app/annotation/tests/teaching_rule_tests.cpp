// The teaching tools' rules on the model's state: typing a text, the eraser
// and the quick palette.
#include "annotation/EditRules.h"
#include "annotation/PaletteRules.h"
#include "annotation/TextRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace annotation {
namespace {

class TeachingRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_.frame_width = 640;
        s_.frame_height = 480;
    }
    void Drag(DrawTool tool, std::vector<std::pair<int, int>> points) {
        s_.tool = tool;
        Press(s_, points.front().first, points.front().second);
        for (const auto& [x, y] : points)
            MouseMove(s_, x, y);
        Release(s_, points.back().first, points.back().second);
    }
    std::vector<ShapeKind> Kinds() const {
        std::vector<ShapeKind> kinds;
        for (const Shape& shape : s_.shapes)
            kinds.push_back(shape.kind);
        return kinds;
    }
    AnnotationState s_;
};

TEST_F(TeachingRulesTest, KeysWriteIntoTheTextBeingTyped) {
    using K = TextKey;
    const struct {
        const char* what;
        std::vector<std::pair<K, std::string>> keys;
        std::string text;
    } rows[] = {
        {"letters and a new line",
         {{K::kCharacters, "Hallo"}, {K::kNewLine, ""}, {K::kCharacters, "Klasse"}},
         "Hallo\nKlasse"},
        {"umlauts are whole characters to Backspace",
         {{K::kCharacters, "Grüße"}, {K::kBackspace, ""}, {K::kBackspace, ""}},
         "Grü"},
        {"Backspace takes a line break, then nothing more",
         {{K::kCharacters, "a"},
          {K::kNewLine, ""},
          {K::kBackspace, ""},
          {K::kBackspace, ""},
          {K::kBackspace, ""}},
         ""},
        {"control characters are dropped", {{K::kCharacters, "a\tb\x7f\x01"}}, "ab"},
        {"past the limit nothing more is taken",
         {{K::kCharacters, std::string(kMaxTextBytes - 1, 'x')}, {K::kCharacters, "yz"}},
         std::string(kMaxTextBytes - 1, 'x')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        s_ = AnnotationState{};
        s_.tool = DrawTool::kText;
        Press(s_, 100, 50);
        Release(s_, 100, 50);
        for (const auto& [key, utf8] : row.keys)
            TypeText(s_, key, utf8);
        ASSERT_EQ(s_.shapes.size(), 1u);
        EXPECT_EQ(s_.shapes[0].text, row.text);
    }
}

TEST_F(TeachingRulesTest, ATextsBoxFollowsItsLinesAndSizeAndAnEmptyOneGoes) {
    s_.defaults.text_size = 40;
    s_.defaults.text_color = 0x0000FF;
    StartText(s_, 100, 50);
    TypeText(s_, TextKey::kCharacters, "abcd");
    const Shape one_line = s_.shapes[0];
    TypeText(s_, TextKey::kNewLine, "");
    TypeText(s_, TextKey::kCharacters, "abcdefgh");
    const Shape& two = s_.shapes[0];
    EXPECT_EQ(two.pen_width, 40);
    EXPECT_EQ(two.pen_color, 0x0000FFu);
    EXPECT_EQ(std::pair(two.x1, two.y1), std::pair(100, 50));
    EXPECT_GT(two.x2 - two.x1, one_line.x2 - one_line.x1); // the longer line
    EXPECT_GE(two.y2 - two.y1, 2 * 40);                    // two lines of 40
    // A click elsewhere ends it and starts the next; an empty one leaves nothing.
    StartText(s_, 300, 300);
    EXPECT_EQ(EndText(s_).redraws, 1);
    EXPECT_EQ(Kinds(), std::vector{ShapeKind::kText});
    EXPECT_EQ(s_.text_id, -1);
    TypeText(s_, TextKey::kCharacters, "lost"); // nothing open: nothing written
    EXPECT_EQ(s_.shapes[0].text, "abcd\nabcdefgh");
    // The text tool or a double-click on it opens it again.
    EXPECT_FALSE(OpenTextAt(s_, 600, 400));
    s_.tool = DrawTool::kText;
    Press(s_, 110, 60);
    EXPECT_EQ(s_.text_id, s_.shapes[0].id);
    EXPECT_EQ(s_.shapes.size(), 1u);
}

TEST_F(TeachingRulesTest, TheEraserTakesWholeEveryShapeItsPathTouches) {
    Drag(DrawTool::kLine, {{100, 100}, {300, 100}});
    Drag(DrawTool::kRectangle, {{400, 300}, {500, 400}});
    Drag(DrawTool::kHighlighter, {{50, 400}, {60, 400}, {200, 400}});
    Drag(DrawTool::kArrow, {{50, 200}, {80, 250}});
    ASSERT_EQ(s_.shapes.size(), 4u);
    // One jump of the pointer across the line (its points lie on either
    // side), then a stroke over the highlighter's end.
    Drag(DrawTool::kEraser, {{200, 50}, {200, 150}, {205, 395}, {200, 405}});
    EXPECT_EQ(Kinds(), (std::vector{ShapeKind::kRectangle, ShapeKind::kArrow}));
    Drag(DrawTool::kEraser, {{600, 10}, {630, 20}}); // touches nothing
    EXPECT_EQ(s_.shapes.size(), 2u);
    Drag(DrawTool::kEraser, {{450, 350}});
    EXPECT_EQ(Kinds(), std::vector{ShapeKind::kArrow});
}

TEST_F(TeachingRulesTest, ThePaletteDressesTheSelectionAndTheNextShapes) {
    StartText(s_, 10, 10);
    TypeText(s_, TextKey::kCharacters, "abc");
    EndText(s_);
    Drag(DrawTool::kHighlighter, {{10, 200}, {100, 200}});
    Drag(DrawTool::kLine, {{10, 300}, {100, 300}});
    for (Shape& shape : s_.shapes)
        shape.selected = shape.kind != ShapeKind::kLine;
    const int32_t text_height = s_.shapes[0].y2 - s_.shapes[0].y1;

    s_.tool = DrawTool::kSelect;
    EXPECT_EQ(ChoosePaletteColor(s_, kPaletteColors[6]).redraws, 1);
    ChoosePaletteWidth(s_, 2);
    EXPECT_EQ(s_.shapes[0].pen_color, kPaletteColors[6]);
    EXPECT_EQ(s_.shapes[0].pen_width, PaletteWidthFor(ShapeKind::kText, 2));
    EXPECT_GT(s_.shapes[0].y2 - s_.shapes[0].y1, text_height); // a larger size, a taller box
    EXPECT_EQ(s_.shapes[1].pen_width, PaletteWidthFor(ShapeKind::kHighlighter, 2));
    EXPECT_NE(s_.shapes[2].pen_color, kPaletteColors[6]); // not selected
    // Every pen but the highlighter's, unless the highlighter is the tool.
    EXPECT_EQ(s_.defaults.arrow_color, kPaletteColors[6]);
    EXPECT_EQ(s_.defaults.line_width, PaletteWidthFor(ShapeKind::kLine, 2));
    EXPECT_EQ(s_.defaults.highlighter_color, settings::GraphicDefaults{}.highlighter_color);
    s_.tool = DrawTool::kHighlighter;
    ChoosePaletteColor(s_, kPaletteColors[3]);
    ChoosePaletteWidth(s_, 0);
    EXPECT_EQ(s_.defaults.highlighter_color, kPaletteColors[3]);
    EXPECT_EQ(s_.defaults.highlighter_width, PaletteWidthFor(ShapeKind::kHighlighter, 0));
    EXPECT_EQ(s_.defaults.arrow_color, kPaletteColors[6]);
    // A width out of range changes nothing.
    const AnnotationState before = s_;
    EXPECT_EQ(ChoosePaletteWidth(s_, 3).redraws, 0);
    EXPECT_EQ(s_.shapes, before.shapes);
}

} // namespace
} // namespace annotation
