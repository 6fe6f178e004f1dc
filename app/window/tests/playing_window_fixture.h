// The main window playing the emulated Q5 camera, its picture fitted to the
// view, with the videos and pictures folders in the test's program folder.
#pragma once

#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "view/VideoView.h"
#include "window_fixture.h"

#include <QPoint>

namespace testsupport {

class PlayingWindowTest : public WindowTest {
protected:
    void StartPlaying() {
        sim::UsbBus().Reset(false);
        sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
        StartWindow("Q5M4410", [&](Application& app) {
            app.Settings().record_path =
                platform::Utf8ToUtf16(folder_->Path("videos").string() + "/");
            app.Settings().capture_path =
                platform::Utf8ToUtf16(folder_->Path("pictures").string() + "/");
            app.Settings().audio_index = 0;
        });
        view_ = main_window_->View();
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return main_window_->Session().Playing() && view_->FrameCount() > 2; }));
        main_window_->OnCommand(cmd::kZoomFirst + view::kFitImage);
    }
    bool WaitFrames(uint64_t count) {
        const uint64_t seen = view_->FrameCount();
        return ProcessEventsUntil([&] { return view_->FrameCount() >= seen + count; });
    }
    // A picture point in the view's coordinates.
    QPoint At(int x, int y) const {
        const view::POINT p = view_->ImageToClient(view::POINT{x, y});
        return QPoint(p.x, p.y);
    }

    VideoView* view_ = nullptr;
};

} // namespace testsupport
