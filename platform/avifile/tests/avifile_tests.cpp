// The AVI writer, checked byte by byte and read back by ffprobe and avidemux.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "avi_test_util.h"
#include "platform/avifile.h"
#include "testsupport/temp_folder.h"

using namespace avitest;

namespace {

class AviFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        AVIFileInit();
        path_ = folder_ + "/test.avi";
    }
    void TearDown() override { AVIFileExit(); }
    // Opens path_ with one MJPEG stream and, when wanted, one PCM stream.
    void Open(int fps, int width, int height, bool audio) {
        ASSERT_EQ(AVIFileOpenA(&file_, path_.c_str(), OF_CREATE | OF_WRITE | OF_SHARE_DENY_WRITE,
                               nullptr),
                  AVIERR_OK);
        const AVISTREAMINFOA vinfo = VideoInfo(fps, width, height);
        ASSERT_EQ(AVIFileCreateStreamA(file_, &video_, &vinfo), AVIERR_OK);
        const BITMAPINFOHEADER bih = MjpegFormat(width, height);
        ASSERT_EQ(AVIStreamSetFormat(video_, 0, &bih, sizeof(bih)), AVIERR_OK);
        if (audio) {
            const AVISTREAMINFOA ainfo = PcmInfo();
            ASSERT_EQ(AVIFileCreateStreamA(file_, &audio_, &ainfo), AVIERR_OK);
            const WAVEFORMATEX wfx = PcmFormat();
            ASSERT_EQ(AVIStreamSetFormat(audio_, 0, &wfx, sizeof(wfx)), AVIERR_OK);
        }
    }
    HRESULT Write(PAVISTREAM stream, LONG index, const std::vector<uint8_t>& data, DWORD flags) {
        LONG samples = -1;
        LONG bytes = -1;
        const HRESULT hr = AVIStreamWrite(stream, index, 1, data.data(),
                                          static_cast<LONG>(data.size()), flags, &samples, &bytes);
        if (hr == AVIERR_OK) {
            EXPECT_EQ(bytes, static_cast<LONG>(data.size()));
        }
        return hr;
    }
    void Close() {
        if (audio_ != nullptr) {
            AVIStreamRelease(audio_);
            audio_ = nullptr;
        }
        if (video_ != nullptr) {
            AVIStreamRelease(video_);
            video_ = nullptr;
        }
        if (file_ != nullptr) {
            EXPECT_EQ(AVIFileRelease(file_), 0u);
            file_ = nullptr;
        }
    }

    const testsupport::TempFolder temp_{"tovek-avi"};
    const std::string folder_ = temp_.Path().string();
    std::string path_;
    PAVIFILE file_ = nullptr;
    PAVISTREAM video_ = nullptr;
    PAVISTREAM audio_ = nullptr;
};

