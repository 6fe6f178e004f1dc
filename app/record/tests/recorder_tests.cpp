// The recorder against stand-ins of Strovi and the audio capture, with a fake
// clock: the test runs the writer's turns itself, 10 ms apart.
#include "platform/system.h"
#include "record/Recorder.h"
#include "record/RecordingStatus.h"
#include "recorder_fakes.h"
#include "testsupport/temp_folder.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using record::MessageIcon;

namespace {

std::atomic<uint64_t> g_free_bytes{0};
std::atomic<bool> g_free_known{true};
bool FakeFreeBytes(const std::string&, uint64_t* free_bytes) {
    *free_bytes = g_free_bytes.load();
    return g_free_known.load();
}

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        platform::SetFreeBytesFunction(&FakeFreeBytes);
        g_free_bytes = uint64_t{1} << 40;
        g_free_known = true;
    }
    void TearDown() override {
        recorder_.reset();
        platform::SetFreeBytesFunction(nullptr);
    }
    // File names carry the fake clock's seconds as seconds of the day.
    Recorder& Make(bool real_strovi = false, uint64_t split_megabytes = record::kSplitMegabytes,
                   bool writer_thread = false) {
        record::RecorderOptions options;
        options.libraries = fake::Libraries(real_strovi);
        options.split_megabytes = split_megabytes;
        options.writer_thread = writer_thread;
        options.local_time = [this] {
            std::tm t{};
            t.tm_year = 124;
            t.tm_mday = 1;
            t.tm_sec = static_cast<int>((clock_.Now() - 1000) / 1000);
            std::mktime(&t);
            return t;
        };
        recorder_ = std::make_unique<Recorder>(&log_, std::move(options));
        next_frame_ms_ = static_cast<double>(elapsed_ms_); // the first frame comes at once
        return *recorder_;
    }
    record::RecordParams Params(int32_t fps = 16, int32_t audio_index = 0,
                                const std::string& encoder = "PCM") {
        record::RecordParams p;
        p.record_path = platform::Utf8ToUtf16(dir_.string());
        p.width = 1920;
        p.height = 1080;
        p.frame_rate = fps;
        p.audio_index = audio_index;
        p.audio = {"Simulated Microphone", encoder};
        return p;
    }
    // Runs the writer for ms, a frame arriving every frame_ms (0: none) and
    // 0.05 s of PCM every 50 ms when sound is on; a turn every turn_ms.
    void Run(uint32_t ms, double frame_ms, size_t frame_bytes = 1000, bool sound = false,
             uint32_t turn_ms = 10) {
        const std::vector<uint8_t> frame(frame_bytes, 0x5A);
        const std::vector<uint8_t> pcm(4410, 0x10);
        for (uint32_t t = 0; t < ms; t += 10) {
            clock_.Advance(10);
            elapsed_ms_ += 10;
            while (frame_ms > 0 && next_frame_ms_ <= static_cast<double>(elapsed_ms_)) {
                recorder_->Append(frame.data(), frame.size());
                next_frame_ms_ += frame_ms;
            }
            if (sound && elapsed_ms_ % 50 == 0)
                fake::FeedAudio(pcm.data(), static_cast<uint32_t>(pcm.size()));
            if (elapsed_ms_ % turn_ms == 0)
                recorder_->Turn();
        }
    }

    const testsupport::TempFolder temp_{"TovekRec"};
    const fs::path dir_{temp_.Path() / "record"}; // made by the recorder
    platform::FakeClock clock_{1000};
    ListenerLog log_;
    std::unique_ptr<Recorder> recorder_;
    uint64_t elapsed_ms_ = 0;
    double next_frame_ms_ = 0;
};

} // namespace

TEST_F(RecorderTest, WindowsHoldTheFrameRateTimes30WhateverTheArrivalRate) {
    struct Case {
        double frame_ms;
        int second_window;
    };
    // 10 per second: the last frame is written again; 30 per second: the
    // surplus is not written; one frame only: it is repeated throughout.
    for (const Case c : {Case{100, 480}, Case{1000.0 / 30, 480}, Case{1e9, 480}}) {
        fake::Reset();
        ASSERT_EQ(record::kRecording, Make().Start(Params(16)));
        Run(30000, c.frame_ms);
        const int first = fake::Snapshot().frames;
        Run(30000, c.frame_ms);
        EXPECT_EQ(c.second_window, fake::Snapshot().frames - first) << c.frame_ms;
        recorder_->Stop();
    }
}

