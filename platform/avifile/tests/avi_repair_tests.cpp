// Crash safety of the AVI writer: AVIFileFlush keeps a file readable while it
// is written, and AVIFileRepairA finishes a file cut off at any byte, checked
// against ffprobe.
#include <algorithm>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "avi_test_util.h"
#include "platform/avi_repair.h"
#include "platform/avifile.h"
#include "testsupport/temp_folder.h"

using namespace avitest;

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t count) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (count != 0) { // fwrite's buffer must not be null, even for no bytes
        ASSERT_EQ(std::fwrite(bytes.data(), 1, count, f), count);
    }
    std::fclose(f);
}

int ProbeInt(const Probe& probe, const char* field) {
    // A file without frames may show no video stream at all.
    const std::string v = probe.Stream("video")[field];
    return v.empty() || v == "N/A" ? 0 : std::stoi(v);
}

class AviRepairTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = folder_ + "/rec.avi"; }

    void Open(const std::string& path) {
        ASSERT_EQ(AVIFileOpenA(&file_, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
        const AVISTREAMINFOA vinfo = VideoInfo(16, 96, 64);
        ASSERT_EQ(AVIFileCreateStreamA(file_, &video_, &vinfo), AVIERR_OK);
        const BITMAPINFOHEADER bih = MjpegFormat(96, 64);
        ASSERT_EQ(AVIStreamSetFormat(video_, 0, &bih, sizeof(bih)), AVIERR_OK);
        const AVISTREAMINFOA ainfo = PcmInfo();
        ASSERT_EQ(AVIFileCreateStreamA(file_, &audio_, &ainfo), AVIERR_OK);
        const WAVEFORMATEX wfx = PcmFormat();
        ASSERT_EQ(AVIStreamSetFormat(audio_, 0, &wfx, sizeof(wfx)), AVIERR_OK);
    }
    // Frame i and a sound buffer after it; frames differ in size, some odd.
    // check: every write must succeed.
    void WriteFrames(int from, int to, bool check = true) {
        for (int i = from; i < to; ++i) {
            std::vector<uint8_t> jpeg = MakeJpeg(96, 64, i);
            jpeg.resize(jpeg.size() + static_cast<size_t>(i % 3)); // odd sizes too
            const std::vector<uint8_t> pcm(5512, static_cast<uint8_t>(i));
            const HRESULT v =
                AVIStreamWrite(video_, -1, 1, jpeg.data(), static_cast<LONG>(jpeg.size()),
                               AVIIF_KEYFRAME, nullptr, nullptr);
            const HRESULT a =
                AVIStreamWrite(audio_, -1, 1, pcm.data(), static_cast<LONG>(pcm.size()),
                               AVIIF_KEYFRAME, nullptr, nullptr);
            if (check) {
                ASSERT_EQ(v, AVIERR_OK);
                ASSERT_EQ(a, AVIERR_OK);
            }
        }
    }
    void Close() {
        AVIStreamRelease(audio_);
        AVIStreamRelease(video_);
        AVIFileRelease(file_);
        file_ = nullptr;
    }

    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string folder_ = temp_.Path().string();
    std::string path_;
    PAVIFILE file_ = nullptr;
    PAVISTREAM video_ = nullptr;
    PAVISTREAM audio_ = nullptr;
};

TEST_F(AviRepairTest, FlushedFileReadsWholeWhileWrittenAndFinishesAsWithoutFlush) {
    const std::string plain = folder_ + "/plain.avi";
    Open(plain);
    WriteFrames(0, 20);
    Close();

    Open(path_);
    WriteFrames(0, 10);
    ASSERT_EQ(AVIFileFlush(file_), AVIERR_OK);
    // What a kill now leaves: every frame, counted by the header too.
    const Probe now = RunFfprobe(path_);
    ASSERT_TRUE(now.ok) << now.output;
    EXPECT_EQ(ProbeInt(now, "nb_frames"), 10) << now.output;
    EXPECT_EQ(ProbeInt(now, "nb_read_packets"), 10) << now.output;
    WriteFrames(10, 20);
    Close();
    EXPECT_EQ(ReadFile(path_), ReadFile(plain));
    EXPECT_EQ(AVIFileFlush(file_), AVIERR_BADHANDLE);
}

// A recording killed at any byte: the header of the last flush, the chunks
// that reached the disk, the last one maybe half written.
TEST_F(AviRepairTest, CutAtAnyOffsetKeepsEveryWholeFrame) {
    Open(path_);
    WriteFrames(0, 6);
    ASSERT_EQ(AVIFileFlush(file_), AVIERR_OK);
    const std::vector<uint8_t> flushed = ReadFile(path_);
    WriteFrames(6, 14);
    Close();
    const std::vector<uint8_t> whole = ReadFile(path_);
    std::string error;
    const Chunk root = ParseRiff(whole, &error);
    ASSERT_EQ(error, "");
    const Chunk* movi = root.children[0].Find("movi");
    const Chunk* idx1 = root.children[0].Find("idx1");
    ASSERT_NE(movi, nullptr);
    ASSERT_NE(idx1, nullptr);
    const size_t header_bytes = movi->data + 4;
    std::vector<uint8_t> killed(flushed.begin(), flushed.begin() + header_bytes);
    killed.insert(killed.end(), whole.begin() + header_bytes, whole.begin() + idx1->offset);

    // Cuts at each chunk: at its start, in its header, in its data or just
    // before its pad byte, in turn; and at the end.
    std::vector<size_t> cuts = {killed.size()};
    for (size_t i = 0; i < movi->children.size(); ++i) {
        const Chunk& c = movi->children[i];
        const size_t at[4] = {c.offset, c.offset + 5, c.data + c.size / 2, c.data + c.size};
        cuts.push_back(at[i % 4]);
    }
    for (const size_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        int whole_frames = 0;
        for (const Chunk& c : movi->children) {
            whole_frames += c.id == "00dc" && c.data + c.size + c.size % 2 <= cut ? 1 : 0;
        }
        WriteBytes(path_, killed, cut);
        AviRepairReport report;
        ASSERT_EQ(AVIFileRepairA(path_.c_str(), &report), AVIERR_OK);
        EXPECT_EQ(report.repaired, 1);
        EXPECT_EQ(report.video_frames, static_cast<uint32_t>(whole_frames));
        const Probe probe = RunFfprobe(path_);
        ASSERT_TRUE(probe.ok) << probe.output;
        EXPECT_EQ(ProbeInt(probe, "nb_read_packets"), whole_frames) << probe.output;
        EXPECT_EQ(ProbeInt(probe, "nb_frames"), whole_frames) << probe.output;
        const std::vector<uint8_t> again = ReadFile(path_);
        ParseRiff(again, &error);
        EXPECT_EQ(error, "");
        ASSERT_EQ(AVIFileRepairA(path_.c_str(), &report), AVIERR_OK);
        EXPECT_EQ(report.repaired, 0); // finished now
        EXPECT_EQ(ReadFile(path_), again);
    }
    // The complete file, finished by the repair, has the writer's own chunks
    // and index; the header keeps its rates from the last flush.
    WriteBytes(path_, killed, killed.size());
    ASSERT_EQ(AVIFileRepairA(path_.c_str(), nullptr), AVIERR_OK);
    const std::vector<uint8_t> repaired = ReadFile(path_);
    ASSERT_EQ(repaired.size(), whole.size());
    EXPECT_TRUE(
        std::equal(whole.begin() + header_bytes, whole.end(), repaired.begin() + header_bytes));
}

TEST_F(AviRepairTest, GarbageAfterTheLastChunkIsCut) {
    Open(path_);
    WriteFrames(0, 4);
    ASSERT_EQ(AVIFileFlush(file_), AVIERR_OK);
    const std::vector<uint8_t> flushed = ReadFile(path_);
    Close();
    const struct {
        const char* name;
        std::vector<uint8_t> tail;
    } tails[] = {
        {"zeros after a power loss", std::vector<uint8_t>(4096, 0)},
        {"a chunk of an unknown stream", {'0', '7', 'd', 'c', 2, 0, 0, 0, 1, 2}},
        {"a size past the end", {'0', '0', 'd', 'c', 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}},
    };
    for (const auto& t : tails) {
        SCOPED_TRACE(t.name);
        std::vector<uint8_t> bytes = flushed;
        bytes.insert(bytes.end(), t.tail.begin(), t.tail.end());
        WriteBytes(path_, bytes, bytes.size());
        AviRepairReport report;
        ASSERT_EQ(AVIFileRepairA(path_.c_str(), &report), AVIERR_OK);
        EXPECT_EQ(report.video_frames, 4u);
        EXPECT_EQ(report.chunks_kept, 8u);
        EXPECT_EQ(report.bytes_cut, t.tail.size());
        const Probe probe = RunFfprobe(path_);
        EXPECT_EQ(ProbeInt(probe, "nb_read_packets"), 4) << probe.output;
    }
}

TEST_F(AviRepairTest, LeavesFilesItCannotRepairUntouched) {
    Open(path_);
    WriteFrames(0, 2);
    Close();
    const std::vector<uint8_t> finished = ReadFile(path_);
    std::vector<uint8_t> avix = finished; // OpenDML: a second RIFF follows
    const uint8_t riff[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', 'X'};
    avix.insert(avix.end(), riff, riff + sizeof(riff));
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        HRESULT result;
    } cases[] = {
        {"empty", {}, AVIERR_BADFORMAT},
        {"a WAVE file", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, AVIERR_BADFORMAT},
        {"header cut short", std::vector<uint8_t>(finished.begin(), finished.begin() + 100),
         AVIERR_BADFORMAT},
        {"finished", finished, AVIERR_OK},
        {"two RIFFs", avix, AVIERR_BADFORMAT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path_, c.bytes, c.bytes.size());
        AviRepairReport report;
        report.repaired = 7;
        EXPECT_EQ(AVIFileRepairA(path_.c_str(), &report), c.result);
        EXPECT_EQ(report.repaired, 0);
        EXPECT_EQ(ReadFile(path_), c.bytes);
    }
    EXPECT_EQ(AVIFileRepairA((folder_ + "/missing.avi").c_str(), nullptr), AVIERR_FILEOPEN);
    EXPECT_EQ(AVIFileRepairA(folder_.c_str(), nullptr), AVIERR_FILEOPEN);
}

TEST_F(AviRepairTest, FlushReportsAFullDiskAndTheFileStaysReadable) {
    Open(path_);
    WriteFrames(0, 1);
    sighandler_t old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    HRESULT hr = AVIERR_OK;
    for (int i = 1; i < 200 && hr == AVIERR_OK; ++i) {
        WriteFrames(i, i + 1, false);
        hr = AVIFileFlush(file_);
    }
    EXPECT_EQ(hr, AVIERR_FILEWRITE);
    Close();
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    const Probe probe = RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_GT(ProbeInt(probe, "nb_read_packets"), 2) << probe.output;
    EXPECT_EQ(ProbeInt(probe, "nb_read_packets"), ProbeInt(probe, "nb_frames")) << probe.output;
}

} // namespace
