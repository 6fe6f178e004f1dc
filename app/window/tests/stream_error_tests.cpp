// A capture graph that fails while the picture plays, on both emulated
// cameras: the window says why in its message pane, stops, and plays again
// when asked. CTest runs each test in its own process.
#include "common/CommandIds.h"
#include "platform/capture_error.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <functional>
#include <memory>
#include <string>

namespace {

using testsupport::ProcessEventsUntil;

class StreamErrorTest : public testsupport::WindowTest {
protected:
    void Start(const std::string& device) {
        StartWindow(device);
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
        ASSERT_TRUE(PicturesShown());
    }
    bool PicturesShown() {
        const uint64_t shown = main_window_->View()->FrameCount();
        return ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > shown + 2; });
    }
    // Injects the fault, then waits for the window to tell; the time it took
    // goes into the test's record.
    void ExpectReported(const std::function<void()>& inject, const char* text) {
        QElapsedTimer timer;
        timer.start();
        inject();
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Panes().MessageText() == text; }))
            << main_window_->Panes().MessageText().toStdString();
        RecordProperty("reported after (ms)", static_cast<int>(timer.elapsed()));
        EXPECT_FALSE(main_window_->Session().Playing());
        EXPECT_TRUE(main_window_->Session().Attached());
        EXPECT_TRUE(main_window_->Menu().FindCommand(cmd::kPlay)->isEnabled());
        EXPECT_TRUE(messages_.Messages().empty()); // the pane tells; no box waits for a click
    }
    // The user plays again once the camera is well again.
    void ExpectPlaysAgain() {
        ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
        EXPECT_TRUE(PicturesShown());
        // The first pictures can show before the open's result reaches the pane.
        EXPECT_TRUE(ProcessEventsUntil([&] {
            return main_window_->Panes().MessageText() == "Playing";
        })) << main_window_->Panes().MessageText().toStdString();
    }
};

TEST_F(StreamErrorTest, RvxReadErrorAndRefusedFormat) {
    platform::FakeClock clock; // the library's settle waits pass at once
    auto camera = sim::DefaultRvxCamera();
    ASSERT_NO_FATAL_FAILURE(Start("RVXM4120"));
    ExpectReported([&] { camera->SetStreamFault(sim::RvxStreamFault::kReadError, 3); },
                   platform::kCameraStoppedText);
    ExpectPlaysAgain();

    // A camera without Motion-JPEG: its graph cannot even be built.
    camera->SetStreamFault(sim::RvxStreamFault::kRawOnly);
    ExpectReported([&] { main_window_->OnCommand(cmd::kPlay); }, platform::kCameraNotOpenedText);
    camera->SetStreamFault(sim::RvxStreamFault::kNone);
    ExpectPlaysAgain();
}

TEST_F(StreamErrorTest, Q5FailedReadAndUndecodablePictures) {
    sim::UsbBus().Reset(false);
    auto camera = sim::MakeDefaultQ5Camera();
    sim::UsbBus().PlugIn(camera);
    ASSERT_NO_FATAL_FAILURE(Start("Q5M4410"));
    ExpectReported([&] { camera->FailReads(sim::Q5ReadFault::kStall, 1); },
                   platform::kCameraStoppedText);
    ExpectPlaysAgain();

    // Pictures the decoder refuses while the picture runs.
    ExpectReported(
        [&] {
            camera->SetPictureFault(sim::Q5PictureFault::kCorrupt, sim::JpegDamage::kBreakHeader);
        },
        platform::kFormatNotSupportedText);
    camera->SetPictureFault(sim::Q5PictureFault::kNone);
    ExpectPlaysAgain();
}

} // namespace
