#include "media_type.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tovek::audio;

namespace {

class MediaType : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    static GstCaps* Caps(const char* text) { return gst_caps_from_string(text); }

    static std::optional<AudioMediaType> From(const char* caps_text, const uint8_t* first = nullptr,
                                              size_t size = 0) {
        GstCaps* caps = Caps(caps_text);
        auto type = MediaTypeFromStream(caps, first, size);
        gst_caps_unref(caps);
        return type;
    }

    template <typename T>
    static T Block(const AudioMediaType& type) {
        T value;
        EXPECT_EQ(sizeof(T), type.format_block().size());
        std::memcpy(&value, type.format_block().data(), sizeof(T));
        return value;
    }

    static void ExpectAudioRecord(const AudioMediaType& type, const GUID& subtype) {
        const AM_MEDIA_TYPE& mt = type.record();
        EXPECT_EQ(MEDIATYPE_Audio, mt.majortype);
        EXPECT_EQ(subtype, mt.subtype);
        EXPECT_EQ(FORMAT_WaveFormatEx, mt.formattype);
        EXPECT_EQ(nullptr, mt.pUnk);
        EXPECT_EQ(type.format_block().size(), mt.cbFormat);
        EXPECT_EQ(type.format_block().data(), mt.pbFormat);
    }
};

// MPEG-2 layer III, 56 kbit/s, 22050 Hz, joint stereo: what the MP3 encoder writes.
constexpr uint8_t kMpeg2Frame[] = {0xFF, 0xF3, 0x70, 0x40};
constexpr uint8_t kMpeg2PaddedFrame[] = {0xFF, 0xF3, 0x72, 0x40};
// MPEG-1 layer III, 128 kbit/s, 44100 Hz, mono.
constexpr uint8_t kMpeg1Frame[] = {0xFF, 0xFB, 0x90, 0xC0};

TEST_F(MediaType, MpegHeadersGiveFrameSizeRateAndChannels) {
    auto h = ParseMpegFrameHeader(kMpeg2Frame, sizeof(kMpeg2Frame));
    ASSERT_TRUE(h);
    EXPECT_EQ(2, h->version);
    EXPECT_EQ(3, h->layer);
    EXPECT_EQ(56, h->bitrate_kbps);
    EXPECT_EQ(22050, h->sample_rate);
    EXPECT_EQ(2, h->channels);
    EXPECT_EQ(576, h->samples_per_frame);
    EXPECT_EQ(182, h->frame_bytes);
    EXPECT_EQ(183, ParseMpegFrameHeader(kMpeg2PaddedFrame, 4)->frame_bytes);

    h = ParseMpegFrameHeader(kMpeg1Frame, sizeof(kMpeg1Frame));
    ASSERT_TRUE(h);
    EXPECT_EQ(1, h->version);
    EXPECT_EQ(1, h->channels);
    EXPECT_EQ(1152, h->samples_per_frame);
    EXPECT_EQ(417, h->frame_bytes);
}

TEST_F(MediaType, MpegHeaderRejectsWhatIsNoFrame) {
    const uint8_t no_sync[] = {0xFF, 0x13, 0x70, 0x40};
    const uint8_t reserved_version[] = {0xFF, 0xEB, 0x70, 0x40};
    const uint8_t reserved_layer[] = {0xFF, 0xF1, 0x70, 0x40};
    const uint8_t free_format[] = {0xFF, 0xF3, 0x00, 0x40};
    const uint8_t bad_bitrate[] = {0xFF, 0xF3, 0xF0, 0x40};
    const uint8_t reserved_rate[] = {0xFF, 0xF3, 0x7C, 0x40};
    for (const uint8_t* header :
         {no_sync, reserved_version, reserved_layer, free_format, bad_bitrate, reserved_rate}) {
        EXPECT_FALSE(ParseMpegFrameHeader(header, 4));
    }
    EXPECT_FALSE(ParseMpegFrameHeader(kMpeg2Frame, 3));
    EXPECT_FALSE(ParseMpegFrameHeader(nullptr, 4));
}

TEST_F(MediaType, PcmIsPlainWaveFormat) {
    auto type = From("audio/x-raw, format=S16LE, layout=interleaved, rate=22050, channels=2");
    ASSERT_TRUE(type);
    ExpectAudioRecord(*type, MEDIASUBTYPE_PCM);
    EXPECT_EQ(4u, type->record().lSampleSize);
    auto wfx = Block<WAVEFORMATEX>(*type);
    EXPECT_EQ(WAVE_FORMAT_PCM, wfx.wFormatTag);
    EXPECT_EQ(2, wfx.nChannels);
    EXPECT_EQ(22050u, wfx.nSamplesPerSec);
    EXPECT_EQ(88200u, wfx.nAvgBytesPerSec);
    EXPECT_EQ(4, wfx.nBlockAlign);
    EXPECT_EQ(16, wfx.wBitsPerSample);
    EXPECT_EQ(0, wfx.cbSize);
}

