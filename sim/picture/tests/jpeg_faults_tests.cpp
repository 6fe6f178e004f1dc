#include "decode.h"
#include "sim/picture.h"

#include <gtest/gtest.h>

using namespace sim;
using sim::test::Decode;

namespace {

const std::vector<uint8_t>& Picture() {
    static const std::vector<uint8_t> jpeg = [] {
        PictureGenerator generator(640, 480);
        return *generator.Jpeg();
    }();
    return jpeg;
}

} // namespace

TEST(PadJpeg, GrowsToExactlyTheSizeAndStillDecodesTheSame) {
    const std::vector<uint8_t>& jpeg = Picture();
    const std::vector<uint8_t> pixels = Decode(jpeg).rgb;
    // Comment segments hold at most 65537 bytes each; the sizes around that
    // boundary need a second segment that must not be left 1 to 3 bytes.
    for (size_t grow : {size_t{0}, size_t{4}, size_t{5}, size_t{1000}, size_t{65537}, size_t{65538},
                        size_t{65540}, size_t{65541}, size_t{200000}}) {
        for (JpegPadding mode : {JpegPadding::kAfterEnd, JpegPadding::kCommentSegment}) {
            std::vector<uint8_t> padded;
            ASSERT_TRUE(PadJpeg(jpeg, jpeg.size() + grow, mode, &padded)) << grow;
            EXPECT_EQ(jpeg.size() + grow, padded.size());
            const auto decoded = Decode(padded);
            EXPECT_TRUE(decoded.ok) << grow << " mode " << static_cast<int>(mode);
            EXPECT_EQ(pixels, decoded.rgb) << grow << " mode " << static_cast<int>(mode);
        }
    }
}

TEST(PadJpeg, RefusesWhatItCannotDo) {
    const std::vector<uint8_t>& jpeg = Picture();
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_FALSE(PadJpeg(jpeg, jpeg.size() - 1, JpegPadding::kAfterEnd, &out));
    for (size_t grow = 1; grow <= 3; ++grow) {
        EXPECT_FALSE(PadJpeg(jpeg, jpeg.size() + grow, JpegPadding::kCommentSegment, &out));
        EXPECT_TRUE(PadJpeg(jpeg, jpeg.size() + grow, JpegPadding::kAfterEnd, &out));
    }
    const std::vector<uint8_t> not_jpeg = {0x89, 'P', 'N', 'G'};
    EXPECT_FALSE(PadJpeg(not_jpeg, 100, JpegPadding::kAfterEnd, &out));
    EXPECT_FALSE(PadJpeg({}, 100, JpegPadding::kCommentSegment, &out));
    EXPECT_FALSE(PadJpeg(jpeg, jpeg.size(), JpegPadding::kAfterEnd, nullptr));
}

TEST(DamageJpeg, EachDamageBreaksDecoding) {
    const std::vector<uint8_t>& jpeg = Picture();
    const auto original = Decode(jpeg);
    ASSERT_TRUE(original.ok);

    const auto truncated = DamageJpeg(jpeg, JpegDamage::kTruncate);
    EXPECT_EQ(jpeg.size() / 2, truncated.size());
    const auto t = Decode(truncated);
    EXPECT_TRUE(t.header);
    EXPECT_FALSE(t.ok);

    const auto broken = DamageJpeg(jpeg, JpegDamage::kBreakHeader);
    EXPECT_EQ(jpeg.size(), broken.size());
    EXPECT_FALSE(Decode(broken).header);

    const auto headless = DamageJpeg(jpeg, JpegDamage::kNoStartMarker);
    EXPECT_FALSE(Decode(headless).header);

    const auto scrambled = DamageJpeg(jpeg, JpegDamage::kScrambleData, 7);
    EXPECT_EQ(jpeg.size(), scrambled.size());
    EXPECT_NE(jpeg, scrambled);
    EXPECT_EQ(scrambled, DamageJpeg(jpeg, JpegDamage::kScrambleData, 7));
    EXPECT_NE(scrambled, DamageJpeg(jpeg, JpegDamage::kScrambleData, 8));
    // The header survives; the picture does not.
    const auto s = Decode(scrambled);
    EXPECT_TRUE(s.header);
    EXPECT_TRUE(!s.ok || s.rgb != original.rgb);
}

TEST(DamageJpeg, ToleratesInputThatIsNoJpeg) {
    const std::vector<std::vector<uint8_t>> inputs = {{},
                                                      {0xFF},
                                                      {0xFF, 0xD8},
                                                      {0xFF, 0xD8, 0xFF, 0xDA},
                                                      {0xFF, 0xD8, 0xFF, 0xC0, 0x00},
                                                      {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF},
                                                      std::vector<uint8_t>(100, 0xFF)};
    for (const auto& input : inputs) {
        for (JpegDamage damage : {JpegDamage::kTruncate, JpegDamage::kScrambleData,
                                  JpegDamage::kBreakHeader, JpegDamage::kNoStartMarker}) {
            const auto out = DamageJpeg(input, damage);
            EXPECT_LE(out.size(), input.size());
        }
    }
}
