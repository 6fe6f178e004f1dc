#include "platform/media.h"

#include "test_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>

using media_test::Bytes;
using platform::JpegDecodeResult;

namespace {

constexpr uint8_t kSentinel = 0xAB;

TEST(JpegBgrx, DecodesIntoPaddedRowsWithoutTouchingThePadding) {
    const int width = 37, height = 21, stride = width * 4 + 12;
    const Bytes jpeg = media_test::SolidJpeg(width, height, 200, 40, 90);
    platform::JpegDecoder decoder;
    int w = 0, h = 0;
    ASSERT_TRUE(decoder.ReadSize(jpeg.data(), jpeg.size(), &w, &h));
    EXPECT_TRUE(w == width && h == height);

    std::vector<uint8_t> dst(static_cast<size_t>(stride) * height, kSentinel);
    ASSERT_EQ(platform::DecodeJpegToBgrx(jpeg.data(), jpeg.size(), dst.data(), w, h, stride),
              JpegDecodeResult::kOk);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &dst[static_cast<size_t>(y) * stride];
        for (int x = 0; x < width; ++x) {
            ASSERT_TRUE(media_test::NearColour(row + x * 4, 200, 40, 90)) << x << "," << y;
        }
        ASSERT_TRUE(
            std::all_of(row + width * 4, row + stride, [](uint8_t b) { return b == kSentinel; }))
            << "padding of row " << y;
    }
}

TEST(JpegBgrx, RefusesWhatWouldNotFitOrIsNotWhole) {
    Bytes jpeg = media_test::SolidJpeg(32, 16, 0, 0, 255);
    std::vector<uint8_t> dst(64 * 32 * 4, kSentinel);
    const Bytes garbage(500, 0x5A);
    platform::JpegDecoder d;
    EXPECT_EQ(d.DecodeBgrx(jpeg.data(), jpeg.size(), dst.data(), 16, 16, 256),
              JpegDecodeResult::kFailed); // another size than expected
    EXPECT_STRNE(d.LastError(), "");
    EXPECT_EQ(d.DecodeBgrx(jpeg.data(), jpeg.size(), dst.data(), 32, 16, 127),
              JpegDecodeResult::kFailed); // rows narrower than the picture
    EXPECT_EQ(d.DecodeBgrx(jpeg.data(), jpeg.size() - 2, dst.data(), 32, 16, 128),
              JpegDecodeResult::kFailed); // no end-of-image marker
    EXPECT_EQ(d.DecodeBgrx(garbage.data(), garbage.size(), dst.data(), 32, 16, 128),
              JpegDecodeResult::kFailed);
    EXPECT_EQ(d.DecodeBgrx(nullptr, 0, dst.data(), 32, 16, 128), JpegDecodeResult::kFailed);
    EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == kSentinel; }));

    jpeg.insert(jpeg.end(), 300, 0); // padding after the end is fine
    EXPECT_EQ(d.DecodeBgrx(jpeg.data(), jpeg.size(), dst.data(), 32, 16, 128),
              JpegDecodeResult::kOk);
}

TEST(JpegBgrx, ScanCutShortButClosedIsRecovered) {
    const Bytes jpeg = media_test::SolidJpeg(64, 64, 128, 128, 128);
    size_t scan = 0;
    for (size_t i = 2; i + 3 < jpeg.size() && scan == 0; ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            scan = i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
        }
    }
    ASSERT_GT(scan, 0u);
    Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>((scan + jpeg.size()) / 2));
    cut.insert(cut.end(), {0xFF, 0xD9});
    std::vector<uint8_t> dst(64 * 64 * 4);
    platform::JpegDecoder d;
    EXPECT_EQ(d.DecodeBgrx(cut.data(), cut.size(), dst.data(), 64, 64, 256),
              JpegDecodeResult::kRecovered);
    EXPECT_STRNE(d.LastError(), "");
}

// The smallest cheaper scale that still covers the view, and the scale a
// decoded size came from.
TEST(JpegBgrx, ScaleCoversTheViewInBothDirections) {
    struct Case {
        int camera_width, camera_height, view_width, view_height, denominator;
    };
    const Case cases[] = {
        {2592, 1944, 1296, 972, 2},
        {2592, 1944, 1297, 972, 1},
        {1920, 1080, 1280, 720, 1},
        {2592, 1944, 648, 486, 4},
        {2592, 1944, 324, 100, 8},
        {2592, 1944, 100, 486, 4},
        {2592, 1944, 5000, 4000, 1},
        {2592, 1944, 0, 972, 1},
        {2592, 1944, 1296, -5, 1},
        {0, 1944, 100, 100, 1},
        {1281, 961, 641, 481, 2},
        {1281, 961, 642, 481, 1},
        {15, 9, 2, 2, 8},
        {1, 1, 1, 1, 1},
        {3, 2, 1, 1, 4}, // 1/8 shrinks it no further than 1/4
    };
    for (const Case& c : cases) {
        const int chosen =
            platform::ChooseJpegScale(c.camera_width, c.camera_height, c.view_width, c.view_height);
        EXPECT_EQ(chosen, c.denominator) << c.camera_width << "x" << c.camera_height << " into "
                                         << c.view_width << "x" << c.view_height;
        const int width = platform::ScaledJpegSide(c.camera_width, chosen);
        const int height = platform::ScaledJpegSide(c.camera_height, chosen);
        if (c.camera_width > 0) {
            EXPECT_EQ(platform::JpegScaleOf(c.camera_width, c.camera_height, width, height),
                      chosen);
        }
    }
    EXPECT_EQ(platform::JpegScaleOf(2592, 1944, 1296, 1944), 0) << "no scale of one side only";
}

} // namespace
