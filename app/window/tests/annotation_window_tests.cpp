// Drawing over the live picture in the window: a line drawn with the mouse
// is in the frames shown, at the image pixels it was drawn on, Ctrl+Z takes
// it back, and a Stop takes it away. CTest runs each test in its own process.
#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoGeometry.h"
#include "view/VideoView.h"
#include "widgets/CommandPanel.h"
#include "widgets/GraphicPanel.h"
#include "widgets/SkinButton.h"
#include "window/MainMenu.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

class AnnotationWindowTest : public testsupport::WindowTest {
protected:
    // The emulated Q5 camera playing, the picture fitted to the view.
    void StartPlaying() {
        sim::UsbBus().Reset(false);
        sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
        ASSERT_NO_FATAL_FAILURE(StartWindow("Q5M4410"));
        view_ = main_window_->View();
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return main_window_->Session().Playing() && view_->FrameCount() > 2; }));
        main_window_->OnCommand(cmd::kZoomFirst + view::kFitImage);
    }
    QPoint At(int x, int y) const {
        const view::POINT p =
            view::ImageToClient(view_->DisplayRect(), main_window_->Session().FrameWidth(),
                                main_window_->Session().FrameHeight(), view::POINT{x, y});
        return QPoint(p.x, p.y);
    }
    // A line from (40, 40) to (200, 40) with the mouse: the line tool is
    // the first tool, and the shape starts at the first move.
    void DrawLine() {
        QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, At(40, 40));
        for (int x = 40; x <= 200; x += 20)
            QTest::mouseMove(view_, At(x, 40));
        QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, At(200, 40));
    }
    bool LineShown() const {
        const QImage frame = CameraFrame();
        return !frame.isNull() && (frame.pixel(120, 40) & 0xFFFFFF) == 0 &&
               (frame.pixel(120, 60) & 0xFFFFFF) != 0;
    }
    bool LineGone() const {
        const QImage frame = CameraFrame();
        return !frame.isNull() && (frame.pixel(120, 40) & 0xFFFFFF) != 0;
    }
    // A snapshot (File > Capture), read back once written whole; null when
    // none was.
    QImage Snapshot() {
        app_->Settings().capture_path =
            platform::Utf8ToUtf16(folder_->Path("pictures").string() + "/");
        const fs::path images = folder_->Path("pictures") / "Images";
        if (!main_window_->OnCommand(cmd::kCapture))
            return {};
        QImage picture;
        ProcessEventsUntil([&] {
            if (!fs::exists(images) || fs::is_empty(images))
                return false;
            picture.load(QString::fromStdString(fs::directory_iterator(images)->path().string()));
            return !picture.isNull();
        });
        return picture;
    }
    VideoView* view_ = nullptr;
};

TEST_F(AnnotationWindowTest, ALineDrawnWithTheMouseIsInThePictureUntilStop) {
    ASSERT_NO_FATAL_FAILURE(StartPlaying());
    const int w = main_window_->Session().FrameWidth();
    const int h = main_window_->Session().FrameHeight();
    DrawLine();
    ASSERT_TRUE(ProcessEventsUntil([&] { return LineShown(); }));

    // A snapshot now holds the line where it is on screen.
    const QImage picture = Snapshot();
    ASSERT_EQ(picture.size(), QSize(w, h));
    // JPEG blurs a one-pixel line: dark on it, light a few rows away.
    EXPECT_LT(qGray(picture.pixel(120, 40)), 110);
    EXPECT_GT(qGray(picture.pixel(120, 46)), qGray(picture.pixel(120, 40)) + 60);

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    const uint64_t shown = view_->FrameCount();
    ASSERT_TRUE(ProcessEventsUntil([&] { return view_->FrameCount() > shown + 3; }));
    EXPECT_FALSE(LineShown()); // Stop cleared the shapes
}

