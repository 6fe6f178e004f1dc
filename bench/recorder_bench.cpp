// CPU per frame of the recorder writing a 1920 x 1080 Motion-JPEG recording
// with PCM sound, against ffmpeg copying the same frames into an AVI file
// (`ffmpeg -f mjpeg -i frames.mjpeg -c copy out.avi`) in the same run.
//
// The recorder runs as in the program: frames are appended as the stream
// callback appends them, the writer thread paces them at 30 frames per second
// and hands them to Strovi, and the audio callback hands 1/30 s of 22050 Hz
// stereo PCM to the same file per frame. The replaceable clock is a fake one,
// so the writer's sleeps between turns take no time and the recording runs as
// fast as the writer can go: a new frame is appended each time one was
// written. The audio capture is a stand-in whose callback this program calls,
// as the audio library's thread would.
//
// Counted for the recorder: all CPU of this process from Start to the end of
// Stop (appending, the writer, Strovi, the file system). For ffmpeg: the
// user and system time of the child process. Neither run syncs its file.
// Five rounds of each: the recorder's best round counts, and ffmpeg's median
// round (one ffmpeg run in a quiet moment of this shared machine would set
// too low a bar); each round is printed too, with its page faults (fresh
// memory touched), which make up most of the difference between rounds.
//
// A recording as shown (the frames decoded, a few shapes composited, turned
// and encoded again, ShownFrameEncoder) is measured on its own, without sound:
// the writer thread's CPU per recorded frame against D = decoding the same
// picture to 32-bit BGRX with libjpeg-turbo (platform::DecodeJpegToBgrx) in
// the same run; goal at most 2.0 x D with the picture turned a quarter. Upright
// and turned during the recording (fitted between black bars) are printed
// beside it. Then the same recording runs on the real clock with frames
// arriving at 30 per second for 10 s: no frame may be dropped.
//
// Usage: recorder_bench [folder] [frames]   (defaults: /tmp, 2000; goal:
// ratio <= 0.3 at the same or better frames per second)
#include "annotation/FrameOverlay.h"
#include "bench_shapes.h"
#include "bench_util.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "platform/media.h"
#include "platform/system.h"
#include "platform/thread_annotations.h"
#include "record/Recorder.h"
#include "sim/picture.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFps = 30;
constexpr int kPictures = 16;
constexpr int kRounds = 5;
constexpr size_t kPcmBytesPerFrame = 88200 / kFps;

struct Result {
    double cpu_s = 0;
    double feeder_cpu_s = 0; // of that, the thread that appends (the stream callback's part)
    double wall_s = 0;
    long faults = 0; // minor page faults (fresh memory touched)
    int frames = 0;
    double CpuPerFrameMs() const { return cpu_s * 1000 / frames; }
    double FramesPerSecond() const { return frames / wall_s; }
    double FaultsPerFrame() const { return static_cast<double>(faults) / frames; }
};

// ---- the recorder's side --------------------------------------------------------

// Frames written, for the feeder to wait on.
platform::Mutex g_lock;
platform::CondVar g_written_changed;
int g_written TOVEK_GUARDED_BY(g_lock) = 0;
TovekWacStreamCallback g_callback TOVEK_GUARDED_BY(g_lock) = nullptr;
void* g_callback_user TOVEK_GUARDED_BY(g_lock) = nullptr;

int32_t TOVEK_STDCALL CountedWriteVga(AviOutputFile* file, const void* data, uint32_t length,
                                      int32_t key, uint32_t stamp, int32_t reserved) {
    const int32_t result = WriteVGA(file, data, length, key, stamp, reserved);
    {
        platform::MutexLock hold(g_lock);
        ++g_written;
    }
    g_written_changed.NotifyOne();
    return result;
}

