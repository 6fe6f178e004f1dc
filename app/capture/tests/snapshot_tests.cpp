// Snapshot capture without a window: file names, the frame step, its
// hand-off to the rendered sample, the disk-space limit, a failed encoding.
#include "capture/Snapshot.h"
#include "platform/system.h"
#include "testsupport/temp_folder.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::atomic<uint64_t> g_free_bytes{0};
bool FakeFreeBytes(const std::string&, uint64_t* free_bytes) {
    *free_bytes = g_free_bytes.load();
    return true;
}
void SilentBeep(uint32_t, uint32_t) {}

const std::string kJpeg("\xFF\xD8\x01\x02\xFF\xD9", 6);
const std::string kLater("\xFF\xD8later\xFF\xD9", 9);
const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetFreeBytesFunction(&FakeFreeBytes);
        platform::SetBeepFunction(&SilentBeep);
        g_free_bytes = uint64_t{1} << 40;
        time_ = std::tm{}; // 2024-03-05 07:08:09
        time_.tm_year = 124;
        time_.tm_mon = 2;
        time_.tm_mday = 5;
        time_.tm_hour = 7;
        time_.tm_min = 8;
        time_.tm_sec = 9;
        snap_.SetLocalTimeFunction([this] { return time_; });
        snap_.SetNotifier([this](const snapshot::Outcome& o) {
            std::lock_guard<std::mutex> guard(mutex_);
            outcomes_.push_back(o);
        });
    }
    void TearDown() override {
        platform::SetFreeBytesFunction(nullptr);
        platform::SetBeepFunction(nullptr);
    }
    std::vector<snapshot::Outcome> Outcomes() {
        std::lock_guard<std::mutex> guard(mutex_);
        return outcomes_;
    }
    void Capture(const fs::path& capture, const std::string& frame, bool overlay = false) {
        snap_.Request(platform::Utf8ToUtf16(capture.string()));
        snap_.OnFrame(Bytes(frame), frame.size(), overlay);
    }
    long Files(const fs::path& folder) const {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }
    std::string Read(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path Picture() const { return dir_ / "new" / "Images" / "2024.03.05-07H08M09s.jpg"; }

    const testsupport::TempFolder temp_{"TovekSnap"};
    const fs::path dir_{temp_.Path()};
    std::tm time_{};
    Snapshot snap_;
    std::mutex mutex_; // guards outcomes_
    std::vector<snapshot::Outcome> outcomes_;
};

TEST_F(SnapshotTest, FrameIsWrittenByteForByteOncePerRequestAndSameSecondReplaces) {
    snap_.OnFrame(Bytes(kJpeg), kJpeg.size(), false); // not requested
    EXPECT_TRUE(Outcomes().empty());
    Capture(dir_ / "new", kJpeg); // the folders are created
    EXPECT_FALSE(snap_.Requested());
    ASSERT_EQ(Outcomes().size(), 1u);
    EXPECT_EQ(Outcomes()[0].result, snapshot::kSaved);
    EXPECT_EQ(Outcomes()[0].path, Picture().string());
    EXPECT_EQ(Read(Picture()), kJpeg);
    snap_.OnFrame(Bytes(kJpeg), kJpeg.size(), false); // served already
    EXPECT_EQ(Outcomes().size(), 1u);

    Capture(dir_ / "new/", kLater);
    EXPECT_EQ(Read(Picture()), kLater);
    EXPECT_EQ(Files(Picture().parent_path()), 1);
    time_.tm_sec = 10;
    Capture(dir_ / "new", kJpeg);
    EXPECT_EQ(Files(Picture().parent_path()), 2);
}

