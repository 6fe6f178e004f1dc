// Strovi's exports: stream set-up, the delay queue, audio formats read back by
// ffprobe and avidemux, and failures.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "Strovi.h"
#include "strovi_test_util.h"
#include "testsupport/temp_folder.h"

using namespace strovitest;
using avitest::U16;
using avitest::U32;

namespace {

class StroviTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = folder_ + "/2026.12.08-10H00M00s.avi"; }

    // The strl lists of the finished file.
    std::vector<avitest::Chunk> StreamLists(std::vector<uint8_t>* bytes) {
        *bytes = avitest::ReadFile(path_);
        std::string error;
        avitest::Chunk root = avitest::ParseRiff(*bytes, &error);
        EXPECT_EQ(error, "");
        std::vector<avitest::Chunk> strls;
        if (!root.children.empty() && root.children[0].Find("hdrl") != nullptr) {
            for (const avitest::Chunk* c : root.children[0].Find("hdrl")->FindAll("strl")) {
                strls.push_back(*c);
            }
        }
        return strls;
    }

    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string folder_ = temp_.Path().string();
    std::string path_;
};

// Runs a shell command; true when it succeeded.
bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Two seconds of a 22050 Hz stereo tone, encoded by ffmpeg.
std::string Encode(const std::string& folder, const std::string& codec_args,
                   const std::string& name) {
    const std::string out = folder + "/" + name;
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 -ac 2 " +
        codec_args + " '" + out + "'";
    return Run(command) ? out : std::string();
}

// Splits an MPEG-2 Layer III stream (22050 Hz) into its frames.
std::vector<std::vector<uint8_t>> Mp3Frames(const std::vector<uint8_t>& b) {
    static const int kKbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    std::vector<std::vector<uint8_t>> frames;
    size_t at = 0;
    while (at + 4 <= b.size()) {
        if (b[at] != 0xFF || (b[at + 1] & 0xFE) != 0xF2) { // MPEG-2, layer III
            ++at;
            continue;
        }
        const int kbps = kKbps[b[at + 2] >> 4];
        const int padding = (b[at + 2] >> 1) & 1;
        const size_t size = static_cast<size_t>(72 * kbps * 1000 / 22050 + padding);
        if (kbps == 0 || at + size > b.size()) {
            break;
        }
        frames.emplace_back(b.begin() + static_cast<long>(at),
                            b.begin() + static_cast<long>(at + size));
        at += size;
    }
    return frames;
}

