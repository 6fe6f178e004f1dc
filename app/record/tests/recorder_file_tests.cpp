// Whole recordings through the real AVI writer, read back by ffprobe and
// GStreamer's avidemux; and through the real audio library on the simulated
// microphone.
#include "avi_test_util.h"
#include "platform/system.h"
#include "record/Recorder.h"
#include "recorder_fakes.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// Audio bytes and video frames of one file, from its movi chunks.
struct Contents {
    int frames = 0;
    uint64_t audio_bytes = 0;
};

Contents Read(const std::string& path) {
    const auto bytes = avitest::ReadFile(path);
    std::string error;
    const avitest::Chunk root = avitest::ParseRiff(bytes, &error);
    EXPECT_EQ("", error) << path;
    Contents contents;
    const avitest::Chunk* movi = root.children.empty() ? nullptr : root.children[0].Find("movi");
    if (movi == nullptr)
        return contents;
    contents.frames = static_cast<int>(movi->FindAll("00dc").size());
    for (const avitest::Chunk* chunk : movi->FindAll("01wb"))
        contents.audio_bytes += chunk->size;
    return contents;
}

void ExpectPlayable(const std::string& path, int frames, bool sound) {
    const avitest::Probe probe = avitest::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ("mjpeg", probe.Stream("video")["codec_name"]) << path;
    EXPECT_EQ(std::to_string(frames), probe.Stream("video")["nb_read_packets"]) << path;
    EXPECT_EQ(sound ? "pcm_s16le" : "", probe.Stream("audio")["codec_name"]) << path;
    const avitest::Demux demux = avitest::RunAvidemux(path);
    EXPECT_TRUE(demux.ok) << demux.error;
    ASSERT_FALSE(demux.pads.empty());
    EXPECT_EQ(frames, demux.pads[0].buffers) << path;
}

class RecorderFileTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    record::RecordParams Params(int32_t audio_index, record::AudioNames audio) {
        record::RecordParams p;
        p.record_path = platform::Utf8ToUtf16(dir_);
        p.width = 320;
        p.height = 240;
        p.frame_rate = 16;
        p.audio_index = audio_index;
        p.audio = std::move(audio);
        return p;
    }
    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string dir_{temp_.Path().string()};
};

} // namespace

TEST_F(RecorderFileTest, SplitFilesPlayAndHoldEveryFrameAndEverySound) {
    platform::FakeClock clock(1000);
    ListenerLog log;
    record::RecorderOptions options;
    options.libraries = fake::Libraries(true);
    options.split_megabytes = 1;
    options.writer_thread = false;
    options.local_time = [&clock] { // the fake clock's seconds
        std::tm t{};
        t.tm_year = 124;
        t.tm_mday = 1;
        t.tm_sec = static_cast<int>(clock.Now() / 1000);
        return t;
    };
    Recorder recorder(&log, std::move(options));
    ASSERT_EQ(record::kRecording, recorder.Start(Params(1, {"Simulated Microphone", "PCM"})));
    const uint32_t start_tick = recorder.StartTick();
    std::vector<std::vector<uint8_t>> pictures;
    for (int seed = 0; seed < 4; ++seed)
        pictures.push_back(avitest::MakeJpeg(320, 240, seed));
    const std::vector<uint8_t> pcm(4410, 0x22);
    uint64_t fed = 0;
    for (int t = 10; t <= 5000; t += 10) {
        clock.Advance(10);
        if (t % 60 == 0) {
            const auto& picture = pictures[static_cast<size_t>(t / 60) % pictures.size()];
            recorder.Append(picture.data(), picture.size());
        }
        if (t % 50 == 0 && fake::FeedAudio(pcm.data(), static_cast<uint32_t>(pcm.size())))
            fed += pcm.size();
        recorder.Turn();
    }
    const fake::State s = fake::Snapshot();
    ASSERT_EQ(3u, s.paths.size());
    // Each file is named after the time it began; time and size run on.
    EXPECT_EQ(dir_ + "/Videos/2024.01.01-00H00M01s.avi", s.paths[0]);
    EXPECT_EQ(dir_ + "/Videos/2024.01.01-00H00M03s.avi", s.paths[1]);
    EXPECT_EQ(s.paths[2], recorder.VideoPath());
    EXPECT_EQ(start_tick, recorder.StartTick());
    EXPECT_EQ(s.video_bytes + s.audio_bytes, recorder.TotalBytes());
    EXPECT_EQ(1, s.audio_opened) << "one capture serves every file";
    EXPECT_EQ(3, s.audio_streams);
    recorder.Stop();
    Contents total;
    for (const std::string& path : s.paths) {
        const Contents contents = Read(path);
        ExpectPlayable(path, contents.frames, true);
        total.frames += contents.frames;
        total.audio_bytes += contents.audio_bytes;
    }
    EXPECT_EQ(s.frames, total.frames);
    EXPECT_EQ(fed, total.audio_bytes);
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(RecorderFileTest, RecordsTheSimulatedMicrophoneWithTheRealLibraries) {
    // The encoders available here, in the library's order: MP3, ADPCM, PCM.
    record::AudioNames names;
    for (int32_t position = 0; position < 3 && names.encoder != "PCM"; ++position)
        record::ResolveAudioNames(1, position, &names);
    EXPECT_EQ("Simulated Microphone", names.source);
    ASSERT_EQ("PCM", names.encoder);
    record::AudioNames none;
    EXPECT_FALSE(record::ResolveAudioNames(1, 3, &none));
    EXPECT_EQ("", none.encoder);
    EXPECT_FALSE(record::ResolveAudioNames(0, 2, &none));

    ListenerLog log;
    record::RecorderOptions options;
    options.libraries = fake::Libraries(true, true);
    {
        Recorder recorder(&log, std::move(options));
        ASSERT_EQ(record::kRecording, recorder.Start(Params(1, names)));
        const auto picture = avitest::MakeJpeg(320, 240, 1);
        for (int i = 0; i < 24; ++i) {
            recorder.Append(picture.data(), picture.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(62));
        }
        EXPECT_TRUE(recorder.Stop());
    }
    const fake::State s = fake::Snapshot();
    ASSERT_EQ(1u, s.paths.size());
    const Contents contents = Read(s.paths[0]);
    EXPECT_EQ(s.frames, contents.frames);
    EXPECT_GE(contents.frames, 16);
    EXPECT_GT(contents.audio_bytes, 88200u / 2) << "about 1.5 s of sound";
    EXPECT_EQ(s.audio_bytes, contents.audio_bytes);
    ExpectPlayable(s.paths[0], contents.frames, true);
}
