// The editing rules driven as the view drives them, on the model's state, and
// the store's and editor's signals around them.
#include "annotation/AnnotationEditor.h"
#include "annotation/AnnotationStore.h"
#include "annotation/EditRules.h"
#include "platform/system.h"

#include <gtest/gtest.h>

namespace annotation {
namespace {

constexpr int kW = 640;
constexpr int kH = 480;

class EditRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_.frame_width = kW;
        s_.frame_height = kH;
        s_.defaults.rect_color = 0x0000FF;
        s_.defaults.rect_width = 4;
        s_.defaults.rect_fill = true;
        s_.defaults.rect_fill_color = 0x00FF00;
        s_.defaults.curve_color = 0x123456;
        s_.defaults.curve_width = 7;
    }
    // Press, the moves, release: one drag of the mouse.
    Changes Drag(std::initializer_list<std::pair<int, int>> points) {
        auto it = points.begin();
        Changes all = Press(s_, it->first, it->second);
        std::pair<int, int> last = *it;
        for (++it; it != points.end(); ++it) {
            const Changes c = MouseMove(s_, it->first, it->second);
            all.dirty |= c.dirty;
            last = *it;
        }
        const Changes up = Release(s_, last.first, last.second);
        all.redraws += up.redraws;
        all.band_wait |= up.band_wait;
        return all;
    }
    Shape& Draw(DrawTool tool, int x1, int y1, int x2, int y2) {
        s_.tool = tool;
        Drag({{x1, y1}, {x1, y1}, {x2, y2}});
        s_.tool = DrawTool::kSelect;
        return s_.shapes.back();
    }
    AnnotationState s_;
};

TEST_F(EditRulesTest, ShapesAreCreatedAtTheFirstMoveWithTheirKindsDefaults) {
    s_.tool = DrawTool::kRectangle;
    EXPECT_EQ(Press(s_, 10, 10).redraws, 0);
    EXPECT_TRUE(s_.shapes.empty()); // not at the press
    EXPECT_TRUE(MouseMove(s_, 20, 30).dirty);
    EXPECT_TRUE(MouseMove(s_, 60, 70).dirty);
    EXPECT_EQ(Release(s_, 80, 90).redraws, 1);
    ASSERT_EQ(s_.shapes.size(), 1u);
    const Shape& r = s_.shapes[0];
    EXPECT_EQ(r.kind, ShapeKind::kRectangle);
    EXPECT_EQ(r.x1, 20); // where the first move was
    EXPECT_EQ(r.y1, 30);
    EXPECT_EQ(r.x2, 80); // where the button came up
    EXPECT_EQ(r.y2, 90);
    EXPECT_TRUE(r.selected);
    EXPECT_TRUE(r.filled);
    EXPECT_EQ(r.pen_width, 4);
    EXPECT_EQ(r.pen_color, 0x0000FFu);
    EXPECT_EQ(r.fill_color, 0x00FF00u);

    // A press and release without a move creates nothing.
    Press(s_, 300, 300);
    Release(s_, 300, 300);
    EXPECT_EQ(s_.shapes.size(), 1u);
    EXPECT_FALSE(s_.shapes[0].selected); // the press deselected it
}

TEST_F(EditRulesTest, ACurveGainsOneSegmentPerMove) {
    s_.tool = DrawTool::kCurve;
    Press(s_, 5, 5);
    for (int i = 1; i <= 30; ++i)
        MouseMove(s_, 10 + i, 20 + 2 * i);
    ASSERT_EQ(s_.shapes.size(), 1u);
    const Shape& c = s_.shapes[0];
    ASSERT_EQ(c.segments.size(), 31u);
    EXPECT_EQ(c.fill_color, kUnusedFillColor);
    EXPECT_FALSE(c.filled);
    EXPECT_EQ(c.pen_width, 7);
    // A chain: each segment starts where the one before ended.
    for (size_t i = 1; i < c.segments.size(); ++i) {
        EXPECT_EQ(c.segments[i].x1, c.segments[i - 1].x2) << i;
        EXPECT_EQ(c.segments[i].y1, c.segments[i - 1].y2) << i;
        EXPECT_GT(c.segments[i].id, c.segments[i - 1].id);
    }
    const CurveSegment last = c.segments.back();
    EXPECT_EQ(last.x1, last.x2); // a single point until release
    EXPECT_EQ(last.x1, 40);
    Release(s_, 99, 98);
    EXPECT_EQ(s_.shapes[0].segments.back().x2, 99);
    EXPECT_EQ(s_.shapes[0].x2, 99);
    EXPECT_EQ(s_.shapes[0].segments.size(), 31u);
}

