#include "platform/media.h"

#include "test_pictures.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <memory>

using media_test::Bytes;
using platform::JpegDecodeResult;

namespace {

constexpr uint8_t kSentinel = 0xAB;

// The picture with its scan cut in the middle and closed with an
// end-of-image marker (empty when it has no scan).
Bytes ScanCutShort(const Bytes& jpeg) {
    size_t scan = 0;
    for (size_t i = 2; i + 3 < jpeg.size() && scan == 0; ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            scan = i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
        }
    }
    if (scan == 0) {
        return {};
    }
    Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>((scan + jpeg.size()) / 2));
    cut.insert(cut.end(), {0xFF, 0xD9});
    return cut;
}

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
    const Bytes cut = ScanCutShort(jpeg);
    ASSERT_FALSE(cut.empty());
    std::vector<uint8_t> dst(64 * 64 * 4);
    platform::JpegDecoder d;
    EXPECT_EQ(d.DecodeBgrx(cut.data(), cut.size(), dst.data(), 64, 64, 256),
              JpegDecodeResult::kRecovered);
    EXPECT_STRNE(d.LastError(), "");
}

// The smallest cheaper scale that still covers the view, then the view's
// own size where a shrink gives it.
TEST(JpegBgrx, PlanCoversTheViewInBothDirections) {
    using platform::ShrinkFactor;
    struct Case {
        int camera_width, camera_height, view_width, view_height, denominator;
        ShrinkFactor shrink = ShrinkFactor::kNone;
    };
    const Case cases[] = {
        {2592, 1944, 1296, 972, 2},
        {2592, 1944, 1297, 972, 1, ShrinkFactor::kNearestMean},
        {2592, 1944, 1208, 906, 2, ShrinkFactor::kNearestMean},
        {1920, 1080, 1280, 720, 1, ShrinkFactor::kThreeToTwo},
        {1920, 1080, 1279, 719, 1, ShrinkFactor::kNearestMean},
        {1920, 1080, 1920, 1080, 1},
        {1920, 1080, 640, 360, 2, ShrinkFactor::kThreeToTwo},
        {1920, 1080, 1920, 700, 1, ShrinkFactor::kNearestMean}, // stretched
        {2592, 1944, 648, 486, 4},
        {2592, 1944, 324, 100, 8, ShrinkFactor::kNearestMean},
        {2592, 1944, 100, 486, 4}, // beyond 4:1 across: as it is
        {2592, 1944, 5000, 4000, 1},
        {2592, 1944, 0, 972, 1},
        {2592, 1944, 1296, -5, 1},
        {0, 1944, 100, 100, 1},
        {1281, 961, 641, 481, 2},
        {1281, 961, 642, 481, 1, ShrinkFactor::kNearestMean},
        {15, 9, 2, 2, 8},
        {1, 1, 1, 1, 1},
        {3, 2, 1, 1, 4}, // 1/8 shrinks it no further than 1/4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.camera_width << "x" << c.camera_height << " into "
                                        << c.view_width << "x" << c.view_height);
        const platform::JpegDecodePlan plan =
            platform::PlanJpegDecode(c.camera_width, c.camera_height, c.view_width, c.view_height);
        EXPECT_EQ(plan.denominator, c.denominator);
        EXPECT_EQ(plan.shrink, c.shrink);
        if (c.shrink != ShrinkFactor::kNone) {
            EXPECT_TRUE(plan.width == c.view_width && plan.height == c.view_height);
        } else {
            EXPECT_EQ(plan.width, platform::ScaledJpegSide(c.camera_width, c.denominator));
            EXPECT_EQ(plan.height, platform::ScaledJpegSide(c.camera_height, c.denominator));
        }
    }
}

