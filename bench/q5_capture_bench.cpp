// CPU time per frame through TovekQ5usb for 1920 x 1080 pictures of the
// emulated Q5 camera: from the camera source element (fetch, measure,
// hand-off, the buffer's copy and event 4) through decoding to the sample
// callback, against D = decoding the same pictures straight to 32-bit BGRX
// with libjpeg-turbo (platform::DecodeJpegToBgrx) in the same run.
//
// Counted: the element's pacing thread and the pipeline's streaming thread
// (which fills the buffer, decodes, calls the sample callback and renders
// to a window that does nothing). Not counted: the emulated camera and the
// driver's worker, which stand for the USB hardware. The camera's pictures
// are rendered before the run and replayed, so that its encoder does not
// compete with the decoding being measured for the machine's two cores.
//
// D paced, the baseline of the goal, decodes the same pictures at the
// camera's pace (each decode after a pause of a frame period, as the
// streaming thread decodes, its caches cooled meanwhile); D back to back
// (caches warm) is printed beside it.
//
// Usage: q5_capture_bench [frames]   (default 120; goal: at most 1.10 x D paced)
#include "TovekQ5usb.h"
#include "bench_util.h"
#include "platform/media.h"
#include "platform/thread_annotations.h"
#include "sim/install.h"
#include "sim/q5_camera.h"
#include "sim/usb_bus.h"

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kWarmUpFrames = 20;
constexpr size_t kKeptPictures = 40;
constexpr size_t kRenderedPictures = 48;

// CPU time in seconds of the thread with this name, from the scheduler's
// statistics; negative when there is none.
double ThreadCpuSecondsByName(const char* wanted) {
    double seconds = -1;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = tasks != nullptr ? readdir(tasks) : nullptr) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(task + "/comm");
        std::string name;
        if (!std::getline(comm, name) || name != wanted) {
            continue;
        }
        std::ifstream schedstat(task + "/schedstat");
        unsigned long long on_cpu_ns = 0;
        if (schedstat >> on_cpu_ns) {
            seconds = static_cast<double>(on_cpu_ns) * 1e-9;
        }
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
    return seconds;
}

// Pictures as a live 1920 x 1080 camera streams them, each a new one,
// taken from a camera that is not plugged in by speaking its protocol.
std::vector<std::vector<uint8_t>> RenderPictures(size_t count) {
    sim::Q5CameraOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.live_marker = true;
    sim::EmulatedQ5Camera camera(options);
    const sim::TransferContext context{0, 1000};
    sim::ControlSetup request;
    request.request_type = sim::kQ5RequestType;
    request.request = sim::kQ5FrameRequest;
    request.length = sim::kQ5ReplySize;
    const WDU_PIPE_INFO pipe{sim::kQ5PicturePipe, sim::kQ5MaxPacketSize, PIPE_TYPE_BULK, WDU_DIR_IN,
                             0};
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<uint8_t> buffer(sim::kQ5MaxPictureSize);
    uint8_t reply[sim::kQ5ReplySize] = {};
    for (size_t i = 0; i < count; ++i) {
        camera.HandleControl(context, request, reply);
        const sim::EmulatedTransferResult read = camera.HandlePipe(context, pipe, true, 0, buffer);
        if (read.status == WD_STATUS_SUCCESS && read.transferred > 0) {
            pictures.emplace_back(buffer.begin(), buffer.begin() + read.transferred);
        }
    }
    return pictures;
}

// The emulated camera at 1920 x 1080 answering the driver as always, its
// pictures replaced by the rendered ones in turn.
class ReplayCamera final : public sim::EmulatedQ5Camera {
public:
    ReplayCamera(const sim::Q5CameraOptions& options, std::vector<std::vector<uint8_t>> pictures)
        : sim::EmulatedQ5Camera(options), pictures_(std::move(pictures)) {}