TEST(StroviExports, TrivialAndNullHandleResults) {
    int x = 0;
    EXPECT_EQ(FileActive(&x), 1);
    EXPECT_EQ(FileActive(nullptr), 0);
    int64_t a = 5;
    int64_t b = 7;
    EXPECT_EQ(GetFileInfo(nullptr, &a, &b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(SetMp3Param(nullptr, 2, 22050, 0), 56);
    EXPECT_EQ(SetMp3Param(nullptr, 2, 22050, 128), 128);
    EXPECT_EQ(SetAudioParam(nullptr, nullptr, 0), 0);
    EXPECT_EQ(WriteVGA(nullptr, &x, 4, 1, 0, 0), -1);
    FileClose(nullptr);
    EXPECT_EQ(FileOpen(nullptr), nullptr);
    EXPECT_EQ(WriteDescription(nullptr, 0, 0, 0, 0), 0);
}

TEST_F(StroviTest, OpenFailsForMissingFolderAndOverlongPath) {
    EXPECT_EQ(FileOpen((folder_ + "/no/such/folder/x.avi").c_str()), nullptr);
    const std::string long_path = folder_ + "/" + std::string(260 - folder_.size(), 'x');
    ASSERT_EQ(long_path.size(), 261u);
    EXPECT_EQ(FileOpen(long_path.c_str()), nullptr);
}

TEST_F(StroviTest, VgaAndPcmRecordingReadsBack) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(SetAVCVGAParam(file, 64, 48, 30, 24), 0);
    EXPECT_EQ(SetAVCVGAParam(file, 64, 48, 30, 24), E_UNEXPECTED); // once only
    std::vector<uint8_t> format = PcmFormat();
    AM_MEDIA_TYPE mt = AudioType(&format);
    EXPECT_EQ(SetAudioParam(file, &mt, 0), 1);
    EXPECT_EQ(WriteDescription(file, 0, 0, 0, 0), 0);
    const std::vector<uint8_t> pcm(4410, 0); // 0.05 s; not whole 4-byte samples
    for (int i = 0; i < 60; ++i) {           // 2 s of both
        const std::vector<uint8_t> jpeg = avitest::MakeJpeg(64, 48, i);
        ASSERT_EQ(WriteVGA(file, jpeg.data(), static_cast<uint32_t>(jpeg.size()), 1, 0, 0), 0);
        if (i % 3 != 2) {
            ASSERT_EQ(WriteAudio0(file, pcm.data(), 4410, 1, 0, 0), 0);
        }
    }
    FileClose(file);
    EXPECT_EQ(WriteVGA(file, pcm.data(), 4, 1, 0, 0), -1); // closed: refused

    std::vector<uint8_t> b;
    const std::vector<avitest::Chunk> strls = StreamLists(&b);
    ASSERT_EQ(strls.size(), 2u);
    // VGA first (set up first), then audio.
    const size_t v = strls[0].Find("strh")->data;
    EXPECT_EQ(avitest::FourCC(b, v), "vids");
    EXPECT_EQ(avitest::FourCC(b, v + 4), "MJPG");
    EXPECT_EQ(U32(b, v + 20), 1u);
    EXPECT_EQ(U32(b, v + 24), 30u);
    EXPECT_EQ(U32(b, v + 32), 60u);
    EXPECT_EQ(U32(b, v + 40), 0xFFFFFFFFu);
    EXPECT_EQ(U16(b, v + 52), 64u);
    EXPECT_EQ(U16(b, v + 54), 48u);
    const size_t f = strls[0].Find("strf")->data;
    EXPECT_EQ(U32(b, f), 40u);
    EXPECT_EQ(U16(b, f + 12), 1u);  // biPlanes
    EXPECT_EQ(U16(b, f + 14), 24u); // biBitCount
    EXPECT_EQ(avitest::FourCC(b, f + 16), "MJPG");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[strls[0].Find("strn")->data])),
              "VGA Source");
    const size_t s = strls[1].Find("strh")->data;
    EXPECT_EQ(avitest::FourCC(b, s), "auds");
    EXPECT_EQ(U32(b, s + 4), 0u);
    EXPECT_EQ(U32(b, s + 20), 1u);     // dwScale
    EXPECT_EQ(U32(b, s + 24), 22050u); // dwRate: sample rate
    EXPECT_EQ(U32(b, s + 32), 44100u); // dwLength: 2 s of 4-byte samples
    EXPECT_EQ(U32(b, s + 44), 4u);     // dwSampleSize: nBlockAlign
    EXPECT_EQ(strls[1].Find("strf")->size, 18u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[strls[1].Find("strn")->data])),
              "Audio Source");

    const avitest::Probe probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    auto video = probe.Stream("video");
    EXPECT_EQ(video["codec_name"], "mjpeg");
    EXPECT_EQ(video["width"], "64");
    EXPECT_EQ(video["height"], "48");
    EXPECT_EQ(video["r_frame_rate"], "30/1");
    EXPECT_EQ(video["nb_frames"], "60");
    EXPECT_NEAR(std::stod(video["duration"]), 2.0, 1.0 / 30);
    auto audio = probe.Stream("audio");
    EXPECT_EQ(audio["codec_name"], "pcm_s16le");
    EXPECT_EQ(audio["sample_rate"], "22050");
    EXPECT_NEAR(std::stod(audio["end_time"]), 2.0, 0.05);

    const avitest::Demux demux = avitest::RunAvidemux(path_);
    ASSERT_TRUE(demux.ok) << demux.error;
    ASSERT_EQ(demux.pads.size(), 2u);
    for (const avitest::DemuxPad& pad : demux.pads) {
        EXPECT_NEAR(pad.end_ns / 1e9, 2.0, 0.05) << pad.caps;
        if (pad.caps == "image/jpeg") {
            EXPECT_EQ(pad.buffers, 60);
        }
    }
}

