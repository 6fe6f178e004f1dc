// The annotation tool panel, headless, over a store of its own: layout and
// skins, the panel states and their arrival from another thread, the tool,
// delete and clear commands, and the two dialogs run through a stand-in
// runner.
#include "SkinPaint.h"
#include "annotation/OverlayRenderer.h"
#include "common/DlgItem.h"
#include "testsupport/gui_support.h"
#include "widgets/GraphicDefaultsDialog.h"
#include "widgets/GraphicPanel.h"
#include "widgets/GraphicPropertyDialog.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using annotation::AnnotationState;
using annotation::DrawTool;

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kAllIds[] = {1056, 1057, 1058, 1059, 1060, 1106, 1107, 1108, 1061};

class GraphicPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        store_.SetFrameSize(kW, kH);
        GraphicDialogContext context;
        context.store = &store_;
        context.message = [](QWidget*, const QString&, const QString&, unsigned) { return 1; };
        panel_ = new GraphicPanel(context, &window_);
        panel_->SetMainWindow(&window_);
        panel_->setGeometry(0, 0, 98, 480);
        window_.show();
    }

    // A rectangle drawn with the mouse from (x1, y1) to (x2, y2).
    void DrawRectangle(int x1, int y1, int x2, int y2) {
        store_.SetTool(DrawTool::kRectangle);
        store_.Run(annotation::Press, x1, y1);
        store_.Run(annotation::MouseMove, x1, y1);
        store_.Run(annotation::MouseMove, x2, y2);
        store_.Run(annotation::Release, x2, y2);
    }
    // A rubber band with the Select button, from (x1, y1) to (x2, y2).
    void Band(int x1, int y1, int x2, int y2) {
        panel_->OnCommand(GraphicPanel::kSelectId);
        store_.Run(annotation::Press, x1, y1);
        store_.Run(annotation::MouseMove, x2, y2);
        store_.Run(annotation::Release, x2, y2);
    }
    // The overlay worker's rendering; its panel state reaches the panel
    // through the event queue.
    void Render() {
        annotation::RenderOverlay(store_, overlay_.data(), overlay_.size(), &extent_);
        QCoreApplication::processEvents();
    }
    bool Enabled(int id) const { return panel_->Button(id)->isEnabled(); }
    int Selected() const {
        return store_.Read([](const AnnotationState& s) { return s.SelectedCount(); });
    }
    annotation::SelectionBand BandState() const {
        return store_.Read([](const AnnotationState& s) { return s.band; });
    }

    annotation::AnnotationStore store_;
    QWidget window_;
    GraphicPanel* panel_ = nullptr;
    std::vector<uint8_t> overlay_ = std::vector<uint8_t>(kW * kH * 4);
    OverlayExtent extent_;
};

