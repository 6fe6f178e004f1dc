// Recording from the main window on the emulated cameras: the commands and
// their enable rules, the status pane while recording, the exit question, and
// what is left on disk when the camera goes away mid-recording, read back by
// ffprobe and GStreamer. CTest runs each test in its own process.
#include "avi_test_util.h"
#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "widgets/CommandPanel.h"
#include "widgets/ControlToolBar.h"
#include "widgets/MessageBox.h"
#include "widgets/SettingsDialog.h"
#include "widgets/SkinButton.h"
#include "window/Application.h"
#include "window/MainLayout.h"
#include "window/MainWindow.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

class RecordingWindowTest : public testsupport::WindowTest {
protected:
    void Start(const std::string& device, int audio_index) {
        StartWindow(device, [&](Application& app) {
            app.Settings().record_path =
                platform::Utf8ToUtf16(folder_->Path("videos").string() + "/");
            app.Settings().audio_index = audio_index;
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    }
    bool Enabled(uint32_t id) { return main_window_->Menu().FindCommand(id)->isEnabled(); }
    std::vector<fs::path> Videos() const {
        std::vector<fs::path> files;
        const fs::path folder = folder_->Path("videos") / "Videos";
        if (fs::exists(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                files.push_back(entry.path());
        return files;
    }
    // The stop returns at once; the recorder's thread finishes the file.
    bool FileFinished() {
        return ProcessEventsUntil(
            [&] { return !main_window_->Session().GetRecorder().Finishing(); });
    }
    // Records for about ms of real time while pictures arrive.
    void RecordFor(int ms) {
        QElapsedTimer timer;
        timer.start();
        ProcessEventsUntil([&] { return timer.elapsed() >= ms; });
    }
};

TEST_F(RecordingWindowTest, MenuRecordsWithSoundAndTheExitQuestionKeepsItGoing) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_NO_FATAL_FAILURE(Start("Q5M4410", 1));
    EXPECT_TRUE(Enabled(cmd::kStartRecord));
    EXPECT_FALSE(Enabled(cmd::kStopRecord));

    main_window_->Menu().FindCommand(cmd::kStartRecord)->trigger();
    ASSERT_TRUE(main_window_->Session().Recording());
    main_window_->Refresh();
    EXPECT_FALSE(Enabled(cmd::kStartRecord));
    EXPECT_TRUE(Enabled(cmd::kStopRecord));
    EXPECT_FALSE(Enabled(cmd::kSetting));
    EXPECT_FALSE(Enabled(cmd::kDeviceFirst));
    RecordFor(2500);
    EXPECT_TRUE(
        QRegularExpression(R"(^Recording\.\.\. Time: 00:00:0[23]; Size:\d+MB; Path:.*/Videos/)"
                           R"(\d{4}\.\d\d\.\d\d-\d\dH\d\dM\d\ds\.avi$)")
            .match(main_window_->Panes().MessageText())
            .hasMatch())
        << main_window_->Panes().MessageText().toStdString();

    // Exit asks; Cancel leaves the recording running.
    messages_.SetAnswer(msgbox::kIdCancel);
    main_window_->OnCommand(cmd::kExit);
    EXPECT_TRUE(main_window_->isVisible());
    EXPECT_TRUE(main_window_->Session().Recording());
    ASSERT_EQ(messages_.Messages().size(), 1u);
    EXPECT_EQ(messages_.Messages()[0].text, "Video is recording! Sure to exit?");

    main_window_->Menu().FindCommand(cmd::kStopRecord)->trigger();
    EXPECT_FALSE(main_window_->Session().Recording());
    ASSERT_TRUE(FileFinished());
    ASSERT_EQ(Videos().size(), 1u);
    const avitest::Probe probe = avitest::RunFfprobe(Videos()[0].string());
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.Stream("video")["codec_name"], "mjpeg");
    EXPECT_EQ(probe.Stream("video")["width"], std::to_string(main_window_->Session().FrameWidth()));
    EXPECT_EQ(probe.Stream("audio")["sample_rate"], "22050");
    // 16 frames a second, paced from the first frame on.
    const int frames = std::stoi(probe.Stream("video")["nb_read_packets"]);
    EXPECT_GE(frames, 16 * 2);
    EXPECT_LE(frames, 16 * 4);

    // Not recording: Exit ends the window without asking.
    messages_.SetAnswer(msgbox::kIdOk);
    main_window_->OnCommand(cmd::kExit);
    EXPECT_FALSE(main_window_->isVisible());
    EXPECT_EQ(messages_.Messages().size(), 1u);
}

TEST_F(RecordingWindowTest, PullingTheCameraOutEndsTheRecordingWithAPlayableFile) {
    platform::FakeClock clock; // the library's settle waits pass at once
    ASSERT_NO_FATAL_FAILURE(Start("RVXM4120", 0));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
    ASSERT_TRUE(main_window_->Session().Recording());
    // Pictures reach the file (the writer's turns step the fake clock).
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().GetRecorder().TotalBytes() > 200000; }));
    sim::DefaultRvxCamera()->Pull();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !main_window_->Session().Attached(); }));
    EXPECT_FALSE(main_window_->Session().Recording());
    EXPECT_EQ(main_window_->Panes().MessageText(), "The device is detached.");
    ASSERT_TRUE(FileFinished());
    ASSERT_EQ(Videos().size(), 1u);
    const avitest::Demux demux = avitest::RunAvidemux(Videos()[0].string());
    EXPECT_TRUE(demux.ok) << demux.error;
    ASSERT_EQ(demux.pads.size(), 1u); // no sound was asked for
    EXPECT_GT(demux.pads[0].buffers, 0);
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(RecordingWindowTest, ARecordFolderThatCannotBeMadeSaysSoForFiveSeconds) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_NO_FATAL_FAILURE(Start("Q5M4410", 0));
    folder_->Write("plain", "x");
    app_->Settings().record_path = platform::Utf8ToUtf16(folder_->Path("plain").string() + "/sub/");
    platform::FakeClock clock;
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
    EXPECT_FALSE(main_window_->Session().Recording());
    EXPECT_EQ(app_->recording_result, 2);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !messages_.Messages().empty(); }));
    EXPECT_EQ(messages_.Messages()[0].text, "Create file failed!");
    main_window_->Refresh();
    EXPECT_EQ(main_window_->Panes().MessageText(),
              "Video record failed! Failed to create video files!");
    clock.Advance(5000);
    main_window_->Refresh();
    EXPECT_EQ(main_window_->Panes().MessageText(), "Playing");
}