TEST_F(SnapshotTest, AnnotationsHandTheRequestToTheNextSample) {
    std::vector<uint8_t> written;
    snap_.SetImageWriter([&](const std::string& path, const uint8_t* px, int w, int h) {
        written.assign(px, px + static_cast<size_t>(w) * h * 4);
        return static_cast<bool>(std::ofstream(path) << "jpeg");
    });
    std::vector<uint8_t> pixels(3 * 2 * 4, 0x10);
    pixels[20] = 0xAB;
    snap_.OnSample(pixels.data(), 3, 2, 100); // nothing handed on
    Capture(dir_ / "new", kJpeg, true);
    EXPECT_TRUE(snap_.Requested());
    EXPECT_TRUE(snap_.SampleRequested());
    snap_.OnSample(pixels.data(), 3, 2, 0); // stopped: the request waits
    EXPECT_TRUE(snap_.Requested());
    snap_.OnFrame(Bytes(kJpeg), kJpeg.size(), true);
    snap_.OnSample(pixels.data(), 3, 2, 100);
    EXPECT_FALSE(snap_.Requested());
    ASSERT_EQ(Outcomes().size(), 1u);
    EXPECT_EQ(Outcomes()[0].result, snapshot::kSaved);
    EXPECT_EQ(written, pixels); // rows already top-down: not reordered
    EXPECT_TRUE(fs::exists(Picture()));

    // A failed encoding is no saved picture.
    snap_.SetImageWriter([](const std::string&, const uint8_t*, int, int) { return false; });
    Capture(dir_ / "new", kJpeg, true);
    snap_.OnSample(pixels.data(), 3, 2, 100);
    EXPECT_EQ(Outcomes().back().result, snapshot::kFailed);
    EXPECT_TRUE(Outcomes().back().create_failed);
}

TEST_F(SnapshotTest, ARequestMadeWhileAPictureIsWrittenWaitsForTheNextFrame) {
    // The user presses Capture again while the first picture is being saved.
    snap_.SetNotifier([this](const snapshot::Outcome& o) {
        std::lock_guard<std::mutex> guard(mutex_);
        outcomes_.push_back(o);
        if (outcomes_.size() == 1)
            snap_.Request(platform::Utf8ToUtf16((dir_ / "new").string()));
    });
    Capture(dir_ / "new", kJpeg);
    EXPECT_TRUE(snap_.Requested());
    time_.tm_sec = 10;
    snap_.OnFrame(Bytes(kLater), kLater.size(), false);
    ASSERT_EQ(Outcomes().size(), 2u);
    EXPECT_EQ(Read(Outcomes()[1].path), kLater);
    EXPECT_FALSE(snap_.Requested());
}

TEST_F(SnapshotTest, FiveMegabytesFreeRefusesSixSaves) {
    g_free_bytes = uint64_t{5} << 20;
    Capture(dir_ / "new", kJpeg);
    EXPECT_EQ(Outcomes().back().result, snapshot::kNoSpace);
    EXPECT_FALSE(Outcomes().back().create_failed);
    EXPECT_FALSE(snap_.Requested());
    EXPECT_FALSE(fs::exists(Picture()));
    g_free_bytes = uint64_t{6} << 20;
    Capture(dir_ / "new", kJpeg);
    EXPECT_EQ(Outcomes().back().result, snapshot::kSaved);
}

TEST_F(SnapshotTest, RequestsFromAnotherThreadAreServedOnceEach) {
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        while (!stop.load())
            snap_.OnFrame(Bytes(kJpeg), kJpeg.size(), false);
    });
    for (size_t i = 1; i <= 20; ++i) {
        time_.tm_sec = static_cast<int>(i); // read by the stream thread only once requested
        snap_.Request(platform::Utf8ToUtf16(dir_.string()));
        // On failure the stream thread still stops and joins; the count
        // below then fails.
        if (!testsupport::WaitUntil([&] { return Outcomes().size() >= i; }))
            break;
    }
    stop = true;
    stream.join();
    EXPECT_EQ(Outcomes().size(), 20u);
    EXPECT_EQ(Files(dir_ / "Images"), 20);
}

} // namespace
