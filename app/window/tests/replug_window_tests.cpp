// A camera pulled out and plugged back in while the window runs, on both
// emulated families. The picture states are read from the emulated camera,
// not from the window's own memory. CTest runs each test in its own process.
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

constexpr uint32_t kMirror = 36804;
constexpr uint32_t kNegative = 36806;
constexpr int kReplugs = 20;

class ReplugWindowTest : public testsupport::WindowTest {
protected:
    // Starts the window on family's camera with the two options as given.
    void Start(DeviceFamily family, bool resume, bool resume_recording = false) {
        family_ = family;
        sim::UsbBus().Reset(false);
        if (family == DeviceFamily::kQ5) {
            q5_ = sim::MakeDefaultQ5Camera();
            sim::UsbBus().PlugIn(q5_);
        } else {
            sim::DefaultRvxCamera()->Plug();
        }
        ASSERT_NO_FATAL_FAILURE(
            StartWindow(family == DeviceFamily::kQ5 ? "Q5M4410" : "RVXM4120", [&](auto& app) {
                app.Settings().resume_after_replug = resume;
                app.Settings().resume_recording = resume_recording;
                app.Settings().record_path =
                    platform::Utf8ToUtf16(folder_->Path("videos").string() + "/");
            }));
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
        ASSERT_TRUE(FramesShown()) << main_window_->View()->FrameCount();
    }
    bool FramesShown() {
        const uint64_t shown = main_window_->View()->FrameCount();
        return ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > shown + 2; });
    }
    sim::CameraState State() const {
        return family_ == DeviceFamily::kQ5 ? q5_->State() : sim::DefaultRvxCamera()->State();
    }
    void Pull() {
        if (family_ == DeviceFamily::kQ5) {
            const auto devices = sim::UsbBus().Devices();
            ASSERT_EQ(devices.size(), 1u);
            ASSERT_TRUE(sim::UsbBus().PullOut(devices[0].id));
        } else {
            sim::DefaultRvxCamera()->Pull();
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return !main_window_->Session().Attached(); }));
        EXPECT_FALSE(main_window_->Session().Playing());
    }
    // A camera plugged in starts from power-on: the Q5 family's is a new one.
    void Plug() {
        if (family_ == DeviceFamily::kQ5) {
            q5_ = sim::MakeDefaultQ5Camera();
            sim::UsbBus().PlugIn(q5_);
        } else {
            sim::DefaultRvxCamera()->Plug();
        }
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    }
    bool MirroredNegative() const {
        const sim::CameraState s = State();
        return s.mirror == sim::Mirror::kHorizontal && s.negative && !s.mono;
    }

    // With the option on: the camera pulled and plugged back kReplugs times
    // while playing mirrored and negative plays again, in the same states,
    // each time.
    void Replugs() {
        ASSERT_TRUE(main_window_->OnCommand(kMirror));
        ASSERT_TRUE(main_window_->OnCommand(kNegative));
        ASSERT_TRUE(ProcessEventsUntil([&] { return MirroredNegative(); }));
        for (int i = 0; i < kReplugs; ++i) {
            SCOPED_TRACE(i);
            ASSERT_NO_FATAL_FAILURE(Pull());
            ASSERT_NO_FATAL_FAILURE(Plug());
            ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
            ASSERT_TRUE(FramesShown());
            ASSERT_TRUE(ProcessEventsUntil([&] { return MirroredNegative(); }))
                << "mirror " << static_cast<int>(State().mirror) << " negative "
                << State().negative;
        }
        // The user's next press goes on from the restored states.
        ASSERT_TRUE(main_window_->OnCommand(kNegative));
        EXPECT_TRUE(ProcessEventsUntil([&] { return !State().negative; }));
    }

    // A pulled camera is not waited for, and one plugged back plays at
    // once: the window never stands still for the device to settle. The
    // user's own Play still lets it settle, once, after its close.
    void ReplugWithoutWaits(DeviceFamily family) {
        ASSERT_NO_FATAL_FAILURE(Start(family, true));
        waits_.clear();
        ASSERT_NO_FATAL_FAILURE(Pull());
        EXPECT_EQ(waits_, std::vector<uint32_t>{}) << "after the pull";
        ASSERT_NO_FATAL_FAILURE(Plug());
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
        ASSERT_TRUE(FramesShown());
        EXPECT_EQ(waits_, std::vector<uint32_t>{}) << "after the plug";
        ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
        ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
        EXPECT_EQ(waits_, std::vector<uint32_t>{CameraSession::kRestartWaitMs});
        EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    }

    DeviceFamily family_ = DeviceFamily::kNone;
    std::shared_ptr<sim::EmulatedQ5Camera> q5_;
};