TEST_F(RecorderTest, ATransformReplacesTheFramesAndOneItRefusesIsMadeUpLater) {
    // Every fourth frame cannot be made: nothing is written for it, and the
    // next window writes the missing ones, as for frames that came too slowly.
    const std::vector<uint8_t> made(777, 0x33);
    int calls = 0;
    record::RecordParams params = Params(16);
    params.transform = [&](const uint8_t* data, size_t length, const uint8_t** out,
                           size_t* out_length) {
        EXPECT_EQ(1000u, length);
        EXPECT_EQ(0x5A, data[0]);
        *out = made.data();
        *out_length = made.size();
        return ++calls % 4 != 0;
    };
    ASSERT_EQ(record::kRecording, Make().Start(params));
    Run(30000, 62.5);
    const fake::State first = fake::Snapshot();
    EXPECT_GE(calls, 478);
    EXPECT_EQ(calls - calls / 4, first.frames);
    EXPECT_EQ(first.video_bytes, 777u * static_cast<uint64_t>(first.frames))
        << "only the transform's bytes";
    Run(30000, 62.5);
    // The first window's deficit (16 fps x 30 s expected) is written in the second.
    EXPECT_EQ(calls - calls / 4 + (480 - first.frames), fake::Snapshot().frames);
    recorder_->Stop();
}

// A turn writes every frame due: turns two frame periods apart write as many
// frames as turns every 10 ms, not one a turn.
TEST_F(RecorderTest, TurnsFarApartWriteEveryDueFrame) {
    for (const uint32_t turn_ms : {10u, 120u}) {
        fake::Reset();
        ASSERT_EQ(record::kRecording, Make().Start(Params(16)));
        Run(20000, 62.5, 1000, false, turn_ms);
        EXPECT_GE(fake::Snapshot().frames, 310) << turn_ms;
        recorder_->Stop();
    }
}

TEST_F(RecorderTest, PacesAlikePastTheTickWraps) {
    // Frames written by each second: the same wherever the tick starts.
    std::vector<std::vector<int>> seconds;
    for (const uint32_t start : {1000u, 42949672u - 3000u, 0xFFFFFFFFu - 3000u}) {
        fake::Reset();
        clock_.Set(start);
        Make().Start(Params(16));
        seconds.emplace_back();
        for (int s = 0; s < 65; ++s) {
            Run(1000, 100);
            seconds.back().push_back(fake::Snapshot().frames);
        }
    }
    EXPECT_EQ(seconds[0], seconds[1]) << "past 11.9 hours";
    EXPECT_EQ(seconds[0], seconds[2]) << "past 49.7 days";
}

TEST_F(RecorderTest, AnHourOfSoundAndPicturesEndsWithinOneFramePeriod) {
    for (const int32_t fps : {16, 30}) {
        fake::Reset();
        Make().Start(Params(fps, 1, "PCM"));
        Run(3600 * 1000, 1000.0 / fps, 1000, true);
        recorder_->Stop();
        const fake::State s = fake::Snapshot();
        const double video_s = static_cast<double>(s.frames) / fps;
        const double audio_s = static_cast<double>(s.audio_bytes) / 88200;
        EXPECT_NEAR(3600.0, audio_s, 0.06);
        EXPECT_LE(std::abs(video_s - audio_s), 1.0 / fps) << fps << " fps";
        EXPECT_EQ(0, s.writes_after_close);
    }
}

TEST_F(RecorderTest, FreeSpaceDecidesTheStartAndStopsTheRecording) {
    g_free_bytes = uint64_t{50} << 20;
    EXPECT_EQ(record::kNoSpace, Make().Start(Params()));
    EXPECT_EQ(0, fake::Snapshot().files_opened);

    g_free_bytes = uint64_t{51} << 20;
    ASSERT_EQ(record::kRecording, recorder_->Start(Params()));
    Run(5000, 100, 100 * 1024);
    EXPECT_FALSE(recorder_->Recording());
    EXPECT_EQ(record::kIdle, recorder_->RecordingResult());
    const fake::State s = fake::Snapshot();
    EXPECT_EQ(1, s.files_closed);
    EXPECT_GE(s.video_bytes, uint64_t{1} << 20);
    EXPECT_LT(s.video_bytes, (uint64_t{1} << 20) + 100 * 1024);
    const auto messages = log_.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(record::kNoSpaceMessage, messages[0].text);
    EXPECT_EQ(MessageIcon::kExclamation, messages[0].icon);
    EXPECT_EQ(record::kDiskFullMessage, messages[1].text);
    EXPECT_EQ(MessageIcon::kWarning, messages[1].icon);
}

