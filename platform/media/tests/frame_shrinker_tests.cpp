// Filtered shrinking of BGRX frames by 3:2, 2:1 and any factor up to 4:1,
// whole or a group of rows at a time.
#include "platform/frame_shrinker.h"

#include "testsupport/random_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using platform::ShrinkFactor;
using platform::ShrinkKernel;

using Frame = testsupport::BgrxFrame;
using testsupport::RandomFrame;

TEST(FrameShrinking, FactorForEachShrinkUpToFourToOne) {
    const struct {
        int w, h, dw, dh;
        ShrinkFactor factor;
    } cases[] = {
        {1920, 1080, 1280, 720, ShrinkFactor::kThreeToTwo},
        {1920, 1080, 960, 540, ShrinkFactor::kTwoToOne},
        {3, 3, 2, 2, ShrinkFactor::kThreeToTwo},
        {2, 2, 1, 1, ShrinkFactor::kTwoToOne},
        {1920, 1080, 1281, 720, ShrinkFactor::kNearestMean},
        {1920, 1080, 1280, 540, ShrinkFactor::kNearestMean}, // a different factor a direction
        {1000, 999, 666, 666, ShrinkFactor::kNearestMean},   // two thirds of 1000 is no whole pixel
        {1920, 1080, 1920, 720, ShrinkFactor::kNearestMean}, // one direction keeps its size
        {1920, 1080, 959, 540, ShrinkFactor::kNearestMean},
        {1920, 1080, 479, 270, ShrinkFactor::kNone}, // beyond 4:1
        {9000, 10, 8193, 10, ShrinkFactor::kNone},   // wider than the pairs are worked out for
        {1920, 1080, 1920, 1080, ShrinkFactor::kNone},
        {1280, 720, 1920, 1080, ShrinkFactor::kNone},
        {0, 0, 0, 0, ShrinkFactor::kNone},
        {-4, -2, -2, -1, ShrinkFactor::kNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.factor, platform::ShrinkFactorFor(c.w, c.h, c.dw, c.dh))
            << c.w << "x" << c.h << " into " << c.dw << "x" << c.dh;
    }
}

// The shrinks the kernels are tried on: widths with and without a remainder the vector loops leave
// to the plain one, rows with padding.
struct ShrinkCase {
    int w, h, padding;
    ShrinkFactor factor;
    int dw = 0, dh = 0; // pairs: the output size

    int DestWidth() const {
        return dw ? dw : factor == ShrinkFactor::kTwoToOne ? w / 2 : w * 2 / 3;
    }
    int DestHeight() const {
        return dh ? dh : factor == ShrinkFactor::kTwoToOne ? h / 2 : h * 2 / 3;
    }
};
const ShrinkCase kShrinks[] = {
    {1920, 1080, 0, ShrinkFactor::kThreeToTwo},
    {9, 6, 0, ShrinkFactor::kThreeToTwo},
    {3, 3, 4, ShrinkFactor::kThreeToTwo},
    {33, 9, 12, ShrinkFactor::kThreeToTwo},
    {60, 3, 0, ShrinkFactor::kThreeToTwo},
    {1920, 1080, 0, ShrinkFactor::kTwoToOne},
    {10, 4, 0, ShrinkFactor::kTwoToOne},
    {2, 2, 8, ShrinkFactor::kTwoToOne},
    {46, 6, 4, ShrinkFactor::kTwoToOne},
    {1920, 1080, 0, ShrinkFactor::kNearestMean, 1100, 619},
    {7, 5, 0, ShrinkFactor::kNearestMean, 5, 5},
    {50, 31, 4, ShrinkFactor::kNearestMean, 26, 30},
    {1920, 1080, 0, ShrinkFactor::kNearestMean, 700, 400},
    {13, 11, 4, ShrinkFactor::kNearestMean, 4, 3},
    {50, 31, 0, ShrinkFactor::kNearestMean, 13, 16},
    {20, 40, 0, ShrinkFactor::kNearestMean, 20, 12},   // one column, four rows
    {30, 40, 0, ShrinkFactor::kNearestMean, 20, 11},   // two columns, four rows
    {20, 30, 0, ShrinkFactor::kNearestMean, 20, 17},   // one column, two rows
    {50, 9, 0, ShrinkFactor::kNearestMean, 13, 9},     // four columns, one row
    {150, 40, 4, ShrinkFactor::kNearestMean, 139, 37}, // groups mostly side by side
};

