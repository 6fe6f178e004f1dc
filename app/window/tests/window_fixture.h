// The main window on the emulated cameras, as the window tests start it: a
// throw-away program folder with a one-entry device catalogue, the
// application started from it, message boxes recorded instead of shown.
#pragma once

#include "testsupport/gui_support.h"
#include "view/ShownFrame.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"
#include "window/MainWindow.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace testsupport {

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }
    void SetUp() override {
        // The old folder first: each restores the environment it found, so
        // the two must not overlap (a test may set up again).
        folder_.reset();
        folder_ = std::make_unique<ProgramFolder>();
        SetMessageBoxService(&messages_);
    }
    void TearDown() override {
        main_window_.reset();
        app_.reset();
        SetMessageBoxService(nullptr);
    }
    // Starts the program with device as its only catalogue entry; before
    // the window is built, prepare may change the application's settings.
    void StartWindow(const std::string& device,
                     const std::function<void(Application&)>& prepare = {}) {
        folder_->Write("DocumentDevice.ini", "[Device]\ncount=1\nDev01=" + device + "\n");
        app_ = std::make_unique<Application>();
        app_->SetExecutablePath(folder_->Exe());
        ASSERT_TRUE(app_->Start());
        if (prepare)
            prepare(*app_);
        main_window_ = std::make_unique<MainWindow>(*app_);
        main_window_->Session().SetWaitFunction([this](uint32_t ms) { waits_.push_back(ms); });
        // A Play's settle ends with the next round of events.
        main_window_->Session().SetSettleTimer([this](uint32_t ms, std::function<void()> due) {
            waits_.push_back(ms);
            QTimer::singleShot(0, main_window_.get(), std::move(due));
        });
        main_window_->show();
    }

    // The picture last handed to the view at the camera's size: a window
    // smaller than the camera's picture gets it decoded smaller, and the
    // tests look at it in camera pixels (enlarged to the nearest pixel).
    QImage CameraFrame() const {
        const QImage frame = main_window_->View()->LatestFrame();
        const QSize camera(main_window_->Session().FrameWidth(),
                           main_window_->Session().FrameHeight());
        return frame.isNull() || frame.size() == camera || camera.isEmpty()
                   ? frame
                   : frame.scaled(camera, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    // The same turned as it is shown.
    QImage ShownCameraFrame() const {
        return view::TurnedImage(CameraFrame(), main_window_->View()->QuarterTurns());
    }

    RecordingMessageBox messages_;
    std::unique_ptr<ProgramFolder> folder_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<MainWindow> main_window_;
    std::vector<uint32_t> waits_; // the session's waits and settles, in order; none is waited for
};

} // namespace testsupport
