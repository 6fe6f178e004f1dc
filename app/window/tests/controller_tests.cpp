// The main window driving the emulated cameras: device
// choice, play and stop, hot-plug, the frame path and teardown. CTest runs
// each test in its own process, so the libraries' process-wide state never
// carries over.
#include "camera/SessionEvents.h"
#include "common/CommandIds.h"
#include "platform/profile.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::ProcessEventsUntil;
using testsupport::ProgramFolder;

// Threads of the process, without GLib's shared pools, which keep idle
// threads for reuse long after their work is done.
int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            if (name.rfind("pool-", 0) != 0 && name != "Thread (pooled)")
                ++count;
        }
        closedir(dir);
    }
    return count;
}

class ControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        folder_ = std::make_unique<ProgramFolder>();
        SetMessageBoxService(&recorder_);
    }
    void TearDown() override {
        frames_.reset();
        main_window_.reset();
        app_.reset();
        SetMessageBoxService(nullptr);
    }
    void Catalogue(const std::string& entries) {
        folder_->Write("DocumentDevice.ini", "[Device]\n" + entries);
    }
    void Start() {
        app_ = std::make_unique<Application>();
        app_->SetExecutablePath(folder_->Exe());
        ASSERT_TRUE(app_->Start());
        main_window_ = std::make_unique<MainWindow>(*app_);
        frames_ = std::make_unique<testsupport::EventCounter>(
            main_window_.get(), static_cast<QEvent::Type>(msg::kFrame));
        main_window_->Session().SetWaitFunction([](uint32_t) {}); // the device settles fast enough
        main_window_->show();
    }
    std::u16string DeviceSelect() {
        char16_t buffer[64];
        platform::GetPrivateProfileStringW(u"TovekCamera", u"DeviceSelect", u"", buffer, 64,
                                           folder_->Ini().c_str());
        return buffer;
    }
    bool FramesArrive() {
        const uint64_t shown = main_window_->View()->FrameCount();
        const uint64_t messages = frames_->Count();
        const bool ok = ProcessEventsUntil([&] {
            return main_window_->View()->FrameCount() > shown + 2 &&
                   frames_->Count() > messages + 2;
        });
        if (!ok)
            ADD_FAILURE() << "shown " << main_window_->View()->FrameCount() << " messages "
                          << frames_->Count() << " view " << main_window_->View()->width() << "x"
                          << main_window_->View()->height();
        return ok;
    }

    RecordingMessageBox recorder_;
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<MainWindow> main_window_;
    std::unique_ptr<testsupport::EventCounter> frames_;
};

TEST_F(ControllerTest, DeviceMenuFollowsTheCatalogueAndTheChoiceIsKept) {
    sim::UsbBus().Reset(false); // no Q5 camera: the choice alone is tested
    platform::FakeClock clock;  // the Q5 library's wait for a camera passes at once
    Catalogue("count=3\nDev01=Q5M4410\nDev02=XYZ\nDev03=rvxM4120\n");
    platform::WritePrivateProfileStringW(u"TovekCamera", u"DeviceSelect", u"40000",
                                         folder_->Ini().c_str());
    Start();
    QMenu* device = main_window_->Menu().SubMenu(res::kDeviceMenuPosition);
    ASSERT_EQ(device->actions().size(), 2);
    EXPECT_EQ(device->actions().at(0)->text(), "M4410");
    EXPECT_EQ(device->actions().at(1)->text(), "M4120");
    EXPECT_EQ(device->actions().at(1)->data().toUInt(), cmd::kDeviceFirst + 1);
    // An out-of-range choice falls back to the first entry.
    EXPECT_EQ(main_window_->Session().DeviceIndex(), 0);
    EXPECT_TRUE(device->actions().at(0)->isChecked());
    // The Q5 camera opens in the background.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !main_window_->Session().Opening(); }));
    ASSERT_NE(main_window_->Session().Camera(), nullptr);
    EXPECT_NE(dynamic_cast<Q5Camera*>(main_window_->Session().Camera()), nullptr);
    EXPECT_FALSE(main_window_->Session().Attached());

    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst + 1));
    EXPECT_EQ(main_window_->Session().DeviceIndex(), 1);
    EXPECT_EQ(main_window_->Session().Family(), DeviceFamily::kRVX);
    EXPECT_NE(dynamic_cast<RvxCamera*>(main_window_->Session().Camera()), nullptr);
    EXPECT_TRUE(device->actions().at(1)->isChecked());
    EXPECT_EQ(DeviceSelect(), u"34791");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(main_window_->Session().CommandCounter(i), 0);
    // A device change attaches the RVX camera but never plays by itself.
    EXPECT_TRUE(main_window_->Session().Attached());
    EXPECT_FALSE(main_window_->Session().Playing());

    // An id past the last item chooses nothing.
    DocumentCamera* camera = main_window_->Session().Camera();
    EXPECT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst + 2));
    EXPECT_EQ(main_window_->Session().Camera(), camera);
    EXPECT_EQ(DeviceSelect(), u"34791");
}

