// Commands from a second start and from a presenter remote's keys, reaching
// the main window on the emulated Q5 camera: each does
// what its menu item does, only while that item is enabled.
#include "common/CommandIds.h"
#include "remote/RemoteProtocol.h"
#include "remote/RemoteServer.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "window/Application.h"
#include "window/MainWindow.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <cstring>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using cli::RemoteCommand;
using cli::Verb;
using testsupport::ProcessEventsUntil;

class RemoteWindowTest : public testsupport::WindowTest {
protected:
    // Starts the window on the emulated Q5 camera with its pictures and
    // videos in folders of the test, and waits for the picture.
    void StartPlaying(std::vector<RemoteCommand> start_commands = {}) {
        sim::UsbBus().Reset(false);
        sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
        StartWindow("Q5M4410", [&](Application& app) {
            app.Settings().capture_path =
                platform::Utf8ToUtf16(folder_->Path("out").string() + "/");
            app.Settings().record_path = app.Settings().capture_path;
            app.SetStartCommands(start_commands);
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    }

    // A second start's client, on a thread of its own while this thread
    // runs the window's events.
    remote::SendResult Send(std::vector<RemoteCommand> commands, remote::Reply* reply = nullptr) {
        const std::string path = remote::SocketPath(app_->AppName());
        auto client = std::async(std::launch::async, [path, commands, this] {
            return remote::SendRemoteCommands(path, commands, 5000, &refused_, &reply_);
        });
        EXPECT_TRUE(ProcessEventsUntil(
            [&] { return client.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        const remote::SendResult result = client.get();
        if (reply != nullptr)
            *reply = reply_;
        return result;
    }

    size_t Files(const char* leaf) const {
        std::error_code ec;
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(folder_->Path("out") / leaf, ec))
            n += entry.is_regular_file() && entry.path().extension() != ".part" ? 1 : 0;
        return n;
    }

    void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             bool repeat = false) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), repeat);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), repeat);
        QApplication::sendEvent(target, &release);
    }

    RemoteCommand refused_;
    remote::Reply reply_ = remote::Reply::kUnknown;
};

TEST_F(RemoteWindowTest, EachCommandDoesWhatItsMenuItemDoes) {
    StartPlaying();
    VideoView* view = main_window_->View();

    EXPECT_EQ(Send({{Verb::kZoomMode, 1}}), remote::SendResult::kTaken);
    EXPECT_EQ(view->ZoomMode(), 0); // Actual Size
    EXPECT_EQ(app_->Ini()->GetUInt(u"TovekCamera", u"ZoomMode", 9, 10), 0u);
    EXPECT_EQ(Send({{Verb::kZoomMode, 5}}), remote::SendResult::kTaken);
    EXPECT_EQ(view->ZoomMode(), 4); // Fit Image

    EXPECT_EQ(Send({{Verb::kFullScreen, 0}}), remote::SendResult::kTaken);
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_EQ(Send({{Verb::kFullScreen, 0}}), remote::SendResult::kTaken);
    EXPECT_FALSE(view->IsFullScreen());

    EXPECT_EQ(Send({{Verb::kCapture, 0}}), remote::SendResult::kTaken);
    EXPECT_TRUE(ProcessEventsUntil([&] { return Files("Images") == 1; }));

    EXPECT_EQ(Send({{Verb::kRecordStart, 0}}), remote::SendResult::kTaken);
    EXPECT_TRUE(main_window_->Session().Recording());
    EXPECT_EQ(Files("Videos"), 1u);
    remote::Reply reply;
    EXPECT_EQ(Send({{Verb::kRecordStart, 0}}, &reply), remote::SendResult::kNotNow);
    EXPECT_EQ(reply, remote::Reply::kDisabled);
    EXPECT_EQ(Send({{Verb::kRecordStop, 0}}), remote::SendResult::kTaken);
    EXPECT_FALSE(main_window_->Session().Recording());

    // Each command sees what the one before it did.
    EXPECT_EQ(Send({{Verb::kStop, 0}, {Verb::kCapture, 0}}, &reply), remote::SendResult::kNotNow);
    EXPECT_EQ(refused_, (RemoteCommand{Verb::kCapture, 0}));
    EXPECT_EQ(reply, remote::Reply::kDisabled);
    EXPECT_FALSE(main_window_->Session().Playing());
    // Zoom and full screen are disabled while stopped, as in the menu.
    EXPECT_EQ(Send({{Verb::kFullScreen, 0}}), remote::SendResult::kNotNow);
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_EQ(Send({{Verb::kPlay, 0}, {Verb::kZoomMode, 3}}), remote::SendResult::kTaken);
    EXPECT_TRUE(main_window_->Session().Playing());
    EXPECT_EQ(view->ZoomMode(), 2);
    EXPECT_EQ(Files("Images"), 1u);
}

TEST_F(RemoteWindowTest, NoCommandRunsBehindAMessageBox) {
    StartPlaying();
    QDialog box(main_window_.get());
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    ASSERT_TRUE(ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; }));
    remote::Reply reply;
    EXPECT_EQ(Send({{Verb::kStop, 0}}, &reply), remote::SendResult::kNotNow);
    EXPECT_EQ(reply, remote::Reply::kBusy);
    EXPECT_TRUE(main_window_->Session().Playing());
    box.hide();
    EXPECT_EQ(Send({{Verb::kStop, 0}}), remote::SendResult::kTaken);
    EXPECT_FALSE(main_window_->Session().Playing());
}

