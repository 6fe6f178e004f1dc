// Undo and redo: the history as a pure model, over each kind of edit, and
// the store and editor that keep it, driven as the view drives them.
#include "annotation/AnnotationEditor.h"
#include "annotation/AnnotationStore.h"
#include "annotation/UndoHistory.h"

#include <gtest/gtest.h>

#include <functional>

namespace annotation {
namespace {

using Shapes = UndoHistory::Shapes;

Shape Line(int32_t id, int32_t x) {
    Shape shape;
    shape.id = id;
    shape.x1 = shape.y1 = x;
    shape.x2 = shape.y2 = x + 10;
    return shape;
}

Shapes Start() {
    Shape box = Line(1, 10);
    box.kind = ShapeKind::kRectangle;
    Shape curve = Line(2, 5);
    curve.kind = ShapeKind::kCurve;
    curve.segments = {{0, 5, 5, 7, 7}, {1, 7, 7, 9, 9}};
    return {box, curve};
}

// One edit recorded: Begin on shapes, the edit, End.
void Edit(UndoHistory& history, Shapes& shapes, const std::function<void(Shapes&)>& edit) {
    history.Begin(shapes);
    edit(shapes);
    history.End(shapes);
}

TEST(UndoHistoryTest, EveryKindOfEditIsTakenBackAndBroughtAgain) {
    const struct {
        const char* name;
        std::function<void(Shapes&)> edit;
    } cases[] = {
        {"add", [](Shapes& s) { s.push_back(Line(3, 0)); }},
        {"delete", [](Shapes& s) { s.erase(s.begin()); }},
        {"move", [](Shapes& s) { s[0].x1 += 5, s[0].x2 += 5; }},
        {"resize", [](Shapes& s) { s[0].y2 = 90; }},
        {"property", [](Shapes& s) { s[0].pen_color = 0x0000FF, s[0].filled = true; }},
        {"curve point",
         [](Shapes& s) {
             s[1].segments.push_back({2, 9, 9, 12, 3});
         }},
        {"clear", [](Shapes& s) { s.clear(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UndoHistory history;
        const Shapes before = Start();
        Shapes after = before;
        Edit(history, after, c.edit);
        EXPECT_EQ(history.Undo(after), before);
        EXPECT_EQ(history.Redo(before), after);
        EXPECT_FALSE(history.CanRedo());
    }
}

TEST(UndoHistoryTest, SelectingOrTurningABoxRoundIsNoStepAndNoStepKeepsASelection) {
    UndoHistory history;
    Shapes shapes = Start();
    Edit(history, shapes, [](Shapes& s) {
        s[0].selected = true;
        std::swap(s[0].x1, s[0].x2); // grabbing an edge without moving it
    });
    EXPECT_FALSE(history.CanUndo());
    Edit(history, shapes, [](Shapes& s) { s[1].x1 = 0; });
    const std::optional<Shapes> undone = history.Undo(shapes);
    ASSERT_TRUE(undone);
    EXPECT_FALSE((*undone)[0].selected);
}

TEST(UndoHistoryTest, KeepsTheNewestStepsDropsRedoOnANewEditAndUndoesAnOpenDrag) {
    UndoHistory history;
    Shapes shapes;
    for (int32_t i = 0; i < static_cast<int32_t>(UndoHistory::kMaxSteps) + 5; ++i)
        Edit(history, shapes, [i](Shapes& s) { s.push_back(Line(i, i)); });
    while (std::optional<Shapes> previous = history.Undo(shapes))
        shapes = *previous;
    EXPECT_EQ(shapes.size(), 5u); // the five oldest steps went

    Edit(history, shapes, [](Shapes& s) { s.push_back(Line(98, 0)); });
    EXPECT_FALSE(history.CanRedo());

    // Ctrl+Z in the middle of a drag takes the drag back.
    history.Begin(shapes);
    shapes.push_back(Line(99, 0));
    const std::optional<Shapes> before_drag = history.Undo(shapes);
    ASSERT_TRUE(before_drag);
    EXPECT_EQ(before_drag->size(), 6u);
}

// The store and its editor, as the view and the keys drive them.
class StoreUndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        store_.SetFrameSize(640, 480);
        editor_.SetWaitFunction([](uint32_t) {});
    }
    void Drag(int x1, int y1, int x2, int y2) {
        editor_.OnImageMouseDown({x1, y1});
        editor_.OnImageMouseMove({x1 + 1, y1 + 1}, true);
        editor_.OnImageMouseMove({x2, y2}, true);
        editor_.OnImageMouseUp({x2, y2});
    }
    Shapes Now() const {
        return WithoutSelection(store_.Read([](const AnnotationState& s) { return s.shapes; }));
    }
    AnnotationStore store_;
    AnnotationEditor editor_{store_};
};

TEST_F(StoreUndoTest, DrawMoveNudgeDeleteAndClearGoBackOneByOneAndReturn) {
    const std::function<void()> edits[] = {
        [&] { store_.SetTool(DrawTool::kRectangle), Drag(10, 10, 100, 80); },
        [&] { store_.SetTool(DrawTool::kCurve), Drag(200, 200, 260, 230); },
        [&] { store_.SetTool(DrawTool::kSelect), Drag(50, 10, 70, 30); }, // moves the box
        [&] { store_.NudgeSelection(1, 0); },
        [&] { store_.DeleteSelection(); },
        [&] { store_.ClearAll(); },
    };
    std::vector<Shapes> seen{Now()};
    for (const auto& edit : edits) {
        edit();
        ASSERT_NE(Now(), seen.back()) << "edit " << seen.size() << " changed nothing";
        seen.push_back(Now());
    }
    for (size_t i = seen.size() - 1; i > 0; --i) {
        ASSERT_TRUE(store_.Undo()) << "step " << i;
        EXPECT_EQ(Now(), seen[i - 1]) << "step " << i;
    }
    EXPECT_FALSE(store_.Undo());
    for (size_t i = 1; i < seen.size(); ++i) {
        ASSERT_TRUE(store_.Redo()) << "step " << i;
        EXPECT_EQ(Now(), seen[i]) << "step " << i;
    }
}

TEST_F(StoreUndoTest, AClickOnAnEdgeIsNoStepAndStopForgetsTheSteps) {
    store_.SetTool(DrawTool::kRectangle);
    Drag(10, 10, 100, 80);
    store_.SetTool(DrawTool::kSelect);
    editor_.OnImageMouseDown({10, 40}); // the left edge: selects it, grabs the edge
    editor_.OnImageMouseUp({10, 40});
    ASSERT_TRUE(store_.Undo()); // the drawing, not the click
    EXPECT_TRUE(Now().empty());
    ASSERT_TRUE(store_.Redo());
    store_.Stop();
    EXPECT_FALSE(store_.CanUndo() || store_.CanRedo());
}

TEST_F(StoreUndoTest, ATextTypedInOneGoAnErasingAndAPaletteChoiceAreOneStepEach) {
    store_.SetTool(DrawTool::kText);
    editor_.OnImageMouseDown({100, 100});
    editor_.OnImageMouseUp({100, 100});
    for (const char* letters : {"Hallo", " ", "Klasse"})
        store_.TypeText(TextKey::kCharacters, letters);
    store_.ChooseColor(0x00A000); // while typing: part of the text's step
    store_.FinishText();
    const Shapes typed = Now();
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].text, "Hallo Klasse");
    EXPECT_EQ(typed[0].pen_color, 0x00A000u);
    // A click of the text tool on nothing leaves no step behind.
    editor_.OnImageMouseDown({400, 400});
    editor_.OnImageMouseUp({400, 400});
    store_.FinishText();

    store_.SetTool(DrawTool::kLine);
    Drag(10, 300, 300, 300);
    store_.SetTool(DrawTool::kSelect);
    editor_.OnImageMouseDown({150, 300}); // selects the line
    editor_.OnImageMouseUp({150, 300});
    store_.ChooseWidth(2);
    store_.SetTool(DrawTool::kEraser);
    Drag(150, 280, 150, 320);
    EXPECT_EQ(Now(), typed);

    const size_t expected_sizes[] = {1, 2, 2, 1, 0}; // erase, width, line, text
    for (size_t i = 1; i < std::size(expected_sizes); ++i) {
        ASSERT_TRUE(store_.Undo()) << i;
        EXPECT_EQ(Now().size(), expected_sizes[i]) << i;
    }
    EXPECT_FALSE(store_.Undo());
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(store_.Redo());
    EXPECT_EQ(Now(), typed);
}

} // namespace
} // namespace annotation