TEST_F(GraphicPanelTest, ThirteenSkinnedButtonsInTwoColumns) {
    const struct {
        int id;
        int x, y; // pixels
        const char* bitmap;
        const char* tip;
    } rows[] = {
        {1056, 9, 13, "Select", "None"},
        {1160, 51, 13, "Text", "Text"},
        {1057, 9, 52, "Line", "Line"},
        {1161, 51, 52, "Arrow", "Arrow"},
        {1058, 9, 91, "Rectangle", "Rectangle"},
        {1059, 51, 91, "Cricle", "Cricle"},
        {1060, 9, 130, "Curve", "Curve"},
        {1162, 51, 130, "Highlighter", "Highlighter"},
        {1163, 9, 169, "Eraser", "Eraser"},
        {1108, 51, 169, "Delete", "Delete"},
        {1061, 9, 208, "Clear", "Clear"},
        {1107, 51, 208, "Property", "Property"},
        {1106, 9, 247, "DefaultSet", "Default Set"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        SkinButton* button = panel_->Button(row.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry(), QRect(row.x, row.y, 32, 32));
        EXPECT_EQ(button->ToolTipText(), row.tip);
        const char* states[kSkinStates] = {"Normal", "MouseOver", "ClickDown", "Gray"};
        for (int i = 0; i < kSkinStates; ++i) {
            const std::string file =
                std::string("Graphic/") + row.bitmap + "_" + states[i] + ".bmp";
            const QImage expected = LoadSkinImage(file.c_str());
            ASSERT_FALSE(expected.isNull()) << file;
            EXPECT_EQ(button->Bitmap(static_cast<SkinState>(i)), expected) << file;
        }
    }
    EXPECT_TRUE(panel_->HasBackground());
    EXPECT_EQ(panel_->PanelState(), 0); // the camera has not started
}

TEST_F(GraphicPanelTest, PanelStatesEnableTheButtons) {
    // tools: 1056 to 1061 and 1106.
    const struct {
        int state;
        bool tools, property, del;
    } rows[] = {{0, false, false, false}, {1, true, false, false},  {2, true, true, true},
                {3, true, false, true},   {4, false, false, false}, {-1, false, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        panel_->SetPanelState(row.state);
        for (int id : kAllIds) {
            const bool expected = id == 1107 ? row.property : id == 1108 ? row.del : row.tools;
            EXPECT_EQ(Enabled(id), expected) << id;
        }
    }
}

TEST_F(GraphicPanelTest, StatesFromTheWorkerArriveOnTheUserInterfaceThread) {
    std::thread worker([this] { store_.ReportPanelState(2); });
    worker.join();
    EXPECT_EQ(panel_->PanelState(), 0); // posted, not applied on the worker
    ASSERT_TRUE(testsupport::ProcessEventsUntil([this] { return panel_->PanelState() == 2; }));
    EXPECT_TRUE(Enabled(GraphicPanel::kPropertyId));

    // Reports after the panel is gone are dropped.
    delete panel_;
    panel_ = nullptr;
    std::thread late([this] { store_.ReportPanelState(3); });
    late.join();
    QCoreApplication::processEvents();
}

TEST_F(GraphicPanelTest, OneShapeEnablesPropertyAndABandOfTwoOnlyDelete) {
    DrawRectangle(100, 100, 200, 150);
    Render();
    EXPECT_EQ(panel_->PanelState(), 2);
    EXPECT_TRUE(Enabled(GraphicPanel::kPropertyId));
    EXPECT_TRUE(Enabled(GraphicPanel::kDeleteId));

    DrawRectangle(300, 200, 400, 300);
    Band(50, 50, 500, 400);
    Render();
    EXPECT_EQ(Selected(), 2);
    EXPECT_EQ(panel_->PanelState(), 3);
    EXPECT_FALSE(Enabled(GraphicPanel::kPropertyId));
    EXPECT_TRUE(Enabled(GraphicPanel::kDeleteId));
}

TEST_F(GraphicPanelTest, ToolButtonsSetToolAndCursorAndDrawingToolsEndTheGroup) {
    const struct {
        int id;
        DrawTool tool;
        int cursor;
        bool group_after;
    } rows[] = {
        {1056, DrawTool::kSelect, 0, true},     {1057, DrawTool::kLine, 2, false},
        {1058, DrawTool::kRectangle, 3, false}, {1059, DrawTool::kCircle, 3, false},
        {1060, DrawTool::kCurve, 2, false},
    };
    DrawRectangle(100, 100, 200, 150);
    DrawRectangle(300, 200, 400, 300);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        Band(50, 50, 500, 400);
        ASSERT_TRUE(BandState().group_active);
        panel_->OnCommand(row.id);
        EXPECT_EQ(store_.Tool(), row.tool);
        EXPECT_EQ(store_.CursorKind(), row.cursor);
        EXPECT_EQ(BandState().group_active, row.group_after);
        EXPECT_TRUE(BandState().shown); // the band stays drawn until the next press
        EXPECT_EQ(Selected(), 2);
    }
    // After Line, the next press on the picture deselects everything.
    Band(50, 50, 500, 400);
    panel_->OnCommand(GraphicPanel::kLineId);
    store_.Run(annotation::Press, 150, 120);
    EXPECT_EQ(Selected(), 0);
}

TEST_F(GraphicPanelTest, DeleteClearAndDefaultSetCommands) {
    DrawRectangle(100, 100, 200, 150);
    DrawRectangle(300, 200, 400, 300); // the only one selected
    int dialogs = 0;
    panel_->SetDialogRunner([&](QDialog& dialog) {
        dialogs += dynamic_cast<GraphicDefaultsDialog*>(&dialog) != nullptr;
        return static_cast<int>(QDialog::Accepted);
    });
    const struct {
        int id;
        size_t shapes;
        int redraws_added;
    } rows[] = {{GraphicPanel::kDefaultSetId, 2, 0}, // runs its dialog, nothing else
                {GraphicPanel::kDeleteId, 1, 1},
                {GraphicPanel::kClearId, 0, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const int32_t redraws = store_.PendingRedraws();
        panel_->OnCommand(row.id);
        EXPECT_EQ(store_.Read([](const AnnotationState& s) { return s.shapes.size(); }),
                  row.shapes);
        EXPECT_EQ(store_.PendingRedraws(), redraws + row.redraws_added);
    }
    EXPECT_EQ(dialogs, 1);
}

TEST_F(GraphicPanelTest, PropertyOkEndsTheGroupAndAsksForARedrawCancelChangesNothing) {
    DrawRectangle(100, 100, 200, 150);
    DrawRectangle(300, 200, 400, 300);
    Band(50, 50, 500, 400);
    // Leave one of the group selected, as a click inside the band would not.
    store_.Edit([](AnnotationState& s) { s.shapes[0].selected = false; });

    const struct {
        bool ok;
        int x1_after;
        bool group_after;
        int redraws_added;
    } rows[] = {{false, 300, true, 0}, {true, 310, false, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ok);
        int runs = 0;
        panel_->SetDialogRunner([&](QDialog& dialog) {
            ++runs;
            auto* property = dynamic_cast<GraphicPropertyDialog*>(&dialog);
            EXPECT_NE(property, nullptr);
            if (property == nullptr || !row.ok)
                return static_cast<int>(QDialog::Rejected);
            auto* x = static_cast<QLineEdit*>(GetDlgItem(property, GraphicPropertyDialog::kXId));
            x->setText(QStringLiteral("310"));
            property->OnOK();
            return property->result();
        });
        const int32_t redraws = store_.PendingRedraws();
        panel_->OnCommand(GraphicPanel::kPropertyId);
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(store_.Read([](const AnnotationState& s) { return s.shapes[1].x1; }),
                  row.x1_after);
        EXPECT_EQ(BandState().group_active, row.group_after);
        EXPECT_EQ(BandState().shown, row.group_after);
        EXPECT_EQ(store_.PendingRedraws(), redraws + row.redraws_added);
    }
}

} // namespace
