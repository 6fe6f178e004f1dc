// Sharing with the class under load: 30 viewers on 127.0.0.1 watch the
// stream while 1920 x 1080 camera frames arrive at 30 per second, with a
// rectangle and a line drawn. Live and upright, the camera's frames go out
// as they came and the shapes as a PNG layer on a second stream that every
// viewer reads too; the cost of one picture as shown (frozen or turned) and
// of one layer are printed beside the goal.
//
// The viewers run in a child process forked before any thread starts, each
// reading as fast as it can; for each whole picture read they note how many
// pictures the program had published meanwhile (X-Frame against the count
// the program posts every 2 ms into shared memory).
//
// Goals, from one run:
//   - the program's added CPU per frame (all its threads: the frame pump,
//     the encoding feed and the 30 connections) against the same pump
//     without sharing, as a multiple of D = decoding the picture to 32-bit
//     BGRX with libjpeg-turbo in the same run: at most 1.5 x D;
//   - no viewer more than 2 pictures behind (after a 2 s warm-up);
//   - resident memory while sharing within 30 MB of the same run before
//     sharing started.
//
// Usage: share_bench [--seconds N]   (default 60: the goal's run length)
#include "annotation/FrameOverlay.h"
#include "bench_shapes.h"
#include "bench_util.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "platform/media.h"
#include "share/InkLayer.h"
#include "share/ShareSession.h"
#include "sim/picture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 30;
constexpr int kPictures = 16;
constexpr int kViewers = 30;
constexpr double kWarmUpS = 2.0;

// What parent and child share.
struct Shared {
    std::atomic<uint64_t> published{0}; // the program's pictures so far
    std::atomic<int> phase{0};          // 1: connect (port set), 2: measure, 3: stop
    std::atomic<int> connected{0};
    uint16_t port = 0;
    char token[64] = {};
    std::atomic<uint64_t> parts[kViewers];
    std::atomic<uint64_t> max_behind[kViewers];
};

std::vector<std::vector<uint8_t>> MakePictures() {
    sim::PictureGenerator generator(kWidth, kHeight);
    generator.SetLiveMarker(true);
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < kPictures; ++i) {
        generator.SetFrameNumber(static_cast<uint32_t>(i));
        if (const auto jpeg = generator.Jpeg())
            pictures.push_back(*jpeg);
    }
    return pictures;
}

// D: CPU seconds of one decode to BGRX into a warm buffer.
double DecodeSeconds(const std::vector<std::vector<uint8_t>>& pictures) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    const auto decode = [&](size_t i) {
        const std::vector<uint8_t>& jpeg = pictures[i % pictures.size()];
        platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), pixels.data(), kWidth, kHeight,
                                   kWidth * 4);
    };
    decode(0);
    const int rounds = 100;
    const double start = bench::ThreadCpuSeconds();
    for (int i = 0; i < rounds; ++i)
        decode(static_cast<size_t>(i));
    return (bench::ThreadCpuSeconds() - start) / rounds;
}

// E: CPU seconds of making one picture as shown (decode, composite,
// encode), on this thread: the part of the added CPU that does not grow with
// the viewers.
double EncodeSeconds(const std::vector<std::vector<uint8_t>>& pictures, OverlayWorker* overlay,
                     const ShownPicture* shown) {
    ShownFrameEncoder encoder(overlay, shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t length = 0;
    encoder.Encode(pictures[0].data(), pictures[0].size(), &out, &length);
    const int rounds = 60;
    const double start = bench::ThreadCpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        const std::vector<uint8_t>& jpeg = pictures[static_cast<size_t>(i) % pictures.size()];
        encoder.Encode(jpeg.data(), jpeg.size(), &out, &length);
    }
    return (bench::ThreadCpuSeconds() - start) / rounds;
}

// One layer of the drawn ink made into a PNG, as the feed makes it while a
// shape is drawn (at most ten a second).
double LayerSeconds(OverlayWorker* overlay) {
    std::vector<uint8_t> png;
    const int rounds = 10;
    const double start = bench::ThreadCpuSeconds();
    for (int i = 0; i < rounds; ++i)
        overlay->ReadOverlay([&](const uint8_t* pixels, const OverlayExtent& extent, uint64_t) {
            share::InkToPng(pixels, &extent, kWidth, kHeight, 2, &png);
        });
    return (bench::ThreadCpuSeconds() - start) / rounds;
}