    sim::EmulatedTransferResult HandlePipe(const sim::TransferContext& context,
                                           const WDU_PIPE_INFO& pipe, bool read, uint32_t options,
                                           std::span<uint8_t> data) override {
        sim::EmulatedTransferResult result =
            sim::EmulatedQ5Camera::HandlePipe(context, pipe, read, options, data);
        if (result.status == WD_STATUS_SUCCESS && result.transferred > 0) {
            const std::vector<uint8_t>& picture = pictures_[next_.fetch_add(1) % pictures_.size()];
            if (picture.size() <= data.size()) {
                std::copy(picture.begin(), picture.end(), data.begin());
                result.transferred = static_cast<uint32_t>(picture.size());
            }
        }
        return result;
    }

private:
    const std::vector<std::vector<uint8_t>> pictures_; // never empty
    std::atomic<size_t> next_{0};
};

// A window that shows nothing: rendering is not what is measured.
class NullWindow final : public VideoWindow {
public:
    void PresentFrame(const uint8_t*, int, int, int, const RECT&) override {}
    void ClearVideo() override {}
};

struct Run {
    size_t measured_frames = 0; // frames after the warm-up

    platform::Mutex mutex;
    std::vector<std::vector<uint8_t>> pictures TOVEK_GUARDED_BY(mutex);
    size_t samples TOVEK_GUARDED_BY(mutex) = 0;
    size_t wrong_size TOVEK_GUARDED_BY(mutex) = 0;
    // Streaming-thread CPU from one sample callback to the next: one frame.
    std::vector<double> frame_cpu TOVEK_GUARDED_BY(mutex);
    double last_cpu TOVEK_GUARDED_BY(mutex) = 0;
    double pacing_cpu0 TOVEK_GUARDED_BY(mutex) = 0;
    double pacing_cpu TOVEK_GUARDED_BY(mutex) = 0;
    double wall0 TOVEK_GUARDED_BY(mutex) = 0;
    double wall TOVEK_GUARDED_BY(mutex) = 0;
    bool done TOVEK_GUARDED_BY(mutex) = false;
};

int TOVEK_STDCALL OnStream(int event, BYTE* data, LONG length, void* context) {
    auto* run = static_cast<Run*>(context);
    if (event != Q5_STREAM_PICTURE) {
        return 0;
    }
    platform::MutexLock lock(run->mutex);
    // Keep pictures only while warming up, so copying them is not measured.
    if (run->samples < kWarmUpFrames && run->pictures.size() < kKeptPictures) {
        run->pictures.emplace_back(data, data + length);
    }
    return 0;
}

