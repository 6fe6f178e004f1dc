// Freezing and turning the picture in the window on the emulated Q5 camera,
// whose pictures carry a moving mark: a held picture stays while the camera
// and a recording go on, shapes drawn over it show, shapes keep their
// picture pixels through a turn, and snapshots are what the view shows.
#include "annotation/AnnotationStore.h"
#include "common/CommandIds.h"
#include "platform/system.h"
#include "playing_window_fixture.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"
#include "testsupport/gui_support.h"
#include "view/Rotation.h"
#include "view/ShownFrame.h"
#include "view/VideoGeometry.h"
#include "view/VideoView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ProcessEventsUntil;

// The largest mean difference of one colour channel over the 16 x 16 blocks
// of two pictures of one size: JPEG stays well below 20, the camera's moving
// mark in one picture and not the other goes far above.
int MaxBlockDifference(const QImage& a, const QImage& b) {
    constexpr int kBlock = 16;
    int worst = 0;
    for (int by = 0; by + kBlock <= a.height(); by += kBlock)
        for (int bx = 0; bx + kBlock <= a.width(); bx += kBlock) {
            int sum = 0;
            for (int y = by; y < by + kBlock; ++y)
                for (int x = bx; x < bx + kBlock; ++x) {
                    const QRgb p = a.pixel(x, y);
                    const QRgb q = b.pixel(x, y);
                    sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                           std::abs(qBlue(p) - qBlue(q));
                }
            worst = std::max(worst, sum / (kBlock * kBlock * 3));
        }
    return worst;
}

bool IsRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

class ShownPictureWindowTest : public testsupport::PlayingWindowTest {
protected:
    void Start() {
        ASSERT_NO_FATAL_FAILURE(StartPlaying());
        width_ = main_window_->Session().FrameWidth();
        height_ = main_window_->Session().FrameHeight();
        ASSERT_GT(width_, 0);
    }
    // A red filled rectangle dragged over picture pixels (x1, y1) to (x2, y2).
    void DrawRectangle(int x1, int y1, int x2, int y2) {
        main_window_->Annotations().SetTool(annotation::DrawTool::kRectangle);
        main_window_->Annotations().Edit([](annotation::AnnotationState& s) {
            s.defaults.rect_fill = true;
            s.defaults.rect_fill_color = 0x0000FF; // red
        });
        // The shape starts at the first move.
        QTest::mousePress(view_, Qt::LeftButton, Qt::NoModifier, At(x1, y1));
        QTest::mouseMove(view_, At(x1, y1));
        QTest::mouseMove(view_, At((x1 + x2) / 2, (y1 + y2) / 2));
        QTest::mouseMove(view_, At(x2, y2));
        QTest::mouseRelease(view_, Qt::LeftButton, Qt::NoModifier, At(x2, y2));
    }
    bool RedInFrameAt(int x, int y) const {
        const QImage frame = CameraFrame();
        return !frame.isNull() && IsRed(frame.pixel(x, y));
    }
    // The one picture the capture saves, read back.
    QImage Capture() {
        const fs::path images = folder_->Path("pictures") / "Images";
        std::error_code ec;
        fs::remove_all(images, ec);
        EXPECT_TRUE(main_window_->OnCommand(cmd::kCapture));
        const auto saved = [&] {
            if (!fs::exists(images))
                return false;
            for (const auto& entry : fs::directory_iterator(images))
                if (entry.path().extension() == ".jpg")
                    return true;
            return false;
        };
        if (!ProcessEventsUntil(saved))
            return QImage();
        for (const auto& entry : fs::directory_iterator(images))
            if (entry.path().extension() == ".jpg")
                return QImage(QString::fromStdString(entry.path().string()))
                    .convertToFormat(QImage::Format_RGB32);
        return QImage();
    }
    void Key(int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(view_, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers);
        QApplication::sendEvent(view_, &release);
    }

    int width_ = 0;
    int height_ = 0;
};

TEST_F(ShownPictureWindowTest, FreezeHoldsThePictureWhileTheCameraAndARecordingGoOn) {
    ASSERT_NO_FATAL_FAILURE(Start());
    QAction* freeze = main_window_->Menu().FindCommand(cmd::kFreeze);
    ASSERT_NE(freeze, nullptr);
    EXPECT_TRUE(freeze->isEnabled());
    EXPECT_FALSE(freeze->isChecked());
    const QImage before = CameraFrame();
    ASSERT_TRUE(WaitFrames(3));
    ASSERT_NE(CameraFrame(), before); // the camera's mark moves

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStartRecord));
    ASSERT_TRUE(main_window_->Session().Recording());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    EXPECT_TRUE(main_window_->Session().Shown().Frozen());
    EXPECT_TRUE(freeze->isChecked());
    EXPECT_EQ(view_->FrozenMark(), QStringLiteral("Frozen"));
    ASSERT_TRUE(WaitFrames(3));
    const QImage held = CameraFrame();
    const uint64_t recorded = main_window_->Session().GetRecorder().TotalBytes();
    ASSERT_TRUE(WaitFrames(6));
    EXPECT_EQ(CameraFrame(), held);
    // The camera's own pictures go on into the file.
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().GetRecorder().TotalBytes() > recorded; }));
    // The mark is painted over the held picture, in its top-left corner.
    const QRgb mark = view_->grab().toImage().pixel(view_->DisplayRect().left + 12,
                                                    view_->DisplayRect().top + 12);
    EXPECT_GT(qRed(mark), 110);
    EXPECT_LT(qGreen(mark), 90);

    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    EXPECT_FALSE(main_window_->Session().Shown().Frozen());
    EXPECT_FALSE(freeze->isChecked());
    EXPECT_TRUE(view_->FrozenMark().isEmpty());
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_NE(CameraFrame(), held);
    main_window_->OnCommand(cmd::kStopRecord);
}