double ProcessCpuSeconds() {
    return bench::CpuSeconds();
}

// ---- the viewers (child process) ---------------------------------------------------

// One viewer's reading of the stream: the response's head once, then each
// part's header and picture.
struct Reader {
    Reader(Shared* s, int i) : shared(s), index(i) {}
    Shared* shared;
    int index;
    std::string pending; // header bytes so far
    size_t skip = 0;     // picture bytes (and line end) still to come
    uint64_t sequence = 0;
    bool head_done = false;

    bool Feed(const char* p, size_t n) {
        while (n > 0) {
            if (skip > 0) {
                const size_t take = std::min(skip, n);
                skip -= take;
                p += take;
                n -= take;
                if (skip == 0)
                    Picture();
                continue;
            }
            pending.append(p, n);
            n = 0;
            const size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos)
                return true;
            const std::string head = pending.substr(0, end);
            const std::string rest = pending.substr(end + 4);
            pending.clear();
            if (!head_done) {
                head_done = true;
            } else {
                const size_t length = head.find("Content-Length: ");
                const size_t frame = head.find("X-Frame: ");
                if (length == std::string::npos || frame == std::string::npos)
                    return false;
                skip = std::strtoull(head.c_str() + length + 16, nullptr, 10) + 2;
                sequence = std::strtoull(head.c_str() + frame + 9, nullptr, 10);
            }
            if (!rest.empty() && !Feed(rest.data(), rest.size()))
                return false;
        }
        return true;
    }

    void Picture() {
        if (shared->phase.load() != 2)
            return;
        const uint64_t now = shared->published.load();
        const uint64_t behind = now > sequence ? now - sequence : 0;
        shared->parts[index].fetch_add(1);
        if (behind > shared->max_behind[index].load())
            shared->max_behind[index].store(behind);
    }
};

// Reads the layer's stream, as the page's second picture does.
void ViewLayer(Shared* shared) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(shared->port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The layer comes seldom: a bounded wait lets the reader see the end.
    timeval wait{0, 200000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return;
    }
    const std::string request =
        "GET /" + std::string(shared->token) + "/layer.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::vector<char> buffer(1 << 16);
    while (shared->phase.load() < 3) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            break;
    }
    close(fd);
}

// Reads the stream as fast as it comes.
void View(Shared* shared, int index) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(shared->port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return;
    }
    const std::string request =
        "GET /" + std::string(shared->token) + "/stream.mjpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    shared->connected.fetch_add(1);
    Reader reader(shared, index);
    std::vector<char> buffer(1 << 18);
    while (shared->phase.load() < 3) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0 || !reader.Feed(buffer.data(), static_cast<size_t>(n)))
            break;
    }
    close(fd);
}

