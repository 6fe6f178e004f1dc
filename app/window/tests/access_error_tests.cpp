// A camera that is plugged in but refused to the program (no permission on
// its device node, another program holds it), on both emulated cameras: the
// window says which camera and what to do in its message pane at once,
// instead of waiting for a camera that never attaches. CTest runs each test
// in its own process.
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "window/MainWindow.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <string>

namespace {

using testsupport::ProcessEventsUntil;

constexpr char kQ5NoPermission[] = "No permission to use the Q5 camera (USB 0525:A4A5). Install "
                                   "the udev rules: sudo scripts/install-udev-rules";
constexpr char kRvxNoPermission[] = "No permission to use the RVX camera (USB 0AC8:3610). "
                                    "Install the udev rules: sudo scripts/install-udev-rules";
constexpr char kRvxBusy[] = "The RVX camera (USB 0AC8:3610) is in use by another program. Close "
                            "that program, then choose the camera again.";

class AccessErrorTest : public testsupport::WindowTest {
protected:
    void ExpectPane(const char* text) {
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Panes().MessageText() == text; }))
            << main_window_->Panes().MessageText().toStdString();
        EXPECT_FALSE(main_window_->Session().Attached());
        EXPECT_FALSE(main_window_->Session().Playing());
        EXPECT_TRUE(messages_.Messages().empty()); // the pane tells; no box waits for a click
    }
};

TEST_F(AccessErrorTest, Q5CameraWithoutPermissionIsNamedWithoutTheTenSecondWait) {
    sim::UsbBus().Reset(false);
    auto camera = sim::MakeDefaultQ5Camera();
    camera->RefuseOpen(EACCES);
    sim::UsbBus().PlugIn(camera);
    QElapsedTimer timer;
    timer.start();
    ASSERT_NO_FATAL_FAILURE(StartWindow("Q5M4410"));
    ASSERT_NO_FATAL_FAILURE(ExpectPane(kQ5NoPermission));
    // The driver's probe waits 10 s for a camera that may still come; one
    // known to be refused ends it at once.
    RecordProperty("reported after (ms)", static_cast<int>(timer.elapsed()));
    EXPECT_LT(timer.elapsed(), 8000);

    // With access granted, choosing the camera again brings its picture.
    camera->RefuseOpen(0);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > 2; }));
    // The first pictures can show before the open's result reaches the pane.
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return main_window_->Panes().MessageText() == "Playing";
    })) << main_window_->Panes().MessageText().toStdString();
}

TEST_F(AccessErrorTest, RvxCameraWithoutPermissionThenHeldByAnotherProgram) {
    platform::FakeClock clock; // the library's settle waits pass at once
    auto camera = sim::DefaultRvxCamera();
    camera->RefuseOpen(EACCES);
    ASSERT_NO_FATAL_FAILURE(StartWindow("RVXM4120"));
    ASSERT_NO_FATAL_FAILURE(ExpectPane(kRvxNoPermission));

    camera->RefuseOpen(EBUSY);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst));
    ASSERT_NO_FATAL_FAILURE(ExpectPane(kRvxBusy));

    camera->RefuseOpen(0);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > 2; }));
    // The first pictures can show before the open's result reaches the pane.
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return main_window_->Panes().MessageText() == "Playing";
    })) << main_window_->Panes().MessageText().toStdString();
}

} // namespace
