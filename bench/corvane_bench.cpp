// CPU time per frame of the RVX capture graph (source, tee, stream callback,
// MJPEG decompressor, sample callback, renderer) on the emulated camera at
// 1280 x 720 and 1920 x 1080, against D paced: decoding the same pictures
// straight to 32-bit BGRX with libjpeg-turbo at the camera's 30 pictures a
// second, in the same run (goal: at most 1.10 x D paced).
#include "TovekCorvane.h"
#include "bench_util.h"
#include "platform/media.h"
#include "sim/install.h"
#include "sim/rvx_camera.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {
std::atomic<int> g_compressed{0};
std::atomic<int> g_decoded{0};

int TOVEK_STDCALL OnCompressed(BYTE*, LONG, double, void*) {
    ++g_compressed;
    return 0;
}
int OnDecoded(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*, int, void*) {
    ++g_decoded;
    return 0;
}

struct Size {
    int width;
    int height;
};

// Chooses the format of the wanted size in the capture format dialog.
int ChooseSize(CorvaneOwnerWindow* window, const CorvaneVideoFormat* formats, int count, int) {
    auto* wanted = static_cast<Size*>(window->context);
    for (int i = 0; i < count; ++i) {
        if (formats[i].width == wanted->width && formats[i].height == wanted->height) {
            return i;
        }
    }
    return -2;
}

// CPU seconds per frame through the graph; 0 on failure.
double GraphCpuPerFrame(CorvaneCaptureDevice* device, Size size, int frames) {
    CorvaneOwnerWindow window{ChooseSize, &size};
    if (Corvane_VideoCapturePin(device, &window) != 0) {
        return 0;
    }
    Corvane_SetStreamCallback(device, OnCompressed, nullptr);
    Corvane_SetSampleStreamCallback(device, OnDecoded, nullptr);
    if (Corvane_Run(device) != 0) {
        return 0;
    }
    // Let the graph settle, then measure whole frames.
    while (g_decoded < 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The graph's threads only: this thread's own waiting is not the graph's.
    int start = g_decoded;
    double cpu0 = bench::CpuSeconds() - bench::ThreadCpuSeconds();
    const long faults0 = bench::MinorFaults();
    while (g_decoded - start < frames) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double cpu = bench::CpuSeconds() - bench::ThreadCpuSeconds() - cpu0;
    int done = g_decoded - start;
    std::printf("  (%.2f page faults per frame)\n",
                static_cast<double>(bench::MinorFaults() - faults0) / done);
    Corvane_Stop(device);
    g_decoded = 0;
    g_compressed = 0;
    return cpu / done;
}

// D: CPU seconds per decode of the picture on this thread, back to back, or
// paced like the camera's 30 pictures per second (the decoder then starts
// each picture with cold caches, as it does in the graph). This thread's
// clock only: the emulated camera's threads keep running meanwhile.
double DecodeCpuPerFrame(const std::vector<uint8_t>& jpeg, Size size, int frames, bool paced) {
    std::vector<uint8_t> bgrx(static_cast<size_t>(size.width) * size.height * 4);
    double cpu = 0;
    for (int i = 0; i < frames; ++i) {
        if (paced) {
            std::this_thread::sleep_for(std::chrono::microseconds(33333));
        }
        double cpu0 = bench::ThreadCpuSeconds();
        platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), bgrx.data(), size.width, size.height,
                                   size.width * 4);
        cpu += bench::ThreadCpuSeconds() - cpu0;
    }
    return cpu / frames;
}
} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 150;
    sim::InstallEmulatedDevices();
    Corvane_Intialize();
    // A camera without the moving marker, so its pictures are encoded once
    // and the source costs what a real camera's driver would.
    sim::DefaultRvxCamera()->Pull();
    auto camera = sim::EmulatedRvxCamera::Create({.serial = "BENCH01", .live_marker = false});
    camera->Plug();

    CorvaneCaptureDevice* device = nullptr;
    if (Corvane_Open(0, &device) != 0) {
        std::fprintf(stderr, "corvane_bench: no camera\n");
        return 1;
    }
    std::printf("Corvane graph on the emulated RVX camera, %d frames a size\n", frames);
    for (Size size : {Size{1280, 720}, Size{1920, 1080}}) {
        double graph = GraphCpuPerFrame(device, size, frames);
        auto picture = camera->TakePicture(size.width, size.height);
        if (graph <= 0 || !picture) {
            std::fprintf(stderr, "corvane_bench: %dx%d did not run\n", size.width, size.height);
            return 1;
        }
        double decode = DecodeCpuPerFrame(*picture, size, frames, false);
        double paced = DecodeCpuPerFrame(*picture, size, frames, true);
        std::printf("  %4dx%-4d  graph %5.2f ms/frame   D %5.2f ms (%.2f x D)   D paced %5.2f ms "
                    "(%.2f x)\n",
                    size.width, size.height, graph * 1e3, decode * 1e3, graph / decode, paced * 1e3,
                    graph / paced);
        const std::string row = "RVX graph, callbacks and renderer, " + std::to_string(size.width) +
                                "x" + std::to_string(size.height);
        bench::PrintGoal(row.c_str(), graph / paced, 1.10, "x D paced");
    }
    Corvane_Close(device);
    Corvane_UnIntialize();
    return 0;
}