TEST_F(AviFileTest, SmallFileHasExactHeadersChunksAndIndex) {
    Open(30, 320, 240, true);
    const std::vector<uint8_t> f0(101, 0xA0); // odd: padded
    const std::vector<uint8_t> f1(64, 0xA1);
    const std::vector<uint8_t> pcm(400, 0x11);
    ASSERT_EQ(Write(video_, 0, f0, AVIIF_KEYFRAME), AVIERR_OK);
    LONG samples = 0;
    ASSERT_EQ(AVIStreamWrite(audio_, 0, 1, pcm.data(), 400, AVIIF_KEYFRAME, &samples, nullptr),
              AVIERR_OK);
    EXPECT_EQ(samples, 100); // 4-byte samples
    ASSERT_EQ(Write(video_, 1, f1, 0), AVIERR_OK);
    Close();

    const std::vector<uint8_t> b = ReadFile(path_);
    std::string error;
    const Chunk root = ParseRiff(b, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(root.children.size(), 1u);
    const Chunk& riff = root.children[0];
    EXPECT_EQ(riff.id, "RIFF");
    EXPECT_EQ(riff.list_type, "AVI ");
    EXPECT_EQ(riff.size, b.size() - 8);

    const Chunk* hdrl = riff.Find("hdrl");
    ASSERT_NE(hdrl, nullptr);
    const Chunk* avih = hdrl->Find("avih");
    ASSERT_NE(avih, nullptr);
    ASSERT_EQ(avih->size, 56u);
    const size_t a = avih->data;
    EXPECT_EQ(U32(b, a + 0), 33333u);         // dwMicroSecPerFrame
    EXPECT_EQ(U32(b, a + 12), AVIF_HASINDEX); // dwFlags
    EXPECT_EQ(U32(b, a + 16), 2u);            // dwTotalFrames
    EXPECT_EQ(U32(b, a + 24), 2u);            // dwStreams
    EXPECT_EQ(U32(b, a + 28), 400u + 8);      // dwSuggestedBufferSize
    EXPECT_EQ(U32(b, a + 32), 320u);
    EXPECT_EQ(U32(b, a + 36), 240u);

    const auto strls = hdrl->FindAll("strl");
    ASSERT_EQ(strls.size(), 2u);
    const Chunk* vstrh = strls[0]->Find("strh");
    ASSERT_NE(vstrh, nullptr);
    ASSERT_EQ(vstrh->size, 56u);
    const size_t v = vstrh->data;
    EXPECT_EQ(FourCC(b, v), "vids");
    EXPECT_EQ(FourCC(b, v + 4), "MJPG");
    EXPECT_EQ(U32(b, v + 20), 1u);          // dwScale
    EXPECT_EQ(U32(b, v + 24), 30u);         // dwRate
    EXPECT_EQ(U32(b, v + 32), 2u);          // dwLength
    EXPECT_EQ(U32(b, v + 36), 101u);        // dwSuggestedBufferSize
    EXPECT_EQ(U32(b, v + 40), 0xFFFFFFFFu); // dwQuality
    EXPECT_EQ(U32(b, v + 44), 0u);          // dwSampleSize
    EXPECT_EQ(U16(b, v + 52), 320u);        // rcFrame.right
    EXPECT_EQ(U16(b, v + 54), 240u);        // rcFrame.bottom
    const Chunk* vstrf = strls[0]->Find("strf");
    ASSERT_NE(vstrf, nullptr);
    const BITMAPINFOHEADER bih = MjpegFormat(320, 240);
    ASSERT_EQ(vstrf->size, 40u);
    EXPECT_EQ(std::memcmp(&b[vstrf->data], &bih, 40), 0);
    const Chunk* vstrn = strls[0]->Find("strn");
    ASSERT_NE(vstrn, nullptr);
    EXPECT_EQ(vstrn->size, 11u); // "VGA Source" and its terminator, padded
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[vstrn->data])), "VGA Source");

    const size_t s = strls[1]->Find("strh")->data;
    EXPECT_EQ(FourCC(b, s), "auds");
    EXPECT_EQ(U32(b, s + 20), 1u);     // dwScale
    EXPECT_EQ(U32(b, s + 24), 22050u); // dwRate
    EXPECT_EQ(U32(b, s + 32), 100u);   // dwLength in samples
    EXPECT_EQ(U32(b, s + 44), 4u);     // dwSampleSize
    const Chunk* astrf = strls[1]->Find("strf");
    const WAVEFORMATEX wfx = PcmFormat();
    ASSERT_EQ(astrf->size, 18u);
    EXPECT_EQ(std::memcmp(&b[astrf->data], &wfx, 18), 0);

    const Chunk* movi = riff.Find("movi");
    ASSERT_NE(movi, nullptr);
    ASSERT_EQ(movi->children.size(), 3u);
    EXPECT_EQ(movi->children[0].id, "00dc");
    EXPECT_EQ(movi->children[0].size, 101u);
    EXPECT_EQ(b[movi->children[0].data + 101], 0); // pad byte
    EXPECT_EQ(movi->children[1].id, "01wb");
    EXPECT_EQ(movi->children[1].offset, movi->children[0].data + 102);
    EXPECT_EQ(movi->children[2].id, "00dc");
    EXPECT_EQ(b[movi->children[2].data], 0xA1);

    const Chunk* idx1 = riff.Find("idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->size, 3u * 16);
    const struct {
        const char* id;
        uint32_t flags;
        uint32_t size;
    } expected[3] = {{"00dc", AVIIF_KEYFRAME, 101}, {"01wb", AVIIF_KEYFRAME, 400}, {"00dc", 0, 64}};
    for (int i = 0; i < 3; ++i) {
        const size_t e = idx1->data + 16 * i;
        EXPECT_EQ(FourCC(b, e), expected[i].id);
        EXPECT_EQ(U32(b, e + 4), expected[i].flags);
        // Offsets count from the 'movi' list type, pointing at the chunk.
        EXPECT_EQ(U32(b, e + 8), movi->children[i].offset - movi->data);
        EXPECT_EQ(U32(b, e + 12), expected[i].size);
    }
    EXPECT_EQ(U32(b, idx1->data + 8), 4u);
}