// The panels as a user meets them in the window: Record records, Control
// shows the tool bar whose buttons reach the camera, Setting opens the
// dialog.
TEST_F(RecordingWindowTest, ThePanelsDriveTheWindow) {
    sim::UsbBus().Reset(false);
    auto camera = sim::MakeDefaultQ5Camera();
    sim::UsbBus().PlugIn(camera);
    ASSERT_NO_FATAL_FAILURE(Start("Q5M4410", 0));
    main_window_->Refresh();
    CommandPanel* panel = main_window_->GetCommandPanel();
    ASSERT_TRUE(panel->Button(CommandPanel::kRecordId)->isEnabled());

    QTest::mouseClick(panel->Button(CommandPanel::kRecordId), Qt::LeftButton);
    EXPECT_TRUE(main_window_->Session().Recording());
    main_window_->Refresh();
    EXPECT_FALSE(panel->Button(CommandPanel::kSettingId)->isEnabled());
    QTest::mouseClick(panel->Button(CommandPanel::kRecordId), Qt::LeftButton);
    EXPECT_FALSE(main_window_->Session().Recording());
    EXPECT_EQ(Videos().size(), 1u);

    QTest::mouseClick(panel->Button(CommandPanel::kControlId), Qt::LeftButton);
    EXPECT_TRUE(main_window_->Layouter().ToolBarShown());
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->ToolBar()->isVisible(); }));
    const size_t sent = camera->Commands().size();
    QWidget* neg = GetDlgItem(main_window_->ToolBar(), ControlToolBar::kNegId);
    ASSERT_NE(neg, nullptr);
    QTest::mouseClick(neg, Qt::LeftButton);
    ASSERT_TRUE(ProcessEventsUntil([&] { return camera->Commands().size() > sent; }));
    EXPECT_EQ(camera->Commands().back(), 0xB6); // Neg on a Q5 camera

    QTest::mouseClick(panel->Button(CommandPanel::kSettingId), Qt::LeftButton);
    ASSERT_NE(main_window_->SettingDialog(), nullptr);
    EXPECT_TRUE(main_window_->SettingDialog()->isVisible());

    // Stop hides the tool bar column and puts the faces back.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(main_window_->Layouter().ToolBarShown());
    EXPECT_EQ(panel->ControlState(), 0);
}

// The settings dialog decides where the next snapshot goes.
TEST_F(RecordingWindowTest, TheSettingsDialogChoosesWhereTheNextPictureGoes) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_NO_FATAL_FAILURE(Start("Q5M4410", 0));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().LastFrameBytes() > 0; }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kSetting));
    SettingsDialog* setting = main_window_->SettingDialog();
    ASSERT_NE(setting, nullptr);
    auto* folder = qobject_cast<QLineEdit*>(GetDlgItem(setting, SettingsDialog::kPictureFolderId));
    ASSERT_NE(folder, nullptr);
    const std::string chosen = folder_->Path("chosen").string();
    folder->setText(QString::fromStdString(chosen));
    QTest::mouseClick(GetDlgItem(setting, SettingsDialog::kSaveId), Qt::LeftButton);
    EXPECT_FALSE(setting->isVisible());

    ASSERT_TRUE(main_window_->OnCommand(cmd::kCapture));
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return fs::exists(fs::path(chosen) / "Images") &&
               !fs::is_empty(fs::path(chosen) / "Images");
    }));
}

} // namespace
