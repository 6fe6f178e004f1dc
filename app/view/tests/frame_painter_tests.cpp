// The view's frame painter: shrinking exact factors itself, straight into
// the window's pixels where it can, and letting QPainter scale the rest.
#include "platform/frame_shrinker.h"
#include "view/FramePainter.h"

#include "testsupport/random_frame.h"

#include <gtest/gtest.h>

#include <QPaintEngine>
#include <QPainter>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using platform::ShrinkFactor;

using Frame = testsupport::BgrxFrame;
using testsupport::RandomFrame;

TEST(FrameShrinking, PainterShrinksExactFactorsItselfAndLetsQPainterScaleTheRest) {
    const Frame f = RandomFrame(1920, 1080, 0, 7);
    VideoFrame frame;
    frame.pixels = f.bytes.data();
    frame.width = f.width;
    frame.height = f.height;
    frame.stride = f.stride;
    std::vector<uint8_t> expected(static_cast<size_t>(1280) * 720 * 4);
    ASSERT_TRUE(platform::ShrinkBgrx(ShrinkFactor::kThreeToTwo, f.bytes.data(), 1920, 1080,
                                     f.stride, expected.data(), 1280, 720, 1280 * 4));

    QImage window(1300, 750, QImage::Format_RGB32);
    window.fill(Qt::black);
    view::FramePainter painter;
    for (int round = 0; round < 2; ++round) { // the second reuses the kept picture
        QPainter p(&window);
        painter.Draw(p, frame, QRect(10, 20, 1280, 720));
        p.end();
        EXPECT_TRUE(painter.LastShrunk());
        for (const QPoint at : {QPoint(0, 0), QPoint(1279, 719), QPoint(640, 360)}) {
            const uint8_t* want =
                expected.data() + (static_cast<size_t>(at.y()) * 1280 + at.x()) * 4;
            const QRgb got = window.pixel(at + QPoint(10, 20));
            EXPECT_EQ(want[2], qRed(got));
            EXPECT_EQ(want[1], qGreen(got));
            EXPECT_EQ(want[0], qBlue(got));
        }
        EXPECT_EQ(qRgb(0, 0, 0), window.pixel(9, 19)) << "nothing outside the rectangle";
    }
    EXPECT_TRUE(painter.LastInPlace()) << "a plain RGB32 picture takes the pixels at once";

    // Child widgets over the view leave holes in what a paint may touch:
    // their pixels stay, the rest is shrunk in place while the holes are few.
    // A window's buffer may be premultiplied ARGB32: the pixels are opaque.
    for (const QRect hole : {QRect(30, 40, 101, 21), QRect(0, 0, 700, 750)}) {
        SCOPED_TRACE(hole.width());
        QImage view(1300, 750, QImage::Format_ARGB32_Premultiplied);
        view.fill(Qt::white);
        view.paintEngine()->setSystemClip(QRegion(view.rect()) - hole);
        QPainter p(&view);
        painter.Draw(p, frame, QRect(10, 20, 1280, 720));
        p.end();
        EXPECT_EQ(painter.LastInPlace(), hole.width() < 700);
        EXPECT_EQ(qRgb(255, 255, 255), view.pixel(hole.bottomRight())) << "the hole stays";
        EXPECT_EQ(qRgb(255, 255, 255), view.pixel(hole.topLeft() + QPoint(0, 20)));
        const QPoint next(hole.right() + 1, hole.center().y());
        const uint8_t* want =
            expected.data() + (static_cast<size_t>(next.y() - 20) * 1280 + next.x() - 10) * 4;
        EXPECT_EQ(qRgb(want[2], want[1], want[0]), view.pixel(next)) << "shrunk up to the hole";
    }

    // Where the pixels cannot be written straight (another format, a clip
    // that leaves part of the rectangle out) the shrunk picture is drawn.
    QImage other(1300, 750, QImage::Format_ARGB32);
    other.fill(Qt::black);
    QImage clipped(1300, 750, QImage::Format_RGB32);
    clipped.fill(Qt::black);
    for (QImage* picture : {&other, &clipped}) {
        QPainter p(picture);
        if (picture == &clipped)
            p.setClipRect(QRect(0, 0, 700, 750));
        painter.Draw(p, frame, QRect(10, 20, 1280, 720));
        p.end();
        EXPECT_TRUE(painter.LastShrunk());
        EXPECT_FALSE(painter.LastInPlace());
        const uint8_t* want = expected.data() + (static_cast<size_t>(100) * 1280 + 200) * 4;
        EXPECT_EQ(want[1], qGreen(picture->pixel(210, 120)));
    }
    EXPECT_EQ(qRgb(0, 0, 0), clipped.pixel(1000, 300)) << "nothing outside the clip";

    QPainter p(&window);
    painter.Draw(p, frame, QRect(0, 0, 1000, 700));
    EXPECT_TRUE(painter.LastShrunk()) << "any shrink up to 4:1";
    painter.Draw(p, frame, QRect(0, 0, 400, 250));
    EXPECT_FALSE(painter.LastShrunk()) << "beyond 4:1 QPainter scales";
}

} // namespace
