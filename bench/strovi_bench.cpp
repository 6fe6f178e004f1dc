// Write throughput of Strovi for a 1920 x 1080 Motion-JPEG recording with
// PCM sound, against plain write() calls of the same bytes to a file in the
// same folder, in the same run.
//
// Each round writes the same sample sequence both ways: frames of about
// 200 kB (document pictures of the picture generator, grown to 200 kB with
// bytes after their end marker where they are smaller) at 30 frames per
// second, each followed by its 1/30 s of 22050 Hz stereo PCM (2940 bytes).
// Both timings end with an fsync of the file, so the page cache is not what
// is measured; the CPU time of this process is measured alongside (the
// writeback by the kernel's own threads is not in it). The best of the rounds
// counts for each.
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

struct Timing {
    double wall_s = -1; // negative: the run failed
    double cpu_s = 0;
    long faults = 0; // minor page faults (fresh memory touched)
};

// The whole recording through Strovi.
Timing ThroughStrovi(const std::string& path, const std::vector<std::vector<uint8_t>>& pictures,
                     const std::vector<uint8_t>& pcm, int frames) {
    const double start = bench::WallSeconds();
    const double cpu = bench::CpuSeconds();
    const long faults = bench::MinorFaults();
    AviOutputFile* file = FileOpen(path.c_str());
    if (file == nullptr) {
        return {};
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
        return {};
    }
    for (int i = 0; i < frames; ++i) {
        const auto& picture = pictures[static_cast<size_t>(i) % pictures.size()];
        WriteVGA(file, picture.data(), static_cast<uint32_t>(picture.size()), 1, 0, 0);
        WriteAudio0(file, pcm.data(), static_cast<uint32_t>(pcm.size()), 1, 0, 0);
    }
    FileClose(file);
    if (!FsyncPath(path)) {
        return {};
    }
    return {bench::WallSeconds() - start, bench::CpuSeconds() - cpu, bench::MinorFaults() - faults};
}

// One write() per sample of the same bytes.
Timing PlainWrites(const std::string& path, const std::vector<std::vector<uint8_t>>& pictures,
                   const std::vector<uint8_t>& pcm, int frames) {
    const double start = bench::WallSeconds();
    const double cpu = bench::CpuSeconds();
    const long faults = bench::MinorFaults();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return {};
    }
    bool ok = true;
    for (int i = 0; i < frames && ok; ++i) {
        const auto& picture = pictures[static_cast<size_t>(i) % pictures.size()];
        ok = ::write(fd, picture.data(), picture.size()) == static_cast<ssize_t>(picture.size()) &&
             ::write(fd, pcm.data(), pcm.size()) == static_cast<ssize_t>(pcm.size());
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        return {};
    }
    return {bench::WallSeconds() - start, bench::CpuSeconds() - cpu, bench::MinorFaults() - faults};
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
    Timing best_strovi_cpu{0, 1e30};
    Timing best_plain_cpu{0, 1e30};
    for (int round = 0; round < kRounds; ++round) {
        const Timing plain = PlainWrites(raw, pictures, pcm, frames);
        const Timing strovi = ThroughStrovi(avi, pictures, pcm, frames);
        ::unlink(raw.c_str());
        ::unlink(avi.c_str());
        if (plain.wall_s <= 0 || strovi.wall_s <= 0) {
            std::fprintf(stderr, "writing to %s failed\n", folder.c_str());
            return 1;
        }
        best_plain = std::min(best_plain, plain.wall_s);
        best_strovi = std::min(best_strovi, strovi.wall_s);
        if (plain.cpu_s < best_plain_cpu.cpu_s) {
            best_plain_cpu = plain;
        }
        if (strovi.cpu_s < best_strovi_cpu.cpu_s) {
            best_strovi_cpu = strovi;
        }
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("strovi_bench: %d frames of %zu bytes (first picture) + %zu bytes PCM each, "
                "%.1f MB, best of %d rounds, fsync included\n",
                frames, pictures[0].size(), pcm.size(), mb, kRounds);
    const auto per_frame = [frames](double value) { return value / frames; };
    std::printf("  Strovi (queue, AVI chunks, index):  %8.1f MB/s  %6.3f ms CPU/frame  %5.2f page "
                "faults/frame\n",
                mb / best_strovi, per_frame(best_strovi_cpu.cpu_s * 1000),
                per_frame(static_cast<double>(best_strovi_cpu.faults)));
    std::printf("  plain write() per sample:           %8.1f MB/s  %6.3f ms CPU/frame  %5.2f page "
                "faults/frame\n",
                mb / best_plain, per_frame(best_plain_cpu.cpu_s * 1000),
                per_frame(static_cast<double>(best_plain_cpu.faults)));
    std::printf("  ratio Strovi time / write() time:   %8.2f\n", best_strovi / best_plain);
    std::printf("  ratio Strovi CPU / write() CPU:     %8.2f\n",
                best_strovi_cpu.cpu_s / best_plain_cpu.cpu_s);
    return 0;
}