TEST_F(StroviTest, Mp3FromTheCaptureFormatHasTheRightTimeline) {
    const std::string mp3 =
        Encode(folder_, "-c:a libmp3lame -b:a 56k -write_xing 0 -f mp3", "tone.mp3");
    ASSERT_FALSE(mp3.empty());
    const auto frames = Mp3Frames(avitest::ReadFile(mp3));
    ASSERT_GT(frames.size(), 70u);
    // The capture library's format: nBlockAlign 1, one frame per buffer.
    MPEGLAYER3WAVEFORMAT wf{};
    wf.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 22050, 7000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
    wf.wID = MPEGLAYER3_ID_MPEG;
    wf.nBlockSize = 182;
    wf.nFramesPerBlock = 1;
    wf.nCodecDelay = 1105;
    const auto* p = reinterpret_cast<const uint8_t*>(&wf);
    std::vector<uint8_t> format(p, p + sizeof(wf));
    AM_MEDIA_TYPE mt = AudioType(&format);

    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 10, 24), 0);
    ASSERT_EQ(SetAudioParam(file, &mt, 56), 1);
    const std::vector<uint8_t> jpeg = avitest::MakeJpeg(64, 48, 1);
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(
            WriteAudio0(file, frames[i].data(), static_cast<uint32_t>(frames[i].size()), 1, 0, 0),
            0);
        if (i % 4 == 0) {
            WriteVGA(file, jpeg.data(), static_cast<uint32_t>(jpeg.size()), 1, 0, 0);
        }
    }
    FileClose(file);

    std::vector<uint8_t> b;
    const auto strls = StreamLists(&b);
    ASSERT_EQ(strls.size(), 2u);
    const size_t s = strls[1].Find("strh")->data;
    EXPECT_EQ(U32(b, s + 20), 576u);   // dwScale: samples per frame
    EXPECT_EQ(U32(b, s + 24), 22050u); // dwRate
    EXPECT_EQ(U32(b, s + 32), frames.size());
    EXPECT_EQ(U32(b, s + 44), 0u); // one frame per chunk
    const avitest::Chunk* strf = strls[1].Find("strf");
    ASSERT_EQ(strf->size, 30u);
    EXPECT_EQ(U16(b, strf->data + 12), 576u); // nBlockAlign: samples per frame
    EXPECT_EQ(U16(b, strf->data + 24), 182u); // the rest as given

    const double seconds = frames.size() * 576.0 / 22050;
    const avitest::Probe probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    auto audio = probe.Stream("audio");
    EXPECT_EQ(audio["codec_name"], "mp3");
    EXPECT_EQ(audio["sample_rate"], "22050");
    EXPECT_NEAR(std::stod(audio["duration"]), seconds, 0.03);
    EXPECT_NEAR(std::stod(audio["end_time"]), seconds, 0.03);
    const avitest::Demux demux = avitest::RunAvidemux(path_);
    ASSERT_TRUE(demux.ok) << demux.error;
    ASSERT_EQ(demux.pads.size(), 2u);
    const avitest::DemuxPad& pad =
        demux.pads[0].caps == "audio/mpeg" ? demux.pads[0] : demux.pads[1];
    EXPECT_EQ(pad.caps, "audio/mpeg");
    EXPECT_EQ(pad.buffers, static_cast<int>(frames.size()));
    EXPECT_NEAR(pad.end_ns / 1e9, seconds, 0.03);
}

