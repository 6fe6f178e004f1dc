// CPU time of presenting one 1920 x 1080 frame in the video view: the
// library's hand-over (VideoView::PresentSharedFrame) and the paint on the
// user-interface thread that draws it scaled into a 1280 x 720 rectangle,
// against D = decoding a picture of the emulated camera of that size straight
// to 32-bit BGRX with libjpeg-turbo into a warm buffer, in the same run.
//
// Each round decodes a new frame first (not counted), as the capture graph
// does before it presents, so the paint reads pixels the decoder just wrote.
// The paint is synchronous (repaint); its CPU time is the whole process's,
// since Qt's raster engine may spread a filtered scale over a thread pool of
// its own. Under a virtual display that includes handing the window's pixels
// to the X server, whose own work is not counted.
//
// Usage: present_bench [rounds [WIDTHxHEIGHT]]   (default 200 into 1280x720,
//        the size of the goal: at most 0.3 x D; another size prints no goal)
//        present_bench --decode   prints D alone: "D_MS <milliseconds>"
//        present_bench --decode-paced   prints D paced, one decode every
//          1/16 s as the camera sends them: "D_PACED_MS <milliseconds>"
#include "bench_util.h"
#include "platform/frame_shrinker.h"
#include "platform/media.h"
#include "sim/picture.h"
#include "view/VideoView.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kGoalWidth = 1280;
constexpr int kGoalHeight = 720;

bool Decode(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& frame) {
    return platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), frame.data(), kWidth, kHeight,
                                      kWidth * 4) != platform::JpegDecodeResult::kFailed;
}

// D: the median CPU time of decoding jpeg into the same warm buffer; with
// a pause after each decode, D paced (caches cool meanwhile, as between
// the camera's pictures).
double DecodeSeconds(const std::vector<uint8_t>& jpeg, int rounds,
                     std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
    Decode(jpeg, frame);
    std::vector<double> seconds;
    for (int i = 0; i < rounds; ++i) {
        const double t0 = bench::ThreadCpuSeconds();
        Decode(jpeg, frame);
        seconds.push_back(bench::ThreadCpuSeconds() - t0);
        std::this_thread::sleep_for(pause);
    }
    return bench::Median(seconds);
}

} // namespace

int main(int argc, char** argv) {
    const bool decode_only = argc > 1 && std::strcmp(argv[1], "--decode") == 0;
    const bool paced_only = argc > 1 && std::strcmp(argv[1], "--decode-paced") == 0;
    const int rounds =
        !decode_only && !paced_only && argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    sim::PictureGenerator generator(kWidth, kHeight);
    const auto jpeg = generator.Jpeg();
    if (!jpeg) {
        std::fprintf(stderr, "present_bench: no picture\n");
        return 1;
    }
    if (paced_only) {
        // Three seconds of the camera's pictures.
        std::printf("D_PACED_MS %.4f\n",
                    DecodeSeconds(*jpeg, 48, std::chrono::milliseconds(1000) / 16) * 1e3);
        return 0;
    }
    if (decode_only) {
        std::printf("D_MS %.4f\n", DecodeSeconds(*jpeg, rounds) * 1e3);
        return 0;
    }

    int view_width = kGoalWidth;
    int view_height = kGoalHeight;
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &view_width, &view_height) != 2) {
        std::fprintf(stderr, "present_bench: a size is WIDTHxHEIGHT\n");
        return 2;
    }
    QApplication app(argc, argv);
    VideoView view;
    view.SetPlayingQuery([] { return true; });
    view.SetImageSize(kWidth, kHeight);
    view.resize(view_width, view_height);
    view.show();
    app.processEvents();

    // Two frames in turn, as a decoder's pool hands them out.
    std::vector<uint8_t> frames[2];
    for (auto& f : frames) {
        f.resize(static_cast<size_t>(kWidth) * kHeight * 4);
    }
    const RECT destination{0, 0, view_width, view_height};
    std::vector<double> seconds;
    long faults0 = 0;
    for (int i = 0; i < rounds + 10; ++i) {
        if (i == 10) { // the first paints set up the window's buffers
            faults0 = bench::MinorFaults();
        }
        std::vector<uint8_t>& pixels = frames[i % 2];
        if (!Decode(*jpeg, pixels)) {
            std::fprintf(stderr, "present_bench: the picture did not decode\n");
            return 1;
        }
        auto frame = std::make_shared<VideoFrame>();
        frame->pixels = pixels.data();
        frame->width = kWidth;
        frame->height = kHeight;
        frame->stride = kWidth * 4;
        const double t0 = bench::CpuSeconds();
        view.PresentSharedFrame(std::move(frame), destination);
        view.repaint();
        const double t = bench::CpuSeconds() - t0;
        if (i >= 10) { // the first paints set up the window's buffers
            seconds.push_back(t);
        }
        app.processEvents(); // the repaint request Present posted, and X events
    }
    const double faults = static_cast<double>(bench::MinorFaults() - faults0) / rounds;
    const double present = bench::Median(seconds);
    const double decode = DecodeSeconds(*jpeg, rounds);
    const bool shrunk = platform::ShrinkFactorFor(kWidth, kHeight, view_width, view_height) !=
                        platform::ShrinkFactor::kNone;
    const bool smooth = view::UseSmoothScaling(kWidth, kHeight, view_width, view_height);
    std::printf("present_bench: %d frames of %d x %d into %d x %d (%s), platform %s\n", rounds,
                kWidth, kHeight, view_width, view_height,
                shrunk   ? "shrunk by the view"
                : smooth ? "QPainter, smooth"
                         : "QPainter, fast",
                qPrintable(QGuiApplication::platformName()));
    std::printf("  present and paint: %.3f ms CPU per frame (median), %.2f page faults/frame\n",
                present * 1e3, faults);
    std::printf("  D, libjpeg-turbo to BGRX: %.3f ms CPU per picture (median)\n", decode * 1e3);
    std::printf("  ratio: %.3f x D (goal: at most 0.3 with QPainter)\n", present / decode);
    if (view_width == kGoalWidth && view_height == kGoalHeight)
        bench::PrintGoal("Presenting 1920x1080 into 1280x720, QPainter", present / decode, 0.3,
                         "x D");
    return 0;
}
