#include "capture_device.h"
#include "media_type.h"

#include <gtest/gtest.h>

#include <cstring>

namespace corvane {
namespace {

class MediaTypeTest : public ::testing::Test {
protected:
    void SetUp() override { gst_init(nullptr, nullptr); }
};

struct Caps {
    explicit Caps(const char* text) : caps(gst_caps_from_string(text)) {}
    ~Caps() { gst_caps_unref(caps); }
    GstCaps* caps;
};

TEST_F(MediaTypeTest, CompressedPicturesAreMjpgVideoInformation) {
    Caps caps("image/jpeg,width=1280,height=720,framerate=30/1");
    MediaTypeRecord record;
    ASSERT_TRUE(MediaTypeFromCaps(caps.caps, &record));
    EXPECT_TRUE(record.type.majortype == MEDIATYPE_Video);
    EXPECT_TRUE(record.type.subtype == MEDIASUBTYPE_MJPG);
    EXPECT_TRUE(record.type.formattype == FORMAT_VideoInfo);
    ASSERT_EQ(88u, record.type.cbFormat);
    VIDEOINFOHEADER info;
    ASSERT_TRUE(CopyVideoInfo(record.type, &info));
    EXPECT_EQ(1280, info.bmiHeader.biWidth);
    EXPECT_EQ(720, info.bmiHeader.biHeight);
    EXPECT_EQ(333333, info.AvgTimePerFrame);
    EXPECT_EQ(MakeFourCC('M', 'J', 'P', 'G'), info.bmiHeader.biCompression);
    EXPECT_EQ(40u, info.bmiHeader.biSize);

    Caps frames("video/x-raw,format=BGRx,width=640,height=480,framerate=15/1");
    ASSERT_TRUE(MediaTypeFromCaps(frames.caps, &record));
    EXPECT_TRUE(record.type.subtype == MEDIASUBTYPE_RGB32);
    ASSERT_TRUE(CopyVideoInfo(record.type, &info));
    EXPECT_EQ(32, info.bmiHeader.biBitCount);
    EXPECT_EQ(640u * 480u * 4u, info.bmiHeader.biSizeImage);
}

TEST_F(MediaTypeTest, AStreamWithoutVideoInformationLeavesTheOutputAlone) {
    VIDEOINFOHEADER out;
    std::memset(&out, 0x5A, sizeof out);
    VIDEOINFOHEADER untouched = out;
    MediaTypeRecord record;
    Caps audio("audio/x-raw,format=S16LE,rate=44100,channels=2,layout=interleaved");
    EXPECT_EQ(0, CopyStreamMediaType(audio.caps, &record, &out));
    EXPECT_TRUE(record.type.majortype == MEDIATYPE_Audio);
    Caps sizeless("image/jpeg");
    EXPECT_EQ(0, CopyStreamMediaType(sizeless.caps, &record, &out));
    EXPECT_EQ(0, std::memcmp(&out, &untouched, sizeof out));
    EXPECT_EQ(-1, CopyStreamMediaType(nullptr, &record, &out)) << "no format yet";
    Caps unfixed("image/jpeg,width=[1,100],height=10,framerate=30/1");
    EXPECT_EQ(-1, CopyStreamMediaType(unfixed.caps, &record, &out));

    // A format block shorter than the header is not copied.
    Caps jpeg("image/jpeg,width=8,height=8,framerate=30/1");
    ASSERT_TRUE(MediaTypeFromCaps(jpeg.caps, &record));
    record.type.cbFormat = 87;
    EXPECT_FALSE(CopyVideoInfo(record.type, &out));
    EXPECT_EQ(0, std::memcmp(&out, &untouched, sizeof out));
}

TEST_F(MediaTypeTest, CompressedFormatsListEverySizeAndRateOnce) {
    Caps caps("image/jpeg,width=1280,height=720,framerate={30/1,15/1,60/2}; "
              "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1; "
              "image/jpeg,width=640,height=480,framerate=[5/1,25/1]; "
              "image/jpeg,width=[1,10],height=10,framerate=30/1; "
              "image/jpeg,width=320,height=240,framerate=0/1");
    const auto formats = CompressedFormats(caps.caps);
    ASSERT_EQ(3u, formats.size());
    EXPECT_EQ(1280, formats[0].width);
    EXPECT_EQ(30, formats[0].fps_numerator);
    EXPECT_EQ(15, formats[1].fps_numerator);
    EXPECT_EQ(640, formats[2].width);
    EXPECT_EQ(25, formats[2].fps_numerator) << "a range offers its fastest rate";

    GstCaps* chosen = CapsForFormat(formats[1]);
    EXPECT_EQ(1, FormatIndex(formats, chosen));
    gst_caps_unref(chosen);
    Caps other("image/jpeg,width=800,height=600,framerate=30/1");
    EXPECT_EQ(-1, FormatIndex(formats, other.caps));
    EXPECT_TRUE(CompressedFormats(nullptr).empty());
}

} // namespace
} // namespace corvane
