// Pictures per second and CPU time per picture through q5_usb (frame request,
// read, hand-off, fetch) from the emulated camera at 1920 x 1080 with no
// pause, against a plain memcpy of the same bytes: the floor for a driver
// that must move each picture at least once.
#include "bench_util.h"
#include "platform/system.h"
#include "q5_usb.h"
#include "sim/install.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {
std::atomic<uint32_t> g_attached{0};
void TOVEK_STDCALL OnEvent(uint32_t event, uint32_t, uint32_t, uintptr_t) {
    if (event == Q5_EVENT_ATTACHED) {
        g_attached = 1;
    }
}
} // namespace

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::atoi(argv[1]) : 300;
    sim::InstallEmulatedDevices();
    platform::FakeClock clock; // the driver's pause between pictures passes at once

    sim::UsbBus().Reset(false);
    auto camera = std::make_shared<sim::EmulatedQ5Camera>(
        sim::Q5CameraOptions{.width = 1920, .height = 1080});
    sim::UsbBus().PlugIn(camera);
    const size_t picture_size = camera->CurrentPicture()->size();

    if (!TovekCameraInit(OnEvent, 0)) {
        std::fprintf(stderr, "q5_usb_bench: TovekCameraInit failed\n");
        return 1;
    }
    while (!g_attached) {
        platform::Sleep(1);
    }
    std::vector<uint8_t> frame(TovekCameraGetMaxFrameSize());
    if (!TovekCameraPlay()) {
        std::fprintf(stderr, "q5_usb_bench: TovekCameraPlay failed\n");
        return 1;
    }
    // Wait for the first picture, then count pictures the camera hands out.
    uint32_t size = 0;
    do {
        size = static_cast<uint32_t>(frame.size());
    } while (!TovekCameraGetFrameData(frame.data(), &size) || size == 0);

    uint64_t start_pictures = camera->Counters().pictures;
    double wall0 = bench::WallSeconds(), cpu0 = bench::CpuSeconds();
    uint64_t fetched = 0;
    while (camera->Counters().pictures - start_pictures < static_cast<uint64_t>(pictures)) {
        // Fetch about as often as pictures come, without spinning on the CPU
        // being measured.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        size = static_cast<uint32_t>(frame.size());
        fetched += TovekCameraGetFrameData(frame.data(), &size) && size > 0;
    }
    double wall = bench::WallSeconds() - wall0, cpu = bench::CpuSeconds() - cpu0;
    TovekCameraStop();
    TovekCameraUninit();

    // The floor: one copy of each picture.
    std::vector<uint8_t> src(*camera->CurrentPicture()), dst(src.size());
    const int copies = pictures * 20;
    double mcpu0 = bench::CpuSeconds();
    for (int i = 0; i < copies; ++i) {
        src[i % src.size()] ^= 1;
        std::memcpy(dst.data(), src.data(), src.size());
    }
    double memcpy_cpu = (bench::CpuSeconds() - mcpu0) / copies;

    double per_picture = cpu / pictures;
    std::printf("q5_usb 1920x1080, picture %zu bytes, %d pictures (%llu fetches)\n", picture_size,
                pictures, static_cast<unsigned long long>(fetched));
    std::printf("  pictures per second     %.0f\n", pictures / wall);
    std::printf("  CPU per picture         %.1f us (camera, driver and fetching thread)\n",
                per_picture * 1e6);
    std::printf("  memcpy of one picture   %.1f us\n", memcpy_cpu * 1e6);
    std::printf("  ratio to memcpy         %.1f x\n", per_picture / memcpy_cpu);
    return 0;
}