char g_context;
WAVEFORMATEX g_wave{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
AM_MEDIA_TYPE g_media_type{};

int32_t AudioOpen(AudioCaptureContext** context) {
    *context = reinterpret_cast<AudioCaptureContext*>(&g_context);
    return 0;
}
int32_t AudioDone(AudioCaptureContext*) {
    return 0;
}
int32_t AudioConnect(AudioCaptureContext*, AudioDeviceRecord, AudioDeviceRecord) {
    return 0;
}
int32_t AudioMediaType(AudioCaptureContext*, AM_MEDIA_TYPE** media_type) {
    g_media_type.majortype = MEDIATYPE_Audio;
    g_media_type.formattype = FORMAT_WaveFormatEx;
    g_media_type.cbFormat = sizeof g_wave;
    g_media_type.pbFormat = reinterpret_cast<BYTE*>(&g_wave);
    *media_type = &g_media_type;
    return 0;
}
int32_t AudioSetCallback(AudioCaptureContext*, TovekWacStreamCallback callback, void* user) {
    platform::MutexLock hold(g_lock);
    g_callback = callback;
    g_callback_user = user;
    return 0;
}

class Quiet : public record::RecorderListener {
public:
    void OnRecorderMessage(const std::string& text, record::MessageIcon) override {
        std::fprintf(stderr, "recorder: %s\n", text.c_str());
    }
    void OnRecorderStateChanged() override {}
};

Result ThroughRecorder(const std::string& folder, const std::vector<std::vector<uint8_t>>& frames,
                       int count) {
    platform::FakeClock clock;
    Quiet listener;
    record::RecorderOptions options;
    options.libraries.write_vga = &CountedWriteVga;
    options.libraries.audio_open = &AudioOpen;
    options.libraries.audio_close = &AudioDone;
    options.libraries.audio_connect = &AudioConnect;
    options.libraries.audio_media_type = &AudioMediaType;
    options.libraries.audio_set_callback = &AudioSetCallback;
    options.libraries.audio_run = &AudioDone;
    options.libraries.audio_stop = &AudioDone;
    Recorder recorder(&listener, std::move(options));
    record::RecordParams params;
    params.record_path = platform::Utf8ToUtf16(folder);
    params.width = kWidth;
    params.height = kHeight;
    params.frame_rate = kFps;
    params.audio_index = 1;
    params.audio = {"bench", "PCM"};
    const std::vector<uint8_t> pcm(kPcmBytesPerFrame, 0x10);
    {
        platform::MutexLock hold(g_lock);
        g_written = 0;
    }

    Result result;
    const long faults = bench::MinorFaults();
    const double cpu = bench::CpuSeconds();
    const double feeder_cpu = bench::Seconds(CLOCK_THREAD_CPUTIME_ID);
    const double wall = bench::WallSeconds();
    if (recorder.Start(params) != record::kRecording)
        return result;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t>& frame = frames[static_cast<size_t>(i) % frames.size()];
        while (!recorder.Append(frame.data(), frame.size())) {
            platform::MutexLock hold(g_lock);
            const int seen = g_written;
            g_written_changed.Wait(g_lock, [seen] {
                g_lock.AssertHeld();
                return g_written != seen;
            });
        }
        platform::MutexLock hold(g_lock);
        TovekWacStreamCallback callback = g_callback;
        void* user = g_callback_user;
        hold.Unlock();
        if (callback != nullptr)
            callback(pcm.data(), static_cast<LONG>(pcm.size()), user);
    }
    {
        platform::MutexLock hold(g_lock);
        g_written_changed.Wait(g_lock, [count] {
            g_lock.AssertHeld();
            return g_written >= count;
        });
    }
    recorder.Stop();
    result.cpu_s = bench::CpuSeconds() - cpu;
    result.feeder_cpu_s = bench::Seconds(CLOCK_THREAD_CPUTIME_ID) - feeder_cpu;
    result.wall_s = bench::WallSeconds() - wall;
    result.faults = bench::MinorFaults() - faults;
    platform::MutexLock hold(g_lock);
    result.frames = g_written;
    std::filesystem::remove(recorder.VideoPath());
    return result;
}

// ---- ffmpeg -----------------------------------------------------------------------

double RusageSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

Result ThroughFfmpeg(const std::string& mjpeg, const std::string& avi, int count) {
    Result result;
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v",  "error", "-y",   "-f",
                                     "mjpeg",  "-i",       mjpeg, "-c",    "copy", avi};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const double wall = bench::WallSeconds();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return result;
    result.wall_s = bench::WallSeconds() - wall;
    result.cpu_s = RusageSeconds(usage);
    result.faults = usage.ru_minflt;
    result.frames = count;
    std::filesystem::remove(avi);
    return result;
}

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

// ---- recording as shown -----------------------------------------------------------

constexpr int kShownFrames = 300;
constexpr int kPacedSeconds = 10;

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

struct ShownRun {
    int appended = 0;
    int dropped = 0; // appends the full queue refused
    int written = 0; // frames handed to Strovi
    double writer_cpu_per_frame_s = 0;
};

