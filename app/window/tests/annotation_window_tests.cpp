// Drawing over the live picture in the window: a line drawn with the mouse
// is in the frames shown, at the image pixels it was drawn on, and a Stop
// takes it away. CTest runs each test in its own process.
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoGeometry.h"
#include "view/VideoView.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

class AnnotationWindowTest : public testsupport::WindowTest {};

TEST_F(AnnotationWindowTest, ALineDrawnWithTheMouseIsInThePictureUntilStop) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_NO_FATAL_FAILURE(StartWindow("Q5M4410"));
    VideoView* view = main_window_->View();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Playing() && view->FrameCount() > 2; }));
    main_window_->OnCommand(cmd::kZoomFirst + view::kFitImage);
    const int w = main_window_->Session().FrameWidth();
    const int h = main_window_->Session().FrameHeight();
    auto at = [&](int x, int y) {
        const view::POINT p = view::ImageToClient(view->DisplayRect(), w, h, view::POINT{x, y});
        return QPoint(p.x, p.y);
    };
    // The line tool is the first tool; the shape starts at the first move.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, at(40, 40));
    for (int x = 40; x <= 200; x += 20)
        QTest::mouseMove(view, at(x, 40));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, at(200, 40));

    auto line_shown = [&] {
        const QImage frame = view->LatestFrame();
        return !frame.isNull() && (frame.pixel(120, 40) & 0xFFFFFF) == 0 &&
               (frame.pixel(120, 60) & 0xFFFFFF) != 0;
    };
    ASSERT_TRUE(ProcessEventsUntil(line_shown));

    // A snapshot now holds the line where it is on screen.
    app_->Settings().capture_path = platform::Utf8ToUtf16(folder_->Path("pictures").string() + "/");
    ASSERT_TRUE(main_window_->OnCommand(cmd::kCapture));
    const fs::path images = folder_->Path("pictures") / "Images";
    ASSERT_TRUE(ProcessEventsUntil([&] { return fs::exists(images) && !fs::is_empty(images); }));
    const QImage picture(QString::fromStdString(fs::directory_iterator(images)->path().string()));
    ASSERT_EQ(picture.size(), QSize(w, h));
    // JPEG blurs a one-pixel line: dark on it, light a few rows away.
    EXPECT_LT(qGray(picture.pixel(120, 40)), 110);
    EXPECT_GT(qGray(picture.pixel(120, 46)), qGray(picture.pixel(120, 40)) + 60);

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    const uint64_t shown = view->FrameCount();
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->FrameCount() > shown + 3; }));
    EXPECT_FALSE(line_shown()); // Stop cleared the shapes
}

} // namespace
