// The PDF export of 50 captures of 1920 x 1080 (the emulated camera's
// document page, encoded by libjpeg-turbo at quality 85, each with its own
// live marker so no two are alike): the wall time of WritePdf, median of
// five runs, against the goal of one second; and the file's size against
// the pictures' sum.
#include "bench_util.h"
#include "capture/PdfExport.h"
#include "sim/picture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

int main() {
    constexpr int kPictures = 50;
    const fs::path folder = fs::temp_directory_path() / "tovek_pdf_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);

    sim::PictureGenerator generator(1920, 1080);
    generator.SetLiveMarker(true);
    std::vector<std::string> paths;
    uintmax_t pictures_bytes = 0;
    for (int i = 0; i < kPictures; ++i) {
        generator.SetFrameNumber(static_cast<uint32_t>(i));
        const auto jpeg = generator.Jpeg();
        if (!jpeg) {
            std::fprintf(stderr, "no picture\n");
            return 1;
        }
        paths.push_back((folder / ("p" + std::to_string(i) + ".jpg")).string());
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg->data()),
                   static_cast<std::streamsize>(jpeg->size()));
        pictures_bytes += jpeg->size();
    }

    const std::string out = (folder / "out.pdf").string();
    std::vector<double> seconds;
    for (int run = 0; run < 5; ++run) {
        const double start = bench::WallSeconds();
        const pdf_export::Result result = pdf_export::WritePdf(paths, pdf_export::Paper::kA4, out);
        seconds.push_back(bench::WallSeconds() - start);
        if (!result.ok || result.pages != kPictures) {
            std::fprintf(stderr, "export failed: %s\n", result.debug_text.c_str());
            return 1;
        }
    }
    const double size_ratio =
        static_cast<double>(fs::file_size(out)) / static_cast<double>(pictures_bytes);
    std::printf("%d pictures, %.1f MB; PDF %.1f MB (%.3f of the pictures); %.3f s median\n",
                kPictures, pictures_bytes / 1e6, fs::file_size(out) / 1e6, size_ratio,
                bench::Median(seconds));
    bench::PrintGoal("PDF of 50 1080p captures (s)", bench::Median(seconds), 1.0, "s");
    bench::PrintGoal("PDF size / pictures' size", size_ratio, 1.05, "ratio");
    fs::remove_all(folder);
    return 0;
}
