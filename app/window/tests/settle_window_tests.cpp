// What the user meets while a Play lets an emulated camera settle: the
// window goes on, the menus offer Stop, and whatever comes before the settle
// ends decides what happens once it has. The test ends each settle itself.
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using testsupport::ProcessEventsUntil;

class SettleWindowTest : public testsupport::WindowTest {
protected:
    void Start(DeviceFamily family) {
        sim::UsbBus().Reset(false);
        if (family == DeviceFamily::kQ5)
            sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
        else
            sim::DefaultRvxCamera()->Plug();
        ASSERT_NO_FATAL_FAILURE(StartWindow(family == DeviceFamily::kQ5 ? "Q5M4410" : "RVXM4120"));
        main_window_->Session().SetSettleTimer(
            [this](uint32_t, std::function<void()> due) { dues_.push_back(std::move(due)); });
        // The first attach plays a camera its open has just opened: no settle.
        ASSERT_TRUE(ProcessEventsUntil([&] { return Session().Playing(); }));
        ASSERT_TRUE(dues_.empty());
    }

    CameraSession& Session() { return main_window_->Session(); }
    bool Enabled(uint32_t id) {
        main_window_->Refresh();
        return main_window_->Menu().FindCommand(id)->isEnabled();
    }
    // Ends the latest settle and waits for the camera's open to return.
    void EndSettle() {
        ASSERT_FALSE(dues_.empty());
        dues_.back()();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !Session().Opening(); }));
    }
    bool FramesShown() {
        const uint64_t shown = main_window_->View()->FrameCount();
        return ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > shown + 2; });
    }

    std::vector<std::function<void()>> dues_;
};

TEST_F(SettleWindowTest, PlayWaitsForItsSettleWithStopOfferedAndASecondPlayAddsNothing) {
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kQ5));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    EXPECT_TRUE(Session().Starting());
    EXPECT_FALSE(Session().Playing());
    EXPECT_FALSE(Enabled(cmd::kPlay));
    EXPECT_TRUE(Enabled(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    EXPECT_EQ(dues_.size(), 1u);

    ASSERT_NO_FATAL_FAILURE(EndSettle());
    EXPECT_TRUE(ProcessEventsUntil([&] { return Session().Playing(); }));
    EXPECT_TRUE(FramesShown());
}

TEST_F(SettleWindowTest, AStopDuringTheSettleLeavesTheCameraOpenAndStopped) {
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kQ5));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(Session().Starting());
    EXPECT_TRUE(Enabled(cmd::kPlay));

    ASSERT_NO_FATAL_FAILURE(EndSettle());
    EXPECT_FALSE(Session().Playing());
    EXPECT_NE(Session().Camera(), nullptr);
    EXPECT_FALSE(main_window_->TimerActive(MainWindow::kTimerStatus));
    // The next Play settles anew and plays.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_EQ(dues_.size(), 2u);
    ASSERT_NO_FATAL_FAILURE(EndSettle());
    EXPECT_TRUE(ProcessEventsUntil([&] { return Session().Playing(); }));
    EXPECT_TRUE(FramesShown());
}

// The RVX family's device notices come also while the camera is closed.
TEST_F(SettleWindowTest, ACameraPulledDuringTheSettleEndsItAndPlaysWhenPluggedBack) {
    platform::FakeClock clock; // the library's settle waits pass at once
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kRVX));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    sim::DefaultRvxCamera()->Pull();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Session().Attached(); }));
    EXPECT_FALSE(Session().Starting());
    // The late end of the settle opens nothing.
    dues_.back()();
    EXPECT_FALSE(Session().Opening());
    EXPECT_FALSE(Session().Playing());

    // Plugged back: its arrival reopened it, so Play needs no settle.
    sim::DefaultRvxCamera()->Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Session().Attached(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    EXPECT_TRUE(ProcessEventsUntil([&] { return Session().Playing(); }));
    EXPECT_EQ(dues_.size(), 1u);
    EXPECT_TRUE(FramesShown());
}

} // namespace