// The Edit menu's keys as a person types them into the picture, and its items.
TEST_F(AnnotationWindowTest, EditKeysAndItemsUndoRedoHideAndClearTheLine) {
    ASSERT_NO_FATAL_FAILURE(StartPlaying());
    DrawLine();
    ASSERT_TRUE(ProcessEventsUntil([&] { return LineShown(); }));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool shown;
    } keys[] = {
        {Qt::Key_Z, Qt::ControlModifier, false},
        {Qt::Key_Y, Qt::ControlModifier, true},
        {Qt::Key_Z, Qt::ControlModifier, false},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, true},
        {Qt::Key_H, Qt::ControlModifier, false},
    };
    for (const auto& k : keys) {
        QTest::keyClick(view_, k.key, k.modifiers);
        ASSERT_TRUE(ProcessEventsUntil([&] { return k.shown ? LineShown() : LineGone(); }))
            << QKeySequence(k.modifiers | k.key).toString().toStdString();
    }
    // Hidden shapes stay out of snapshots too.
    const QImage picture = Snapshot();
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(qGray(picture.pixel(120, 40)), 150);

    QTest::keyClick(view_, Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(ProcessEventsUntil([&] { return LineShown(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kClearAnnotations));
    ASSERT_TRUE(ProcessEventsUntil([&] { return LineGone(); }));
    main_window_->Refresh();
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kClearAnnotations)->isEnabled());
    main_window_->Menu().FindCommand(cmd::kUndo)->trigger();
    EXPECT_TRUE(ProcessEventsUntil([&] { return LineShown(); }));

    // A text field of the window keeps Ctrl+Z for its own typing.
    QLineEdit field(main_window_.get());
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(&field, &undo));
}

// The tool keys and a text typed into the picture, as a person does it.
TEST_F(AnnotationWindowTest, ToolKeysChooseToolsAndATextTakesEveryLetterTyped) {
    using annotation::DrawTool;
    ASSERT_NO_FATAL_FAILURE(StartPlaying());
    annotation::AnnotationStore& store = main_window_->Annotations();
    const DrawTool before = store.Tool();
    QTest::keyClick(view_, Qt::Key_T); // no tool panel shown: no tool key
    EXPECT_EQ(store.Tool(), before);

    static_cast<QAbstractButton*>(GetDlgItem(main_window_.get(), CommandPanel::kGraphicId))
        ->click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->AnnotationPanel()->isVisible(); }));
    QTest::keyClick(view_, Qt::Key_T);
    EXPECT_EQ(store.Tool(), DrawTool::kText);
    QTest::mouseClick(view_, Qt::LeftButton, Qt::NoModifier, At(100, 100));
    ASSERT_TRUE(store.TypingText());
    // B and '.' are letters now, not the blank key; A is no tool key.
    QTest::keyClicks(view_, QStringLiteral("Ba. "));
    const QString a_umlaut = QString::fromUtf8("\xC3\xA4");
    QTest::sendKeyEvent(QTest::Press, view_, Qt::Key_Adiaeresis, a_umlaut, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, view_, Qt::Key_Adiaeresis, a_umlaut, Qt::NoModifier);
    QTest::keyClick(view_, Qt::Key_Return);
    QTest::keyClicks(view_, QStringLiteral("xy"));
    QTest::keyClick(view_, Qt::Key_Backspace);
    QTest::keyClick(view_, Qt::Key_Escape);
    EXPECT_FALSE(store.TypingText());
    EXPECT_FALSE(view_->Blanked());
    EXPECT_TRUE(main_window_->Session().Playing());
    const std::vector<annotation::Shape> shapes =
        store.Read([](const annotation::AnnotationState& s) { return s.shapes; });
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].text, "Ba. \xC3\xA4\nx");

    QTest::keyClick(view_, Qt::Key_A);
    EXPECT_EQ(store.Tool(), DrawTool::kArrow);
    EXPECT_TRUE(main_window_->AnnotationPanel()->Button(GraphicPanel::kArrowId)->isChecked());
    // Ctrl+Z takes the whole text back at once.
    QTest::keyClick(view_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(store.HasShapes());

    // The keys work in full screen too, where the panel is out of sight.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFullScreen));
    ASSERT_TRUE(view_->IsFullScreen());
    QTest::keyClick(view_, Qt::Key_H);
    EXPECT_EQ(store.Tool(), DrawTool::kHighlighter);
}

} // namespace