// Shrinking rows as they are decoded gives the bytes of decoding the whole
// picture (with TurboJPEG's fast upsampling, as the rows are) and shrinking
// it after, at every scale and shrink, progressive pictures too.
TEST(JpegBgrx, ShrunkWhileDecodingIsTheWholeDecodeShrunk) {
    using platform::ShrinkFactor;
    const struct {
        int width, height, denominator, view_width, view_height;
        bool progressive;
    } cases[] = {
        {240, 144, 1, 160, 96, false}, // 3:2
        {240, 144, 2, 60, 36, false},  // 1/2, then 2:1
        {250, 150, 2, 100, 61, false}, // 1/2, then the nearest mean
        {250, 150, 1, 249, 150, true}, // a column less
        {2592 / 8, 1944 / 8, 4, 75, 56, false},
        {101, 37, 8, 10, 4, false}, // sides that do not divide
    };
    platform::JpegDecoder decoder;
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    tjhandle tj = handle.get();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at 1/" << c.denominator
                                        << " into " << c.view_width << "x" << c.view_height);
        const Bytes jpeg = media_test::TexturedJpeg(c.width, c.height, c.progressive);
        const int w = platform::ScaledJpegSide(c.width, c.denominator);
        const int h = platform::ScaledJpegSide(c.height, c.denominator);
        const ShrinkFactor shrink = platform::ShrinkFactorFor(w, h, c.view_width, c.view_height);
        ASSERT_NE(shrink, ShrinkFactor::kNone);
        std::vector<uint8_t> whole(static_cast<size_t>(w) * h * 4);
        ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), whole.data(), w, w * 4, h, TJPF_BGRX,
                                TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE),
                  0);
        const int stride = c.view_width * 4 + 8;
        std::vector<uint8_t> expected(static_cast<size_t>(stride) * c.view_height, kSentinel);
        std::vector<uint8_t> shrunk = expected;
        ASSERT_TRUE(platform::ShrinkBgrx(shrink, whole.data(), w, h, w * 4, expected.data(),
                                         c.view_width, c.view_height, stride));
        ASSERT_EQ(decoder.DecodeShrunkBgrx(jpeg.data(), jpeg.size(), shrunk.data(), c.view_width,
                                           c.view_height, stride, c.denominator, shrink),
                  JpegDecodeResult::kOk)
            << decoder.LastError();
        EXPECT_EQ(expected, shrunk);
    }
}

// What the whole decode refuses or recovers from, the shrinking one does too,
// and a failure leaves it ready for the next picture.
TEST(JpegBgrx, ShrunkDecodeRefusesAndRecoversAsTheWholeOne) {
    using platform::ShrinkFactor;
    const Bytes jpeg = media_test::TexturedJpeg(96, 48);
    std::vector<uint8_t> dst(64 * 32 * 4, kSentinel);
    platform::JpegDecoder d;
    const auto shrunk = [&](const Bytes& picture, int width, int height, ShrinkFactor shrink) {
        return d.DecodeShrunkBgrx(picture.data(), picture.size(), dst.data(), width, height,
                                  width * 4, 1, shrink);
    };
    const struct {
        Bytes picture;
        int width, height;
        ShrinkFactor shrink;
    } refused[] = {
        {jpeg, 64, 32, ShrinkFactor::kTwoToOne},    // the sizes say 3:2
        {jpeg, 96, 48, ShrinkFactor::kNearestMean}, // 1:1 is no shrink
        {Bytes(jpeg.begin(), jpeg.end() - 2), 64, 32, ShrinkFactor::kThreeToTwo}, // no end
        {Bytes(500, 0x5A), 64, 32, ShrinkFactor::kThreeToTwo},
        {Bytes{0xFF, 0xD8, 0xFF, 0xD9}, 64, 32, ShrinkFactor::kThreeToTwo}, // tables only
    };
    for (const auto& c : refused)
        EXPECT_EQ(shrunk(c.picture, c.width, c.height, c.shrink), JpegDecodeResult::kFailed);
    EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint8_t b) { return b == kSentinel; }));

    // A scan cut short but closed: decoded, with the fault named.
    const Bytes cut = ScanCutShort(jpeg);
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(shrunk(cut, 64, 32, ShrinkFactor::kThreeToTwo), JpegDecodeResult::kRecovered);
    EXPECT_STRNE(d.LastError(), "");
    EXPECT_EQ(shrunk(jpeg, 64, 32, ShrinkFactor::kThreeToTwo), JpegDecodeResult::kOk);
    EXPECT_STREQ(d.LastError(), "");
}

} // namespace