TEST_F(ControllerTest, EmptyCatalogueKeepsNoneAndCreatesNoCamera) {
    Catalogue("count=2\nDev01=XYZ\n");
    Start();
    QMenu* device = main_window_->Menu().SubMenu(res::kDeviceMenuPosition);
    ASSERT_EQ(device->actions().size(), 1);
    EXPECT_EQ(device->actions().at(0)->text(), "None");
    EXPECT_EQ(main_window_->Session().Camera(), nullptr);
    EXPECT_EQ(main_window_->Session().DeviceIndex(), -1);
    EXPECT_TRUE(main_window_->OnCommand(cmd::kPlay)); // nothing to play: no crash
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kPlay)->isEnabled());
}

TEST_F(ControllerTest, Q5AutoPlaysStopsAndFollowsPullOutAndPlugIn) {
    Catalogue("count=1\nDev01=Q5M4410\n");
    Start();
    // The first attach after start-up plays by itself.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));
    EXPECT_EQ(main_window_->Session().FrameRate(), 16);
    EXPECT_TRUE(main_window_->TimerActive(MainWindow::kTimerStatus));
    ASSERT_TRUE(FramesArrive());
    EXPECT_GT(main_window_->Session().LastFrameBytes(), 0);
    EXPECT_TRUE(main_window_->Panes().FrameText().startsWith("Frame: ["));
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kPlay)->isEnabled());
    EXPECT_TRUE(main_window_->Menu().FindCommand(cmd::kStop)->isEnabled());
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kDeviceFirst)->isEnabled());

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_FALSE(main_window_->TimerActive(MainWindow::kTimerStatus));
    EXPECT_TRUE(ProcessEventsUntil([&] { return !main_window_->View()->HasFrame(); }));
    EXPECT_TRUE(main_window_->Session().Attached());
    EXPECT_TRUE(main_window_->Menu().FindCommand(cmd::kPlay)->isEnabled());
    EXPECT_EQ(main_window_->Panes().FrameText(), "Frame: [0x0] 0,000Bytes");

    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    ASSERT_TRUE(FramesArrive());

    // Pulled out: detached and stopped.
    const auto devices = sim::UsbBus().Devices();
    ASSERT_EQ(devices.size(), 1u);
    ASSERT_TRUE(sim::UsbBus().PullOut(devices[0].id));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !main_window_->Session().Attached(); }));
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_EQ(main_window_->Panes().MessageText(), "The device is detached.");

    // Plugged in again: attached, and Play shows pictures again.
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    EXPECT_FALSE(main_window_->Session().Playing()); // only the first attach plays by itself
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(FramesArrive());
}