TEST_F(ShownPictureWindowTest, StopAndTheKeysEndTheFreeze) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(main_window_->Session().Shown().Frozen());
    Key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(main_window_->Session().Shown().Frozen());
    Key(Qt::Key_F, Qt::NoModifier); // not its key
    EXPECT_FALSE(main_window_->Session().Shown().Frozen());

    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_FALSE(main_window_->Session().Shown().Frozen());
    EXPECT_TRUE(view_->FrozenMark().isEmpty());
    EXPECT_FALSE(main_window_->Menu().FindCommand(cmd::kFreeze)->isEnabled());
    // Nothing to hold while stopped, whether asked by the key or directly.
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    EXPECT_FALSE(main_window_->Session().Shown().Frozen());

    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Playing() && view_->FrameCount() > 0; }));
    const QImage first = CameraFrame();
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_NE(CameraFrame(), first);
}

TEST_F(ShownPictureWindowTest, ShapesDrawnOverTheHeldPictureShowAndTheSnapshotIsWhatIsShown) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze));
    ASSERT_TRUE(WaitFrames(3));
    const QImage held = CameraFrame();

    DrawRectangle(100, 100, 300, 250);
    ASSERT_TRUE(ProcessEventsUntil([&] { return RedInFrameAt(200, 175); }));
    // Around the shape the picture is still the held one.
    const QImage shown = CameraFrame();
    const QRect below(0, 300, width_, height_ - 300);
    EXPECT_EQ(shown.copy(below), held.copy(below));

    const QImage picture = Capture();
    ASSERT_EQ(picture.size(), QSize(width_, height_));
    EXPECT_TRUE(IsRed(picture.pixel(200, 175)));
    EXPECT_LT(MaxBlockDifference(picture, ShownCameraFrame()), 20);
}

TEST_F(ShownPictureWindowTest, AShapeKeepsItsPicturePixelsThroughAQuarterTurn) {
    ASSERT_NO_FATAL_FAILURE(Start());
    DrawRectangle(100, 100, 300, 250);
    ASSERT_TRUE(ProcessEventsUntil([&] { return RedInFrameAt(200, 175); }));

    ASSERT_TRUE(main_window_->OnCommand(cmd::kRotateRight));
    EXPECT_EQ(view_->QuarterTurns(), 1);
    // Fit Image fits the turned picture: taller than wide.
    const RECT r = view_->DisplayRect();
    EXPECT_NEAR(static_cast<double>(r.right - r.left) / (r.bottom - r.top),
                static_cast<double>(height_) / width_, 0.02);
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_TRUE(RedInFrameAt(200, 175)); // the camera's pixels, untouched
    const QImage turned = ShownCameraFrame();
    ASSERT_EQ(turned.size(), QSize(height_, width_));
    const view::POINT corner = view::RotatePoint({200, 175}, width_, height_, 1);
    EXPECT_TRUE(IsRed(turned.pixel(corner.x, corner.y)));
    // On screen the shape is where the mouse finds its pixels.
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return IsRed(view_->grab().toImage().pixel(At(200, 175))); }));
    EXPECT_FALSE(IsRed(view_->grab().toImage().pixel(At(500, 175))));
    QTest::mouseMove(view_, At(200, 175));
    EXPECT_NEAR(view_->ImagePoint().x, 200, 2);
    EXPECT_NEAR(view_->ImagePoint().y, 175, 2);

    // Drawn while turned, a shape lands on the picture pixels under the mouse.
    DrawRectangle(500, 400, 600, 500);
    ASSERT_TRUE(ProcessEventsUntil([&] { return RedInFrameAt(550, 450); }));
    EXPECT_FALSE(RedInFrameAt(450, 450));
    EXPECT_FALSE(RedInFrameAt(550, 350));
}

