// Frame rates at and past the limits of the stream set-up.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "Strovi.h"
#include "strovi_test_util.h"
#include "testsupport/temp_folder.h"

using namespace strovitest;

namespace {

using SetUpFn = int32_t(TOVEK_STDCALL*)(AviOutputFile*, int32_t, int32_t, int32_t, int32_t);
using WriteFn = int32_t(TOVEK_STDCALL*)(AviOutputFile*, const void*, uint32_t, int32_t, uint32_t,
                                        int32_t);

TEST(FrameRateTest, RatesPastTheLimitsAreRefusedOrWrittenSafely) {
    struct Case {
        const char* name;
        SetUpFn set_up;
        WriteFn write;
        const char* chunk;
        int32_t frames_per_second;
        int32_t result;
    };
    const int32_t invalid = static_cast<int32_t>(E_INVALIDARG);
    const Case cases[] = {
        // 1000 / 1001 is 0: a zero frame period the pacing would divide by.
        {"Video1 1001", SetAVCVideo1Param, WriteVideo1, "01dc", 1001, invalid},
        {"Video1 max", SetAVCVideo1Param, WriteVideo1, "01dc", INT32_MAX, invalid},
        {"Video1 1000", SetAVCVideo1Param, WriteVideo1, "01dc", 1000, 0},
        // Rate x 5 buffering seconds overflows 32 bits.
        {"Video0 max", SetAVCVideo0Param, WriteVideo0, "01dc", INT32_MAX, 0},
        {"VGA max", SetAVCVGAParam, WriteVGA, "01dc", INT32_MAX, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const testsupport::TempFolder temp("tovek-avi");
        const std::string folder = temp.Path().string();
        const std::string path = folder + "/rate.avi";
        AviOutputFile* file = FileOpen(path.c_str());
        ASSERT_NE(file, nullptr);
        // Audio first, so the H.264 streams are paced against its clock.
        ASSERT_EQ(SetMp3Param(file, 2, 22050, 0), 0);
        EXPECT_EQ(c.set_up(file, 640, 480, c.frames_per_second, 24), c.result);
        if (c.result == 0) {
            const std::vector<uint8_t> audio(104, 0);
            for (uint32_t i = 0; i < 120; ++i) {
                ASSERT_EQ(
                    WriteAudio0(file, audio.data(), static_cast<uint32_t>(audio.size()), 1, i, 0),
                    0);
                ASSERT_EQ(c.write(file, Numbered(i).data(), 16, i % 10 == 0, i, 0), 0);
            }
        }
        FileClose(file);
        std::string error;
        const std::vector<Sample> samples = ReadSamples(path, &error);
        EXPECT_EQ(error, "");
        size_t frames = 0;
        for (const Sample& s : samples) {
            frames += s.id == c.chunk;
        }
        if (c.result == 0) {
            EXPECT_GT(frames, 0u);
        } else {
            EXPECT_EQ(frames, 0u);
        }
    }
}

} // namespace
