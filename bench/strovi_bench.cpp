// Write throughput of Strovi for a 1920 x 1080 Motion-JPEG recording with
// PCM sound, against plain write() calls of the same bytes to a file in the
// same folder, in the same run.
//
// Each round writes the same sample sequence both ways: frames of about
// 200 kB (document pictures of the picture generator, grown to 200 kB with
// bytes after their end marker where they are smaller) at 30 frames per
// second, each followed by its 1/30 s of 22050 Hz stereo PCM (2940 bytes).
// Both timings end with an fsync of the file, so the page cache is not what
// is measured. The best of the rounds counts for each.
//
// Usage: strovi_bench [folder] [frames]   (defaults: current folder, 1800: a minute)
#include "Strovi.h"
#include "bench_util.h"
#include "sim/picture.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 30;
constexpr size_t kFrameBytes = 200 * 1024;
constexpr size_t kAudioBytes = 88200 / kFps;
constexpr int kPictures = 8;
constexpr int kRounds = 3;

std::vector<std::vector<uint8_t>> MakePictures() {
    sim::PictureGenerator generator(kWidth, kHeight);
    generator.SetLiveMarker(true);
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < kPictures; ++i) {
        generator.SetFrameNumber(static_cast<uint32_t>(i));
        const auto jpeg = generator.Jpeg();
        if (!jpeg) {
            break;
        }
        std::vector<uint8_t> picture = *jpeg;
        std::vector<uint8_t> padded;
        if (picture.size() < kFrameBytes &&
            sim::PadJpeg(picture, kFrameBytes, sim::JpegPadding::kAfterEnd, &padded)) {
            picture = std::move(padded);
        }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

bool FsyncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Seconds for the whole recording through Strovi; negative on failure.
double ThroughStrovi(const std::string& path, const std::vector<std::vector<uint8_t>>& pictures,
                     const std::vector<uint8_t>& pcm, int frames) {
    const double start = bench::WallSeconds();
    AviOutputFile* file = FileOpen(path.c_str());
    if (file == nullptr) {
        return -1;
    }
    WAVEFORMATEX wfx{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Audio;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = sizeof(wfx);
    mt.pbFormat = reinterpret_cast<BYTE*>(&wfx);
    SetAVCVGAParam(file, kWidth, kHeight, kFps, 24);
    if (SetAudioParam(file, &mt, 0) != 1) {
        FileClose(file);
        return -1;
    }
    for (int i = 0; i < frames; ++i) {
        const auto& picture = pictures[static_cast<size_t>(i) % pictures.size()];
        WriteVGA(file, picture.data(), static_cast<uint32_t>(picture.size()), 1, 0, 0);
        WriteAudio0(file, pcm.data(), static_cast<uint32_t>(pcm.size()), 1, 0, 0);
    }
    FileClose(file);
    if (!FsyncPath(path)) {
        return -1;
    }
    return bench::WallSeconds() - start;
}

// Seconds for one write() per sample of the same bytes; negative on failure.
double PlainWrites(const std::string& path, const std::vector<std::vector<uint8_t>>& pictures,
                   const std::vector<uint8_t>& pcm, int frames) {
    const double start = bench::WallSeconds();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return -1;
    }
    bool ok = true;
    for (int i = 0; i < frames && ok; ++i) {
        const auto& picture = pictures[static_cast<size_t>(i) % pictures.size()];
        ok = ::write(fd, picture.data(), picture.size()) == static_cast<ssize_t>(picture.size()) &&
             ::write(fd, pcm.data(), pcm.size()) == static_cast<ssize_t>(pcm.size());
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    return ok ? bench::WallSeconds() - start : -1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1800;
    const std::vector<std::vector<uint8_t>> pictures = MakePictures();
    if (pictures.empty()) {
        std::fprintf(stderr, "no pictures\n");
        return 1;
    }
    const std::vector<uint8_t> pcm(kAudioBytes, 0x10);
    size_t bytes = 0;
    for (int i = 0; i < frames; ++i) {
        bytes += pictures[static_cast<size_t>(i) % pictures.size()].size() + pcm.size();
    }
    const std::string avi = folder + "/strovi_bench.avi";
    const std::string raw = folder + "/strovi_bench.raw";

    double best_strovi = 1e30;
    double best_plain = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double plain = PlainWrites(raw, pictures, pcm, frames);
        const double strovi = ThroughStrovi(avi, pictures, pcm, frames);
        ::unlink(raw.c_str());
        ::unlink(avi.c_str());
        if (plain <= 0 || strovi <= 0) {
            std::fprintf(stderr, "writing to %s failed\n", folder.c_str());
            return 1;
        }
        best_plain = std::min(best_plain, plain);
        best_strovi = std::min(best_strovi, strovi);
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("strovi_bench: %d frames of %zu bytes (first picture) + %zu bytes PCM each, "
                "%.1f MB, best of %d rounds, fsync included\n",
                frames, pictures[0].size(), pcm.size(), mb, kRounds);
    std::printf("  Strovi (queue, AVI chunks, index):  %8.1f MB/s\n", mb / best_strovi);
    std::printf("  plain write() per sample:           %8.1f MB/s\n", mb / best_plain);
    std::printf("  ratio Strovi time / write() time:   %8.2f\n", best_strovi / best_plain);
    return 0;
}