TEST_F(RemoteWindowTest, LinesThatAreNoCommandEndTheConnection) {
    StartPlaying();
    const std::string path = remote::SocketPath(app_->AppName());
    auto exchange = [&](const std::string& request) {
        return std::async(std::launch::async, [path, request] {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
            std::string answer;
            if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                send(fd, request.data(), request.size(), MSG_NOSIGNAL);
                char buffer[256];
                ssize_t n = 0;
                while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
                    answer.append(buffer, static_cast<size_t>(n));
            }
            close(fd);
            return answer;
        });
    };
    for (const std::string& request :
         {std::string("exit\ncapture\n"), std::string(remote::kMaxLineBytes + 10, 'x')}) {
        auto answer = exchange(request);
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        EXPECT_EQ(answer.get(), "unknown\n");
    }
    EXPECT_EQ(Files("Images"), 0u);
    // The window still takes commands.
    EXPECT_EQ(Send({{Verb::kZoomMode, 2}}), remote::SendResult::kTaken);
}

TEST_F(RemoteWindowTest, ItsOwnCommandsRunOnceThePicturePlays) {
    StartPlaying({{Verb::kRecordStop, 0}, {Verb::kZoomMode, 3}, {Verb::kFullScreen, 0}});
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->View()->IsFullScreen(); }));
    EXPECT_EQ(main_window_->View()->ZoomMode(), 2);
    EXPECT_FALSE(main_window_->Session().Recording());
}

TEST_F(RemoteWindowTest, ASocketLeftByAProgramThatEndedIsReplaced) {
    const std::string path = remote::SocketPath("Stale"); // in the test's runtime folder
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd); // the file stays, nobody listens
    ASSERT_TRUE(fs::exists(path));
    int ran = 0;
    {
        RemoteServer server(
            nullptr, path, [](const RemoteCommand&) { return remote::Reply::kOk; },
            [&](const RemoteCommand&) { ++ran; });
        EXPECT_TRUE(server.Listening());
        auto client = std::async(std::launch::async, [&] {
            RemoteCommand refused;
            remote::Reply reply;
            return remote::SendRemoteCommands(path, {{Verb::kPlay, 0}}, 5000, &refused, &reply);
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return ran == 1; }));
        EXPECT_EQ(client.get(), remote::SendResult::kTaken);
    }
    EXPECT_FALSE(fs::exists(path)); // gone with the server
}

TEST_F(RemoteWindowTest, PresenterKeysRunTheirCommands) {
    StartPlaying();
    QWidget* view = main_window_->View();
    Key(view, Qt::Key_PageDown);
    EXPECT_TRUE(ProcessEventsUntil([&] { return Files("Images") == 1; }));

    Key(view, Qt::Key_PageUp);
    EXPECT_TRUE(main_window_->Session().Recording());
    Key(view, Qt::Key_PageUp, Qt::NoModifier, true); // a held key acts once
    EXPECT_TRUE(main_window_->Session().Recording());
    Key(view, Qt::Key_PageUp);
    EXPECT_FALSE(main_window_->Session().Recording());

    Key(view, Qt::Key_F5);
    EXPECT_TRUE(main_window_->View()->IsFullScreen());
    // B blanks the picture as a presentation does: the camera, the full
    // screen and a recording go on; "." shows the picture again.
    Key(view, Qt::Key_PageUp);
    ASSERT_TRUE(main_window_->Session().Recording());
    Key(view, Qt::Key_B);
    EXPECT_TRUE(main_window_->View()->Blanked());
    const QImage shown = main_window_->View()->grab().toImage();
    EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2) & 0xFFFFFF, 0u);
    EXPECT_TRUE(main_window_->Session().Playing());
    EXPECT_TRUE(main_window_->Session().Recording());
    EXPECT_TRUE(main_window_->View()->IsFullScreen());
    Key(view, Qt::Key_Period);
    EXPECT_FALSE(main_window_->View()->Blanked());
    Key(view, Qt::Key_PageUp);
    EXPECT_FALSE(main_window_->Session().Recording());

    // Stopped (Ctrl+T also leaves full screen), B plays; Capture and full
    // screen wait for the picture.
    Key(view, Qt::Key_B);
    Key(view, Qt::Key_T, Qt::ControlModifier);
    ASSERT_FALSE(main_window_->Session().Playing());
    EXPECT_FALSE(main_window_->View()->Blanked()); // nothing left to blank
    EXPECT_FALSE(main_window_->View()->IsFullScreen());
    Key(view, Qt::Key_PageDown); // Capture is disabled while stopped
    Key(view, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_FALSE(main_window_->View()->IsFullScreen());
    Key(view, Qt::Key_B);
    EXPECT_TRUE(ProcessEventsUntil([&] { return main_window_->Session().Playing(); }));
    EXPECT_FALSE(main_window_->View()->Blanked());
    Key(view, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_TRUE(main_window_->View()->IsFullScreen());
    EXPECT_EQ(Files("Images"), 1u);
}

TEST_F(RemoteWindowTest, PresenterKeysLeaveOtherKeysAlone) {
    StartPlaying();
    // With Ctrl, B is Bright more (on its release), not Blank.
    QKeyEvent ctrl_b(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(main_window_->View(), &ctrl_b));
    QKeyEvent alt_b(QEvent::KeyPress, Qt::Key_B, Qt::AltModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(main_window_->View(), &alt_b));
    // A text field keeps its letters, and a dialog its keys.
    QLineEdit field(main_window_.get());
    QKeyEvent b(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(&field, &b));
    QDialog dialog(main_window_.get());
    dialog.show();
    QKeyEvent page_down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    EXPECT_FALSE(main_window_->Keys().PreTranslateMessage(&dialog, &page_down));
    EXPECT_TRUE(main_window_->Session().Playing());
    EXPECT_EQ(Files("Images"), 0u);
}

} // namespace