TEST_F(StroviTest, AdpcmFromTheCaptureFormatHasTheRightTimeline) {
    const std::string wav = Encode(folder_, "-c:a adpcm_ms -block_size 1024 -f wav", "tone.wav");
    ASSERT_FALSE(wav.empty());
    const std::vector<uint8_t> w = avitest::ReadFile(wav);
    std::string error;
    const avitest::Chunk root = avitest::ParseRiff(w, &error);
    ASSERT_EQ(error, "");
    const avitest::Chunk* fmt = root.children.at(0).Find("fmt ");
    const avitest::Chunk* data = root.children.at(0).Find("data");
    ASSERT_TRUE(fmt != nullptr && data != nullptr);
    std::vector<uint8_t> format(w.begin() + static_cast<long>(fmt->data),
                                w.begin() + static_cast<long>(fmt->data + fmt->size));
    ASSERT_EQ(format.size(), 50u);
    ASSERT_EQ(U16(format, 18), 1012u); // samples per block
    AM_MEDIA_TYPE mt = AudioType(&format);
    const size_t blocks = data->size / 1024;

    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAudioParam(file, &mt, 0), 1);
    for (size_t i = 0; i < blocks; ++i) {
        ASSERT_EQ(WriteAudio0(file, &w[data->data + 1024 * i], 1024, 1, 0, 0), 0);
    }
    FileClose(file);

    std::vector<uint8_t> b;
    const auto strls = StreamLists(&b);
    ASSERT_EQ(strls.size(), 1u);
    const size_t s = strls[0].Find("strh")->data;
    EXPECT_EQ(U32(b, s + 20), 1012u);  // dwScale: samples per block
    EXPECT_EQ(U32(b, s + 24), 22050u); // dwRate
    EXPECT_EQ(U32(b, s + 32), blocks);
    EXPECT_EQ(U32(b, s + 44), 1024u); // dwSampleSize: one block

    const double seconds = blocks * 1012.0 / 22050;
    const avitest::Probe probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    auto audio = probe.Stream("audio");
    EXPECT_EQ(audio["codec_name"], "adpcm_ms");
    EXPECT_NEAR(std::stod(audio["end_time"]), seconds, 0.05);
    const avitest::Demux demux = avitest::RunAvidemux(path_);
    ASSERT_TRUE(demux.ok) << demux.error;
    ASSERT_EQ(demux.pads.size(), 1u);
    EXPECT_NEAR(demux.pads[0].end_ns / 1e9, seconds, 0.05);
}

TEST_F(StroviTest, SetMp3ParamWritesTheMp3Format) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(SetMp3Param(file, 2, 44100, 0), 0);
    EXPECT_EQ(SetMp3Param(file, 2, 44100, 0), E_UNEXPECTED);
    FileClose(file);
    std::vector<uint8_t> b;
    const auto strls = StreamLists(&b);
    ASSERT_EQ(strls.size(), 1u);
    const size_t s = strls[0].Find("strh")->data;
    EXPECT_EQ(U32(b, s + 20), 1152u); // MPEG-1: 1152 samples per frame
    EXPECT_EQ(U32(b, s + 24), 44100u);
    const avitest::Chunk* strf = strls[0].Find("strf");
    ASSERT_EQ(strf->size, 30u);
    const size_t f = strf->data;
    EXPECT_EQ(U16(b, f), 0x55u);
    EXPECT_EQ(U16(b, f + 2), 2u);
    EXPECT_EQ(U32(b, f + 4), 44100u);
    EXPECT_EQ(U32(b, f + 8), 7000u);  // 56 kbit/s
    EXPECT_EQ(U16(b, f + 12), 1152u); // nBlockAlign: samples per frame
    EXPECT_EQ(U16(b, f + 14), 16u);
    EXPECT_EQ(U16(b, f + 16), 12u);
    EXPECT_EQ(U16(b, f + 18), 1u);   // wID
    EXPECT_EQ(U32(b, f + 20), 0u);   // fdwFlags
    EXPECT_EQ(U16(b, f + 24), 182u); // nBlockSize: 144 x 56000 / 44100
    EXPECT_EQ(U16(b, f + 26), 1u);
    EXPECT_EQ(U16(b, f + 28), 1393u);
}

