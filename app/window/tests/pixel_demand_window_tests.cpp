// The window on the emulated Q5 camera while nobody can see the picture:
// minimised, no camera picture is decoded (counted by the decoder, not
// timed) while a recording goes on, a snapshot as shown still saves the
// annotated held picture, and the window restored shows new pictures with
// the freeze kept.
#include "annotation/AnnotationStore.h"
#include "common/CommandIds.h"
#include "platform/media.h"
#include "platform/system.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"
#include "window_fixture.h"

#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>

namespace {

using testsupport::ProcessEventsUntil;

bool IsRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

using PixelDemandWindowTest = testsupport::WindowTest;

TEST_F(PixelDemandWindowTest, MinimisedDecodesNothingButTheSnapshotAndRestoredShowsAgain) {
    sim::UsbBus().Reset(false);
    sim::UsbBus().PlugIn(sim::MakeDefaultQ5Camera());
    const std::filesystem::path images = folder_->Path("pictures") / "Images";
    StartWindow("Q5M4410", [&](Application& app) {
        app.Settings().record_path = platform::Utf8ToUtf16(folder_->Path("videos").string() + "/");
        app.Settings().capture_path =
            platform::Utf8ToUtf16(folder_->Path("pictures").string() + "/");
        app.Settings().audio_index = 0;
    });
    CameraSession& session = main_window_->Session();
    VideoView* view = main_window_->View();
    ASSERT_TRUE(ProcessEventsUntil([&] { return session.Playing() && view->FrameCount() > 2; }));
    main_window_->OnCommand(cmd::kZoomFirst + view::kFitImage);
    const auto frames_after = [&](uint64_t seen, uint64_t count) {
        return ProcessEventsUntil([&] { return view->FrameCount() >= seen + count; });
    };
    // Until the recorder has had about count more camera frames.
    const auto recorded_frames = [&](int count) {
        const uint64_t until =
            session.GetRecorder().TotalBytes() + uint64_t(count) * session.LastFrameBytes();
        return ProcessEventsUntil([&] { return session.GetRecorder().TotalBytes() > until; });
    };

    // A red rectangle over the picture, held by a freeze.
    main_window_->Annotations().SetTool(annotation::DrawTool::kRectangle);
    main_window_->Annotations().Edit([](annotation::AnnotationState& s) {
        s.defaults.rect_fill = true;
        s.defaults.rect_fill_color = 0x0000FF;
    });
    const view::POINT from = view->ImageToClient(view::POINT{100, 100});
    const view::POINT to = view->ImageToClient(view::POINT{300, 250});
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(from.x, from.y));
    QTest::mouseMove(view, QPoint(from.x, from.y)); // the shape starts at the first move
    QTest::mouseMove(view, QPoint(to.x, to.y));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(to.x, to.y));
    ASSERT_TRUE(ProcessEventsUntil([&] {
        const QImage frame = view->LatestFrame();
        return !frame.isNull() && IsRed(frame.pixel(200, 175));
    }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(frames_after(view->FrameCount(), 3));
    const QImage held = view->LatestFrame();

    main_window_->showMinimized();
    ASSERT_TRUE(ProcessEventsUntil([] { return !tovek_media_pixels_wanted(); }));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
    ASSERT_TRUE(recorded_frames(1)); // every decode begun before is over
    const uint64_t decoded = tovek_media_decoded_pictures();
    const uint64_t presented = view->FrameCount();
    ASSERT_TRUE(recorded_frames(5));
    EXPECT_EQ(tovek_media_decoded_pictures(), decoded);
    EXPECT_EQ(view->FrameCount(), presented);

    // Saved as shown: the one picture it needs is decoded.
    ASSERT_TRUE(main_window_->OnCommand(cmd::kCapture));
    std::filesystem::path saved;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(images, ec))
            saved = entry.path().extension() == ".jpg" ? entry.path() : saved;
        return !saved.empty();
    }));
    const QImage picture(QString::fromStdString(saved.string()));
    ASSERT_EQ(picture.size(), held.size());
    EXPECT_TRUE(IsRed(picture.pixel(200, 175)));
    EXPECT_EQ(tovek_media_decoded_pictures(), decoded + 1);

    main_window_->showNormal();
    ASSERT_TRUE(ProcessEventsUntil([] { return tovek_media_pixels_wanted(); }));
    ASSERT_TRUE(frames_after(presented, 2));
    EXPECT_GT(tovek_media_decoded_pictures(), decoded + 1);
    EXPECT_EQ(view->LatestFrame(), held) << "the freeze outlasts the minimised time";
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->LatestFrame() != held; }));
    main_window_->OnCommand(cmd::kStopRecord);
}

} // namespace
