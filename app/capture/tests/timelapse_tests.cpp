// Time-lapse runs fed with frames while the replaceable clock steps: which
// frames become pictures, the files and the video they make (read back by
// ffprobe), and the runs that cannot write.
#include "avi_test_util.h"
#include "capture/TimeLapse.h"
#include "platform/system.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(TimeLapseRule, PictureDue) {
    struct Case {
        bool first;
        uint32_t last, now, interval;
        bool due;
    };
    const Case cases[] = {
        {true, 0, 0, 5000, true},                       // the first frame of a run
        {false, 1000, 5999, 5000, false},               // one millisecond early
        {false, 1000, 6000, 5000, true},                // on time
        {false, 0xFFFFF000u, 0x00000387u, 5000, false}, // across the wrap, early
        {false, 0xFFFFF000u, 0x00000388u, 5000, true},  // across the wrap, on time
    };
    for (const Case& c : cases)
        EXPECT_EQ(timelapse::PictureDue(c.first, c.last, c.now, c.interval), c.due) << c.now;
}

class TimeLapseTest : public ::testing::Test {
protected:
    void SetUp() override {
        lapse_.SetLocalTimeFunction([] {
            std::tm t{};
            t.tm_year = 126;
            t.tm_mday = 9;
            return t; // one second for all: names must still not collide
        });
        lapse_.SetNotifier([this](const timelapse::Progress& p) { progress_.push_back(p); });
    }
    void TearDown() override {
        lapse_.Stop();
        platform::SetFreeBytesFunction(nullptr);
    }
    timelapse::Params Params(timelapse::Target target, uint32_t interval_s) const {
        timelapse::Params p;
        p.target = target;
        p.interval_s = interval_s;
        p.capture_path = platform::Utf8ToUtf16(root_ + "/");
        p.record_path = platform::Utf8ToUtf16(root_ + "/");
        p.width = 160;
        p.height = 120;
        return p;
    }
    // seconds of frames at 4 per second.
    void Feed(int seconds) {
        for (int i = 0; i < seconds * 4; ++i) {
            const std::vector<uint8_t>& jpeg = frames_[i % 2];
            lapse_.OnFrame(jpeg.data(), jpeg.size());
            clock_.Advance(250);
        }
    }

    platform::FakeClock clock_;
    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string root_{temp_.Path().string()};
    TimeLapse lapse_;
    std::vector<timelapse::Progress> progress_;
    const std::vector<uint8_t> frames_[2] = {avitest::MakeJpeg(160, 120, 1),
                                             avitest::MakeJpeg(160, 120, 2)};
};

TEST_F(TimeLapseTest, OnePictureEveryIntervalIntoTheImagesFolder) {
    ASSERT_EQ(lapse_.Start(Params(timelapse::Target::kImages, 5)), timelapse::kOk);
    Feed(20); // t = 0 .. 19.75 s: pictures at 0, 5, 10, 15
    lapse_.Stop();
    Feed(10); // stopped: nothing more
    EXPECT_EQ(lapse_.Count(), 4u);
    ASSERT_EQ(progress_.size(), 4u);
    EXPECT_EQ(progress_.back().count, 4u);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(root_ + "/Images"))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 4u);
    for (const fs::path& file : files) {
        EXPECT_EQ(file.extension(), ".jpg");
        // The camera's frame byte for byte (4 frames a second, every 20th: the first).
        EXPECT_EQ(avitest::ReadFile(file.string()), frames_[0]) << file;
    }
    EXPECT_TRUE(fs::exists(root_ + "/Images/2026.01.09-00H00M00s.jpg"));
    EXPECT_TRUE(fs::exists(root_ + "/Images/2026.01.09-00H00M00s-4.jpg"));
}

TEST_F(TimeLapseTest, AVideoAtTheChosenRateReadsBackWithEveryPicture) {
    timelapse::Params p = Params(timelapse::Target::kVideo, 2);
    p.rate = 12;
    ASSERT_EQ(lapse_.Start(p), timelapse::kOk);
    const std::string path = lapse_.Path();
    Feed(30); // pictures at 0, 2, ... 28 s
    lapse_.Stop();
    EXPECT_EQ(lapse_.Count(), 15u);
    const avitest::Probe probe = avitest::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.streams.size(), 1u); // no sound
    auto video = probe.Stream("video");
    EXPECT_EQ(video["codec_name"], "mjpeg");
    EXPECT_EQ(video["nb_read_packets"], "15");
    EXPECT_EQ(video["r_frame_rate"], "12/1");
    EXPECT_EQ(video["width"], "160");
}

TEST_F(TimeLapseTest, RunsThatCannotWriteAreRefusedOrEnd) {
    // A video needs the frame size.
    timelapse::Params sizeless = Params(timelapse::Target::kVideo, 1);
    sizeless.width = 0;
    EXPECT_EQ(lapse_.Start(sizeless), timelapse::kBadSize);
    EXPECT_FALSE(lapse_.Running());

    // Full at the start: refused, at the limits of the snapshot and the recorder.
    static uint64_t free_megabytes = 0;
    platform::SetFreeBytesFunction([](const std::string&, uint64_t* bytes) {
        *bytes = free_megabytes << 20;
        return true;
    });
    const struct {
        timelapse::Target target;
        uint64_t megabytes;
        int32_t result;
    } starts[] = {
        {timelapse::Target::kImages, 5, timelapse::kNoSpace},
        {timelapse::Target::kImages, 6, timelapse::kOk},
        {timelapse::Target::kVideo, 50, timelapse::kNoSpace},
        {timelapse::Target::kVideo, 51, timelapse::kOk},
    };
    for (const auto& s : starts) {
        free_megabytes = s.megabytes;
        EXPECT_EQ(lapse_.Start(Params(s.target, 1)), s.result) << s.megabytes;
        EXPECT_EQ(lapse_.Running(), s.result == timelapse::kOk);
    }

    // Full while running: the run ends and says why.
    progress_.clear();
    Feed(2);
    EXPECT_EQ(lapse_.Count(), 2u);
    free_megabytes = 50;
    Feed(2);
    EXPECT_FALSE(lapse_.Running());
    ASSERT_EQ(progress_.size(), 3u);
    EXPECT_EQ(progress_.back().result, timelapse::kNoSpace);
    const avitest::Probe probe = avitest::RunFfprobe(lapse_.Path());
    ASSERT_TRUE(probe.ok) << probe.output; // what was taken is a playable file
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], "2");

    // Pictures into a folder that cannot be made.
    free_megabytes = 100;
    timelapse::Params bad = Params(timelapse::Target::kImages, 1);
    bad.capture_path = u"/proc/no/such/folder/";
    EXPECT_EQ(lapse_.Start(bad), timelapse::kNoFolder);
}

} // namespace