TEST_F(EditRulesTest, APressSelectsTheNewestShapeUnderThePointer) {
    Draw(DrawTool::kRectangle, 100, 100, 300, 300);
    Draw(DrawTool::kCircle, 200, 200, 400, 400);
    Draw(DrawTool::kRectangle, 500, 10, 600, 50);
    s_.tool = DrawTool::kSelect;
    EXPECT_EQ(Press(s_, 250, 250).redraws, 1);
    EXPECT_EQ(s_.input.current_id, 1);
    EXPECT_FALSE(s_.shapes[0].selected);
    EXPECT_TRUE(s_.shapes[1].selected);
    EXPECT_EQ(PanelStateOf(s_), kPanelOneSelected);
    Release(s_, 250, 250);

    // Nine pixels outside a box still hit it; ten do not, and start a band.
    Press(s_, 91, 150);
    EXPECT_TRUE(s_.shapes[0].selected);
    EXPECT_FALSE(s_.band.shown);
    Release(s_, 91, 150);
    Press(s_, 90, 150);
    EXPECT_FALSE(s_.shapes[0].selected);
    EXPECT_TRUE(s_.band.shown);
    EXPECT_EQ(PanelStateOf(s_), kPanelNoneSelected);
}

TEST_F(EditRulesTest, DraggingTheTopLeftHandleAcrossTheOppositeCornerFlipsTheBox) {
    Draw(DrawTool::kRectangle, 100, 100, 200, 200);
    Press(s_, 101, 101);
    EXPECT_EQ(s_.handle_mode, HandleMode::kCorner);
    EXPECT_EQ(PointerFree(s_), true);
    MouseMove(s_, 150, 150);
    MouseMove(s_, 250, 260);
    Release(s_, 250, 260);
    const Shape& r = s_.shapes[0];
    EXPECT_EQ(r.MinX(), 200);
    EXPECT_EQ(r.MinY(), 200);
    EXPECT_EQ(r.MaxX(), 250);
    EXPECT_EQ(r.MaxY(), 260);
    EXPECT_EQ(s_.handle_mode, HandleMode::kNone);
}

TEST_F(EditRulesTest, ALineGrabbedAtItsStartMovesItsStart) {
    s_.tool = DrawTool::kLine;
    Drag({{300, 300}, {300, 300}, {400, 400}});
    s_.tool = DrawTool::kSelect;
    // Grabbed at its start, as the first move (inside the line's box) shows:
    // the old end becomes the anchor.
    Drag({{302, 301}, {310, 305}, {320, 280}});
    const Shape& line = s_.shapes.back();
    EXPECT_EQ(line.x1, 400);
    EXPECT_EQ(line.y1, 400);
    EXPECT_EQ(line.x2, 320);
    EXPECT_EQ(line.y2, 280);
}

TEST_F(EditRulesTest, MovingAShapeStopsAtTheBorderWhileThePointerRunsAhead) {
    Draw(DrawTool::kRectangle, 100, 100, 200, 200);
    Press(s_, 150, 150);
    EXPECT_EQ(s_.handle_mode, HandleMode::kMove);
    EXPECT_EQ(s_.cursor_kind, kCursorMove);
    EXPECT_TRUE(MouseMove(s_, 140, 150).dirty);
    EXPECT_FALSE(MouseMove(s_, 0, 150).dirty); // x1 would be -50
    EXPECT_EQ(s_.shapes[0].MinX(), 90);
    MouseMove(s_, 10, 150); // +10 from where the pointer ran to
    Release(s_, 10, 150);
    EXPECT_EQ(s_.shapes[0].MinX(), 100);
}