// One recording as shown, turns quarter turns from its start (turn_later:
// turned once more after the start). paced: on the real clock, kPacedSeconds
// of frames at 30 per second; else on a fake clock as fast as the writer
// goes, kShownFrames frames. The writer's CPU is counted from its sixth
// frame, when every buffer has been touched, to its last.
ShownRun RecordAsShown(const std::string& folder, const std::vector<std::vector<uint8_t>>& frames,
                       OverlayWorker* overlay, int turns, bool turn_later, bool paced) {
    std::unique_ptr<platform::FakeClock> clock;
    if (!paced)
        clock = std::make_unique<platform::FakeClock>();
    ShownPicture shown;
    shown.SetQuarterTurns(turns);
    auto encoder = std::make_shared<ShownFrameEncoder>(overlay, &shown, kWidth, kHeight);
    if (turn_later)
        shown.SetQuarterTurns(turns + 1);
    struct Stamps {
        int calls = 0;
        double first_cpu = 0;
        double last_cpu = 0;
    };
    auto stamps = std::make_shared<Stamps>(); // the writer's; read after Stop joined it
    Quiet listener;
    record::RecorderOptions options;
    options.libraries.write_vga = &CountedWriteVga;
    Recorder recorder(&listener, std::move(options));
    record::RecordParams params;
    params.record_path = platform::Utf8ToUtf16(folder);
    params.width = encoder->Width();
    params.height = encoder->Height();
    params.frame_rate = kFps;
    params.transform = [encoder, stamps](const uint8_t* data, size_t length, const uint8_t** out,
                                         size_t* out_length) {
        const double now = bench::ThreadCpuSeconds();
        if (++stamps->calls == 6)
            stamps->first_cpu = now;
        stamps->last_cpu = now;
        return encoder->Encode(data, length, out, out_length);
    };
    {
        platform::MutexLock hold(g_lock);
        g_written = 0;
    }
    ShownRun run;
    if (recorder.Start(params) != record::kRecording)
        return run;
    const int count = paced ? kFps * kPacedSeconds : kShownFrames;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t>& frame = frames[static_cast<size_t>(i) % frames.size()];
        if (paced) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / kFps));
            run.dropped += recorder.Append(frame.data(), frame.size()) ? 0 : 1;
            continue;
        }
        while (!recorder.Append(frame.data(), frame.size())) {
            platform::MutexLock hold(g_lock);
            const int seen = g_written;
            g_written_changed.Wait(g_lock, [seen] {
                g_lock.AssertHeld();
                return g_written != seen;
            });
        }
    }
    if (paced) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the last frame's turn
    } else {
        platform::MutexLock hold(g_lock);
        g_written_changed.Wait(g_lock, [count] {
            g_lock.AssertHeld();
            return g_written >= count;
        });
    }
    recorder.Stop();
    run.appended = count;
    {
        platform::MutexLock hold(g_lock);
        run.written = g_written;
    }
    if (stamps->calls > 6)
        run.writer_cpu_per_frame_s = (stamps->last_cpu - stamps->first_cpu) / (stamps->calls - 6);
    std::filesystem::remove(recorder.VideoPath());
    return run;
}

