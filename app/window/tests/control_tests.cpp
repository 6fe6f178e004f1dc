// The main window's camera control commands, keyboard rules and status
// banner, on the emulated cameras. CTest runs each test in
// its own process, so the libraries' process-wide state never carries over.
#include "camera/ControlKeys.h"
#include "common/CommandIds.h"
#include "platform/system.h"
#include "sim/picture.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "widgets/BannerWindow.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::ProcessEventsUntil;

class ControlTest : public testsupport::WindowTest {
protected:
    void Start(const std::string& device) { StartWindow(device); }
    void CtrlKey(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QApplication::sendEvent(main_window_.get(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier);
        QApplication::sendEvent(main_window_.get(), &release);
    }
    // The commands a camera received since the count given.
    template <typename Camera>
    static Bytes Since(const Camera& camera, size_t count) {
        const Bytes all = camera.Commands();
        return Bytes(all.begin() + static_cast<std::ptrdiff_t>(std::min(count, all.size())),
                     all.end());
    }
};

TEST_F(ControlTest, Q5MenuAndKeysSendTheirSequences) {
    sim::UsbBus().Reset(false);
    auto camera = sim::MakeDefaultQ5Camera();
    sim::UsbBus().PlugIn(camera);
    Start("Q5M4410");
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));

    size_t count = camera->Commands().size();
    waits_.clear();
    ASSERT_TRUE(main_window_->OnCommand(36797)); // Zoom in
    EXPECT_EQ(Since(*camera, count), (Bytes{0xB1, 0xBA, 0xBB}));
    EXPECT_EQ(waits_, (std::vector<uint32_t>{100, 20}));

    count = camera->Commands().size();
    waits_.clear();
    CtrlKey(Qt::Key_R); // Focus far
    CtrlKey(Qt::Key_G); // Neg, no counter on Q5
    CtrlKey(Qt::Key_G);
    ASSERT_TRUE(main_window_->OnCommand(36806));
    EXPECT_EQ(Since(*camera, count), (Bytes{0xB9, 0xBA, 0xB6, 0xB6, 0xB6}));
    EXPECT_EQ(waits_, (std::vector<uint32_t>{100}));

    // Ctrl+P while playing does nothing; Ctrl+T stops, then keys are dead.
    CtrlKey(Qt::Key_P);
    EXPECT_TRUE(main_window_->Session().Playing());
    CtrlKey(Qt::Key_T);
    EXPECT_FALSE(main_window_->Session().Playing());
    EXPECT_EQ(main_window_->Banner().Get(), nullptr); // the banner goes with the picture
    count = camera->Commands().size();
    CtrlKey(Qt::Key_B);
    CtrlKey(Qt::Key_I);
    CtrlKey(Qt::Key_T); // Ctrl+T while stopped does nothing
    EXPECT_EQ(Since(*camera, count), Bytes{});
    EXPECT_FALSE(main_window_->Session().Playing());
    // A release without Ctrl is no command.
    QKeyEvent plain(QEvent::KeyRelease, Qt::Key_P, Qt::NoModifier);
    QApplication::sendEvent(main_window_.get(), &plain);
    EXPECT_FALSE(main_window_->Session().Playing());
    CtrlKey(Qt::Key_P);
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    EXPECT_NE(main_window_->Banner().Get(), nullptr);
}

TEST_F(ControlTest, KeysDoNothingWhileDetached) {
    sim::UsbBus().Reset(false); // no camera on the bus
    platform::FakeClock clock;  // the library's wait for a camera passes at once
    Start("Q5M4410");
    EXPECT_FALSE(main_window_->Session().Attached());
    CtrlKey(Qt::Key_P);
    EXPECT_FALSE(main_window_->Session().Playing());
    // Esc is consumed and never closes the window.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(main_window_.get(), &esc);
    EXPECT_TRUE(main_window_->isVisible());
    // Nothing to send to is no fault.
    EXPECT_EQ(SendControlKey(nullptr, ctl::kZoomIn), -1);
}