TEST_F(RecorderTest, FlushesEverySecondAndAFileThatCannotBeWrittenStopsTheRecording) {
    ASSERT_EQ(record::kRecording, Make().Start(Params()));
    Run(5000, 62.5);
    EXPECT_EQ(5, fake::Snapshot().flushes);
    fake::Set(&fake::State::fail_flush);
    Run(1000, 62.5);
    EXPECT_FALSE(recorder_->Recording());
    const fake::State s = fake::Snapshot();
    EXPECT_EQ(6, s.flushes);
    EXPECT_EQ(1, s.files_closed);
    EXPECT_EQ(0, s.writes_after_close);
    const auto messages = log_.Messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(record::kDiskFullMessage, messages[0].text);
    EXPECT_EQ(MessageIcon::kWarning, messages[0].icon);
}

TEST_F(RecorderTest, UnmeasuredSpaceChecksNothing) {
    g_free_known = false;
    ASSERT_EQ(record::kRecording, Make().Start(Params()));
    Run(5000, 100, 100 * 1024);
    EXPECT_TRUE(recorder_->Recording());
}

TEST_F(RecorderTest, TheEncoderNameChoosesTheAudioBitRate) {
    struct Case {
        int32_t audio_index;
        const char* encoder;
        int32_t bit_rate; // -1: no audio stream
    };
    for (const Case c : {Case{0, "PCM", -1}, Case{1, "PCM", 0}, Case{1, "Microsoft ADPCM", 0},
                         Case{1, "MPEG Layer-3", 56}, Case{1, "Vorbis", 56}}) {
        fake::Reset();
        ASSERT_EQ(record::kRecording, Make().Start(Params(16, c.audio_index, c.encoder)));
        Run(200, 100, 1000, true);
        recorder_->Stop();
        const fake::State s = fake::Snapshot();
        EXPECT_EQ(c.bit_rate, s.audio_bit_rate) << c.encoder;
        EXPECT_EQ(c.audio_index == 0 ? 0 : 1, s.audio_opened) << c.encoder;
        EXPECT_EQ(c.audio_index == 0 ? 0 : 4, s.audio_writes) << c.encoder;
        EXPECT_EQ(s.audio_opened, s.audio_closed);
        EXPECT_EQ(0, s.closed_with_callback);
    }
}

TEST_F(RecorderTest, EachFailureHasItsResultMessageAndLeavesNoFile) {
    struct Case {
        bool fake::State::*fault;
        int32_t result;
        const char* message; // null: none, recording without sound
    };
    const Case cases[] = {
        {&fake::State::fail_open, record::kCreateFailed, record::kCreateFailedMessage},
        {&fake::State::fail_vga, record::kCreateFailed, record::kCreateFailedMessage},
        {&fake::State::fail_connect, record::kIdle, record::kAudioConnectMessage},
        {&fake::State::fail_audio_param, record::kIdle, record::kSetAudioParamMessage},
        {&fake::State::fail_media_type, record::kRecording, nullptr},
    };
    for (const Case& c : cases) {
        fake::Reset();
        fake::Set(c.fault);
        ListenerLog log;
        record::RecorderOptions options;
        options.libraries = fake::Libraries(true);
        options.writer_thread = false;
        Recorder recorder(&log, std::move(options));
        EXPECT_EQ(c.result, recorder.Start(Params(16, 1)));
        EXPECT_EQ(c.result, recorder.RecordingResult());
        const auto messages = log.Messages();
        ASSERT_EQ(c.message ? 1u : 0u, messages.size());
        if (c.message) {
            EXPECT_EQ(c.message, messages[0].text);
        }
        const fake::State s = fake::Snapshot();
        EXPECT_EQ(s.audio_opened, s.audio_closed) << "audio left open";
        const bool kept = c.message == nullptr;
        EXPECT_EQ(kept, fs::exists(dir_ / "Videos") && !fs::is_empty(dir_ / "Videos"));
        recorder.Stop();
        fs::remove_all(dir_);
    }
}

TEST_F(RecorderTest, AnUnusableFolderFailsToCreateTheFile) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "Videos") << "a file where the folder should be";
    EXPECT_EQ(record::kCreateFailed, Make().Start(Params()));
    EXPECT_EQ(0, fake::Snapshot().files_opened);
}

TEST_F(RecorderTest, SoundFedDuringStopsAndSplitsNeverReachesAClosedFile) {
    Recorder& recorder = Make(false, 1);
    fake::Set(&fake::State::slow_sound_writes);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        const std::vector<uint8_t> pcm(4410, 1);
        while (!done.load()) {
            fake::FeedAudio(pcm.data(), static_cast<uint32_t>(pcm.size()));
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 20; ++round) {
        recorder.Start(Params(16, 1));
        Run(300, 62.5, 700 * 1024);
        // Stop while sound flows.
        const int writes = fake::Snapshot().audio_writes;
        const bool flowing =
            testsupport::WaitUntil([&] { return fake::Snapshot().audio_writes >= writes + 2; });
        EXPECT_TRUE(flowing) << "no sound written in round " << round;
        recorder.Stop();
        if (!flowing)
            break; // the sound thread still stops and joins
    }
    done = true;
    audio.join();
    const fake::State s = fake::Snapshot();
    EXPECT_GT(s.files_opened, 20);
    EXPECT_EQ(0, s.writes_after_close);
    EXPECT_EQ(0, s.closed_with_callback);
}

