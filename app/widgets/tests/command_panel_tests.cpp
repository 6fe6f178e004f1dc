// The command panel, headless, under a stand-in main window: layout, faces,
// the messages and host calls of each button, the record-state poll,
// enabling, and the background band.
#include "SkinPaint.h"
#include "common/CommandIds.h"
#include "testsupport/gui_support.h"
#include "widgets/CommandPanel.h"
#include "widgets/CommandPanelHost.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QResizeEvent>

#include <memory>
#include <string>
#include <vector>

namespace {

// The main window as the panel sees it: records messages and host calls;
// its recording flag follows the start and stop messages unless told to
// fail.
class HostWindow : public QWidget, public CommandPanelHost {
public:
    std::vector<int> messages; // 2029 to 2031, and 5 for a resize notification
    std::vector<bool> tool_bar;
    std::vector<int> annotation;
    int settings_opened = 0;
    bool recording = false;
    bool start_fails = false;
    bool logo = false;

    bool IsRecording() const override { return recording; }
    void SetToolBarShown(bool shown) override { tool_bar.push_back(shown); }
    void SetAnnotationMode(int mode) override { annotation.push_back(mode); }
    void OpenSettingDialog() override { ++settings_opened; }
    bool ShowLogo() const override { return logo; }

protected:
    bool event(QEvent* e) override {
        const int type = static_cast<int>(e->type());
        if (type == msg::kCapture || type == msg::kStartRecord || type == msg::kStopRecord) {
            messages.push_back(type);
            if (type == msg::kStartRecord && !start_fails)
                recording = true;
            if (type == msg::kStopRecord)
                recording = false;
            return true;
        }
        // The panel's notification: a resize to the same size.
        if (e->type() == QEvent::Resize && isVisible() &&
            static_cast<QResizeEvent*>(e)->oldSize() == size())
            messages.push_back(5);
        return QWidget::event(e);
    }
};

class CommandPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        window_.resize(800, 200);
        panel_ = new CommandPanel(&window_, &window_);
        panel_->setGeometry(0, 0, 800, 80);
        window_.show();
    }
    void Paint() { panel_->grab(); }

    SkinButton* Button(int id) const { return panel_->Button(id); }
    // The button shows the face whose file fills its slot.
    static bool Shows(SkinButton* button, SkinState slot, const char* file) {
        const std::string path = std::string("LeftDlg/") + file + ".bmp";
        return !button->Bitmap(slot).isNull() &&
               button->Bitmap(slot) == LoadSkinImage(path.c_str());
    }

    HostWindow window_;
    CommandPanel* panel_ = nullptr; // owned by window_
};

TEST_F(CommandPanelTest, FiveButtonsAndTheLogoAppearAtTheFirstPaint) {
    const int ids[] = {1035, 1049, 1036, 1109, 1041}; // 80 pixels apart from x = 30
    for (bool logo : {false, true}) {
        SCOPED_TRACE(logo);
        window_.logo = logo;
        delete panel_;
        panel_ = new CommandPanel(&window_, &window_);
        panel_->setGeometry(0, 0, 800, 80);
        panel_->show();
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(Button(ids[i])->geometry(), QRect(30 + 80 * i, 5, 64, 64));
            EXPECT_FALSE(Button(ids[i])->isVisible());
        }
        Paint();
        for (int id : ids)
            EXPECT_TRUE(Button(id)->isVisible()) << id;
        EXPECT_EQ(panel_->Logo()->isVisible(), logo);
        panel_->resize(1000, 80);
        EXPECT_EQ(panel_->Logo()->geometry(), QRect(1000 - 172, 10, 128, 64));
    }
    EXPECT_TRUE(panel_->RecordPollActive());
    EXPECT_EQ(Button(1035)->ToolTipText(), "Capture");
    EXPECT_TRUE(Shows(Button(1035), SkinState::ClickDown, "Capture_Normal"));
    EXPECT_TRUE(Shows(Button(1041), SkinState::MouseOver, "Setting_Normal2"));
}

TEST_F(CommandPanelTest, RecordClickedTwiceSendsStartThenStopAndFollowsWithItsFace) {
    Button(CommandPanel::kRecordId)->click();
    EXPECT_TRUE(Shows(Button(CommandPanel::kRecordId), SkinState::Normal, "Record_Normal2"));
    EXPECT_EQ(Button(CommandPanel::kRecordId)->ToolTipText(), "Stop Record");
    Button(CommandPanel::kRecordId)->click();
    EXPECT_EQ(window_.messages, (std::vector<int>{msg::kStartRecord, msg::kStopRecord}));
    EXPECT_TRUE(Shows(Button(CommandPanel::kRecordId), SkinState::Normal, "Record_Normal1"));
    EXPECT_EQ(Button(CommandPanel::kRecordId)->ToolTipText(), "Start Record");
    EXPECT_FALSE(panel_->RecordingSeen());

    // A start that fails shows "Stop Record" until the poll sets it right.
    window_.start_fails = true;
    Button(CommandPanel::kRecordId)->click();
    EXPECT_EQ(Button(CommandPanel::kRecordId)->ToolTipText(), "Stop Record");
    panel_->OnTimer(CommandPanel::kRecordPollTimer);
    EXPECT_EQ(Button(CommandPanel::kRecordId)->ToolTipText(), "Start Record");

    // A recording started elsewhere shows within one poll.
    window_.recording = true;
    panel_->OnTimer(CommandPanel::kRecordPollTimer);
    EXPECT_TRUE(Shows(Button(CommandPanel::kRecordId), SkinState::MouseOver, "Record_MouseOver2"));
    EXPECT_TRUE(panel_->RecordingSeen());
}

