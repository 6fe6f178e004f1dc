// The translation of control codes into command bytes and the status texts.
#include "camera/ControlKeys.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ControlKeyTest, TranslatesEveryCodeForBothFamilies) {
    const Bytes q5 = {0xBA, 0xB1, 0xB2, 0xBB, 0xB8, 0xB9, 0xBC, 0xBD, 0xBE,
                      0xBF, 0xB3, 0xB4, 0xD2, 0xD3, 0xD0, 0xD1, 0xB6, 0xB5};
    const Bytes rvx = {0x30, 0x31, 0x32, 0x35, 0x34, 0x33, 0x41, 0x40, 0x43,
                       0x42, 0x35, 0x4A, 0x45, 0x44, 0x47, 0x46, 0x38, 0x49};
    for (int code = ctl::kFirst; code <= ctl::kLast; ++code) {
        int counters[3] = {0, 0, 0};
        EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kQ5, code, counters), q5[code - 0xA4])
            << std::hex << code;
        EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kRVX, code, counters), rvx[code - 0xA4])
            << std::hex << code;
    }
    for (int code : {0x00, 0x30, 0xA3, 0xB6, 0xFF, -92, 1000}) {
        int counters[3] = {0, 0, 0};
        EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kQ5, code, counters), 0xBA);
        EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kRVX, code, counters), 0xBA);
        EXPECT_EQ(counters[0] + counters[1] + counters[2], 0);
    }
}

TEST(ControlKeyTest, RvxCountersStepThroughTheirStatesAndQ5TakesNone) {
    int counters[3] = {0, 0, 0};
    Bytes mirror, neg, mono;
    for (int i = 0; i < 5; ++i) {
        mirror.push_back(ctl::TranslateControlKey(DeviceFamily::kRVX, ctl::kMirror, counters));
        neg.push_back(ctl::TranslateControlKey(DeviceFamily::kRVX, ctl::kNegative, counters));
        mono.push_back(ctl::TranslateControlKey(DeviceFamily::kRVX, ctl::kMonoColor, counters));
    }
    EXPECT_EQ(mirror, (Bytes{0x4A, 0x4B, 0x4C, 0x4D, 0x4A}));
    EXPECT_EQ(neg, (Bytes{0x38, 0x37, 0x38, 0x37, 0x38}));
    EXPECT_EQ(mono, (Bytes{0x49, 0x48, 0x49, 0x48, 0x49}));
    int q5[3] = {0, 0, 0};
    EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kQ5, ctl::kNegative, q5), 0xB6);
    EXPECT_EQ(ctl::TranslateControlKey(DeviceFamily::kQ5, ctl::kNegative, q5), 0xB6);
    EXPECT_EQ(q5[1], 0);
    // A counter that ran past the largest int still picks a valid state.
    int wrapped[3] = {-1, -1, -1};
    const uint8_t byte = ctl::TranslateControlKey(DeviceFamily::kRVX, ctl::kMirror, wrapped);
    EXPECT_GE(byte, 0x4A);
    EXPECT_LE(byte, 0x4D);
}

TEST(ControlKeyTest, StatusTexts) {
    EXPECT_EQ(ctl::StatusText(0x22), "Invalid(Freeze)");
    EXPECT_EQ(ctl::StatusText(0x85), "Foucus Far");
    EXPECT_EQ(ctl::StatusText(0x9B), "Exit");
    EXPECT_EQ(ctl::StatusText(0x2A), "Unknown(Error = 0X2A)");
    EXPECT_EQ(ctl::StatusText(0x7F), "Unknown(Error = 0X7F)");
}

} // namespace
