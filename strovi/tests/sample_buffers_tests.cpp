// The sample buffers of the delay queue: reuse per stream, growth with
// headroom, and samples of several streams and sizes written byte-exact in
// time order while their buffers pass from sample to sample.
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "Strovi.h"
#include "sample_buffers.h"
#include "strovi_test_util.h"
#include "testsupport/temp_folder.h"

using strovi::BufferCapacityFor;
using strovi::SampleBuffer;
using strovi::SampleBufferPool;

namespace {

TEST(SampleBuffers, CapacityGrowsByHalfInWholePages) {
    const uint32_t cases[][2] = {
        {0, 0},
        {1, 4096},
        {2731, 4096},
        {2732, 8192},
        {200000, 303104},
        {12999172, 19501056},
        {0xAAAAAAABu, 0xAAAAAAABu}, // no room: exact
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BufferCapacityFor(c[0]), c[1]) << c[0];
    }
}

TEST(SampleBuffers, StreamsKeepTheirOwnBuffersAndGrowThemWithHeadroom) {
    SampleBufferPool pool;
    SampleBuffer video;
    ASSERT_TRUE(pool.Take(strovi::kVga, 200000, &video));
    const uint8_t* video_bytes = video.bytes.get();
    pool.Give(strovi::kVga, &video);
    EXPECT_EQ(video.bytes, nullptr);

    // Audio does not take the large video buffer, and the next frame, a
    // little larger, reuses it without growing.
    SampleBuffer audio;
    ASSERT_TRUE(pool.Take(strovi::kAudio, 2940, &audio));
    EXPECT_NE(audio.bytes.get(), video_bytes);
    EXPECT_EQ(audio.capacity, 8192u);
    ASSERT_TRUE(pool.Take(strovi::kVga, 250000, &video));
    EXPECT_EQ(video.bytes.get(), video_bytes);

    // One too small grows, with headroom; a zero-length sample takes nothing.
    pool.Give(strovi::kVga, &video);
    ASSERT_TRUE(pool.Take(strovi::kVga, 400000, &video));
    EXPECT_EQ(video.capacity, 602112u);
    pool.Give(strovi::kAudio, &audio);
    ASSERT_TRUE(pool.Take(strovi::kAudio, 0, &audio));
    EXPECT_EQ(audio.bytes, nullptr);
    EXPECT_EQ(pool.Spares(strovi::kAudio), 1u);
}

// A chunk as the file should hold it.
struct Expected {
    std::string id;
    std::vector<uint8_t> data;
    uint32_t stamp = 0;
};

// Samples of three streams in random order, random sizes (zero-length ones
// among them) and stamps that mostly rise but now and then fall back within
// the queue's window: the file holds each one byte for byte, in the order of
// a time-ordered queue of the pool's size that writes its oldest sample when
// it is full.
TEST(SampleBuffers, MixedStreamsAndSizesAreWrittenByteExactInTimeOrder) {
    const testsupport::TempFolder temp("tovek-avi");
    const std::string folder = temp.Path().string();
    const std::string path = folder + "/mixed.avi";
    AviOutputFile* file = FileOpen(path.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(SetAVCVGAParam(file, 64, 48, 2, 24), 0);    // 10 nodes, chunks 00dc
    ASSERT_EQ(SetAVCVideo0Param(file, 64, 48, 1, 24), 0); // 5 nodes, 01dc
    std::vector<uint8_t> format = strovitest::PcmFormat();
    AM_MEDIA_TYPE mt = strovitest::AudioType(&format);
    ASSERT_EQ(SetAudioParam(file, &mt, 0), 1); // 172 nodes, 02wb
    const size_t window = 10 + 5 + 172;

    std::mt19937 random(7);
    std::vector<Expected> pending; // the model queue, oldest first
    std::vector<Expected> expected;
    uint32_t clock = 1000;
    for (int i = 0; i < 3000; ++i) {
        Expected s;
        const uint32_t kind = random() % 3;
        // Sizes from empty to 48 kB: buffers grow, shrink back into use, and
        // pass between samples of very different sizes.
        const uint32_t length = random() % 8 == 0 ? 0 : random() % (kind == 2 ? 2000 : 48000);
        s.data.resize(length);
        for (uint8_t& b : s.data) {
            b = static_cast<uint8_t>(random());
        }
        clock += random() % 20;
        s.stamp = random() % 16 == 0 ? clock - random() % 500 : clock;
        const uint8_t* data = s.data.empty() ? nullptr : s.data.data();
        if (kind == 0) {
            s.id = "00dc";
            ASSERT_EQ(WriteVGA(file, data, length, 1, s.stamp, 0), 0);
        } else if (kind == 1) {
            s.id = "01dc"; // every frame a key frame: never dropped or repeated
            ASSERT_EQ(WriteVideo0(file, data, length, 1, s.stamp, 0), 0);
        } else {
            s.id = "02wb";
            ASSERT_EQ(WriteAudio0(file, data, length, 1, s.stamp, 0), 0);
        }
        if (pending.size() == window) {
            expected.push_back(std::move(pending.front()));
            pending.erase(pending.begin());
        }
        const auto at = std::upper_bound(
            pending.begin(), pending.end(), s.stamp,
            [](uint32_t stamp, const Expected& queued) { return stamp < queued.stamp; });
        pending.insert(at, std::move(s));
    }
    FileClose(file);
    expected.insert(expected.end(), pending.begin(), pending.end());

    std::string error;
    const std::vector<strovitest::Sample> samples = strovitest::ReadSamples(path, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i].id, expected[i].id) << "chunk " << i;
        ASSERT_EQ(samples[i].data, expected[i].data) << "chunk " << i;
    }
}

} // namespace