TEST(FrameShrinking, VectorKernelsMatchThePlainOneByteForByte) {
    for (platform::ShrinkKernel kernel :
         {platform::ShrinkKernel::kSse2, platform::ShrinkKernel::kAvx2}) {
        if (!platform::ShrinkKernelAvailable(kernel))
            continue; // another processor
        for (const ShrinkCase& c : kShrinks) {
            SCOPED_TRACE(testing::Message()
                         << "kernel " << static_cast<int>(kernel) << ", " << c.w << "x" << c.h
                         << " factor " << static_cast<int>(c.factor));
            const Frame f = RandomFrame(c.w, c.h, c.padding, static_cast<unsigned>(c.w * c.h));
            const int dw = c.DestWidth();
            const int dh = c.DestHeight();
            const int out_stride = dw * 4 + 8;
            std::vector<uint8_t> fast(static_cast<size_t>(out_stride) * dh, 0xEE);
            std::vector<uint8_t> plain = fast;
            ASSERT_TRUE(platform::ShrinkBgrxWith(kernel, c.factor, f.bytes.data(), c.w, c.h,
                                                 f.stride, fast.data(), dw, dh, out_stride));
            ASSERT_TRUE(platform::ShrinkBgrxWith(platform::ShrinkKernel::kPlain, c.factor,
                                                 f.bytes.data(), c.w, c.h, f.stride, plain.data(),
                                                 dw, dh, out_stride));
            EXPECT_EQ(plain, fast);
            for (int y = 0; y < dh; ++y) // the padding is left alone
                EXPECT_EQ(0xEE, fast[static_cast<size_t>(y) * out_stride + dw * 4 + 7]);
        }
    }
}

// A decoder hands the rows over as it makes them and keeps only a few: the
// groups take rows in order, each within the last few made, and give the
// whole shrink's bytes, written past the caches or not.
TEST(FrameShrinking, RowGroupsFromAFewRowsGiveTheWholeShrink) {
    constexpr int kKept = 2 * platform::RowShrinker::kMaxGroupRows;
    platform::RowShrinker shrinker;
    for (int run = 0; run < 6; ++run) {
        const auto kernel = static_cast<ShrinkKernel>(run / 2);
        const bool stream = run % 2 == 1;
        if (!platform::ShrinkKernelAvailable(kernel))
            continue;
        shrinker.StreamOutput(stream);
        for (const ShrinkCase& c : kShrinks) {
            SCOPED_TRACE(testing::Message()
                         << "kernel " << static_cast<int>(kernel) << ", stream " << stream << ", "
                         << c.w << "x" << c.h << " into " << c.DestWidth());
            const Frame f = RandomFrame(c.w, c.h, c.padding, static_cast<unsigned>(c.w + c.h));
            const int dw = c.DestWidth();
            const int dh = c.DestHeight();
            std::vector<uint8_t> whole(static_cast<size_t>(dw) * dh * 4);
            ASSERT_TRUE(platform::ShrinkBgrxWith(kernel, c.factor, f.bytes.data(), c.w, c.h,
                                                 f.stride, whole.data(), dw, dh, dw * 4));
            ASSERT_TRUE(shrinker.Prepare(c.factor, c.w, c.h, dw, dh, kernel));
            // A ring of kKept rows, filled as the groups ask, as a decoder does.
            std::vector<uint8_t> ring(static_cast<size_t>(kKept) * c.w * 4);
            std::vector<uint8_t> grouped(whole.size(), 0xEE);
            int made = 0;
            int out_rows = 0;
            for (int g = 0; g < shrinker.Groups(); ++g) {
                const platform::RowShrinker::Group group = shrinker.GroupAt(g);
                ASSERT_LE(group.rows, platform::RowShrinker::kMaxGroupRows);
                ASSERT_EQ(out_rows, group.first_out_row) << "output rows in order, none skipped";
                ASSERT_GE(group.first_row, made - kKept + group.rows) << "a row made long ago";
                for (; made < group.first_row + group.rows; ++made)
                    std::copy_n(f.bytes.begin() + static_cast<ptrdiff_t>(made) * f.stride, c.w * 4,
                                ring.begin() + static_cast<ptrdiff_t>(made % kKept) * c.w * 4);
                const uint8_t* rows[platform::RowShrinker::kMaxGroupRows];
                for (int i = 0; i < group.rows; ++i)
                    rows[i] = ring.data() +
                              static_cast<ptrdiff_t>((group.first_row + i) % kKept) * c.w * 4;
                shrinker.Shrink(g, rows, grouped.data(), dw * 4);
                out_rows += group.out_rows;
            }
            EXPECT_LE(made, c.h);
            EXPECT_EQ(dh, out_rows);
            EXPECT_EQ(whole, grouped);
        }
    }
    EXPECT_FALSE(shrinker.Prepare(ShrinkFactor::kThreeToTwo, 1920, 1080, 1000, 700));
    EXPECT_EQ(0, shrinker.Groups()) << "a size that does not fit prepares nothing";
}