TEST_F(ShownPictureWindowTest, ASnapshotAfterAQuarterTurnIsTurnedAsShown) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kRotateRight));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFreeze)); // a still picture to compare with
    ASSERT_TRUE(WaitFrames(3));
    const QImage picture = Capture();
    ASSERT_EQ(picture.size(), QSize(height_, width_));
    EXPECT_LT(MaxBlockDifference(picture, ShownCameraFrame()), 20);
    // Turned the other way it would not match.
    EXPECT_GT(MaxBlockDifference(picture, view::TurnedImage(CameraFrame(), 3)), 20);
}

TEST_F(ShownPictureWindowTest, FourQuarterTurnsGiveThePictureBackAndTurnsSurviveStopAndPlay) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const RECT upright = view_->DisplayRect();
    Key(Qt::Key_F8, Qt::NoModifier);
    ASSERT_EQ(view_->QuarterTurns(), 1);
    EXPECT_EQ(main_window_->Session().Shown().QuarterTurns(), 1);
    const RECT turned = view_->DisplayRect();
    EXPECT_NE(turned.right - turned.left, upright.right - upright.left);

    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kPlay));
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main_window_->Session().Playing() && view_->FrameCount() > 0; }));
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_EQ(view_->QuarterTurns(), 1);
    EXPECT_EQ(view_->DisplayRect().right - view_->DisplayRect().left, turned.right - turned.left);
    EXPECT_EQ(ShownCameraFrame().size(), QSize(height_, width_));

    // In full screen the keys still turn it.
    view_->ToggleFullScreen();
    QCoreApplication::processEvents();
    Key(Qt::Key_F8, Qt::NoModifier);
    Key(Qt::Key_F8, Qt::NoModifier);
    EXPECT_EQ(view_->QuarterTurns(), 3);
    Key(Qt::Key_F7, Qt::NoModifier);
    ASSERT_TRUE(main_window_->OnCommand(cmd::kRotateRight));
    ASSERT_TRUE(main_window_->OnCommand(cmd::kRotateRight));
    EXPECT_EQ(view_->QuarterTurns(), 0);
    view_->ToggleFullScreen();
    QCoreApplication::processEvents();
    EXPECT_FALSE(main_window_->Session().Shown().Altered());
    EXPECT_EQ(view_->DisplayRect().right - view_->DisplayRect().left, upright.right - upright.left);
    EXPECT_EQ(ShownCameraFrame().size(), QSize(width_, height_));
}

TEST_F(ShownPictureWindowTest, SpotlightAndCurtainTakeTurnsAndEscOrStopEndsThem) {
    using view::ShowEffectKind;
    ASSERT_NO_FATAL_FAILURE(Start());
    QAction* spotlight = main_window_->Menu().FindCommand(cmd::kSpotlight);
    QAction* curtain = main_window_->Menu().FindCommand(cmd::kCurtain);
    ASSERT_TRUE(spotlight != nullptr && curtain != nullptr);
    const auto shown = [&] { return view_->ShowEffect().kind; };

    spotlight->trigger();
    EXPECT_EQ(shown(), ShowEffectKind::kSpotlight);
    EXPECT_TRUE(spotlight->isChecked());
    // A drag in it moves it; the drawing tool draws nothing.
    DrawRectangle(width_ / 2, height_ / 2, width_ / 2 + 100, height_ / 2 + 100);
    EXPECT_GT(view_->ShowEffect().spot.cx, 0.5);
    EXPECT_FALSE(main_window_->Annotations().HasShapes());
    // The page between the circle and the triangle: dark on the screen only.
    const int x = width_ * 34 / 100;
    const int y = height_ * 62 / 100;
    EXPECT_LT(qGray(view_->grab().toImage().pixel(At(x, y))), 60);
    EXPECT_GT(qGray(CameraFrame().pixel(x, y)), 150) << "frames and snapshots keep it";

    curtain->trigger();
    EXPECT_EQ(shown(), ShowEffectKind::kCurtain);
    EXPECT_FALSE(spotlight->isChecked());
    EXPECT_TRUE(curtain->isChecked());
    curtain->trigger();
    EXPECT_EQ(shown(), ShowEffectKind::kNone);
    EXPECT_FALSE(curtain->isChecked());

    // In full screen the first Esc ends the curtain, the next leaves.
    curtain->trigger();
    ASSERT_TRUE(main_window_->OnCommand(cmd::kFullScreen));
    Key(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_EQ(shown(), ShowEffectKind::kNone);
    EXPECT_TRUE(view_->IsFullScreen());
    Key(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(view_->IsFullScreen());

    // Stop ends it, and none starts until the picture plays.
    spotlight->trigger();
    ASSERT_TRUE(main_window_->OnCommand(cmd::kStop));
    EXPECT_EQ(shown(), ShowEffectKind::kNone);
    EXPECT_FALSE(spotlight->isEnabled());
    ASSERT_TRUE(main_window_->OnCommand(cmd::kSpotlight));
    EXPECT_EQ(shown(), ShowEffectKind::kNone);
}

} // namespace