[[noreturn]] void RunViewers(Shared* shared) {
    while (shared->phase.load() < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<std::thread> viewers;
    for (int i = 0; i < kViewers; ++i) {
        viewers.emplace_back(View, shared, i);
        viewers.emplace_back(ViewLayer, shared);
    }
    for (std::thread& viewer : viewers)
        viewer.join();
    _exit(0);
}

// ---- the program (parent) -----------------------------------------------------------

struct Run {
    double cpu_per_frame_s = 0;
    long resident_kb = 0; // the largest seen
    int frames = 0;
};

// Camera frames at 30 per second for seconds, to share (null: not sharing);
// the process's CPU and resident memory meanwhile.
Run Pump(const std::vector<std::vector<uint8_t>>& pictures, share::ShareSession* share,
         Shared* shared, double seconds) {
    Run run;
    const int frames = static_cast<int>(seconds * kFps);
    const auto period = std::chrono::microseconds(1000000 / kFps);
    std::atomic<bool> done{false};
    // The count the viewers compare with, in both runs alike.
    std::thread poster([&] {
        while (!done.load()) {
            if (share != nullptr)
                shared->published.store(share->Frames().Published());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const double cpu = ProcessCpuSeconds();
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint8_t>& jpeg = pictures[static_cast<size_t>(i) % pictures.size()];
        if (share != nullptr)
            share->OnFrame(jpeg.data(), jpeg.size());
        if (i % kFps == 0)
            run.resident_kb = std::max(run.resident_kb, bench::ResidentKb());
        next += period;
        std::this_thread::sleep_until(next);
    }
    run.cpu_per_frame_s = (ProcessCpuSeconds() - cpu) / frames;
    run.frames = frames;
    done.store(true);
    poster.join();
    return run;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
    }
    if (seconds < 5) {
        std::fprintf(stderr, "share_bench: --seconds needs 5 or more\n");
        return 2;
    }
    void* memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return 1;
    auto* shared = new (memory) Shared;
    // Before any thread: the child starts from one thread.
    const pid_t child = fork();
    if (child == 0)
        RunViewers(shared);

    const std::vector<std::vector<uint8_t>> pictures = MakePictures();
    if (pictures.size() != kPictures) {
        std::fprintf(stderr, "no pictures\n");
        return 1;
    }
    const double decode = DecodeSeconds(pictures);
    OverlayWorker overlay;
    bench::DrawShapes(&overlay);
    ShownPicture shown;
    const double encode = EncodeSeconds(pictures, &overlay, &shown);
    const double layer = LayerSeconds(&overlay);

    // Not sharing: the same pump, as long as the warm-up of the other run.
    const Run alone = Pump(pictures, nullptr, shared, kWarmUpS * 2);

    share::ShareSession share(&overlay, &shown);
    share::ServerOptions options;
    options.bind_address = "127.0.0.1";
    options.address_limit = 0; // one address plays the whole class
    std::string error;
    if (!share.Start(options, &error)) {
        std::fprintf(stderr, "sharing did not start: %s\n", error.c_str());
        return 1;
    }
    shared->port = share.Server().Port();
    std::snprintf(shared->token, sizeof shared->token, "%s", share.Server().Token().c_str());
    shared->phase.store(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (share.Viewers() < kViewers && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (share.Viewers() < kViewers) {
        std::fprintf(stderr, "only %d viewers connected\n", share.Viewers());
        return 1;
    }
    Pump(pictures, &share, shared, kWarmUpS);
    shared->phase.store(2);
    const Run sharing = Pump(pictures, &share, shared, seconds);
    shared->phase.store(3);
    const uint64_t encoded = share.Encoded();
    share.Stop();
    int status = 0;
    waitpid(child, &status, 0);

    uint64_t worst = 0;
    uint64_t fewest = UINT64_MAX;
    for (int i = 0; i < kViewers; ++i) {
        worst = std::max(worst, shared->max_behind[i].load());
        fewest = std::min(fewest, shared->parts[i].load());
    }
    const double added = sharing.cpu_per_frame_s - alone.cpu_per_frame_s;
    const double grown_mb = static_cast<double>(sharing.resident_kb - alone.resident_kb) / 1024.0;
    std::printf("share_bench: %d viewers on 127.0.0.1, %d frames of %dx%d at %d/s (%.0f s), a "
                "rectangle and a line drawn; D = %.3f ms\n",
                kViewers, sharing.frames, kWidth, kHeight, kFps, seconds, decode * 1e3);
    std::printf("  CPU per frame: %.3f ms sharing, %.3f ms not sharing, added %.3f ms = %.2f x D\n",
                sharing.cpu_per_frame_s * 1e3, alone.cpu_per_frame_s * 1e3, added * 1e3,
                added / decode);
    std::printf("  of which one picture as shown (decode, shapes, encode): %.3f ms = %.2f x D; "
                "the camera's pictures are %zu kB\n",
                encode * 1e3, encode / decode, pictures[0].size() / 1024);
    std::printf("  one layer of the ink (PNG), made only when the drawing changes: %.3f ms = "
                "%.2f x D\n",
                layer * 1e3, layer / decode);
    std::printf(
        "  pictures published %llu; the slowest viewer read %llu pictures, the worst was %llu "
        "behind\n",
        static_cast<unsigned long long>(encoded), static_cast<unsigned long long>(fewest),
        static_cast<unsigned long long>(worst));
    std::printf("  resident memory: %ld kB not sharing, %ld kB sharing at most (+%.1f MB)\n",
                alone.resident_kb, sharing.resident_kb, grown_mb);
    bench::PrintGoal("Sharing, 30 viewers 1080p30, added CPU per frame", added / decode, 1.5,
                     "x D");
    bench::PrintGoal("Sharing, 30 viewers, pictures behind at most", static_cast<double>(worst),
                     2.0, "pictures");
    bench::PrintGoal("Sharing, 30 viewers, resident memory added", grown_mb, 30.0, "MB");
    return fewest > 0 ? 0 : 1;
}
