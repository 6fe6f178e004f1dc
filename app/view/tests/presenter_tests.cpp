// The hand-off of frames from the streaming thread to the paint, and the
// choice of scaling; without a window.
#include "testsupport/temp_folder.h"
#include "view/FramePresenter.h"
#include "view/FrameReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using view::FramePresenter;

SharedVideoFrame MakeFrame(int width, int height, int64_t captured = -1) {
    auto frame = std::make_shared<VideoFrame>();
    frame->width = width;
    frame->height = height;
    frame->stride = width * 4;
    frame->capture_ns = captured;
    return frame;
}

TEST(Presenting, SmoothOnlyWhereThePictureShrinksBelowHalf) {
    struct Case {
        int w, h, dw, dh;
        bool smooth;
    };
    const Case cases[] = {
        {1920, 1080, 1280, 720, false}, // two thirds
        {1920, 1080, 960, 540, false},  // exactly half
        {1920, 1080, 959, 540, true},   // narrower than half
        {1920, 1080, 960, 539, true},   // lower than half
        {1920, 1080, 640, 360, true},
        {1024, 768, 1280, 1024, false}, // enlarged
        {1920, 1080, 1920, 1080, false},
        {1920, 1080, 2000, 300, true}, // stretched one way, squeezed the other
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.smooth, view::UseSmoothScaling(c.w, c.h, c.dw, c.dh))
            << c.w << "x" << c.h << " into " << c.dw << "x" << c.dh;
    }
}

TEST(Presenting, OnlyTheNewestFrameIsKeptAndOneRepaintAskedAtATime) {
    FramePresenter presenter;
    EXPECT_FALSE(presenter.TakeForPaint().frame);

    std::weak_ptr<const VideoFrame> first;
    {
        SharedVideoFrame frame = MakeFrame(4, 4);
        first = frame;
        EXPECT_TRUE(presenter.Present(std::move(frame), RECT{0, 0, 8, 8})) << "asks to repaint";
    }
    // The user-interface thread is busy: two more come before it paints.
    EXPECT_FALSE(presenter.Present(MakeFrame(4, 4), RECT{0, 0, 8, 8})) << "already asked";
    EXPECT_TRUE(first.expired()) << "a replaced frame goes back at once";
    const SharedVideoFrame newest = MakeFrame(6, 6, 42);
    EXPECT_FALSE(presenter.Present(newest, RECT{1, 2, 3, 4}));
    EXPECT_EQ(3u, presenter.Presented());
    EXPECT_EQ(2u, presenter.Dropped());

    presenter.RepaintTaken();
    FramePresenter::Painting painting = presenter.TakeForPaint();
    EXPECT_EQ(newest, painting.frame);
    EXPECT_TRUE(painting.first);
    EXPECT_EQ(1, painting.destination.left);
    EXPECT_EQ(4, painting.destination.bottom);
    // Painted again (an expose): the same frame, not counted again.
    painting = presenter.TakeForPaint();
    EXPECT_EQ(newest, painting.frame);
    EXPECT_FALSE(painting.first);
    EXPECT_EQ(1u, presenter.Painted());

    // A painted frame that is replaced is not a dropped one; the next
    // frame asks for a repaint again.
    EXPECT_TRUE(presenter.Present(MakeFrame(4, 4), RECT{0, 0, 8, 8}));
    EXPECT_EQ(2u, presenter.Dropped());

    presenter.Clear();
    EXPECT_FALSE(presenter.HasFrame());
    EXPECT_FALSE(presenter.TakeForPaint().frame);
    EXPECT_EQ(2u, presenter.Dropped());
}

TEST(Presenting, FramesFromAnotherThreadArePaintedOrDroppedNeverLost) {
    FramePresenter presenter;
    constexpr int kFrames = 2000;
    std::thread streaming([&] {
        for (int i = 0; i < kFrames; ++i) {
            presenter.Present(MakeFrame(2, 2, i), RECT{0, 0, 2, 2});
        }
    });
    int64_t last = -1;
    while (presenter.Presented() < kFrames) {
        presenter.RepaintTaken();
        const FramePresenter::Painting painting = presenter.TakeForPaint();
        if (painting.first) {
            EXPECT_GT(painting.frame->capture_ns, last) << "frames are shown in order";
            last = painting.frame->capture_ns;
        }
    }
    streaming.join();
    presenter.TakeForPaint();
    EXPECT_EQ(static_cast<uint64_t>(kFrames), presenter.Painted() + presenter.Dropped());
}

TEST(Presenting, ReportLinesCarryRunningTotalsAndTheAgesSinceTheLastLine) {
    const testsupport::TempFolder dir("presenter");
    const std::string path = dir.File("frames.log");
    EXPECT_EQ(nullptr, view::FrameReport::Open(dir.File("no/such/x")));
    auto report = view::FrameReport::Open(path);
    ASSERT_NE(nullptr, report);
    FramePresenter presenter;
    presenter.Present(MakeFrame(4, 4), RECT{0, 0, 4, 4});
    report->OnPaint(true, 12'300'000, 500'000, 1280, 720);
    report->OnPaint(false, 99'000'000, 250'000, 1280, 720); // a repaint: no age
    report->OnPaint(true, -1, 0, 1280, 720);                // unknown age
    report->WriteLine(presenter);
    report->WriteLine(presenter);
    report.reset();

    std::ifstream in(path);
    std::string first;
    std::string second;
    ASSERT_TRUE(std::getline(in, first));
    ASSERT_TRUE(std::getline(in, second));
    for (const char* field : {"presented=1 ", "painted=0 ", "dropped=0 ", "paint_us=750 ",
                              "dest=1280x720 ", " cpu_us=", " minflt=", " rss_kb=", " hwm_kb="}) {
        EXPECT_NE(std::string::npos, first.find(field)) << field << " in " << first;
    }
    EXPECT_NE(std::string::npos, first.find(" ages_ms=12.3 threads=")) << first;
    EXPECT_NE(std::string::npos, second.find(" ages_ms=- threads=")) << second;
    // This thread is among the threads, by its name, with its CPU time.
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    EXPECT_NE(std::string::npos, second.find(std::string(name) + ":")) << second;
}

} // namespace