TEST_F(ControllerTest, Q5OpensInTheBackgroundAndPlaysACameraPluggedWhileItWaits) {
    sim::UsbBus().Reset(false);
    Catalogue("count=1\nDev01=Q5M4410\n");
    // The Q5 library waits up to 10 s for a camera: the window is up and
    // answers meanwhile.
    Start();
    EXPECT_TRUE(main_window_->Session().Opening());
    EXPECT_EQ(main_window_->Session().Camera(), nullptr);
    EXPECT_EQ(main_window_->Session().Family(), DeviceFamily::kQ5);
    EXPECT_TRUE(main_window_->OnCommand(cmd::kPlay)); // nothing to play yet: no wait, no crash
    EXPECT_FALSE(main_window_->Session().Playing());

    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));
    EXPECT_FALSE(main_window_->Session().Opening());
    EXPECT_NE(main_window_->Session().Camera(), nullptr);
    ASSERT_TRUE(FramesArrive());
}

TEST_F(ControllerTest, ChoosingAnotherDeviceWhileTheQ5OpenWaitsGivesItUp) {
    sim::UsbBus().Reset(false);
    Catalogue("count=2\nDev01=Q5M4410\nDev02=rvxM4120\n");
    Start();
    ASSERT_TRUE(main_window_->Session().Opening());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst + 1));
    EXPECT_FALSE(main_window_->Session().Opening());
    EXPECT_EQ(main_window_->Session().Family(), DeviceFamily::kRVX);
    DocumentCamera* rvx = main_window_->Session().Camera();
    ASSERT_NE(rvx, nullptr);
    // The given-up Q5 open ends by itself, and its late message changes nothing.
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    QApplication::processEvents();
    EXPECT_FALSE(ProcessEventsUntil([&] { return main_window_->Session().Camera() != rvx; },
                                    std::chrono::seconds(5)));
}

TEST_F(ControllerTest, RvxPlaysCompositesTheOverlayAndStops) {
    platform::FakeClock clock; // the library's settle waits pass at once
    Catalogue("count=1\nDev01=RVXM4120\n");
    Start();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));
    EXPECT_EQ(main_window_->Session().Family(), DeviceFamily::kRVX);
    EXPECT_EQ(main_window_->Session().FrameRate(), 30);
    ASSERT_TRUE(FramesArrive());
    const int w = main_window_->Session().FrameWidth();
    const int h = main_window_->Session().FrameHeight();
    ASSERT_GT(w, 1);
    ASSERT_GT(h, 1);

    // An annotation in the top-left pixel reaches the picture on screen.
    main_window_->Session().Overlay().SetRenderer([w, h](uint8_t* overlay, size_t) {
        std::memset(overlay, 0xFE, static_cast<size_t>(w) * h * 4);
        std::memcpy(overlay, "\x00\x00\xFF\xFF", 4); // red ink
        return true;
    });
    main_window_->Session().Overlay().RequestRedraw();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Overlay().Present(); }));
    ASSERT_TRUE(FramesArrive());
    const QImage shown = main_window_->View()->LatestFrame();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);

    // The callback itself: a frame-sized sample is composited, a larger one not.
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4, 0x40);
    platform::MemorySample sample(pixels.data(), pixels.size(), w, h, w * 4);
    EXPECT_EQ(0, CameraSession::SampleProc(&sample, nullptr, nullptr, 0, &main_window_->Session()));
    EXPECT_EQ(0, std::memcmp(pixels.data(), "\x00\x00\xFF\xFF", 4));
    EXPECT_EQ(pixels[4], 0x40);
    std::vector<uint8_t> wider(static_cast<size_t>(w + 2) * 4, 0x40);
    platform::MemorySample wrong(wider.data(), wider.size(), w + 2, 1, (w + 2) * 4);
    EXPECT_EQ(1, CameraSession::SampleProc(&wrong, nullptr, nullptr, 0, &main_window_->Session()));
    EXPECT_EQ(wider, std::vector<uint8_t>(wider.size(), 0x40)) << "wider than the camera's";

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_TRUE(main_window_->Session().Attached());
    EXPECT_EQ(main_window_->Session().FrameWidth(), 0);
}