int OnSample(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int, void* context) {
    auto* run = static_cast<Run*>(context);
    const double now = bench::ThreadCpuSeconds();
    platform::MutexLock lock(run->mutex);
    run->wrong_size += sample->GetActualDataLength() != kWidth * kHeight * 4;
    ++run->samples;
    if (run->samples == kWarmUpFrames) {
        run->pacing_cpu0 = ThreadCpuSecondsByName("tovek-pacing");
        run->wall0 = bench::WallSeconds();
    } else if (run->samples > kWarmUpFrames && !run->done) {
        run->frame_cpu.push_back(now - run->last_cpu);
        if (run->frame_cpu.size() == run->measured_frames) {
            run->pacing_cpu = ThreadCpuSecondsByName("tovek-pacing") - run->pacing_cpu0;
            run->wall = bench::WallSeconds() - run->wall0;
            run->done = true;
        }
    }
    run->last_cpu = now;
    return 0;
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

// D: CPU seconds to decode each picture to BGRX on this thread, back to back
// or with a pause after each picture, as frames arrive from the camera.
// With buffers above 1, each decode goes into the next of that many buffers
// in turn, as a pool that hands out its buffers first in, first out.
std::vector<double> DecodeSeconds(const std::vector<std::vector<uint8_t>>& pictures, int rounds,
                                  std::chrono::milliseconds pause, size_t buffers = 1) {
    std::vector<std::vector<uint8_t>> frames(buffers);
    for (auto& f : frames) {
        f.resize(static_cast<size_t>(kWidth) * kHeight * 4);
    }
    std::vector<double> seconds;
    size_t failed = 0;
    size_t next = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& picture : pictures) {
            std::vector<uint8_t>& frame = frames[next++ % buffers];
            const double start = bench::ThreadCpuSeconds();
            failed += platform::DecodeJpegToBgrx(picture.data(), picture.size(), frame.data(),
                                                 kWidth, kHeight,
                                                 kWidth * 4) == platform::JpegDecodeResult::kFailed;
            seconds.push_back(bench::ThreadCpuSeconds() - start);
            if (pause.count() > 0) {
                std::this_thread::sleep_for(pause);
            }
        }
    }
    if (failed != 0) {
        std::fprintf(stderr, "q5_capture_bench: %zu pictures did not decode\n", failed);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
    sim::InstallEmulatedDevices();
    sim::UsbBus().Reset(false);
    std::vector<std::vector<uint8_t>> rendered = RenderPictures(kRenderedPictures);
    if (rendered.empty()) {
        std::fprintf(stderr, "q5_capture_bench: the emulated camera gave no picture\n");
        return 1;
    }
    sim::Q5CameraOptions options;
    options.width = kWidth;
    options.height = kHeight;
    sim::UsbBus().PlugIn(std::make_shared<ReplayCamera>(options, std::move(rendered)));

    Run run;
    run.measured_frames = frames > 0 ? static_cast<size_t>(frames) : 1;
    NullWindow window;
    TovekQ5UsbDevice* device = nullptr;
    if (Tovek_Q5Usb_Intialize() != 0 || Tovek_Q5Usb_Open(0, &device) != 0) {
        std::fprintf(stderr, "q5_capture_bench: no camera\n");
        return 1;
    }
    Tovek_Q5Usb_SetStreamCallback(device, OnStream, &run);
    Tovek_Q5Usb_SetSampleCallback(device, OnSample, &run);
    Tovek_Q5Usb_InitDirectShow(device);
    Tovek_Q5Usb_SetPosition(device, &window, 0, 0, kWidth, kHeight);
    Tovek_Q5Usb_Run(device);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform::MutexLock lock(run.mutex);
        if (run.done || std::chrono::steady_clock::now() > deadline) {
            break;
        }
    }
    Tovek_Q5Usb_Close(device);
    Tovek_Q5Usb_UnIntialize();

    platform::MutexLock lock(run.mutex);
    if (!run.done || run.pictures.empty()) {
        std::fprintf(stderr, "q5_capture_bench: only %zu frames arrived\n", run.samples);
        return 1;
    }
    const double n = static_cast<double>(run.measured_frames);
    // Medians: this machine is shared, and a frame that was descheduled or
    // met cold caches should not decide the result.
    const double stream = bench::Median(run.frame_cpu);
    const double pacing = run.pacing_cpu / n;
    const double path = stream + pacing;
    const double decode =
        bench::Median(DecodeSeconds(run.pictures, 5, std::chrono::milliseconds(0)));
    const double paced =
        bench::Median(DecodeSeconds(run.pictures, 1, std::chrono::milliseconds(1000) / 16));
    const double rotating =
        bench::Median(DecodeSeconds(run.pictures, 2, std::chrono::milliseconds(0), 4));
    std::printf("q5_capture_bench: %zu frames of %d x %d, %.1f frames/s, %zu of a wrong size\n",
                run.measured_frames, kWidth, kHeight, n / run.wall, run.wrong_size);
    std::printf("  element to sample callback: %.3f ms CPU per frame (streaming thread median "
                "%.3f ms, mean %.3f ms; pacing thread mean %.3f ms)\n",
                path * 1e3, stream * 1e3, Mean(run.frame_cpu) * 1e3, pacing * 1e3);
    std::printf("  D, libjpeg-turbo to BGRX:   %.3f ms CPU per picture (median, back to back)\n",
                decode * 1e3);
    std::printf("  D paced at 16 pictures/s:   %.3f ms CPU per picture (median)\n", paced * 1e3);
    std::printf("  D into 4 buffers in turn:   %.3f ms CPU per picture (median)\n", rotating * 1e3);
    std::printf("  ratio: %.2f x D paced (goal: at most 1.10); %.2f x D\n", path / paced,
                path / decode);
    bench::PrintGoal("Q5 path, element to sample callback, 1920x1080", path / paced, 1.10,
                     "x D paced");
    return 0;
}