TEST_F(ReplugWindowTest, Q5PlaysAgainInTheSameStatesAfterEveryReplug) {
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kQ5, true));
    ASSERT_NO_FATAL_FAILURE(Replugs());
}

TEST_F(ReplugWindowTest, RvxPlaysAgainInTheSameStatesAfterEveryReplug) {
    platform::FakeClock clock; // the library's settle waits pass at once
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kRVX, true));
    ASSERT_NO_FATAL_FAILURE(Replugs());
}

TEST_F(ReplugWindowTest, AQ5ReplugMakesTheWindowWaitForNothing) {
    ASSERT_NO_FATAL_FAILURE(ReplugWithoutWaits(DeviceFamily::kQ5));
}

TEST_F(ReplugWindowTest, AnRvxReplugMakesTheWindowWaitForNothing) {
    ASSERT_NO_FATAL_FAILURE(ReplugWithoutWaits(DeviceFamily::kRVX));
}

TEST_F(ReplugWindowTest, WithoutTheOptionAReturningCameraWaitsForPlay) {
    platform::FakeClock clock;
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kRVX, false));
    ASSERT_TRUE(main_window_->OnCommand(kNegative));
    ASSERT_TRUE(ProcessEventsUntil([&] { return State().negative; }));
    ASSERT_NO_FATAL_FAILURE(Pull());
    ASSERT_NO_FATAL_FAILURE(Plug());
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_FALSE(State().negative);
}

TEST_F(ReplugWindowTest, AStoppedPictureStaysStoppedButTheStatesReturn) {
    ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kQ5, true));
    ASSERT_TRUE(main_window_->OnCommand(kNegative));
    ASSERT_TRUE(ProcessEventsUntil([&] { return State().negative; }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_NO_FATAL_FAILURE(Pull());
    ASSERT_NO_FATAL_FAILURE(Plug());
    EXPECT_TRUE(ProcessEventsUntil([&] { return State().negative; }));
    EXPECT_FALSE(main_window_->Session().Playing());
}

TEST_F(ReplugWindowTest, AnInterruptedRecordingGoesOnInANewFileOnlyWhenChosen) {
    for (const bool resume_recording : {false, true}) {
        SCOPED_TRACE(resume_recording);
        TearDown();
        SetUp();
        ASSERT_NO_FATAL_FAILURE(Start(DeviceFamily::kQ5, true, resume_recording));
        ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
        ASSERT_TRUE(main_window_->Session().Recording());
        ASSERT_NO_FATAL_FAILURE(Pull());
        EXPECT_FALSE(main_window_->Session().Recording());
        ASSERT_NO_FATAL_FAILURE(Plug());
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
        EXPECT_EQ(main_window_->Session().Recording(), resume_recording);
        ASSERT_TRUE(main_window_->OnCommand(cmd::kStopRecord));
        const fs::path videos = folder_->Path("videos") / "Videos";
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(videos))
            files += entry.path().extension() == ".avi" ? 1 : 0;
        EXPECT_EQ(files, resume_recording ? 2u : 1u);
    }
}

} // namespace