TEST_F(StroviTest, Video1FormatCarriesTheSizeInItsTail) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(SetAVCVideo1Param(file, 1280, 720, 30, 24), 0);
    EXPECT_EQ(SetAVCVideo0Param(file, 640, 480, 25, 24), 0);
    EXPECT_EQ(SetAVCVideo0Param(file, 640, 480, 0, 24), E_INVALIDARG);
    FileClose(file);
    std::vector<uint8_t> b;
    const auto strls = StreamLists(&b);
    ASSERT_EQ(strls.size(), 2u);
    const avitest::Chunk* tail = strls[0].Find("strf");
    ASSERT_EQ(tail->size, 58u);
    EXPECT_EQ(U32(b, tail->data), 58u);
    EXPECT_EQ(avitest::FourCC(b, tail->data + 16), "H264");
    EXPECT_EQ(b[tail->data + 40 + 13], 0x40);
    EXPECT_EQ(b[tail->data + 40 + 14], 0x22);
    EXPECT_EQ(b[tail->data + 40 + 15], 0xD0);
    EXPECT_EQ(b[tail->data + 40 + 17], 0x1F);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[strls[0].Find("strn")->data])),
              "Video Source1");
    const avitest::Chunk* v0 = strls[1].Find("strf");
    ASSERT_EQ(v0->size, 40u);
    EXPECT_EQ(avitest::FourCC(b, v0->data + 16), "H264");
    EXPECT_EQ(U32(b, strls[1].Find("strh")->data + 24), 25u);
}

TEST_F(StroviTest, QueueWritesInTimeOrderWithinItsWindow) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 30, 24), 0); // 150 nodes
    // Sample 1000 (stamp 100) fills the window with 149 later ones; the next
    // write, stamped earlier, finds the pool dry and pushes 1000 out first.
    ASSERT_EQ(WriteVGA(file, Numbered(1000).data(), 16, 1, 100, 0), 0);
    for (uint32_t i = 0; i < 149; ++i) {
        ASSERT_EQ(WriteVGA(file, Numbered(i).data(), 16, 1, 200 + i, 0), 0);
    }
    ASSERT_EQ(WriteVGA(file, Numbered(2000).data(), 16, 1, 50, 0), 0);
    ASSERT_EQ(WriteVGA(file, Numbered(3000).data(), 16, 1, 200, 0), 0); // after stamp-200 peer
    ASSERT_EQ(WriteVGA(file, Numbered(4000).data(), 0, 1, 300, 0), 0);  // empty sample
    FileClose(file);

    std::string error;
    const auto samples = ReadSamples(path_, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(samples.size(), 153u);
    EXPECT_EQ(NumberOf(samples[0]), 1000u);
    EXPECT_EQ(NumberOf(samples[1]), 2000u);
    EXPECT_EQ(NumberOf(samples[2]), 0u);
    EXPECT_EQ(NumberOf(samples[3]), 3000u);
    EXPECT_EQ(NumberOf(samples[4]), 1u);
    // Stamp 300 sorts after the sample stamped 200 + 100.
    for (size_t i = 5; i < 153; ++i) {
        if (i < 104) {
            ASSERT_EQ(NumberOf(samples[i]), i - 3) << i;
        } else if (i > 104) {
            ASSERT_EQ(NumberOf(samples[i]), i - 4) << i;
        }
    }
    EXPECT_EQ(samples[104].data.size(), 0u);
}

// Samples stamped 0 skip the queue while only 0s wait in it; the file keeps
// the queue's order all the same (stamp order, equal stamps as they came),
// and a large frame stamped 0 is on disk before any flush.
TEST_F(StroviTest, StampZeroSamplesSkipTheQueueAndKeepItsOrder) {
    const std::vector<std::vector<uint32_t>> cases = {
        {0, 0, 0},          {5, 0, 0},    {0, 5, 0, 0}, {0, 0, 3, 0, 2, 0},
        {7, 7, 0, 7, 0, 1}, {0, 9, 9, 0}, {3, 2, 1, 0},
    };
    for (const std::vector<uint32_t>& stamps : cases) {
        SCOPED_TRACE(::testing::PrintToString(stamps));
        AviOutputFile* file = FileOpen(path_.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 30, 24), 0);
        std::vector<std::pair<uint32_t, uint32_t>> expected; // stamp, number
        for (uint32_t i = 0; i < stamps.size(); ++i) {
            ASSERT_EQ(WriteVGA(file, Numbered(i).data(), 16, 1, stamps[i], 0), 0);
            expected.emplace_back(stamps[i], i);
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        FileClose(file);
        std::string error;
        const auto samples = ReadSamples(path_, &error);
        ASSERT_EQ(error, "");
        ASSERT_EQ(samples.size(), expected.size());
        for (size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(NumberOf(samples[i]), expected[i].second) << i;
    }

    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 30, 24), 0);
    const size_t frame_bytes = 400 * 1024; // beyond the file's own buffering
    ASSERT_EQ(WriteVGA(file, Numbered(1, frame_bytes).data(), frame_bytes, 1, 0, 0), 0);
    EXPECT_GT(std::filesystem::file_size(path_), frame_bytes);
    FileClose(file);
}

