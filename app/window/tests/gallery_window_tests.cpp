// The gallery in the main window on the emulated Q5 camera: two snapshots
// in the strip, one clicked and held with its badge, Esc back to live, and
// both chosen and compared.
#include "camera/SessionEvents.h"
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/GalleryStrip.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QListView>
#include <QTest>

#include <ctime>
#include <filesystem>

namespace {

using testsupport::ProcessEventsUntil;

class GalleryWindowTest : public testsupport::WindowTest {
protected:
    void Start() {
        sim::UsbBus().Reset(false);
        sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
        StartWindow("Q5M4410", [&](Application& app) {
            app.Settings().capture_path =
                platform::Utf8ToUtf16(folder_->Path("pictures").string() + "/");
        });
        ASSERT_TRUE(ProcessEventsUntil([&] {
            return main_window_->Session().Playing() && main_window_->View()->FrameCount() > 2;
        }));
        // Each snapshot a second later, so that each keeps a file of its own.
        main_window_->Session().GetSnapshot().SetLocalTimeFunction([this] {
            std::tm local{};
            local.tm_year = 125;
            local.tm_mday = 1;
            local.tm_sec = ++second_;
            return local;
        });
        snapshots_ = std::make_unique<testsupport::EventCounter>(main_window_.get(),
                                                                 SnapshotMessage::Type());
    }
    void TearDown() override {
        snapshots_.reset();
        WindowTest::TearDown();
    }
    bool Capture() {
        const uint64_t before = snapshots_->Count();
        main_window_->OnCommand(cmd::kCapture);
        return ProcessEventsUntil([&] { return snapshots_->Count() > before; });
    }
    void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        GalleryStrip* strip = main_window_->Gallery();
        QTest::mouseClick(strip->ListView()->viewport(), Qt::LeftButton, modifiers,
                          strip->ItemRect(row).center());
    }
    void Escape() { QTest::keyClick(main_window_->View(), Qt::Key_Escape); }

    int second_ = 0;
    std::unique_ptr<testsupport::EventCounter> snapshots_;
};

TEST_F(GalleryWindowTest, SnapshotsShowHeldWithTheBadgeAndCompareSideBySide) {
    Start();
    ASSERT_TRUE(Capture());
    ASSERT_TRUE(Capture());
    main_window_->OnCommand(cmd::kGallery);
    GalleryStrip* strip = main_window_->Gallery();
    ASSERT_TRUE(strip->isVisible());
    ASSERT_EQ(strip->List().Entries().size(), 2u);
    const std::string newest = strip->List().Entries()[0].path;
    const std::string oldest = strip->List().Entries()[1].path;
    EXPECT_TRUE(strip->List().Entries()[0].snapshot);
    EXPECT_GT(newest, oldest); // named after their seconds
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return strip->Cache().Holds(newest) && strip->Cache().Holds(oldest); }));
    // A third snapshot is first in the strip at once.
    ASSERT_TRUE(Capture());
    ASSERT_EQ(strip->List().Entries().size(), 3u);
    EXPECT_NE(strip->List().Entries()[0].path, newest);

    VideoView* view = main_window_->View();
    Click(2);
    EXPECT_EQ(main_window_->HeldCapture(), oldest);
    ASSERT_EQ(view->CaptureShown().captures.size(), 1u);
    EXPECT_FALSE(view->CaptureShown().with_live);
    EXPECT_EQ(view->CaptureShown().badge, QStringLiteral("Capture"));
    Escape();
    EXPECT_TRUE(main_window_->HeldCapture().empty());
    EXPECT_FALSE(view->CaptureShown().Active());

    // Held, then compared: the capture beside the live picture.
    Click(1);
    main_window_->OnCommand(cmd::kCompare);
    EXPECT_EQ(view->CaptureShown().captures.size(), 1u);
    EXPECT_TRUE(view->CaptureShown().with_live);
    // No drawing over the panes: the live picture's pixels lie elsewhere.
    main_window_->Annotations().SetTool(annotation::DrawTool::kLine);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QTest::mouseMove(view, QPoint(120, 90));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(120, 90));
    EXPECT_FALSE(main_window_->Annotations().HasShapes());
    Escape();
    EXPECT_FALSE(main_window_->Comparing());
    EXPECT_FALSE(view->CaptureShown().Active());

    // Two chosen: side by side, oldest first, no live pane.
    Click(2);
    Click(1, Qt::ControlModifier);
    EXPECT_EQ(main_window_->ChosenCapturePaths(), (std::vector<std::string>{oldest, newest}));
    Escape(); // the click held the first one
    main_window_->OnCommand(cmd::kCompare);
    EXPECT_TRUE(main_window_->Comparing());
    EXPECT_EQ(view->CaptureShown().captures.size(), 2u);
    EXPECT_FALSE(view->CaptureShown().with_live);
    const QImage shown = view->grab().toImage();
    EXPECT_FALSE(shown.isNull());
    Escape();
    EXPECT_FALSE(view->CaptureShown().Active());
    EXPECT_TRUE(messages_.Messages().empty());
}

} // namespace
