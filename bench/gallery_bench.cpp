// The gallery opening on a folder of 500 captures of 1920 x 1080 (JPEG,
// quality 85, each different), made once in a temporary folder: the time
// from reading the folder to the first screenful of thumbnails, and the
// memory the list and the cache of 200 thumbnails add once all 500 were
// shown one after another (as scrolling through the strip asks for them).
#include "bench_util.h"
#include "capture/GalleryList.h"
#include "capture/ThumbnailCache.h"

#include <turbojpeg.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPictures = 500;
constexpr int kFirstScreen = 8; // thumbnails a 1280-pixel strip shows
constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;

// Gradients, blocks and a noise pattern that move with i: every picture
// compresses differently.
void MakeFolder(const fs::path& folder) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    tjhandle tj = tjInitCompress();
    uint32_t noise = 12345;
    for (int i = 0; i < kPictures; ++i) {
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = pixels.data() + static_cast<size_t>(y) * kWidth * 4;
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const bool block = ((x + i * 13) / 120 + (y + i * 7) / 90) % 3 == 0;
                row[x * 4 + 0] = static_cast<uint8_t>(block ? 240 : (x + i) & 0xFF);
                row[x * 4 + 1] = static_cast<uint8_t>(block ? 240 - i % 50 : (y * 2 + i) & 0xFF);
                row[x * 4 + 2] = static_cast<uint8_t>((((x ^ y) + i * 3) & 0xFF) ^ (noise >> 28));
                row[x * 4 + 3] = 0xFF;
            }
        }
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, pixels.data(), kWidth, kWidth * 4, kHeight, TJPF_BGRX, &jpeg, &size,
                    TJSAMP_420, 85, 0);
        char name[32];
        std::snprintf(name, sizeof name, "%04d.jpg", i);
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg), static_cast<std::streamsize>(size));
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(i));
        tjFree(jpeg);
    }
    tjDestroy(tj);
}

bool WaitFor(ThumbnailCache& cache, const std::vector<std::string>& paths) {
    const double deadline = bench::WallSeconds() + 30;
    for (const std::string& path : paths)
        while (cache.Get(path) == nullptr) {
            if (bench::WallSeconds() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    return true;
}

} // namespace

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("tovek-gallery-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const double make0 = bench::WallSeconds();
    MakeFolder(folder);
    std::printf("made %d pictures in %.1f s\n", kPictures, bench::WallSeconds() - make0);

    const long rss0 = bench::ResidentKb();
    const double open0 = bench::WallSeconds();
    GalleryList list;
    list.SetFolder(folder.string());
    ThumbnailCache cache(kThumbWidth, kThumbHeight);
    std::vector<std::string> first;
    for (int i = 0; i < kFirstScreen && i < static_cast<int>(list.Entries().size()); ++i)
        first.push_back(list.Entries()[static_cast<size_t>(i)].path);
    for (const std::string& path : first)
        cache.Get(path);
    const bool first_ok = WaitFor(cache, first);
    const double first_s = bench::WallSeconds() - open0;

    // Scrolling through: a screenful at a time, each waited for.
    for (size_t i = 0; i < list.Entries().size(); i += kFirstScreen) {
        std::vector<std::string> screen;
        for (size_t j = i; j < i + kFirstScreen && j < list.Entries().size(); ++j)
            screen.push_back(list.Entries()[j].path);
        for (const std::string& path : screen)
            cache.Get(path);
        WaitFor(cache, screen);
    }
    const double all_s = bench::WallSeconds() - open0;
    const double added_mb = static_cast<double>(bench::ResidentKb() - rss0) / 1024.0;
    std::printf("%zu listed; first %d thumbnails in %.3f s (%s); all in %.2f s; %zu kept; "
                "resident +%.1f MB\n",
                list.Entries().size(), kFirstScreen, first_s, first_ok ? "ok" : "timed out", all_s,
                cache.Size(), added_mb);
    bench::PrintGoal("gallery: first thumbnails of 500 1080p captures (s)", first_s, 0.3, "s");
    bench::PrintGoal("gallery: resident memory added by 500 captures (MB)", added_mb, 50, "MB");
    fs::remove_all(folder);
    return first_ok ? 0 : 1;
}
