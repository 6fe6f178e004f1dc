// A recording as shown through the real AVI writer, with a shape drawn and
// the picture turned, and turned back while it records: read back by
// ffprobe, GStreamer's avidemux and libjpeg-turbo.
#include "annotation/FrameOverlay.h"
#include "avi_test_util.h"
#include "camera/ShownRecording.h"
#include "capture/ShownPicture.h"
#include "platform/system.h"
#include "record/Recorder.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A grey camera picture.
std::vector<uint8_t> GreyJpeg() {
    const std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3, 0x80);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, pixels.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // B, G, R, X
    int Grey(int x, int y) const { return pixels[(static_cast<size_t>(y) * width + x) * 4 + 1]; }
};

// The video frames of the file, decoded.
std::vector<Frame> Frames(const std::string& path) {
    const std::vector<uint8_t> bytes = avitest::ReadFile(path);
    std::string error;
    const avitest::Chunk root = avitest::ParseRiff(bytes, &error);
    EXPECT_EQ("", error);
    std::vector<Frame> frames;
    const avitest::Chunk* movi = root.children.empty() ? nullptr : root.children[0].Find("movi");
    if (movi == nullptr)
        return frames;
    tjhandle tj = tjInitDecompress();
    for (const avitest::Chunk* chunk : movi->FindAll("00dc")) {
        Frame frame;
        int subsampling = 0;
        int colorspace = 0;
        const uint8_t* jpeg = bytes.data() + chunk->data;
        if (tjDecompressHeader3(tj, jpeg, chunk->size, &frame.width, &frame.height, &subsampling,
                                &colorspace) == 0) {
            frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height * 4);
            tjDecompress2(tj, jpeg, chunk->size, frame.pixels.data(), frame.width, 0, frame.height,
                          TJPF_BGRX, 0);
        }
        frames.push_back(std::move(frame));
    }
    tjDestroy(tj);
    return frames;
}

class Quiet : public record::RecorderListener {
public:
    void OnRecorderMessage(const std::string& text, record::MessageIcon) override {
        ADD_FAILURE() << text;
    }
    void OnRecorderStateChanged() override {}
};

} // namespace

TEST(ShownRecording, RecordsTheShapeTurnedAndKeepsItsSizeWhenTurnedBack) {
    OverlayWorker overlay; // a black square, [40, 80) x [20, 60)
    overlay.SetRenderer([](uint8_t* pixels, size_t size) {
        std::memset(pixels, kTransparentByte, size);
        for (int y = 20; y < 60; ++y)
            std::memset(pixels + (static_cast<size_t>(y) * kWidth + 40) * 4, 0, 40 * 4);
        return true;
    });
    overlay.SetPlaying(true);
    overlay.RequestRedraw();
    ASSERT_TRUE(overlay.Turn());
    ShownPicture shown;
    shown.SetQuarterTurns(1);

    const testsupport::TempFolder temp{"tovek-shown"};
    platform::FakeClock clock(1000);
    Quiet quiet;
    record::RecorderOptions options;
    options.writer_thread = false;
    Recorder recorder(&quiet, std::move(options));
    record::RecordParams params;
    params.record_path = platform::Utf8ToUtf16(temp.Path().string());
    params.width = kWidth;
    params.height = kHeight;
    params.frame_rate = 16;
    RecordAsShown(&overlay, &shown, nullptr, &params);
    EXPECT_EQ(kHeight, params.width);
    EXPECT_EQ(kWidth, params.height);
    ASSERT_EQ(record::kRecording, recorder.Start(params));
    const std::vector<uint8_t> camera = GreyJpeg();
    for (int t = 10; t <= 2000; t += 10) {
        if (t == 1000)
            shown.SetQuarterTurns(0); // upright again while recording
        clock.Advance(10);
        if (t % 60 == 0)
            recorder.Append(camera.data(), camera.size());
        recorder.Turn();
    }
    const std::string path = recorder.VideoPath();
    ASSERT_TRUE(recorder.Stop());

    const std::vector<Frame> frames = Frames(path);
    ASSERT_GE(frames.size(), 20u);
    const avitest::Probe probe = avitest::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.output;
    EXPECT_EQ("mjpeg", probe.Stream("video")["codec_name"]);
    EXPECT_EQ(std::to_string(kHeight), probe.Stream("video")["width"]);
    EXPECT_EQ(std::to_string(kWidth), probe.Stream("video")["height"]);
    EXPECT_EQ(std::to_string(frames.size()), probe.Stream("video")["nb_read_packets"]);
    const avitest::Demux demux = avitest::RunAvidemux(path);
    ASSERT_TRUE(demux.ok) << demux.error;
    EXPECT_EQ(static_cast<int>(frames.size()), demux.pads[0].buffers);

    for (const Frame& frame : frames) {
        ASSERT_EQ(kHeight, frame.width);
        ASSERT_EQ(kWidth, frame.height);
    }
    // Turned a quarter clockwise: the square at x 40..80, y 20..60 of the
    // camera's picture is at x 180..220, y 40..80; grey around it.
    const Frame& first = frames.front();
    EXPECT_LT(first.Grey(200, 60), 30);
    EXPECT_NEAR(first.Grey(100, 60), 0x80, 20);
    // Upright again, fitted into 240 x 320: 240 x 180 from y = 70, black
    // above and below; the square at x 30..60, y 85..115.
    const Frame& last = frames.back();
    EXPECT_LT(last.Grey(120, 20), 30);
    EXPECT_LT(last.Grey(120, 300), 30);
    EXPECT_NEAR(last.Grey(120, 160), 0x80, 20);
    EXPECT_LT(last.Grey(45, 100), 30);
}