TEST_F(ControllerTest, RvxRemovalDetachesAndArrivalAttaches) {
    platform::FakeClock clock;
    Catalogue("count=1\nDev01=RVXM4120\n");
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    ASSERT_TRUE(FramesArrive());
    sim::DefaultRvxCamera()->Pull();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !main_window_->Session().Attached(); }));
    EXPECT_FALSE(main_window_->Session().Playing());
    // The last picture does not stay on screen.
    EXPECT_TRUE(ProcessEventsUntil([&] { return !main_window_->View()->HasFrame(); }));
    EXPECT_EQ(main_window_->Panes().MessageText(), "The device is detached.");
    sim::DefaultRvxCamera()->Plug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    EXPECT_FALSE(main_window_->Session().Playing());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(FramesArrive());
}

TEST_F(ControllerTest, FrameMessageRefreshesTheFramePane) {
    Catalogue("count=1\n"); // no camera
    Start();
    QCoreApplication::postEvent(main_window_.get(),
                                new WindowMessage(msg::kFrame, 640u | (480u << 16), 12005));
    ASSERT_TRUE(ProcessEventsUntil([&] { return frames_->Count() == 1; }));
    EXPECT_EQ(main_window_->Panes().FrameText(), "Frame: [640x480] 12,005Bytes");

    // A Q5 picture event posts the same message; length 0 changes nothing.
    BYTE jpeg[8] = {0xFF, 0xD8, 1, 2, 3, 4, 0xFF, 0xD9};
    CameraSession::Q5StreamProc(4, jpeg, 0, &main_window_->Session());
    CameraSession::Q5StreamProc(4, nullptr, 8, &main_window_->Session());
    CameraSession::Q5StreamProc(4, jpeg, 8, nullptr);
    CameraSession::RvxStreamProc(jpeg, 8, 0.0, &main_window_->Session());
    ASSERT_TRUE(ProcessEventsUntil([&] { return frames_->Count() == 2; }));
    EXPECT_EQ(main_window_->Session().LastFrameBytes(), 8);
    EXPECT_EQ(main_window_->Panes().FrameText(), "Frame: [0x0] 0,008Bytes");
}

TEST_F(ControllerTest, TimersPollTheStatusOnceASecondAndTickTheClock) {
    Catalogue("count=1\nDev01=Q5M4410\n");
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    EXPECT_TRUE(main_window_->TimerActive(MainWindow::kTimerClock));
    for (int i = 0; i < CameraSession::kStatusPollTicks; ++i)
        main_window_->OnTimer(MainWindow::kTimerStatus);
    EXPECT_EQ(main_window_->Session().LastStatus(), 17);
    main_window_->OnTimer(MainWindow::kTimerClock);
    const QString clock = main_window_->Panes().Pane(131)->text().trimmed();
    EXPECT_EQ(clock.size(), 8);
    EXPECT_EQ(clock[2], ':');
}

TEST_F(ControllerTest, ClosingWhilePlayingLeavesNoThreadBehind) {
    Catalogue("count=1\nDev01=Q5M4410\n");
    // The libraries keep process-wide threads (USB events, GLib pools) once
    // started; a first window starts them.
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    main_window_.reset();
    app_.reset();
    QApplication::processEvents();
    const int before = ThreadCount();

    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    ASSERT_TRUE(FramesArrive());
    EXPECT_GT(ThreadCount(), before);
    main_window_->reject();
    main_window_.reset();
    QApplication::processEvents(); // nothing may reach the window after it is gone
    EXPECT_TRUE(ProcessEventsUntil([&] { return ThreadCount() <= before; }))
        << ThreadCount() << " threads, " << before << " before";
}

} // namespace
