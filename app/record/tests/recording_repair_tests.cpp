// The start-up repair: which files of the videos folder it takes, what it
// says, and the files it leaves as they were.
#include "Strovi.h"
#include "avi_test_util.h"
#include "platform/system.h"
#include "record/RecordingRepair.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void Store(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

class RecordingRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        videos_ = fs::path(base_) / "Videos";
        fs::create_directories(videos_);
    }

    // A recording of frames frames as a kill leaves it after a flush: no
    // index, and a frame cut in half at its end. finished: closed instead.
    std::vector<uint8_t> Recording(int frames, bool finished) {
        const std::string path = base_ + "/scratch.avi";
        AviOutputFile* file = FileOpen(path.c_str());
        EXPECT_NE(file, nullptr);
        SetAVCVGAParam(file, 96, 64, 16, 24);
        const std::vector<uint8_t> jpeg = avitest::MakeJpeg(96, 64, 1);
        for (int i = 0; i < frames; ++i)
            WriteVGA(file, jpeg.data(), static_cast<uint32_t>(jpeg.size()), 1, 0, 0);
        std::vector<uint8_t> bytes;
        if (finished) {
            FileClose(file);
            bytes = avitest::ReadFile(path);
        } else {
            EXPECT_EQ(FileFlush(file), 0);
            bytes = avitest::ReadFile(path);
            bytes.insert(bytes.end(), bytes.end() - static_cast<long>(jpeg.size() / 2),
                         bytes.end()); // half a frame more
            FileClose(file);
        }
        fs::remove(path);
        return bytes;
    }
    std::string Repair() {
        return record::RepairUnfinishedRecordings(platform::Utf8ToUtf16(base_ + "/"));
    }

    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string base_{temp_.Path().string()};
    fs::path videos_;
};

TEST_F(RecordingRepairTest, RepairsOnlyUnfinishedRecordingsOfTheRecorder) {
    const std::vector<uint8_t> killed = Recording(5, false);
    const std::vector<uint8_t> finished = Recording(5, true);
    Store(videos_ / "2026.12.09-10H00M00s.avi", killed);
    Store(videos_ / "2026.12.09-10H05M00s.avi", finished);
    Store(videos_ / "holiday.avi", killed);                 // not named by the recorder
    Store(videos_ / "2026.12.09-10H06M00s.avi", {1, 2, 3}); // not an AVI file

    const std::string one = (videos_ / "2026.12.09-10H00M00s.avi").string();
    EXPECT_EQ(Repair(), "Repaired the unfinished recording " + one + ": 5 frames kept");
    const avitest::Probe probe = avitest::RunFfprobe(one);
    EXPECT_EQ(probe.Stream("video")["nb_frames"], "5") << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], "5") << probe.output;
    EXPECT_EQ(avitest::ReadFile((videos_ / "2026.12.09-10H05M00s.avi").string()), finished);
    EXPECT_EQ(avitest::ReadFile((videos_ / "holiday.avi").string()), killed);
    EXPECT_EQ(avitest::ReadFile((videos_ / "2026.12.09-10H06M00s.avi").string()),
              std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(Repair(), ""); // nothing left to do

    Store(videos_ / "2026.12.09-11H00M00s.avi", killed);
    Store(videos_ / "2026.12.09-12H00M00s.avi", killed);
    EXPECT_EQ(Repair(), "Repaired 2 unfinished recordings in " + videos_.string() + "/");
}

TEST_F(RecordingRepairTest, SaysWhichFileItCouldNotRepair) {
    // A name of the recorder's that cannot be opened for writing (root may
    // write any file, but no one writes a folder).
    const fs::path unwritable = videos_ / "2026.12.09-09H00M00s.avi";
    fs::create_directory(unwritable);
    Store(videos_ / "2026.12.09-10H00M00s.avi", Recording(3, false));
    EXPECT_EQ(Repair(), "Repaired the unfinished recording " +
                            (videos_ / "2026.12.09-10H00M00s.avi").string() +
                            ": 3 frames kept; Could not repair " + unwritable.string());
}

TEST_F(RecordingRepairTest, NoFolderNoRecordPathNoText) {
    EXPECT_EQ(record::RepairUnfinishedRecordings(u""), "");
    EXPECT_EQ(record::RepairUnfinishedRecordings(platform::Utf8ToUtf16(base_ + "/missing")), "");
    EXPECT_EQ(record::RecordingNames(base_ + "/missing"), std::vector<std::string>{});
}

} // namespace
