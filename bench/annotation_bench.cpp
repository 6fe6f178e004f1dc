// CPU time of compositing the annotation overlay into one 1920 x 1080
// rendered sample (OverlayWorker::Composite, the sample callback's call),
// against D = decoding a picture of the emulated camera of that size straight
// to 32-bit BGRX with libjpeg-turbo (platform::DecodeJpegToBgrx) into a warm
// buffer, in the same run. Each composite follows a decode into the same
// buffer, as in the capture graph.
//
// Cases and goals: no shapes (nothing measurable), one line drawn (at most
// 0.02 x D), half of the overlay's pixels drawn at random in the few colours
// shapes are drawn in (at most 1.1 x rewriting every pixel of the sample in
// place once, measured in the same run: the least any composite that may
// touch every pixel costs), a highlighter's ink, which multiplies
// the picture, over a tenth of the picture crossed by a pen line (at most
// 0.05 x D). References without goals: the line's
// overlay composited whole, copying and rewriting the sample (what touching
// every pixel costs at the least), and the dense overlay with every pixel a
// colour of its own (too many for the palette copy). The ratios are printed,
// and each goal as a GOAL row; a miss does not fail the run.
//
// Usage: annotation_bench [rounds]   (default 200)
#include "annotation/FrameOverlay.h"
#include "annotation/OverlayRenderer.h"
#include "bench_util.h"
#include "platform/media.h"
#include "sim/picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr uint32_t kOverlayKey = annotation::kOverlayKeyColor;

struct Costs {
    double decode = 0;    // CPU seconds per decode (D)
    double composite = 0; // CPU seconds per composite
};

// Decodes and composites rounds times; CPU seconds of each step per round.
// A composite that costs next to nothing is repeated, so that the clock's
// own cost does not hide it.
Costs Measure(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& sample,
              const std::function<void(uint8_t*)>& composite, int rounds, int repeat = 1) {
    Costs costs;
    for (int i = 0; i < rounds; ++i) {
        const double t0 = bench::ThreadCpuSeconds();
        platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), sample.data(), kWidth, kHeight,
                                   kWidth * 4);
        const double t1 = bench::ThreadCpuSeconds();
        for (int r = 0; r < repeat; ++r)
            composite(sample.data());
        costs.decode += t1 - t0;
        costs.composite += bench::ThreadCpuSeconds() - t1;
    }
    costs.decode /= rounds;
    costs.composite /= static_cast<double>(rounds) * repeat;
    return costs;
}

