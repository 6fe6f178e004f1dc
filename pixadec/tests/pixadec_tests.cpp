#include "pixadec.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// A picture with a colour gradient, so that its scan carries real data.
Bytes MakeJpeg(int width, int height, int subsampling = TJSAMP_420, int flags = 0) {
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 7 / 3);
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    Bytes jpeg;
    if (tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, subsampling, 85,
                    flags) == 0) {
        jpeg.assign(out, out + size);
    }
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

// Offset of the marker (0xFF, marker) or of the first byte after the SOS
// segment for marker 0xDA; 0 when absent.
size_t Find(const Bytes& jpeg, unsigned char marker) {
    for (size_t i = 2; i + 3 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) {
            return marker == 0xDA ? i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]) : i;
        }
    }
    return 0;
}

bool Opens(const Bytes& jpeg, size_t length) {
    PIXADEC_HANDLE h =
        LibJpeg_Open(jpeg.data(), static_cast<int>(length), nullptr, nullptr, nullptr);
    LibJpeg_Close(h);
    return h != nullptr;
}

bool Opens(const Bytes& jpeg) {
    return Opens(jpeg, jpeg.size());
}

TEST(Pixadec, MeasuresValidPictures) {
    struct Case {
        int width, height, subsampling, flags, components;
    };
    for (const Case& c : {Case{1024, 768, TJSAMP_420, 0, 3}, Case{17, 9, TJSAMP_422, 0, 3},
                          Case{1, 1, TJSAMP_444, 0, 3}, Case{640, 480, TJSAMP_GRAY, 0, 1},
                          Case{333, 211, TJSAMP_420, TJFLAG_PROGRESSIVE, 3}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        Bytes jpeg = MakeJpeg(c.width, c.height, c.subsampling, c.flags);
        jpeg.insert(jpeg.end(), 50, 0x00); // padding after EOI is allowed
        ASSERT_EQ(LibJpeg_Initialize(), 0);
        int w = -1, h = -1, comps = -1;
        PIXADEC_HANDLE handle =
            LibJpeg_Open(jpeg.data(), static_cast<int>(jpeg.size()), &w, &h, &comps);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(comps, c.components);
        w = h = 0;
        EXPECT_EQ(LibJpeg_GetSize(handle, &w, &h), 0);
        EXPECT_TRUE(w == c.width && h == c.height);
        LibJpeg_Close(handle);
        EXPECT_EQ(LibJpeg_UnInitialize(), 0);
    }
}

TEST(Pixadec, RefusesEveryTruncation) {
    const Bytes jpeg = MakeJpeg(48, 32);
    ASSERT_TRUE(Opens(jpeg));
    for (size_t length = 0; length < jpeg.size(); ++length) {
        EXPECT_FALSE(Opens(jpeg, length)) << "length " << length;
    }
}

TEST(Pixadec, RefusesDamagedScans) {
    const Bytes jpeg = MakeJpeg(256, 192);
    const size_t middle = (Find(jpeg, 0xDA) + jpeg.size()) / 2;
    ASSERT_GT(middle, 2u);

    Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>(middle));
    cut.insert(cut.end(), {0xFF, 0xD9}); // cut short, yet closed with EOI
    int w = 7;
    EXPECT_EQ(LibJpeg_Open(cut.data(), static_cast<int>(cut.size()), &w, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(w, 7) << "out values stay untouched on failure";

    for (unsigned char marker : {0xD3, 0x02}) { // a restart without intervals; unknown
        Bytes damaged = jpeg;
        damaged[middle] = 0xFF;
        damaged[middle + 1] = marker;
        EXPECT_FALSE(Opens(damaged)) << std::hex << int{marker};
    }
}

TEST(Pixadec, RefusesBrokenHeadersAndGarbage) {
    const Bytes good = MakeJpeg(32, 32);
    const size_t sof = Find(good, 0xC0);
    ASSERT_GT(sof, 0u);
    Bytes no_soi = good, zero_width = good, long_segment = good, two_frames = good;
    no_soi[1] = 0xD9;
    zero_width[sof + 7] = zero_width[sof + 8] = 0;
    long_segment[sof + 2] = 0xFF; // runs past the end of the data
    two_frames.insert(two_frames.begin() + static_cast<long>(sof),
                      good.begin() + static_cast<long>(sof),
                      good.begin() + static_cast<long>(sof) + 19);
    for (const Bytes* bad : {&no_soi, &zero_width, &long_segment, &two_frames}) {
        EXPECT_FALSE(Opens(*bad));
    }

    const unsigned char one = 0xFF;
    EXPECT_EQ(LibJpeg_Open(nullptr, 100, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(LibJpeg_Open(&one, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(LibJpeg_Open(&one, -5, nullptr, nullptr, nullptr), nullptr);
    EXPECT_FALSE(Opens(Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
    Bytes garbage(4096);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    }
    EXPECT_FALSE(Opens(garbage));
    garbage[0] = 0xFF;
    garbage[1] = 0xD8;
    EXPECT_FALSE(Opens(garbage));
}

TEST(Pixadec, NullHandleIsHarmless) {
    LibJpeg_Close(nullptr);
    int w = 3;
    EXPECT_EQ(LibJpeg_GetSize(nullptr, &w, nullptr), -1);
    EXPECT_EQ(w, 3);
}

TEST(Pixadec, ConcurrentCallersGetTheirOwnSizes) {
    const Bytes pictures[2] = {MakeJpeg(160, 120), MakeJpeg(800, 600)};
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Bytes& jpeg = pictures[t % 2];
            for (int i = 0; i < 20; ++i) {
                int w = 0;
                PIXADEC_HANDLE h =
                    LibJpeg_Open(jpeg.data(), static_cast<int>(jpeg.size()), &w, nullptr, nullptr);
                failures[t] += (h == nullptr || w != (t % 2 ? 800 : 160));
                LibJpeg_Close(h);
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