TEST_F(RecorderTest, TheWriterStopsTheRecordingItself) {
    g_free_bytes = uint64_t{51} << 20;
    Recorder& recorder = Make(false, record::kSplitMegabytes, true);
    ASSERT_EQ(record::kRecording, recorder.Start(Params()));
    const std::vector<uint8_t> frame(512 * 1024, 1);
    // Frames keep coming until the writer finds the disk full and stops.
    const auto feed = [&] {
        recorder.Append(frame.data(), frame.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !recorder.Recording(); },
                                       std::chrono::seconds(20), feed));
    // Recording() drops at once, so that no frame is taken any more; the
    // owner hears of it once the writer has closed the file.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return log_.StateChanges() == 2; }))
        << "started, stopped";
    EXPECT_FALSE(recorder.Stop()) << "the file was closed already";
    ASSERT_EQ(1u, log_.Messages().size());
    EXPECT_EQ(record::kDiskFullMessage, log_.Messages()[0].text);
    EXPECT_EQ(1, fake::Snapshot().files_closed);
}

TEST_F(RecorderTest, AStopInTheBackgroundLeavesTheDiskToTheWriterAndAStartWaitsForIt) {
    Recorder& recorder = Make(false, record::kSplitMegabytes, true);
    const std::vector<uint8_t> frame(1000, 1);
    ASSERT_EQ(record::kRecording, recorder.Start(Params(16, 1)));
    recorder.Append(frame.data(), frame.size());
    fake::HoldCloses(true);
    recorder.StopInBackground(); // returns while the file's close waits on the disk
    EXPECT_FALSE(recorder.Recording());
    EXPECT_TRUE(recorder.Finishing());
    ASSERT_TRUE(testsupport::WaitUntil([] { return fake::Snapshot().closes_waiting == 1; }));
    EXPECT_EQ(1, log_.StateChanges()) << "the owner hears once the file is whole";
    fake::HoldCloses(false);
    EXPECT_TRUE(
        testsupport::WaitUntil([&] { return !recorder.Finishing() && log_.StateChanges() == 2; }));

    // A new recording waits for the last file's close before it opens one.
    ASSERT_EQ(record::kRecording, recorder.Start(Params(16, 1)));
    fake::HoldCloses(true);
    recorder.StopInBackground();
    std::thread again([&] { recorder.Start(Params(16, 1)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(2, fake::Snapshot().files_opened);
    fake::HoldCloses(false);
    again.join();
    EXPECT_TRUE(recorder.Recording());
    EXPECT_TRUE(recorder.Stop());
    const fake::State s = fake::Snapshot();
    EXPECT_EQ(3, s.files_opened);
    EXPECT_EQ(3, s.files_closed);
    EXPECT_EQ(0, s.closed_with_callback) << "the sound stops before its file closes";
}

TEST_F(RecorderTest, StartingTwiceInOneSecondKeepsBothFiles) {
    Recorder& recorder = Make(true);
    recorder.Start(Params());
    recorder.Start(Params());
    recorder.Stop();
    const fake::State s = fake::Snapshot();
    ASSERT_EQ(2u, s.paths.size());
    EXPECT_EQ((dir_ / "Videos" / "2024.01.01-00H00M00s-2.avi").string(), s.paths[1]);
    EXPECT_TRUE(fs::exists(s.paths[0]));
    EXPECT_TRUE(fs::exists(s.paths[1]));
}

TEST(RecordingStatus, PaneTexts) {
    struct Case {
        int32_t result;
        bool recording;
        uint32_t elapsed_ms;
        const char* text;
    };
    const Case cases[] = {
        {record::kCreateFailed, false, 4999, "Video record failed! Failed to create video files!"},
        {record::kNoSpace, false, 100, "Video record failed! Not enough space on disk!"},
        {record::kNoSpace, false, 5000, ""},
        {record::kIdle, false, 100, ""},
        {record::kRecording, true, 3723000,
         "Recording... Time: 01:02:03; Size:12MB; Path:/v/a.avi"},
    };
    for (const Case& c : cases) {
        const uint32_t start = 0xFFFFF000u; // the tick wraps meanwhile
        EXPECT_EQ(c.text, record::PaneText(c.result, c.recording, start, start + c.elapsed_ms, 12,
                                           "/v/a.avi"));
    }
}