TEST_F(EditRulesTest, NudgingMovesEachSelectedShapeThatStaysInsideTheFrame) {
    Shape& near_edge = Draw(DrawTool::kRectangle, 500, 100, kW - 3, 200);
    near_edge.selected = true;
    Shape& left = Draw(DrawTool::kRectangle, 10, 10, 50, 50);
    left.selected = true;
    s_.shapes[0].selected = true;
    EXPECT_EQ(Nudge(s_, 1, 0).redraws, 1);
    EXPECT_EQ(s_.shapes[0].MaxX(), kW - 3); // would pass W
    EXPECT_EQ(s_.shapes[1].MinX(), 15);     // five pixels a step
    Nudge(s_, 0, -1);
    EXPECT_EQ(s_.shapes[1].MinY(), 5);
    EXPECT_EQ(s_.shapes[0].MinY(), 95);
}

TEST_F(EditRulesTest, ARubberBandSelectsAGroupThatMovesAsOne) {
    Draw(DrawTool::kRectangle, 100, 100, 150, 150);
    Draw(DrawTool::kRectangle, 200, 200, 250, 250);
    Draw(DrawTool::kRectangle, 400, 400, 450, 450); // outside the band
    const Changes band = Drag({{80, 80}, {150, 150}, {270, 270}});
    EXPECT_TRUE(band.dirty);
    EXPECT_TRUE(band.band_wait);
    EXPECT_TRUE(s_.band.group_active);
    EXPECT_TRUE(s_.band.shown);
    EXPECT_EQ(PanelStateOf(s_), kPanelManySelected);
    EXPECT_FALSE(s_.shapes[2].selected);

    // A press inside the band drags the group; the pointer is left alone.
    EXPECT_EQ(Press(s_, 90, 90).redraws, 0);
    EXPECT_TRUE(s_.band.group_drag);
    EXPECT_FALSE(PointerFree(s_));
    EXPECT_TRUE(MouseMove(s_, 100, 95).dirty);
    EXPECT_EQ(s_.shapes[0].MinX(), 110);
    EXPECT_EQ(s_.shapes[1].MinY(), 205);
    EXPECT_EQ(s_.shapes[2].MinX(), 400);
    EXPECT_EQ(s_.band.bx1, 90);
    // The band may not leave the frame: refused, the pointer runs ahead.
    EXPECT_FALSE(MouseMove(s_, 10, 95).dirty);
    EXPECT_EQ(s_.band.bx1, 90);
    Release(s_, 10, 95);
    EXPECT_FALSE(s_.band.group_drag);
    EXPECT_TRUE(s_.band.group_active);

    // Nudging a group that would leave the frame moves nothing.
    s_.band.bx1 = 2;
    Nudge(s_, -1, 0);
    EXPECT_EQ(s_.shapes[0].MinX(), 110);
    // A press outside ends the group.
    Press(s_, 600, 20);
    EXPECT_FALSE(s_.band.group_active);
    EXPECT_EQ(s_.SelectedCount(), 0);
}

TEST_F(EditRulesTest, AnEmptyBandGoesAway) {
    Draw(DrawTool::kRectangle, 100, 100, 150, 150);
    Drag({{300, 300}, {350, 350}});
    EXPECT_FALSE(s_.band.shown);
    EXPECT_FALSE(s_.band.group_active);
}

