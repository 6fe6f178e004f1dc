// CPU time of the display path of one 2592 x 1944 picture shown in a
// 1296 x 972 view: decoding it (libjpeg-turbo, as the decoder element does)
// and the view's hand-over and paint, with the picture decoded at the scale
// the view needs (ChooseJpegScale: 1/2 here) and at full size, against D =
// a full decode of that picture in the same run.
//
// The paint is synchronous (repaint) and counted as the whole process's CPU
// time, as in present_bench.
//
// Usage: scaled_decode_bench [rounds [WIDTHxHEIGHT]]  (default 100 into
//        1296x972; another view size prints no goal)
#include "bench_util.h"
#include "platform/media.h"
#include "sim/picture.h"
#include "view/VideoView.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 2592;
constexpr int kHeight = 1944;

struct PathTimes {
    double decode = 0; // median seconds of the decode alone
    double path = 0;   // ... of decode, hand-over and paint
};

// rounds pictures decoded at 1/denominator and painted into the view.
PathTimes Measure(QApplication& app, VideoView& view, const std::vector<uint8_t>& jpeg,
                  int denominator, const RECT& destination, int rounds) {
    const int width = platform::ScaledJpegSide(kWidth, denominator);
    const int height = platform::ScaledJpegSide(kHeight, denominator);
    platform::JpegDecoder decoder;
    // Two frames in turn, as a decoder's pool hands them out.
    std::vector<uint8_t> frames[2];
    for (auto& f : frames)
        f.resize(static_cast<size_t>(width) * height * 4);
    std::vector<double> decodes;
    std::vector<double> paths;
    for (int i = 0; i < rounds + 5; ++i) {
        std::vector<uint8_t>& pixels = frames[i % 2];
        const double t0 = bench::CpuSeconds();
        if (decoder.DecodeBgrx(jpeg.data(), jpeg.size(), pixels.data(), width, height, width * 4,
                               denominator) == platform::JpegDecodeResult::kFailed) {
            std::fprintf(stderr, "scaled_decode_bench: no decode at 1/%d\n", denominator);
            std::exit(1);
        }
        const double t1 = bench::CpuSeconds();
        auto frame = std::make_shared<VideoFrame>();
        frame->pixels = pixels.data();
        frame->width = width;
        frame->height = height;
        frame->stride = width * 4;
        view.PresentSharedFrame(std::move(frame), destination);
        view.repaint();
        const double t2 = bench::CpuSeconds();
        if (i >= 5) { // the first paints set up the window's buffers
            decodes.push_back(t1 - t0);
            paths.push_back(t2 - t0);
        }
        app.processEvents();
    }
    return {bench::Median(decodes), bench::Median(paths)};
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    int view_width = kWidth / 2;
    int view_height = kHeight / 2;
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &view_width, &view_height) != 2) {
        std::fprintf(stderr, "scaled_decode_bench: a size is WIDTHxHEIGHT\n");
        return 2;
    }
    sim::PictureGenerator generator(kWidth, kHeight);
    const auto jpeg = generator.Jpeg();
    if (!jpeg) {
        std::fprintf(stderr, "scaled_decode_bench: no picture\n");
        return 1;
    }
    QApplication app(argc, argv);
    VideoView view;
    view.SetPlayingQuery([] { return true; });
    view.SetImageSize(kWidth, kHeight);
    view.resize(view_width, view_height);
    view.show();
    app.processEvents();

    const RECT destination{0, 0, view_width, view_height};
    const int scale = platform::ChooseJpegScale(kWidth, kHeight, view_width, view_height);
    const PathTimes full = Measure(app, view, *jpeg, 1, destination, rounds);
    const PathTimes scaled = Measure(app, view, *jpeg, scale, destination, rounds);
    const double d = full.decode;
    std::printf("scaled_decode_bench: %d pictures of %d x %d into %d x %d, platform %s\n", rounds,
                kWidth, kHeight, view_width, view_height,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  D, full decode: %.3f ms CPU per picture (median)\n", d * 1e3);
    std::printf("  decode at 1/%d: %.3f ms = %.3f x D\n", scale, scaled.decode * 1e3,
                scaled.decode / d);
    std::printf("  display path at full size: %.3f ms = %.3f x D\n", full.path * 1e3,
                full.path / d);
    std::printf("  display path at 1/%d: %.3f ms = %.3f x D\n", scale, scaled.path * 1e3,
                scaled.path / d);
    if (view_width == kWidth / 2 && view_height == kHeight / 2)
        bench::PrintGoal("Display path of 2592x1944 into 1296x972, scaled decode", scaled.path / d,
                         0.7, "x D");
    return 0;
}