TEST_F(ControlTest, RvxCountersAreSharedByMenuAndKeysAndRestartWithTheCamera) {
    platform::FakeClock clock; // the library's 300 ms per command pass at once
    auto camera = sim::DefaultRvxCamera();
    Start("RVXM4120");
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));

    size_t count = camera->Commands().size();
    ASSERT_TRUE(main_window_->OnCommand(36804));
    CtrlKey(Qt::Key_M);
    ASSERT_TRUE(main_window_->OnCommand(36804));
    CtrlKey(Qt::Key_M);
    EXPECT_EQ(SendControlKey(main_window_.get(), ctl::kMirror), 0); // as the tool bar does
    EXPECT_EQ(Since(*camera, count), (Bytes{0x4A, 0x4B, 0x4C, 0x4D, 0x4A}));

    count = camera->Commands().size();
    CtrlKey(Qt::Key_G);
    ASSERT_TRUE(main_window_->OnCommand(36806));
    CtrlKey(Qt::Key_G);
    ASSERT_TRUE(main_window_->OnCommand(36805));
    CtrlKey(Qt::Key_K);
    EXPECT_EQ(Since(*camera, count), (Bytes{0x38, 0x37, 0x38, 0x49, 0x48}));

    // Ctrl+I is for the Q5 family only; the menu item works on both.
    count = camera->Commands().size();
    CtrlKey(Qt::Key_I);
    CtrlKey(Qt::Key_N);
    EXPECT_EQ(Since(*camera, count), Bytes{});
    ASSERT_TRUE(main_window_->OnCommand(36797));
    EXPECT_EQ(Since(*camera, count), (Bytes{0x31, 0x30, 0x35}));

    // Choosing the camera again starts every counter afresh.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kDeviceFirst));
    ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Attached(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    count = camera->Commands().size();
    // Sent once the camera is open again.
    ASSERT_TRUE(main_window_->OnCommand(36804));
    ASSERT_TRUE(main_window_->OnCommand(36806));
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    EXPECT_EQ(Since(*camera, count), (Bytes{0x4A, 0x38}));
}

TEST_F(ControlTest, RvxStatusShowsInTheBannerUntilItIsNormalAgain) {
    platform::FakeClock clock;
    auto camera = sim::DefaultRvxCamera();
    Start("RVXM4120");
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));
    BannerWindow* banner = main_window_->Banner().Get();
    ASSERT_NE(banner, nullptr);
    EXPECT_FALSE(banner->isVisible());

    auto poll_once = [&] {
        for (int i = 0; i < CameraSession::kStatusPollTicks; ++i)
            main_window_->OnTimer(MainWindow::kTimerStatus);
    };
    poll_once();
    EXPECT_EQ(main_window_->Session().LastStatus(), ctl::kStatusNormal);
    EXPECT_FALSE(banner->isVisible());

    ASSERT_TRUE(main_window_->OnCommand(36806)); // Neg: the camera reports it for 2 s
    const int expected = sim::RvxStatusForCommand(0x38);
    ASSERT_NE(expected, ctl::kStatusNormal);
    poll_once();
    EXPECT_EQ(main_window_->Session().LastStatus(), expected);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(std::string(banner->InfoText()), ctl::StatusText(expected));
    // Centred over the video view.
    QWidget* view = main_window_->View();
    EXPECT_LE(
        (banner->geometry().center() - view->mapToGlobal(view->rect().center())).manhattanLength(),
        2);

    clock.Advance(sim::kRvxStatusHoldMs + 1000);
    poll_once();
    EXPECT_EQ(main_window_->Session().LastStatus(), ctl::kStatusNormal);
    EXPECT_FALSE(banner->isVisible());

    // Stopping takes the banner away.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_EQ(main_window_->Banner().Get(), nullptr);
    main_window_->OnTimer(MainWindow::kTimerStatus); // no banner: nothing to do
}

// Typed as a person types it, into the picture that has the focus: Ctrl
// down, the letter down and up, Ctrl up. The key release travels from the
// view up to the window; each key must act once, so the picture ends where
// a single command leaves it.
TEST_F(ControlTest, KeysTypedIntoTheFocusedPictureActOnce) {
    platform::FakeClock clock;
    auto camera = sim::DefaultRvxCamera();
    Start("RVXM4120");
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Attached() && main_window_->Session().Playing(); }));
    QWidget* view = main_window_->View();
    view->setFocus();
    ASSERT_TRUE(ProcessEventsUntil([&] { return QApplication::focusWidget() == view; }));
    auto type = [&](Qt::Key key) {
        QTest::keyPress(view, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyPress(view, key, Qt::ControlModifier);
        QTest::keyRelease(view, key, Qt::ControlModifier);
        QTest::keyRelease(view, Qt::Key_Control, Qt::NoModifier);
    };
    // Typed fast, Ctrl comes up before the letter (as xdotool sends it):
    // the letter still counts with the Ctrl held at its press.
    auto type_ctrl_lifted_first = [&](Qt::Key key) {
        QTest::keyPress(view, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyPress(view, key, Qt::ControlModifier);
        QTest::keyRelease(view, Qt::Key_Control, Qt::NoModifier);
        QTest::keyRelease(view, key, Qt::NoModifier);
    };
    const size_t count = camera->Commands().size();
    type(Qt::Key_M);
    type(Qt::Key_G);
    type(Qt::Key_G);
    type_ctrl_lifted_first(Qt::Key_G);
    QTest::keyClick(view, Qt::Key_G); // no Ctrl at all: no command
    EXPECT_EQ(Since(*camera, count), (Bytes{0x4A, 0x38, 0x37, 0x38}));
    // Arrows and Enter stay with a dialog of the program.
    QDialog dialog(main_window_.get());
    dialog.show();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(&dialog, &enter));
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(&dialog, &left));
    EXPECT_TRUE(main_window_->Keys().PreTranslateMessage(view, &left));
}

} // namespace
