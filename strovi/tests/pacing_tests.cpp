// Pacing of the H.264 streams against the audio clock, seen in the file.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "Strovi.h"
#include "strovi_test_util.h"
#include "testsupport/temp_folder.h"

using namespace strovitest;

namespace {

class PacingTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = folder_ + "/paced.avi";
        file_ = FileOpen(path_.c_str());
        ASSERT_NE(file_, nullptr);
    }
    // Frame numbers written to the file's chunks with this id, in order.
    std::vector<uint32_t> Written(const std::string& id, std::vector<uint32_t>* flags = nullptr) {
        FileClose(file_);
        std::string error;
        const std::vector<Sample> samples = ReadSamples(path_, &error);
        EXPECT_EQ(error, "");
        std::vector<uint32_t> numbers;
        for (const Sample& s : samples) {
            if (s.id == id) {
                numbers.push_back(NumberOf(s));
                if (flags != nullptr) {
                    flags->push_back(s.flags);
                }
            }
        }
        return numbers;
    }

    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string folder_ = temp_.Path().string();
    std::string path_;
    AviOutputFile* file_ = nullptr;
};

TEST_F(PacingTest, Video0AheadOfAudioDropsTheTailOfEachGroup) {
    ASSERT_EQ(SetAVCVideo0Param(file_, 640, 480, 30, 24), 0);
    for (uint32_t i = 0; i < 120; ++i) {
        ASSERT_EQ(WriteVideo0(file_, Numbered(i).data(), 16, i % 10 == 0, i, 0), 0);
    }
    std::vector<uint32_t> flags;
    const std::vector<uint32_t> written = Written("00dc", &flags);
    // Indices 0 to 50 are written whatever the clocks; from the key frame at
    // 60 on, each group keeps its key frame and the next 5 (G = 9, D = 4),
    // and every other group is written whole (its key frame ends drop mode).
    std::vector<uint32_t> expected;
    for (uint32_t i = 0; i < 120; ++i) {
        const uint32_t group = i / 10;
        const bool dropping = i >= 60 && group % 2 == 0;
        if (!dropping || i % 10 <= 5) {
            expected.push_back(i);
        }
    }
    EXPECT_EQ(written, expected);
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(flags[i], written[i] % 10 == 0 ? 0x10u : 0u) << written[i];
    }
}

TEST_F(PacingTest, AllKeyFramesNeverDrop) {
    ASSERT_EQ(SetAVCVideo1Param(file_, 1280, 720, 30, 24), 0);
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_EQ(WriteVideo1(file_, Numbered(i).data(), 16, 1, i, 0), 0);
    }
    const std::vector<uint32_t> written = Written("00dc");
    ASSERT_EQ(written.size(), 200u);
    EXPECT_EQ(written.back(), 199u);
}

TEST_F(PacingTest, Video0BehindAudioRepeatsAKeyFrame) {
    // Stream 0 is the audio (MP3, 576 samples per 22050 Hz frame), stream 1
    // Video0 at 10 frames per second, all key frames.
    ASSERT_EQ(SetMp3Param(file_, 2, 22050, 56), 0);
    ASSERT_EQ(SetAVCVideo0Param(file_, 320, 240, 10, 24), 0);
    const std::vector<uint8_t> mp3(182, 0xFF);
    for (int i = 0; i < 400; ++i) { // 10.45 s of audio, stamped first
        ASSERT_EQ(WriteAudio0(file_, mp3.data(), 182, 1, 0, 0), 0);
    }
    for (uint32_t i = 0; i < 60; ++i) {
        ASSERT_EQ(WriteVideo0(file_, Numbered(i).data(), 16, 1, 1 + i, 0), 0);
    }
    const std::vector<uint32_t> written = Written("01dc");
    // Frames 0 to 50 once (video clock 5100 ms); frame 51 is repeated
    // trunc((10449 - 5100) / 100) = 53 times; the rest once each.
    ASSERT_EQ(written.size(), 51u + 53u + 8u);
    for (uint32_t i = 0; i <= 50; ++i) {
        EXPECT_EQ(written[i], i);
    }
    for (size_t i = 51; i < 51 + 53; ++i) {
        EXPECT_EQ(written[i], 51u);
    }
    EXPECT_EQ(written[51 + 53], 52u);
    EXPECT_EQ(written.back(), 59u);
}

TEST_F(PacingTest, VgaAndAudioAreNotPaced) {
    ASSERT_EQ(SetAVCVGAParam(file_, 320, 240, 30, 24), 0);
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_EQ(WriteVGA(file_, Numbered(i).data(), 16, i % 10 == 0, i, 0), 0);
    }
    std::vector<uint32_t> flags;
    const std::vector<uint32_t> written = Written("00dc", &flags);
    ASSERT_EQ(written.size(), 200u);
    EXPECT_EQ(flags[10], 0x10u);
    EXPECT_EQ(flags[11], 0u);
}

} // namespace
