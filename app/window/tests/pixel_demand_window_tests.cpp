// The window on the emulated Q5 camera while nobody can see the picture:
// minimised, no camera picture is decoded (counted by the decoder, not
// timed) while a recording goes on, a snapshot as shown still saves the
// annotated held picture, and the window restored shows new pictures with
// the freeze kept.
#include "annotation/AnnotationStore.h"
#include "common/CommandIds.h"
#include "platform/media.h"
#include "platform/system.h"
#include "playing_window_fixture.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

bool IsRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

class PixelDemandWindowTest : public testsupport::PlayingWindowTest {
protected:
    void Start() { ASSERT_NO_FATAL_FAILURE(StartPlaying()); }
    // Waits until the recorder has had about count more camera frames.
    bool WaitRecordedFrames(int count) {
        const Recorder& recorder = main_window_->Session().GetRecorder();
        const uint64_t until = recorder.TotalBytes() + static_cast<uint64_t>(count) *
                                                           main_window_->Session().LastFrameBytes();
        return ProcessEventsUntil([&] { return recorder.TotalBytes() > until; });
    }
    void DrawRedRectangle(int x1, int y1, int x2, int y2) {
        main_window_->Annotations().SetTool(annotation::DrawTool::kRectangle);
        main_window_->Annotations().Edit([](annotation::AnnotationState& s) {
            s.defaults.rect_fill = true;
            s.defaults.rect_fill_color = 0x0000FF;
        });
        QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, At(x1, y1));
        QTest::mouseMove(view_, At(x1, y1));
        QTest::mouseMove(view_, At(x2, y2));
        QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, At(x2, y2));
    }
    // The picture a snapshot saved, read back; null when none came.
    QImage Capture() {
        const fs::path images = folder_->Path("pictures") / "Images";
        EXPECT_TRUE(main_window_->OnCommand(cmd::kCapture));
        fs::path saved;
        const auto found = [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(images, ec))
                if (entry.path().extension() == ".jpg")
                    saved = entry.path();
            return !saved.empty();
        };
        if (!ProcessEventsUntil(found))
            return QImage();
        return QImage(QString::fromStdString(saved.string())).convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(PixelDemandWindowTest, MinimisedDecodesNothingButTheSnapshotAndRestoredShowsAgain) {
    ASSERT_NO_FATAL_FAILURE(Start());
    DrawRedRectangle(100, 100, 300, 250);
    ASSERT_TRUE(ProcessEventsUntil([&] {
        const QImage frame = CameraFrame();
        return !frame.isNull() && IsRed(frame.pixel(200, 175));
    }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(WaitFrames(3));
    const QImage held = CameraFrame();

    ASSERT_TRUE(main_window_->TimerActive(MainWindow::kTimerStatus));
    main_window_->showMinimized();
    ASSERT_TRUE(ProcessEventsUntil([] { return !tovek_media_pixels_wanted(); }));
    EXPECT_FALSE(main_window_->TimerActive(MainWindow::kTimerStatus)) << "no banner to show";
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
    ASSERT_TRUE(WaitRecordedFrames(1)); // every decode begun before is over
    const uint64_t decoded = tovek_media_decoded_pictures();
    const uint64_t presented = view_->FrameCount();
    ASSERT_TRUE(WaitRecordedFrames(5));
    EXPECT_EQ(tovek_media_decoded_pictures(), decoded);
    EXPECT_EQ(view_->FrameCount(), presented);

    // The unseen frame pane hears of every eighth frame, not of each.
    std::atomic<uint64_t> camera_frames{0};
    const testsupport::EventCounter messages(main_window_.get(),
                                             static_cast<QEvent::Type>(msg::kFrame));
    main_window_->Session().SetFrameTap([&](const uint8_t*, size_t) { ++camera_frames; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return camera_frames.load() >= 24; }));
    main_window_->Session().SetFrameTap({});
    EXPECT_GE(messages.Count(), 1u);
    EXPECT_LE(messages.Count(), camera_frames.load() / 8 + 1);

    // Saved as shown: the one picture it needs is decoded.
    const QImage picture = Capture();
    ASSERT_EQ(picture.size(), held.size());
    EXPECT_TRUE(IsRed(picture.pixel(200, 175)));
    EXPECT_EQ(tovek_media_decoded_pictures(), decoded + 1);

    main_window_->showNormal();
    ASSERT_TRUE(ProcessEventsUntil([] { return tovek_media_pixels_wanted(); }));
    EXPECT_TRUE(main_window_->TimerActive(MainWindow::kTimerStatus)) << "the banner's again";
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_GT(tovek_media_decoded_pictures(), decoded + 1);
    EXPECT_EQ(CameraFrame(), held) << "the freeze outlasts the minimised time";
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(ProcessEventsUntil([&] { return CameraFrame() != held; }));
    main_window_->OnCommand(cmd::kStopRecord);

    // Stopped while unseen: back in sight, nothing plays and no timer runs.
    main_window_->showMinimized();
    ASSERT_TRUE(ProcessEventsUntil([] { return !tovek_media_pixels_wanted(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    main_window_->showNormal();
    ASSERT_TRUE(ProcessEventsUntil([] { return tovek_media_pixels_wanted(); }));
    EXPECT_FALSE(main_window_->TimerActive(MainWindow::kTimerStatus));
}

} // namespace
