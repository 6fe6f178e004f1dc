// Time-lapse from the main window on the emulated RVX camera: the clock is
// stepped, the pictures and the video are counted, the video read back with
// ffprobe. CTest runs each test in its own process.
#include "avi_test_util.h"
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/rvx_camera.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/TimeLapseDialog.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

class TimeLapseWindowTest : public testsupport::WindowTest {
protected:
    void Start() {
        sim::DefaultRvxCamera()->Plug();
        ASSERT_NO_FATAL_FAILURE(StartWindow("RVXM4120", [&](Application& app) {
            app.Settings().capture_path = Folder("out");
            app.Settings().record_path = Folder("out");
        }));
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
        const uint64_t shown = main_window_->View()->FrameCount();
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > shown + 2; }));
    }
    std::u16string Folder(const std::string& name) {
        return platform::Utf8ToUtf16(folder_->Path(name).string() + "/");
    }
    // Steps the clock in small steps while frames arrive (a jump of seconds
    // would look like a camera that stopped sending) until count pictures
    // are taken; false when the bound of steps passes first.
    bool TakePictures(uint32_t count) {
        TimeLapse& lapse = main_window_->Session().GetTimeLapse();
        for (int step = 0; step < 4000 && lapse.Count() < count; ++step) {
            const uint64_t shown = main_window_->View()->FrameCount();
            if (!ProcessEventsUntil([&] { return main_window_->View()->FrameCount() > shown; }))
                return false;
            clock_.Advance(50);
        }
        return lapse.Count() >= count;
    }
    platform::FakeClock clock_; // the library's settle waits pass at once
};

TEST_F(TimeLapseWindowTest, PicturesIntoTheImagesFolderWithTheCountShown) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(main_window_->Menu().FindCommand(cmd::kStartTimeLapse)->isEnabled());
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kStopTimeLapse)->isEnabled());
    ASSERT_EQ(main_window_->StartTimeLapse({3, timelapse::Target::kImages, 10}), timelapse::kOk);
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kStartTimeLapse)->isEnabled());
    ASSERT_TRUE(TakePictures(4)) << main_window_->Session().GetTimeLapse().Count() << " "
                                 << main_window_->Session().GetTimeLapse().Running() << " "
                                 << main_window_->Panes().TimeLapseText().toStdString();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return main_window_->Panes().TimeLapseText() ==
               QStringLiteral("Time-lapse: %1 pictures")
                   .arg(main_window_->Session().GetTimeLapse().Count());
    }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStopTimeLapse));
    EXPECT_TRUE(main_window_->Panes().TimeLapseText().isEmpty());
    clock_.Advance(10000); // no picture after the stop
    const uint32_t taken = main_window_->Session().GetTimeLapse().Count();
    QTest::qWait(300);
    EXPECT_EQ(main_window_->Session().GetTimeLapse().Count(), taken);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder_->Path("out") / "Images"))
        files += entry.path().extension() == ".jpg" ? 1 : 0;
    EXPECT_EQ(files, main_window_->Session().GetTimeLapse().Count());
    EXPECT_TRUE(messages_.Messages().empty()); // and no beep: nothing asked of the user
}

TEST_F(TimeLapseWindowTest, AVideoAtTheChosenRateWithoutSound) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(main_window_->StartTimeLapse({1, timelapse::Target::kVideo, 5}), timelapse::kOk);
    const std::string path = main_window_->Session().GetTimeLapse().Path();
    ASSERT_TRUE(TakePictures(12));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStopTimeLapse));
    const avitest::Probe probe = avitest::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.streams.size(), 1u);
    auto video = probe.Stream("video");
    // Other threads' sleeps step the fake clock too: every picture taken is in.
    EXPECT_EQ(video["nb_read_packets"],
              std::to_string(main_window_->Session().GetTimeLapse().Count()));
    EXPECT_EQ(video["r_frame_rate"], "5/1");
    EXPECT_EQ(video["width"], std::to_string(main_window_->Session().FrameWidth()));
}

TEST_F(TimeLapseWindowTest, TheDialogOffersTheRateOnlyForAVideo) {
    ASSERT_NO_FATAL_FAILURE(Start());
    TimeLapseDialog dialog({30, timelapse::Target::kImages, 8}, nullptr, main_window_.get());
    EXPECT_FALSE(dialog.RateBox()->isEnabled());
    dialog.VideoButton()->setChecked(true);
    EXPECT_TRUE(dialog.RateBox()->isEnabled());
    dialog.IntervalBox()->setValue(0); // below the range: kept at 1
    dialog.RateBox()->setValue(99);
    const TimeLapseChoice choice = dialog.Choice();
    EXPECT_EQ(choice.interval_s, 1);
    EXPECT_EQ(choice.target, timelapse::Target::kVideo);
    EXPECT_EQ(choice.rate, 30);
    // Stopped, the menu offers no time-lapse; a running one can still be stopped.
    ASSERT_EQ(main_window_->StartTimeLapse({1, timelapse::Target::kImages, 1}), timelapse::kOk);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kStartTimeLapse)->isEnabled());
    EXPECT_TRUE(main_window_->Menu().FindCommand(cmd::kStopTimeLapse)->isEnabled());
}

} // namespace
