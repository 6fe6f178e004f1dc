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

} // namespace