// The writer's CPU per frame as shown, as a multiple of D, with its rows.
// Returns false when a run failed.
bool BenchAsShown(const std::string& folder, const std::vector<std::vector<uint8_t>>& pictures) {
    OverlayWorker overlay;
    bench::DrawShapes(&overlay);
    const double decode = DecodeSeconds(pictures);
    std::printf("recording as shown: %d frames of %dx%d, a rectangle and a line drawn, "
                "D %.2f ms\n",
                kShownFrames, kWidth, kHeight, decode * 1e3);
    const struct {
        const char* name;
        int turns;
        bool turn_later;
    } cases[] = {
        {"upright", 0, false},
        {"turned a quarter (the goal)", 1, false},
        {"turned a quarter while recording (fitted)", 0, true},
    };
    double goal_ratio = 0;
    for (const auto& c : cases) {
        const ShownRun run =
            RecordAsShown(folder, pictures, &overlay, c.turns, c.turn_later, false);
        if (run.written < kShownFrames || run.writer_cpu_per_frame_s <= 0) {
            std::fprintf(stderr, "recording as shown, %s: %d frames written\n", c.name,
                         run.written);
            return false;
        }
        const double ratio = run.writer_cpu_per_frame_s / decode;
        std::printf("  %-44s %7.3f ms CPU/frame on the writer  %5.2f x D\n", c.name,
                    run.writer_cpu_per_frame_s * 1e3, ratio);
        if (c.turns == 1)
            goal_ratio = ratio;
    }
    bench::PrintGoal("Recording as shown, writer per frame, 1920x1080", goal_ratio, 2.0, "x D");

    // The dearest case on the real clock.
    const ShownRun paced = RecordAsShown(folder, pictures, &overlay, 0, true, true);
    std::printf("  at %d frames/s for %d s, turned while recording: %d appended, %d dropped, "
                "%d written, %.3f ms CPU/frame on the writer\n",
                kFps, kPacedSeconds, paced.appended, paced.dropped, paced.written,
                paced.writer_cpu_per_frame_s * 1e3);
    bench::PrintGoal("Recording as shown at 30 frames/s, frames dropped", paced.dropped, 0,
                     "frames");
    return paced.appended > 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    const std::vector<std::vector<uint8_t>> pictures = MakePictures();
    if (pictures.size() != kPictures) {
        std::fprintf(stderr, "no pictures\n");
        return 1;
    }
    const std::string work = folder + "/recorder_bench";
    std::filesystem::create_directories(work);
    const std::string mjpeg = work + "/frames.mjpeg";
    size_t bytes = 0;
    {
        std::ofstream out(mjpeg, std::ios::binary);
        for (int i = 0; i < count; ++i) {
            const auto& picture = pictures[static_cast<size_t>(i) % pictures.size()];
            out.write(reinterpret_cast<const char*>(picture.data()),
                      static_cast<std::streamsize>(picture.size()));
            bytes += picture.size();
        }
    }

    std::printf("recorder_bench: %d frames of %dx%d Motion-JPEG (%.0f kB on average), PCM "
                "sound, %d rounds\n",
                count, kWidth, kHeight, static_cast<double>(bytes) / count / 1000, kRounds);
    Result best_recorder{1e30, 1e30, 1};
    std::vector<Result> ffmpeg_rounds;
    for (int round = 0; round < kRounds; ++round) {
        const Result ffmpeg = ThroughFfmpeg(mjpeg, work + "/out.avi", count);
        const Result recorder = ThroughRecorder(work, pictures, count);
        if (ffmpeg.frames == 0 || recorder.frames == 0) {
            std::fprintf(stderr, "a run failed (ffmpeg %d frames, recorder %d frames)\n",
                         ffmpeg.frames, recorder.frames);
            std::filesystem::remove_all(work);
            return 1;
        }
        // The first round touches fresh memory for every buffer; later ones
        // may get it back from the allocator.
        std::printf(
            "  round %d: recorder %6.3f ms CPU/frame, %5.2f page faults/frame; ffmpeg %6.3f ms\n",
            round, recorder.CpuPerFrameMs(), recorder.FaultsPerFrame(), ffmpeg.CpuPerFrameMs());
        if (recorder.CpuPerFrameMs() < best_recorder.CpuPerFrameMs())
            best_recorder = recorder;
        ffmpeg_rounds.push_back(ffmpeg);
    }
    std::sort(ffmpeg_rounds.begin(), ffmpeg_rounds.end(), [](const Result& a, const Result& b) {
        return a.CpuPerFrameMs() < b.CpuPerFrameMs();
    });
    const Result median_ffmpeg = ffmpeg_rounds[ffmpeg_rounds.size() / 2];
    std::filesystem::remove_all(work);

    std::printf("  recorder (queue, writer, Strovi):   %7.3f ms CPU/frame  %8.0f frames/s  %5.2f "
                "page faults/frame\n",
                best_recorder.CpuPerFrameMs(), best_recorder.FramesPerSecond(),
                best_recorder.FaultsPerFrame());
    std::printf("    of which appending frames:        %7.3f ms CPU/frame\n",
                best_recorder.feeder_cpu_s * 1000 / best_recorder.frames);
    std::printf("  ffmpeg -f mjpeg -c copy (no sound): %7.3f ms CPU/frame  %8.0f frames/s  %5.2f "
                "page faults/frame (median round)\n",
                median_ffmpeg.CpuPerFrameMs(), median_ffmpeg.FramesPerSecond(),
                median_ffmpeg.FaultsPerFrame());
    std::printf("  ratio recorder / ffmpeg CPU:        %7.2f   (goal <= 0.30)\n",
                best_recorder.CpuPerFrameMs() / median_ffmpeg.CpuPerFrameMs());
    std::printf("  ratio recorder / ffmpeg frames/s:   %7.2f   (goal >= 1.00)\n",
                best_recorder.FramesPerSecond() / median_ffmpeg.FramesPerSecond());
    bench::PrintGoal("Recording, CPU per frame",
                     best_recorder.CpuPerFrameMs() / median_ffmpeg.CpuPerFrameMs(), 0.3,
                     "x ffmpeg -c copy");

    std::filesystem::create_directories(work);
    const bool shown = BenchAsShown(work, pictures);
    std::filesystem::remove_all(work);
    return shown ? 0 : 1;
}