// Pictures large enough to be written straight from the caller's memory,
// between small sound chunks that wait in the write buffer: every chunk
// lands whole, padded and in the order written, and a picture written
// straight is on disk with its pad at once (a program killed then leaves a
// whole chunk, which the repair keeps).
TEST_F(AviFileTest, LargeAndSmallChunksKeepTheirOrderBytesAndPads) {
    Open(30, 320, 240, true);
    std::vector<std::vector<uint8_t>> written;
    for (const size_t size : {40001, 100, 300000, 32767, 32768, 7, 262143}) {
        const auto fill = static_cast<uint8_t>(written.size() + 1);
        written.emplace_back(size, fill);
        ASSERT_EQ(Write(video_, -1, written.back(), AVIIF_KEYFRAME), AVIERR_OK);
        if (size >= 32768 && size % 2 == 1) {
            const std::vector<uint8_t> b = ReadFile(path_); // open, as a crash leaves it
            EXPECT_EQ(b.size() % 2, 0u) << size;
            EXPECT_EQ(b[b.size() - 2], fill) << size;
        }
        written.emplace_back(400, static_cast<uint8_t>(fill + 0x80));
        ASSERT_EQ(Write(audio_, -1, written.back(), AVIIF_KEYFRAME), AVIERR_OK);
    }
    Close();

    const std::vector<uint8_t> b = ReadFile(path_);
    std::string error;
    const Chunk root = ParseRiff(b, &error);
    ASSERT_EQ(error, "");
    const Chunk* movi = root.children[0].Find("movi");
    ASSERT_NE(movi, nullptr);
    ASSERT_EQ(movi->children.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        const Chunk& chunk = movi->children[i];
        EXPECT_EQ(chunk.id, i % 2 == 0 ? "00dc" : "01wb") << i;
        ASSERT_EQ(chunk.size, written[i].size()) << i;
        EXPECT_TRUE(std::equal(written[i].begin(), written[i].end(), b.begin() + chunk.data)) << i;
    }
}

