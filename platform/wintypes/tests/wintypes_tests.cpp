#include "platform/wintypes.h"

#include <gtest/gtest.h>

#include <cstring>

// The records are copied byte for byte into files and across libraries, so the
// byte layout (not just the size) must be that of the originals.
TEST(WinTypes, WaveFormatFieldsSitAtTheirFileOffsets) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 22050;
    wfx.nAvgBytesPerSec = 88200;
    wfx.nBlockAlign = 4;
    wfx.wBitsPerSample = 16;
    wfx.cbSize = 0;
    const uint8_t expected[18] = {0x01, 0x00, 0x02, 0x00, 0x22, 0x56, 0x00, 0x00, 0x88,
                                  0x58, 0x01, 0x00, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(&wfx, expected, sizeof expected));
    EXPECT_EQ(18u, offsetof(MPEGLAYER3WAVEFORMAT, wID));
    EXPECT_EQ(20u, offsetof(MPEGLAYER3WAVEFORMAT, fdwFlags));
    EXPECT_EQ(20u, offsetof(ADPCMWAVEFORMAT, wNumCoef));
    EXPECT_EQ(22u, offsetof(ADPCMWAVEFORMAT, aCoef));
}

TEST(WinTypes, ColorRefKeepsRedInTheLowByte) {
    constexpr COLORREF c = RGB(0x12, 0x34, 0x56);
    static_assert(c == 0x00563412);
    EXPECT_EQ(0x12, GetRValue(c));
    EXPECT_EQ(0x34, GetGValue(c));
    EXPECT_EQ(0x56, GetBValue(c));
}

TEST(WinTypes, ResultCodesAndGuids) {
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(VFW_S_NO_MORE_ITEMS));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_EQ(static_cast<uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_FALSE(MEDIATYPE_Video == MEDIATYPE_Audio);
    EXPECT_TRUE(MEDIASUBTYPE_MJPG == MEDIASUBTYPE_MJPG);
    // The MJPG subtype is the FOURCC in its first field.
    EXPECT_EQ(MakeFourCC('M', 'J', 'P', 'G'), MEDIASUBTYPE_MJPG.Data1);
}
