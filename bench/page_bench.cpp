// CPU time page mode adds to one 1920 x 1080 frame on the display path: the
// rendering thread's hand-over to the corner finder (PageMode::Offer), the
// view's flattening into 1280 x 720 (PageRenderer::Render), and the corner
// finding on the worker, which runs every kFindEvery-th frame, divided
// among those frames. Against D = decoding the same picture (the emulated
// desk at 1080p) to 32-bit BGRX with libjpeg-turbo into a warm buffer, in
// the same run. The document filter's cost is printed beside it.
//
// Usage: page_bench [rounds]   (default 200)
#include "bench_util.h"
#include "page/PageMode.h"
#include "page/PagePicture.h"
#include "platform/media.h"
#include "sim/desk.h"
#include "sim/picture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kViewWidth = 1280;
constexpr int kViewHeight = 720;

bool Decode(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& frame) {
    return platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), frame.data(), kWidth, kHeight,
                                      kWidth * 4) != platform::JpegDecodeResult::kFailed;
}

template <typename Work>
double MedianCpu(int rounds, Work work) {
    std::vector<double> seconds;
    for (int i = 0; i < rounds; ++i) {
        const double t0 = bench::ThreadCpuSeconds();
        work(i);
        seconds.push_back(bench::ThreadCpuSeconds() - t0);
    }
    return bench::Median(seconds);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 200;
    sim::SetScene(sim::Scene::kDesk);
    sim::PictureGenerator generator(kWidth, kHeight);
    const auto jpeg = generator.Jpeg();
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
    if (!jpeg || !Decode(*jpeg, frame)) {
        std::fprintf(stderr, "page_bench: no picture\n");
        return 1;
    }
    const double decode = MedianCpu(rounds, [&](int) { Decode(*jpeg, frame); });

    page::PageMode mode;
    mode.SetEnabled(true);
    for (int i = 0; i < 500 && !mode.Current().quad; ++i) {
        mode.Offer(frame.data(), kWidth, kHeight, kWidth * 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!mode.Current().quad) {
        std::fprintf(stderr, "page_bench: no page found on the desk\n");
        return 1;
    }
    page::PageRenderer renderer;
    int w = 0;
    int h = 0;
    const double display = MedianCpu(rounds, [&](int) {
        mode.Offer(frame.data(), kWidth, kHeight, kWidth * 4);
        renderer.Render(mode, frame.data(), kWidth, kHeight, kWidth * 4, kViewWidth, kViewHeight,
                        true, &w, &h);
    });

    // The worker's finding, as Offer hands it the picture.
    const int scale = (kWidth + page::kFindWidth - 1) / page::kFindWidth;
    const int sw = kWidth / scale;
    const int sh = kHeight / scale;
    std::vector<uint8_t> small(static_cast<size_t>(sw) * sh * 3);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            const uint8_t* p = &frame[(static_cast<size_t>(y * scale + scale / 2) * kWidth +
                                       x * scale + scale / 2) *
                                      4];
            std::copy(p, p + 3, &small[(static_cast<size_t>(y) * sw + x) * 3]);
        }
    }
    const double find =
        MedianCpu(rounds, [&](int) { page::FindPage(small.data(), sw, sh, sw * 3); });

    mode.SetFilter(true, false);
    const double filtered = MedianCpu(rounds, [&](int) {
        renderer.Render(mode, frame.data(), kWidth, kHeight, kWidth * 4, kViewWidth, kViewHeight,
                        true, &w, &h);
    });

    const double per_frame = display + find / page::kFindEvery;
    std::printf("page_bench: %d frames of %d x %d, the page flattened to %d x %d\n", rounds, kWidth,
                kHeight, w, h);
    std::printf("  offer and flatten (display path): %.3f ms CPU per frame (median)\n",
                display * 1e3);
    std::printf("  corner finding: %.3f ms CPU, every %d frames\n", find * 1e3, page::kFindEvery);
    std::printf("  with the document filter: %.3f ms CPU per frame\n", filtered * 1e3);
    std::printf("  D, libjpeg-turbo to BGRX: %.3f ms CPU per picture (median)\n", decode * 1e3);
    std::printf("  ratio: %.3f x D (goal: at most 0.5)\n", per_frame / decode);
    bench::PrintGoal("Page mode at 1920x1080, display path", per_frame / decode, 0.5, "x D");
    return 0;
}