TEST_F(AviFileTest, RefusesBadOpensAndLateChanges) {
    PAVIFILE file = nullptr;
    EXPECT_EQ(
        AVIFileOpenA(&file, (folder_ + "/missing/x.avi").c_str(), OF_CREATE | OF_WRITE, nullptr),
        AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
    const std::string long_name = folder_ + "/" + std::string(300, 'n') + ".avi";
    EXPECT_EQ(AVIFileOpenA(&file, long_name.c_str(), OF_CREATE | OF_WRITE, nullptr),
              AVIERR_FILEOPEN);
    const std::string long_path = folder_ + "/" + std::string(5000, 'p');
    EXPECT_EQ(AVIFileOpenA(&file, long_path.c_str(), OF_CREATE | OF_WRITE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(AVIFileOpenA(&file, path_.c_str(), OF_READ, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_EQ(file, nullptr);

    Open(30, 32, 32, false);
    ASSERT_EQ(Write(video_, 0, std::vector<uint8_t>(10, 1), AVIIF_KEYFRAME), AVIERR_OK);
    // Once samples are written the header is fixed.
    const AVISTREAMINFOA ainfo = PcmInfo();
    PAVISTREAM late = nullptr;
    EXPECT_EQ(AVIFileCreateStreamA(file_, &late, &ainfo), AVIERR_UNSUPPORTED);
    const BITMAPINFOHEADER bih = MjpegFormat(32, 32);
    EXPECT_EQ(AVIStreamSetFormat(video_, 0, &bih, sizeof(bih)), AVIERR_UNSUPPORTED);
    EXPECT_EQ(Write(video_, 0, std::vector<uint8_t>(10, 1), 0), AVIERR_BADPARAM); // rewrite
    // A start past the end leaves empty frames in between.
    EXPECT_EQ(Write(video_, 3, std::vector<uint8_t>(10, 1), 0), AVIERR_OK);
    PAVISTREAM stream = video_;
    Close();
    // Released handles are refused, not used.
    EXPECT_EQ(Write(stream, -1, std::vector<uint8_t>(10, 1), 0), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);

    const Probe probe = RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_frames"], "4") << probe.output;
}

TEST_F(AviFileTest, FileSizeLimitFailsWritesAndKeepsWhatWasWritten) {
    Open(30, 64, 48, false);
    const std::vector<uint8_t> jpeg = MakeJpeg(64, 48, 1);
    // Lay the header down, then allow about ten more frames.
    ASSERT_EQ(Write(video_, 0, jpeg, AVIIF_KEYFRAME), AVIERR_OK);
    sighandler_t old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = 4096 + 10 * (jpeg.size() + 8) + 300 * 1024; // the write buffer is 256 KiB
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    HRESULT hr = AVIERR_OK;
    int written = 1;
    for (; written < 100000 && hr == AVIERR_OK; ++written) {
        hr = Write(video_, written, jpeg, AVIIF_KEYFRAME);
    }
    EXPECT_EQ(hr, AVIERR_FILEWRITE);
    EXPECT_EQ(Write(video_, -1, jpeg, AVIIF_KEYFRAME), AVIERR_FILEWRITE); // stays failed
    Close();
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);

    const std::vector<uint8_t> b = ReadFile(path_);
    EXPECT_LE(b.size(), limit.rlim_cur);
    std::string error;
    const Chunk root = ParseRiff(b, &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].size, b.size() - 8);
    const Chunk* movi = root.children[0].Find("movi");
    ASSERT_NE(movi, nullptr);
    const size_t frames = movi->children.size();
    EXPECT_GT(frames, 10u);
    const size_t v = root.children[0].Find("hdrl")->FindAll("strl")[0]->Find("strh")->data;
    EXPECT_EQ(U32(b, v + 32), frames); // dwLength counts what survived
    const Probe probe = RunFfprobe(path_);
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], std::to_string(frames)) << probe.output;
}

TEST_F(AviFileTest, FileBeyondOneGibibyteReadsBack) {
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(folder_.c_str(), &fs), 0);
    if (static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize < (3ull << 30)) {
        GTEST_SKIP() << "less than 3 GiB free";
    }
    // 1.6 GB in 16 MB frames: a picture followed by zeros (kept sparse-ish
    // by the page cache; the readers only walk the index and chunk headers).
    Open(10, 64, 48, true);
    std::vector<uint8_t> frame(16 << 20, 0);
    const std::vector<uint8_t> jpeg = MakeJpeg(64, 48, 3);
    std::memcpy(frame.data(), jpeg.data(), jpeg.size());
    const std::vector<uint8_t> pcm(8820, 0); // 0.1 s
    const int frames = 100;
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(Write(video_, i, frame, AVIIF_KEYFRAME), AVIERR_OK) << i;
        ASSERT_EQ(AVIStreamWrite(audio_, -1, 1, pcm.data(), 8820, AVIIF_KEYFRAME, nullptr, nullptr),
                  AVIERR_OK);
    }
    // The last whole second before the 2 GiB limit is refused, not written.
    std::vector<uint8_t> huge(500u << 20, 0);
    EXPECT_EQ(Write(video_, frames, huge, AVIIF_KEYFRAME), AVIERR_BADSIZE);
    Close();

    const Probe probe = RunFfprobe(path_);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ(probe.Stream("video")["nb_read_packets"], std::to_string(frames));
    EXPECT_NEAR(std::stod(probe.Stream("video")["duration"]), 10.0, 0.1);
    EXPECT_NEAR(std::stod(probe.Stream("audio")["end_time"]), 10.0, 0.1);
    const Demux demux = RunAvidemux(path_);
    ASSERT_TRUE(demux.ok) << demux.error;
    for (const DemuxPad& pad : demux.pads) {
        EXPECT_NEAR(pad.end_ns / 1e9, 10.0, 0.1) << pad.caps;
        if (pad.caps == "image/jpeg") {
            EXPECT_EQ(pad.buffers, frames);
        }
    }
    ::unlink(path_.c_str());
}

} // namespace