// The exact value of output pixel (x, y), channel c: 3:2 weighs the two
// nearest frame pixels a direction 3/4 and 1/4 (bilinear at the output
// pixel's centre), 2:1 takes the mean of four.
double Exact(ShrinkFactor factor, const Frame& f, int x, int y, int c) {
    auto at = [&](int fx, int fy) {
        return static_cast<double>(f.bytes[static_cast<size_t>(fy) * f.stride + fx * 4 + c]);
    };
    if (factor == ShrinkFactor::kTwoToOne)
        return (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                at(2 * x + 1, 2 * y + 1)) /
               4;
    // Output 2k sits at 3k + 1/4, output 2k + 1 at 3k + 7/4.
    auto taps = [](int o, int* near, int* far) {
        *near = 3 * (o / 2) + (o % 2 == 0 ? 0 : 2);
        *far = 3 * (o / 2) + 1;
    };
    int nx, fx, ny, fy;
    taps(x, &nx, &fx);
    taps(y, &ny, &fy);
    return 0.5625 * at(nx, ny) + 0.1875 * (at(fx, ny) + at(nx, fy)) + 0.0625 * at(fx, fy);
}

TEST(FrameShrinking, OutputsStayWithinOneLevelOfTheExactFilterWithoutDrift) {
    for (ShrinkFactor factor : {ShrinkFactor::kThreeToTwo, ShrinkFactor::kTwoToOne}) {
        SCOPED_TRACE(static_cast<int>(factor));
        const Frame f = RandomFrame(48, 24, 4, 3);
        const int dw = factor == ShrinkFactor::kTwoToOne ? 24 : 32;
        const int dh = factor == ShrinkFactor::kTwoToOne ? 12 : 16;
        std::vector<uint8_t> out(static_cast<size_t>(dw) * dh * 4);
        ASSERT_TRUE(platform::ShrinkBgrx(factor, f.bytes.data(), f.width, f.height, f.stride,
                                         out.data(), dw, dh, dw * 4));
        double drift = 0;
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                EXPECT_EQ(0xFF, out[(static_cast<size_t>(y) * dw + x) * 4 + 3]) << "opaque";
                for (int c = 0; c < 3; ++c) {
                    const double error =
                        out[(static_cast<size_t>(y) * dw + x) * 4 + c] - Exact(factor, f, x, y, c);
                    EXPECT_LE(std::abs(error), 1.0) << x << "," << y << " byte " << c;
                    drift += error;
                }
            }
        }
        // Roundings go both ways: no brightening or darkening on average.
        EXPECT_LT(std::abs(drift / (dw * dh * 3)), 0.3);
    }
    // A flat picture stays flat at both ends of the range (no overflow, no
    // rounding drift), by either factor.
    for (int v : {0, 1, 128, 254, 255}) {
        // Pixels v, v, v, opaque.
        const auto flat = [v](size_t pixels) {
            std::vector<uint8_t> bytes(pixels * 4, static_cast<uint8_t>(v));
            for (size_t i = 3; i < bytes.size(); i += 4)
                bytes[i] = 0xFF;
            return bytes;
        };
        const std::vector<uint8_t> frame = flat(24 * 6);
        std::vector<uint8_t> shrunk(static_cast<size_t>(16) * 4 * 4, 0x55);
        ASSERT_TRUE(platform::ShrinkBgrx(ShrinkFactor::kThreeToTwo, frame.data(), 24, 6, 96,
                                         shrunk.data(), 16, 4, 64));
        EXPECT_EQ(flat(16 * 4), shrunk) << v;
        ASSERT_TRUE(platform::ShrinkBgrx(ShrinkFactor::kTwoToOne, frame.data(), 24, 6, 96,
                                         shrunk.data(), 12, 3, 48));
        EXPECT_EQ(flat(12 * 3), std::vector<uint8_t>(shrunk.begin(), shrunk.begin() + 144)) << v;
    }
}

