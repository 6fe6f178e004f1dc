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

Shape Make(int32_t id, ShapeKind kind, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Shape shape;
    shape.id = id;
    shape.kind = kind;
    shape.x1 = x1;
    shape.y1 = y1;
    shape.x2 = x2;
    shape.y2 = y2;
    return shape;
}

Shapes Start() {
    Shape curve = Make(2, ShapeKind::kCurve, 5, 5, 9, 9);
    curve.segments = {{0, 5, 5, 7, 7}, {1, 7, 7, 9, 9}};
    return {Make(1, ShapeKind::kRectangle, 10, 10, 50, 40), curve};
}

struct EditCase {
    const char* name;
    std::function<void(Shapes&)> edit;
};

TEST(UndoHistoryTest, EveryKindOfEditIsTakenBackAndBroughtAgain) {
    const EditCase cases[] = {
        {"add", [](Shapes& s) { s.push_back(Make(3, ShapeKind::kLine, 0, 0, 20, 20)); }},
        {"delete", [](Shapes& s) { s.erase(s.begin()); }},
        {"move",
         [](Shapes& s) {
             s[0].x1 += 5;
             s[0].x2 += 5;
         }},
        {"resize", [](Shapes& s) { s[0].y2 = 90; }},
        {"property",
         [](Shapes& s) {
             s[0].pen_color = 0x0000FF;
             s[0].filled = true;
         }},
        {"curve point",
         [](Shapes& s) {
             s[1].segments.push_back({2, 9, 9, 12, 3});
         }},
        {"clear", [](Shapes& s) { s.clear(); }},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        UndoHistory history;
        const Shapes before = Start();
        Shapes after = before;
        c.edit(after);
        history.Begin(before);
        EXPECT_TRUE(history.End(after));
        const std::optional<Shapes> undone = history.Undo(after);
        ASSERT_TRUE(undone);
        EXPECT_EQ(*undone, before);
        EXPECT_FALSE(history.CanUndo());
        const std::optional<Shapes> redone = history.Redo(before);
        ASSERT_TRUE(redone);
        EXPECT_EQ(*redone, after);
        EXPECT_FALSE(history.CanRedo());
    }
}

TEST(UndoHistoryTest, SelectingIsNoStepAndNoStateKeepsASelection) {
    UndoHistory history;
    Shapes shapes = Start();
    history.Begin(shapes);
    shapes[0].selected = true;
    EXPECT_FALSE(history.End(shapes)); // a click that selected
    EXPECT_FALSE(history.CanUndo());

    history.Begin(shapes); // selected while the edit begins
    shapes[0].x1 = 0;
    EXPECT_TRUE(history.End(shapes));
    const std::optional<Shapes> undone = history.Undo(shapes);
    ASSERT_TRUE(undone);
    EXPECT_FALSE((*undone)[0].selected);
    EXPECT_EQ((*undone)[0].x1, 10);
}

TEST(UndoHistoryTest, ANewEditAfterAnUndoDropsTheRedoSteps) {
    UndoHistory history;
    Shapes shapes = Start();
    history.Begin(shapes);
    shapes[0].x1 = 1;
    history.End(shapes);
    shapes = *history.Undo(shapes);
    ASSERT_TRUE(history.CanRedo());
    history.Begin(shapes);
    shapes[0].y1 = 2;
    history.End(shapes);
    EXPECT_FALSE(history.CanRedo());
    EXPECT_FALSE(history.Redo(shapes));
    EXPECT_EQ(history.UndoSteps(), 1u);
}

TEST(UndoHistoryTest, KeepsTheNewestStepsAndTakesBackAnEditStillOpen) {
    UndoHistory history;
    Shapes shapes;
    for (int32_t i = 0; i < static_cast<int32_t>(UndoHistory::kMaxSteps) + 5; ++i) {
        history.Begin(shapes);
        shapes.push_back(Make(i, ShapeKind::kLine, i, i, i + 1, i + 1));
        history.End(shapes);
    }
    EXPECT_EQ(history.UndoSteps(), UndoHistory::kMaxSteps);
    size_t undone = 0;
    while (std::optional<Shapes> previous = history.Undo(shapes)) {
        shapes = *previous;
        ++undone;
    }
    EXPECT_EQ(undone, UndoHistory::kMaxSteps);
    EXPECT_EQ(shapes.size(), 5u); // the five oldest steps went

    // Ctrl+Z in the middle of a drag takes the drag back.
    history.Begin(shapes);
    shapes.push_back(Make(99, ShapeKind::kLine, 0, 0, 9, 9));
    const std::optional<Shapes> before_drag = history.Undo(shapes);
    ASSERT_TRUE(before_drag);
    EXPECT_EQ(before_drag->size(), 5u);
    EXPECT_FALSE(history.Open());
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
    std::vector<Shapes> seen{Now()};
    store_.SetTool(DrawTool::kRectangle);
    Drag(10, 10, 100, 80);
    seen.push_back(Now());
    store_.SetTool(DrawTool::kCurve);
    Drag(200, 200, 260, 230);
    seen.push_back(Now());
    store_.SetTool(DrawTool::kSelect);
    Drag(50, 10, 70, 30); // grabs the rectangle's top edge area and moves it
    seen.push_back(Now());
    store_.NudgeSelection(1, 0);
    seen.push_back(Now());
    store_.DeleteSelection();
    seen.push_back(Now());
    store_.ClearAll();
    seen.push_back(Now());
    ASSERT_TRUE(Now().empty());

    // Every edit above changed the shapes, so each is one step.
    for (size_t i = 1; i < seen.size(); ++i)
        ASSERT_NE(seen[i], seen[i - 1]) << "edit " << i << " changed nothing";
    for (size_t i = seen.size() - 1; i > 0; --i) {
        ASSERT_TRUE(store_.Undo()) << "step " << i;
        EXPECT_EQ(Now(), seen[i - 1]) << "step " << i;
    }
    EXPECT_FALSE(store_.Undo());
    for (size_t i = 1; i < seen.size(); ++i) {
        ASSERT_TRUE(store_.Redo()) << "step " << i;
        EXPECT_EQ(Now(), seen[i]) << "step " << i;
    }
    EXPECT_FALSE(store_.CanRedo());
}

TEST_F(StoreUndoTest, AClickThatSelectsIsNoStepAndStopForgetsTheSteps) {
    store_.SetTool(DrawTool::kRectangle);
    Drag(10, 10, 100, 80);
    store_.SetTool(DrawTool::kSelect);
    editor_.OnImageMouseDown({10, 40}); // on the left edge: selects it, grabs the edge
    editor_.OnImageMouseUp({10, 40});
    ASSERT_TRUE(store_.Undo()); // the drawing, not the click
    EXPECT_TRUE(Now().empty());
    ASSERT_TRUE(store_.Redo());
    store_.Stop();
    EXPECT_FALSE(store_.CanUndo());
    EXPECT_FALSE(store_.CanRedo());
}

} // namespace
} // namespace annotation