TEST_F(StroviTest, SamplesFromSeveralThreadsAreWrittenInStampOrder) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 10, 24), 0); // 50 nodes
    std::vector<uint8_t> format = PcmFormat();
    AM_MEDIA_TYPE mt = AudioType(&format);
    ASSERT_EQ(SetAudioParam(file, &mt, 0), 1); // 172 nodes
    // Each thread stamps its samples in its own time line; the queue holds
    // them all until close, which writes them merged by stamp.
    std::atomic<bool> go{false};
    std::thread video([&] {
        while (!go) {
        }
        for (uint32_t i = 0; i < 100; ++i) {
            WriteVGA(file, Numbered(i * 30).data(), 16, 1, i * 30, 0);
        }
    });
    std::thread audio([&] {
        while (!go) {
        }
        for (uint32_t i = 0; i < 100; ++i) {
            WriteAudio0(file, Numbered(i * 20 + 1).data(), 16, 1, i * 20 + 1, 0);
        }
    });
    go = true;
    video.join();
    audio.join();
    FileClose(file);
    std::string error;
    const auto samples = ReadSamples(path_, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(samples.size(), 200u);
    for (size_t i = 1; i < samples.size(); ++i) {
        ASSERT_LE(NumberOf(samples[i - 1]), NumberOf(samples[i])) << i;
    }
}

TEST_F(StroviTest, FullDiskLeavesAValidFileAndWritesStillReturn) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 1, 24), 0); // 5 nodes: writes soon reach the file
    const std::vector<uint8_t> frame = avitest::MakeJpeg(320, 240, 9);
    sighandler_t old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const size_t writes = 2 * (1 << 20) / frame.size();
    for (size_t i = 0; i < writes; ++i) {
        EXPECT_EQ(WriteVGA(file, frame.data(), static_cast<uint32_t>(frame.size()), 1, 0, 0), 0);
    }
    FileClose(file);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);

    std::string error;
    const auto samples = ReadSamples(path_, &error);
    EXPECT_EQ(error, "");
    EXPECT_GT(samples.size(), 0u);
    EXPECT_LT(samples.size(), writes);
    const avitest::Probe probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], std::to_string(samples.size()));
}

TEST_F(StroviTest, FlushPutsQueuedFramesInAReadableFileAndReportsAFullDisk) {
    AviOutputFile* file = FileOpen(path_.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 16, 24), 0); // 80 nodes: nothing leaves the queue
    const std::vector<uint8_t> frame = avitest::MakeJpeg(320, 240, 3);
    const auto write = [&](int count) {
        for (int i = 0; i < count; ++i) {
            WriteVGA(file, frame.data(), static_cast<uint32_t>(frame.size()), 1, 0, 0);
        }
    };
    write(20);
    ASSERT_EQ(FileFlush(file), 0);
    // What a crash now leaves: all 20 frames, the header counting them.
    avitest::Probe probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_frames"], "20") << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], "20") << probe.output;

    sighandler_t old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = avitest::ReadFile(path_).size() + 10 * frame.size();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    write(20);
    const int32_t full = FileFlush(file);
    FileClose(file);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(full, static_cast<int32_t>(0x8004406E)); // AVIERR_FILEWRITE
    EXPECT_EQ(FileFlush(file), static_cast<int32_t>(E_INVALIDARG));
    probe = avitest::RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    const int frames = std::stoi(probe.Stream("video")["nb_read_packets"]);
    EXPECT_GE(frames, 20);
    EXPECT_LT(frames, 40);
    EXPECT_EQ(probe.Stream("video")["nb_frames"], std::to_string(frames));
}

} // namespace