TEST(FrameShrinking, SizesThatDoNotFitWriteNothing) {
    const Frame f = RandomFrame(6, 6, 0, 1);
    std::vector<uint8_t> out(256, 0x11);
    const std::vector<uint8_t> untouched = out;
    const struct {
        ShrinkFactor factor;
        int stride, dw, dh, out_stride;
        bool null_frame;
    } cases[] = {
        {ShrinkFactor::kNone, 24, 4, 4, 16, false},
        {ShrinkFactor::kTwoToOne, 24, 4, 4, 16, false},   // the sizes say 3:2
        {ShrinkFactor::kThreeToTwo, 20, 4, 4, 16, false}, // stride shorter than a row
        {ShrinkFactor::kThreeToTwo, 24, 4, 4, 12, false}, // output row too
        {ShrinkFactor::kThreeToTwo, 24, 4, 4, 16, true},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(platform::ShrinkBgrx(c.factor, c.null_frame ? nullptr : f.bytes.data(), 6, 6,
                                          c.stride, out.data(), c.dw, c.dh, c.out_stride));
    }
    EXPECT_EQ(untouched, out);
}

// A one-pixel line (an annotation drawn with the thinnest pen, a stroke of
// writing) at any frame column or row stays visible, at half contrast or
// more up to 2:1 and a quarter up to 4:1: taking the nearest pixel loses up
// to every other one, filtering the two nearest more beyond 2:1.
TEST(FrameShrinking, EveryFrameRowAndColumnShowsAfterAnyShrink) {
    constexpr int kW = 50, kH = 30;
    const struct {
        int dw, dh;
    } sizes[] = {{29, 17}, {26, 16}, {49, 29}, {34, 30}, {50, 15},
                 {24, 14}, {13, 8},  {17, 30}, {50, 10}};
    for (platform::ShrinkKernel kernel :
         {platform::ShrinkKernel::kPlain, platform::ShrinkKernel::kSse2}) {
        if (!platform::ShrinkKernelAvailable(kernel))
            continue;
        for (const auto& size : sizes) {
            ASSERT_EQ(ShrinkFactor::kNearestMean,
                      platform::ShrinkFactorFor(kW, kH, size.dw, size.dh));
            // The darkest output pixel over the line's whole length.
            const auto darkest = [&](bool column, int at) {
                std::vector<uint8_t> frame(static_cast<size_t>(kW) * kH * 4, 0xFF);
                for (int i = 0; i < (column ? kH : kW); ++i) {
                    const int x = column ? at : i;
                    const int y = column ? i : at;
                    std::fill_n(frame.begin() + (static_cast<ptrdiff_t>(y) * kW + x) * 4, 3, 0);
                }
                std::vector<uint8_t> out(static_cast<size_t>(size.dw) * size.dh * 4);
                EXPECT_TRUE(platform::ShrinkBgrxWith(kernel, ShrinkFactor::kNearestMean,
                                                     frame.data(), kW, kH, kW * 4, out.data(),
                                                     size.dw, size.dh, size.dw * 4));
                uint8_t least = 0xFF;
                for (size_t i = 0; i < out.size(); i += 4)
                    least = std::min(least, out[i + 1]);
                return least;
            };
            const int column_most = 2 * size.dw < kW ? 192 : 128;
            const int row_most = 2 * size.dh < kH ? 192 : 128;
            for (int x = 0; x < kW; ++x)
                EXPECT_LE(darkest(true, x), column_most) << "column " << x << " into " << size.dw;
            for (int y = 0; y < kH; ++y)
                EXPECT_LE(darkest(false, y), row_most) << "row " << y << " into " << size.dh;
        }
    }
}

} // namespace