TEST_F(EditRulesTest, ToolsDeleteClearAndStop) {
    Draw(DrawTool::kRectangle, 100, 100, 150, 150);
    Draw(DrawTool::kLine, 200, 200, 250, 250);
    Drag({{80, 80}, {300, 300}});
    ASSERT_TRUE(s_.band.group_active);

    // A drawing tool ends the group; the band stays drawn until the next press.
    ChooseTool(s_, DrawTool::kCircle);
    EXPECT_EQ(s_.cursor_kind, kCursorBox);
    EXPECT_FALSE(s_.band.group_active);
    EXPECT_TRUE(s_.band.shown);
    ChooseTool(s_, DrawTool::kSelect);
    EXPECT_EQ(s_.cursor_kind, kCursorArrow);

    s_.shapes[0].selected = false;
    EXPECT_EQ(DeleteSelected(s_).redraws, 1);
    ASSERT_EQ(s_.shapes.size(), 1u);
    EXPECT_EQ(s_.shapes[0].kind, ShapeKind::kRectangle);
    EXPECT_FALSE(s_.band.shown);
    EXPECT_EQ(DeleteSelected(s_).redraws, 0); // nothing selected

    // Stop in the middle of drawing: the next run starts clean.
    s_.tool = DrawTool::kLine;
    Press(s_, 10, 10);
    const Changes stop = StopEditing(s_);
    EXPECT_EQ(stop.redraws, 1);
    EXPECT_TRUE(s_.shapes.empty());
    EXPECT_EQ(s_.tool, DrawTool::kSelect);
    MouseMove(s_, 40, 40); // no press: nothing may appear
    EXPECT_TRUE(s_.shapes.empty());
    // Ids go on across clears.
    s_.tool = DrawTool::kLine;
    Drag({{10, 10}, {10, 10}, {40, 40}});
    EXPECT_EQ(s_.shapes[0].id, 2);
}

TEST(AnnotationStore, RedrawRequestsAreTakenDirtyFirstThenOneByOne) {
    AnnotationStore store;
    int wakes = 0; // the renderer sleeps until woken: every request must wake it
    store.SetRenderWaker([&] { ++wakes; });
    EXPECT_FALSE(store.TakeRedraw());
    store.Apply({.band_wait = true});
    EXPECT_EQ(wakes, 0);
    store.MarkDirty();
    store.RequestRedraw();
    EXPECT_EQ(wakes, 2);
    EXPECT_TRUE(store.TakeRedraw());
    EXPECT_TRUE(store.TakeRedraw());
    wakes = 0;
    store.Apply({.dirty = true, .redraws = 2});
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(store.TakeRedraw());
    EXPECT_FALSE(store.Dirty());
    EXPECT_TRUE(store.TakeRedraw());
    EXPECT_TRUE(store.TakeRedraw());
    EXPECT_FALSE(store.TakeRedraw());

    int reported = -1;
    store.SetPanelStateHandler([&](int32_t state) { reported = state; });
    store.Stop();
    EXPECT_EQ(reported, kPanelStopped);
    EXPECT_EQ(store.Tool(), DrawTool::kSelect);
    EXPECT_EQ(store.PendingRedraws(), 1);
    store.NudgeSelection(2, 0); // out of range: ignored
    EXPECT_EQ(store.PendingRedraws(), 1);
}

TEST(AnnotationEditor, AReleasedBandWaitsTwentyMillisecondsOnTheClock) {
    platform::FakeClock clock;
    AnnotationStore store;
    store.SetFrameSize(kW, kH);
    store.SetTool(DrawTool::kSelect);
    AnnotationEditor editor(store);
    editor.OnImageMouseDown({50, 50});
    editor.OnImageMouseMove({60, 60}, true);
    EXPECT_EQ(editor.PointerKind(), kCursorArrow);
    editor.OnImageMouseUp({60, 60});
    EXPECT_EQ(clock.Slept(), AnnotationEditor::kBandWaitMs);
    EXPECT_TRUE(editor.SelectToolActive());

    // Drawing leaves the pointer alone until the release.
    store.SetTool(DrawTool::kLine);
    editor.OnImageMouseDown({50, 50});
    editor.OnImageMouseMove({60, 60}, true);
    EXPECT_EQ(editor.PointerKind(), -1);
    editor.OnImageMouseUp({70, 60});
    EXPECT_EQ(editor.PointerKind(), kCursorLine);
    EXPECT_EQ(clock.Slept(), AnnotationEditor::kBandWaitMs); // no band, no wait
    EXPECT_EQ(store.Read([](const AnnotationState& s) { return s.shapes.size(); }), 1u);
}

} // namespace
} // namespace annotation
