// The pictures an emulated camera replays from memory (the live marker on,
// TOVEK_SIM_Q5_REPLAY / TOVEK_SIM_RVX_REPLAY pictures in turn), for the
// whole-program benchmarks' baselines on exactly those pictures:
//
//   camera_pictures decode WIDTHxHEIGHT RATE [COUNT]
//     prints "D_MS <ms>": the median CPU time of decoding one of them to
//     32-bit BGRX with libjpeg-turbo back to back (caches warm), and
//     "D_PACED_MS <ms>": the same, one decode every 1/RATE s as the camera
//     sends them (caches cooled meanwhile), over three seconds of pictures;
//   camera_pictures write WIDTHxHEIGHT FOLDER [COUNT]
//     writes them as FOLDER/picture-00.jpg, picture-01.jpg, ... for another
//     program to read.
// COUNT is how many pictures the camera replays (default 16).
#include "bench_util.h"
#include "platform/media.h"
#include "sim/picture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: camera_pictures decode WIDTHxHEIGHT RATE [COUNT]\n"
                         "       camera_pictures write WIDTHxHEIGHT FOLDER [COUNT]\n");
    return 2;
}

// Median CPU seconds of decoding the pictures in turn; with a pause after
// each decode when pause is above zero.
double DecodeSeconds(const std::vector<std::vector<uint8_t>>& pictures, int width, int height,
                     size_t decodes, std::chrono::microseconds pause) {
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
    std::vector<double> seconds;
    for (size_t i = 0; i < decodes; ++i) {
        const auto& jpeg = pictures[i % pictures.size()];
        const double t0 = bench::ThreadCpuSeconds();
        const bool ok =
            platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), frame.data(), width, height,
                                       width * 4) != platform::JpegDecodeResult::kFailed;
        seconds.push_back(bench::ThreadCpuSeconds() - t0);
        if (!ok) {
            std::fprintf(stderr, "camera_pictures: picture %zu did not decode\n",
                         i % pictures.size());
            return 0;
        }
        if (pause.count() > 0) {
            std::this_thread::sleep_for(pause);
        }
    }
    return bench::Median(seconds);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const std::string mode = argv[1];
    int width = 0;
    int height = 0;
    if (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        return Usage();
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 16;
    if (count < 1) {
        return Usage();
    }
    sim::PictureGenerator generator(width, height);
    if (generator.Width() != width || generator.Height() != height) {
        std::fprintf(stderr, "camera_pictures: no camera sends %dx%d\n", width, height);
        return 2;
    }
    generator.SetLiveMarker(true);
    generator.SetReplayLength(static_cast<uint32_t>(count));
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < count; ++i) {
        generator.SetFrameNumber(static_cast<uint32_t>(i));
        const auto jpeg = generator.Jpeg();
        if (!jpeg) {
            std::fprintf(stderr, "camera_pictures: no picture\n");
            return 1;
        }
        pictures.push_back(*jpeg);
    }

    if (mode == "write") {
        for (size_t i = 0; i < pictures.size(); ++i) {
            const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
            const std::string path = argv[3] + ("/picture-" + number + ".jpg");
            FILE* out = std::fopen(path.c_str(), "wb");
            const bool ok = out != nullptr && std::fwrite(pictures[i].data(), 1, pictures[i].size(),
                                                          out) == pictures[i].size();
            if (out == nullptr || std::fclose(out) != 0 || !ok) {
                std::fprintf(stderr, "camera_pictures: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (mode != "decode") {
        return Usage();
    }
    const double rate = std::atof(argv[3]);
    if (rate <= 0 || rate > 1000) {
        return Usage();
    }
    DecodeSeconds(pictures, width, height, pictures.size(), {}); // warm the decoder and buffer
    const double back_to_back = DecodeSeconds(pictures, width, height, 5 * pictures.size(), {});
    const auto period = std::chrono::microseconds(static_cast<long>(1e6 / rate));
    const double paced =
        DecodeSeconds(pictures, width, height, static_cast<size_t>(3 * rate), period);
    if (back_to_back <= 0 || paced <= 0) {
        return 1;
    }
    std::printf("D_MS %.4f\nD_PACED_MS %.4f\n", back_to_back * 1e3, paced * 1e3);
    return 0;
}