TEST_F(MediaType, Mp3FormatComesFromTheFirstFrame) {
    const char* caps = "audio/mpeg, mpegversion=1, mpegaudioversion=2, layer=3, rate=22050, "
                       "channels=2";
    auto type = From(caps, kMpeg2PaddedFrame, sizeof(kMpeg2PaddedFrame));
    ASSERT_TRUE(type);
    ExpectAudioRecord(*type, MEDIASUBTYPE_MP3);
    auto mp3 = Block<MPEGLAYER3WAVEFORMAT>(*type);
    EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, mp3.wfx.wFormatTag);
    EXPECT_EQ(2, mp3.wfx.nChannels);
    EXPECT_EQ(22050u, mp3.wfx.nSamplesPerSec);
    EXPECT_EQ(7000u, mp3.wfx.nAvgBytesPerSec);
    EXPECT_EQ(1, mp3.wfx.nBlockAlign);
    EXPECT_EQ(MPEGLAYER3_WFX_EXTRA_BYTES, mp3.wfx.cbSize);
    EXPECT_EQ(MPEGLAYER3_ID_MPEG, mp3.wID);
    EXPECT_EQ(MPEGLAYER3_FLAG_PADDING_ISO, mp3.fdwFlags);
    EXPECT_EQ(182, mp3.nBlockSize); // a frame without its padding byte
    EXPECT_EQ(1, mp3.nFramesPerBlock);

    EXPECT_EQ(417, Block<MPEGLAYER3WAVEFORMAT>(*From(caps, kMpeg1Frame, 4)).nBlockSize);
    // No usable first frame, or not layer III: no media type.
    EXPECT_FALSE(From(caps));
    const uint8_t layer2[] = {0xFF, 0xF5, 0x70, 0x40};
    EXPECT_FALSE(From(caps, layer2, sizeof(layer2)));
}

TEST_F(MediaType, AdpcmCarriesBlockSizeAndCoefficients) {
    // As avenc_adpcm_ms announces 22050 Hz stereo.
    const char* with_codec_data =
        "audio/x-adpcm, channels=2, rate=22050, layout=microsoft, block_align=1024, "
        "codec_data=(buffer)f403070000010000000200ff00000000c0004000f0000000cc0130ff880118ff";
    const char* without = "audio/x-adpcm, channels=2, rate=22050, layout=microsoft, "
                          "block_align=1024";
    for (const char* caps : {with_codec_data, without}) {
        SCOPED_TRACE(caps);
        auto type = From(caps);
        ASSERT_TRUE(type);
        ExpectAudioRecord(*type, MEDIASUBTYPE_MSADPCM);
        EXPECT_EQ(1024u, type->record().lSampleSize);
        auto adpcm = Block<ADPCMWAVEFORMAT>(*type);
        EXPECT_EQ(WAVE_FORMAT_ADPCM, adpcm.wfx.wFormatTag);
        EXPECT_EQ(2, adpcm.wfx.nChannels);
        EXPECT_EQ(22050u, adpcm.wfx.nSamplesPerSec);
        EXPECT_EQ(1024, adpcm.wfx.nBlockAlign);
        EXPECT_EQ(4, adpcm.wfx.wBitsPerSample);
        EXPECT_EQ(32, adpcm.wfx.cbSize);
        EXPECT_EQ(1012, adpcm.wSamplesPerBlock);
        EXPECT_EQ(22311u, adpcm.wfx.nAvgBytesPerSec); // 22050 * 1024 / 1012
        ASSERT_EQ(7, adpcm.wNumCoef);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(kAdpcmCoefficients[i].iCoef1, adpcm.aCoef[i].iCoef1);
            EXPECT_EQ(kAdpcmCoefficients[i].iCoef2, adpcm.aCoef[i].iCoef2);
        }
    }
    // Mono blocks hold one 7-byte header: (512 - 7) * 2 + 2 samples.
    auto mono = From("audio/x-adpcm, channels=1, rate=11025, layout=microsoft, block_align=512");
    ASSERT_TRUE(mono);
    EXPECT_EQ(1012, Block<ADPCMWAVEFORMAT>(*mono).wSamplesPerBlock);
    // A block too small for its headers is refused rather than divided by.
    EXPECT_FALSE(From("audio/x-adpcm, channels=2, rate=22050, layout=microsoft, block_align=14"));
}

TEST_F(MediaType, OtherFormatsHaveNone) {
    EXPECT_FALSE(From("audio/x-raw, format=F32LE, layout=interleaved, rate=22050, channels=2"));
    EXPECT_FALSE(From("audio/x-raw, format=S16LE, layout=interleaved, rate=22050, channels=6"));
    EXPECT_FALSE(From("audio/x-adpcm, channels=2, rate=22050, layout=dvi, block_align=1024"));
    EXPECT_FALSE(From("video/x-raw, format=BGRx, width=4, height=4"));
    EXPECT_FALSE(MediaTypeFromStream(nullptr, nullptr, 0));
}

TEST_F(MediaType, CopiesPointAtTheirOwnFormatBlock) {
    auto type = From("audio/x-raw, format=S16LE, layout=interleaved, rate=22050, channels=2");
    ASSERT_TRUE(type);
    AudioMediaType copy = *type;
    EXPECT_EQ(copy.format_block().data(), copy.record().pbFormat);
    EXPECT_NE(type->record().pbFormat, copy.record().pbFormat);
    EXPECT_TRUE(copy == *type);
    type.reset();
    EXPECT_EQ(22050u, copy.wave_format().nSamplesPerSec);
}

} // namespace