// goal <= 0: a reference, no goal. Returns the ratio to D.
double Report(const char* name, const Costs& c, double goal) {
    const double ratio = c.composite / c.decode;
    std::printf("  %-42s %8.4f ms   D %5.2f ms   %.4f x D", name, c.composite * 1e3, c.decode * 1e3,
                ratio);
    if (goal > 0)
        std::printf("   goal <= %.3f x D  %s", goal, ratio <= goal ? "met" : "MISSED");
    std::printf("\n");
    return ratio;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    sim::PictureGenerator generator(kWidth, kHeight);
    const auto jpeg = generator.Jpeg();
    if (!jpeg) {
        std::fprintf(stderr, "annotation_bench: no picture\n");
        return 1;
    }
    std::vector<uint8_t> sample(static_cast<size_t>(kWidth) * kHeight * 4);
    platform::DecodeJpegToBgrx(jpeg->data(), jpeg->size(), sample.data(), kWidth, kHeight,
                               kWidth * 4); // warm buffer and decoder

    annotation::AnnotationStore store;
    store.SetFrameSize(kWidth, kHeight);
    OverlayWorker worker;
    worker.SetExtentRenderer([&store](uint8_t* overlay, size_t size, OverlayExtent* extent) {
        return annotation::RenderOverlay(store, overlay, size, extent);
    });
    worker.SetRedrawSource([&store] { return store.TakeRedraw(); });
    worker.SetPlaying(true);
    auto composite = [&worker](uint8_t* pixels) {
        worker.Composite(pixels, kWidth * 4, kWidth, kHeight);
    };
    auto render = [&] {
        store.RequestRedraw();
        while (worker.Turn()) {
        }
    };

    std::printf("annotation overlay composite, %d x %d, %d rounds\n", kWidth, kHeight, rounds);
    render();
    // "Nothing measurable": below a thousandth of D.
    const double none = Report("no shapes", Measure(*jpeg, sample, composite, rounds, 1000), 0.001);

    // One line across the picture, as the line tool draws it.
    annotation::Shape line;
    line.kind = annotation::ShapeKind::kLine;
    line.x1 = 100, line.y1 = 80, line.x2 = 1800, line.y2 = 1000;
    line.pen_width = 3;
    line.pen_color = 0x0000FF;
    store.Edit([&](annotation::AnnotationState& s) { s.shapes.push_back(line); });
    render();
    const double one = Report("one line", Measure(*jpeg, sample, composite, rounds), 0.02);
    // The same overlay composited whole, as without the extent.
    const uint8_t* overlay = worker.Buffer();
    Report("one line, whole frame (reference)",
           Measure(
               *jpeg, sample,
               [overlay](uint8_t* pixels) {
                   CompositeOverlay(pixels, kWidth * 4, overlay, kWidth, kHeight);
               },
               rounds),
           0);
    // The floor of any composite that touches every pixel of the sample.
    std::vector<uint8_t> copy(sample.size());
    Report("copying the sample (reference)",
           Measure(
               *jpeg, sample,
               [&copy](uint8_t* pixels) { std::memcpy(copy.data(), pixels, copy.size()); }, rounds),
           0);
    // The floor of a composite that writes into every 64-byte line of the
    // sample: reading and writing each once, in place.
    const Costs rewrite = Measure(
        *jpeg, sample,
        [](uint8_t* pixels) {
            for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight * 4; i += 8) {
                uint64_t v;
                std::memcpy(&v, pixels + i, 8);
                v = ~v;
                std::memcpy(pixels + i, &v, 8);
            }
        },
        rounds);
    Report("rewriting the sample in place (reference)", rewrite, 0);

    // Half of the pixels drawn, scattered at random, in the colours shapes
    // are drawn in: pens, a fill, the markers' inverse colours, the band's
    // black. Every other pixel keeps the key colour.
    const uint32_t pens[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFF000000u,
                             0xFFFFFF00u, 0xFF00FFFFu, 0xFFFFFFFFu, 0xFF808080u};
    worker.SetExtentRenderer([&pens](uint8_t* pixels, size_t, OverlayExtent* extent) {
        std::mt19937 random(7);
        for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
            const uint32_t v = random();
            const uint32_t pixel = (v & 1) ? pens[(v >> 1) % 8] : 0xFF000000u | kOverlayKey;
            std::memcpy(pixels + i * 4, &pixel, 4);
        }
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    render();
    const Costs dense_costs = Measure(*jpeg, sample, composite, rounds);
    Report("half the pixels at random", dense_costs, 0);
    const double dense = dense_costs.composite / rewrite.composite;
    std::printf("  half the pixels at random: %.3f x rewriting the sample in place (goal <= 1.1)\n",
                dense);
    // The same drawn pixels each of its own colour: too many for the palette,
    // composited from the 32-bit overlay.
    worker.SetExtentRenderer([](uint8_t* pixels, size_t, OverlayExtent* extent) {
        std::mt19937 random(7);
        for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
            const uint32_t v = random();
            const uint32_t pixel = (v & 1) ? (v & 0xFFFFFF00u) : 0xFF000000u | kOverlayKey;
            std::memcpy(pixels + i * 4, &pixel, 4);
        }
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    render();
    Report("the same, every pixel its own colour", Measure(*jpeg, sample, composite, rounds), 0);
    // Four strokes of yellow highlighter 1600 x 33 pixels each, like four
    // marked lines of text (a tenth of the picture), crossed by a red pen
    // line three pixels wide.
    worker.SetExtentRenderer([](uint8_t* pixels, size_t, OverlayExtent* extent) {
        const uint32_t key = 0xFF000000u | kOverlayKey;
        for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i)
            std::memcpy(pixels + i * 4, &key, 4);
        const auto put = [pixels](int x, int y, uint32_t v) {
            std::memcpy(pixels + (static_cast<size_t>(y) * kWidth + x) * 4, &v, 4);
        };
        const uint32_t ink = static_cast<uint32_t>(kMultiplyByte) << 24 | 0xFFF040u;
        for (int top : {200, 400, 600, 800})
            for (int y = top; y < top + 33; ++y)
                for (int x = 160; x < 1760; ++x)
                    put(x, y, ink);
        for (int y = 80; y < 1000; ++y)
            for (int x = 0; x < 3; ++x)
                put(100 + (y - 80) * 1700 / 920 + x, y, 0xFFFF0000u);
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    render();
    const double highlighter = Report("highlighter over a tenth, pen line across",
                                      Measure(*jpeg, sample, composite, rounds), 0.05);
    bench::PrintGoal("Annotation composite, no shapes, 1920x1080", none, 0.001, "x D");
    bench::PrintGoal("Annotation composite, one line, 1920x1080", one, 0.02, "x D");
    bench::PrintGoal("Annotation composite, dense, 1920x1080", dense, 1.1, "x rewrite in place");
    bench::PrintGoal("Annotation composite, highlighter over a tenth, 1920x1080", highlighter, 0.05,
                     "x D");
    return 0;
}