TEST_F(CommandPanelTest, EachButtonTellsTheMainWindowAndTogglesFollowWithTheirFaces) {
    // A toggle's pressed face is its other face.
    const struct {
        int id;
        const char* face1;
        const char* face2;
    } toggles[] = {{CommandPanel::kControlId, "Control_Normal1", "Control_Normal2"},
                   {CommandPanel::kGraphicId, "Graphic_Normal1", "Graphic_Normal2"}};
    panel_->EnableCommands(true);
    Button(CommandPanel::kCaptureId)->setEnabled(false);
    for (const auto& t : toggles) {
        Button(t.id)->click();
        EXPECT_TRUE(Shows(Button(t.id), SkinState::Normal, t.face2));
        EXPECT_TRUE(Shows(Button(t.id), SkinState::ClickDown, t.face1));
        Button(t.id)->click();
        EXPECT_TRUE(Shows(Button(t.id), SkinState::Normal, t.face1));
        EXPECT_TRUE(Shows(Button(t.id), SkinState::ClickDown, t.face2));
    }
    EXPECT_EQ(window_.tool_bar, (std::vector<bool>{true, false}));
    EXPECT_EQ(window_.messages, (std::vector<int>{5, 5})); // it lays out after each
    EXPECT_EQ(window_.annotation, (std::vector<int>{1, 2}));
    EXPECT_TRUE(Button(CommandPanel::kCaptureId)->isEnabled()); // leaving enables the five

    // After Stop the main window resets the faces, and is told nothing.
    for (const auto& t : toggles)
        Button(t.id)->click();
    EXPECT_EQ(panel_->ControlState() + panel_->GraphicState(), 2);
    panel_->ResetFaces();
    EXPECT_EQ(panel_->ControlState() + panel_->GraphicState(), 0);
    for (const auto& t : toggles)
        EXPECT_TRUE(Shows(Button(t.id), SkinState::Normal, t.face1));
    EXPECT_EQ(window_.tool_bar.size() + window_.annotation.size(), 6u);

    Button(CommandPanel::kCaptureId)->click();
    Button(CommandPanel::kSettingId)->click();
    EXPECT_EQ(window_.messages, (std::vector<int>{5, 5, 5, msg::kCapture}));
    EXPECT_EQ(window_.settings_opened, 1);
}

TEST_F(CommandPanelTest, SettingStaysDisabledWhileRecording) {
    struct Row {
        bool enable;
        bool recording;
        bool setting;
    };
    const Row rows[] = {
        {true, false, true}, {true, true, false}, {false, false, false}, {false, true, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.enable << row.recording);
        window_.recording = row.recording;
        panel_->EnableCommands(!row.enable);
        panel_->EnableCommands(row.enable);
        for (int id : {CommandPanel::kCaptureId, CommandPanel::kRecordId, CommandPanel::kControlId,
                       CommandPanel::kGraphicId})
            EXPECT_EQ(Button(id)->isEnabled(), row.enable) << id;
        EXPECT_EQ(Button(CommandPanel::kSettingId)->isEnabled(), row.setting);
    }
    // Leaving annotation mode while recording keeps Setting off as well.
    window_.recording = true;
    Button(CommandPanel::kGraphicId)->setEnabled(true);
    Button(CommandPanel::kGraphicId)->click();
    Button(CommandPanel::kGraphicId)->click();
    EXPECT_FALSE(Button(CommandPanel::kSettingId)->isEnabled());
}

TEST_F(CommandPanelTest, TheBackgroundShowsItsVerticallyCentredBand) {
    ASSERT_TRUE(panel_->HasBackground());
    const QImage background = LoadSkinImage("BackGround/Left.bmp");
    panel_->resize(800, 40);
    const QImage shown = panel_->grab().toImage();
    const int top = (background.height() - 40) / 2;
    for (const QPoint p : {QPoint(2, 0), QPoint(10, 20), QPoint(20, 39), QPoint(700, 2)})
        EXPECT_EQ(shown.pixel(p), background.pixel(p.x(), p.y() + top)) << p.x() << "," << p.y();
}

} // namespace
