// Drawing over the live picture in the window: a line drawn with the mouse
// is in the frames shown, at the image pixels it was drawn on, and a Stop
// takes it away. CTest runs each test in its own process.
#include "CommandIds.h"
#include "VideoGeometry.h"
#include "VideoView.h"
#include "gui_support.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

using testsupport::WaitFor;

class AnnotationWindowTest : public testsupport::WindowTest {};

TEST_F(AnnotationWindowTest, ALineDrawnWithTheMouseIsInThePictureUntilStop) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_NO_FATAL_FAILURE(StartWindow("Q5M4410"));
    CVideoView* view = dlg_->View();
    ASSERT_TRUE(WaitFor([&] { return dlg_->Session().Playing() && view->FrameCount() > 2; }));
    dlg_->OnCommand(cmd::kZoomFirst + view::kFitImage);
    const int w = dlg_->Session().FrameWidth();
    const int h = dlg_->Session().FrameHeight();
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
    ASSERT_TRUE(WaitFor(line_shown));

    ASSERT_TRUE(dlg_->OnCommand(cmd::kStop));
    ASSERT_TRUE(dlg_->OnCommand(cmd::kPlay));
    const uint64_t shown = view->FrameCount();
    ASSERT_TRUE(WaitFor([&] { return view->FrameCount() > shown + 3; }));
    EXPECT_FALSE(line_shown()); // Stop cleared the shapes
}

} // namespace
