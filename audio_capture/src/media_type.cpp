#include "media_type.h"

#include "platform/gst_ref.h"

#include <cstring>

namespace tovek::audio {
namespace {

// LAME's encoder delay (576 samples) plus the MP3 decoder's (529): the
// samples of silence a player sees before the first captured one.
constexpr WORD kLameCodecDelay = 576 + 529;

constexpr int kBitratesKbps[5][15] = {
    // MPEG-1 layers I, II, III
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    // MPEG-2 and 2.5: layer I, then layers II and III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kMpeg1SampleRates[3] = {44100, 48000, 32000};

template <typename T>
void Append(std::vector<BYTE>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

WAVEFORMATEX WaveFormat(WORD tag, int channels, int rate, DWORD avg_bytes, WORD block_align,
                        WORD bits, WORD extra_bytes) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = tag;
    wfx.nChannels = static_cast<WORD>(channels);
    wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    wfx.nAvgBytesPerSec = avg_bytes;
    wfx.nBlockAlign = block_align;
    wfx.wBitsPerSample = bits;
    wfx.cbSize = extra_bytes;
    return wfx;
}

bool ReadRateAndChannels(const GstStructure* s, int* rate, int* channels) {
    return gst_structure_get_int(s, "rate", rate) &&
           gst_structure_get_int(s, "channels", channels) && *rate > 0 && *channels >= 1 &&
           *channels <= 2;
}

std::optional<AudioMediaType> PcmType(const GstStructure* s) {
    const char* format = gst_structure_get_string(s, "format");
    int rate = 0;
    int channels = 0;
    if (!format || std::strcmp(format, "S16LE") != 0 || !ReadRateAndChannels(s, &rate, &channels)) {
        return std::nullopt;
    }
    const WORD block_align = static_cast<WORD>(channels * 2);
    std::vector<BYTE> block;
    Append(block, WaveFormat(WAVE_FORMAT_PCM, channels, rate,
                             static_cast<DWORD>(rate) * block_align, block_align, 16, 0));
    return AudioMediaType(MEDIASUBTYPE_PCM, block_align, std::move(block));
}

// The format's extra bytes: samples per block, coefficient count and the
// coefficient pairs. libav hands them over as codec_data; they are rebuilt
// from the block size only when that is missing or malformed.
std::vector<BYTE> AdpcmExtra(const GstStructure* s, int block_align, int channels) {
    const GValue* value = gst_structure_get_value(s, "codec_data");
    if (value && G_VALUE_HOLDS(value, GST_TYPE_BUFFER)) {
        GstBuffer* buffer = gst_value_get_buffer(value);
        std::vector<BYTE> extra;
        if (buffer) {
            const platform::BufferMap map(buffer, GST_MAP_READ);
            if (map) {
                extra.assign(map.data(), map.data() + map.size());
            }
        }
        if (extra.size() >= 4) {
            const size_t coefficients = extra[2] | (extra[3] << 8);
            if (coefficients >= 7 && extra.size() == 4 + 4 * coefficients) {
                return extra;
            }
        }
    }
    // Each block starts with a 7-byte header per channel holding two samples;
    // every further byte holds two 4-bit samples.
    const WORD samples_per_block =
        static_cast<WORD>((block_align - 7 * channels) * 2 / channels + 2);
    std::vector<BYTE> extra;
    Append(extra, samples_per_block);
    Append(extra, static_cast<WORD>(7));
    for (const ADPCMCOEFSET& pair : kAdpcmCoefficients) {
        Append(extra, pair);
    }
    return extra;
}

std::optional<AudioMediaType> AdpcmType(const GstStructure* s) {
    const char* layout = gst_structure_get_string(s, "layout");
    int rate = 0;
    int channels = 0;
    int block_align = 0;
    if (!layout || std::strcmp(layout, "microsoft") != 0 ||
        !ReadRateAndChannels(s, &rate, &channels) ||
        !gst_structure_get_int(s, "block_align", &block_align) || block_align <= 7 * channels ||
        block_align > 0xFFFF) {
        return std::nullopt;
    }
    std::vector<BYTE> extra = AdpcmExtra(s, block_align, channels);
    const WORD samples_per_block = static_cast<WORD>(extra[0] | (extra[1] << 8));
    if (samples_per_block == 0) {
        return std::nullopt;
    }
    const DWORD avg_bytes =
        static_cast<DWORD>(static_cast<uint64_t>(rate) * block_align / samples_per_block);
    std::vector<BYTE> block;
    Append(block, WaveFormat(WAVE_FORMAT_ADPCM, channels, rate, avg_bytes,
                             static_cast<WORD>(block_align), 4, static_cast<WORD>(extra.size())));
    block.insert(block.end(), extra.begin(), extra.end());
    return AudioMediaType(MEDIASUBTYPE_MSADPCM, static_cast<ULONG>(block_align), std::move(block));
}

std::optional<AudioMediaType> Mp3Type(const uint8_t* first, size_t first_size) {
    const std::optional<MpegFrameHeader> frame = ParseMpegFrameHeader(first, first_size);
    if (!frame || frame->layer != 3) {
        return std::nullopt;
    }
    const int bits_per_second = frame->bitrate_kbps * 1000;
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx = WaveFormat(WAVE_FORMAT_MPEGLAYER3, frame->channels, frame->sample_rate,
                         static_cast<DWORD>(bits_per_second / 8), 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES);
    mp3.wID = MPEGLAYER3_ID_MPEG;
    // A constant bit rate at a rate that does not divide evenly pads some
    // frames by one byte, as the standard prescribes.
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3.nBlockSize =
        static_cast<WORD>(frame->samples_per_frame / 8 * bits_per_second / frame->sample_rate);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = kLameCodecDelay;
    std::vector<BYTE> block;
    Append(block, mp3);
    return AudioMediaType(MEDIASUBTYPE_MP3, 1, std::move(block));
}

} // namespace

AudioMediaType::AudioMediaType(const GUID& subtype, ULONG sample_size,
                               std::vector<BYTE> format_block)
    : format_(std::move(format_block)) {
    record_.majortype = MEDIATYPE_Audio;
    record_.subtype = subtype;
    record_.bFixedSizeSamples = TRUE;
    record_.bTemporalCompression = FALSE;
    record_.lSampleSize = sample_size;
    record_.formattype = FORMAT_WaveFormatEx;
    record_.pUnk = nullptr;
    Point();
}

AudioMediaType::AudioMediaType(const AudioMediaType& other)
    : format_(other.format_), record_(other.record_) {
    Point();
}

AudioMediaType& AudioMediaType::operator=(const AudioMediaType& other) {
    format_ = other.format_;
    record_ = other.record_;
    Point();
    return *this;
}

void AudioMediaType::Point() {
    record_.cbFormat = static_cast<ULONG>(format_.size());
    record_.pbFormat = format_.data();
}

const WAVEFORMATEX& AudioMediaType::wave_format() const {
    return *reinterpret_cast<const WAVEFORMATEX*>(format_.data());
}

bool AudioMediaType::operator==(const AudioMediaType& other) const {
    return record_.subtype == other.record_.subtype &&
           record_.lSampleSize == other.record_.lSampleSize && format_ == other.format_;
}

std::optional<MpegFrameHeader> ParseMpegFrameHeader(const uint8_t* data, size_t size) {
    if (!data || size < 4 || data[0] != 0xFF || (data[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int version_bits = (data[1] >> 3) & 3;
    const int layer_bits = (data[1] >> 1) & 3;
    const int bitrate_index = data[2] >> 4;
    const int rate_index = (data[2] >> 2) & 3;
    if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 ||
        rate_index == 3) {
        return std::nullopt;
    }
    MpegFrameHeader h;
    h.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
    h.layer = 4 - layer_bits;
    const int table = h.version == 1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitrate_kbps = kBitratesKbps[table][bitrate_index];
    h.sample_rate = kMpeg1SampleRates[rate_index] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.padding = ((data[2] >> 1) & 1) != 0;
    h.channels = (data[3] >> 6) == 3 ? 1 : 2;
    const int bps = h.bitrate_kbps * 1000;
    if (h.layer == 1) {
        h.samples_per_frame = 384;
        h.frame_bytes = (12 * bps / h.sample_rate + (h.padding ? 1 : 0)) * 4;
    } else {
        h.samples_per_frame = (h.layer == 3 && h.version != 1) ? 576 : 1152;
        h.frame_bytes = h.samples_per_frame / 8 * bps / h.sample_rate + (h.padding ? 1 : 0);
    }
    return h;
}

bool NeedsFirstFrame(const GstCaps* caps) {
    if (!caps || gst_caps_get_size(caps) == 0) {
        return false;
    }
    return gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/mpeg");
}

std::optional<AudioMediaType> MediaTypeFromStream(const GstCaps* caps, const uint8_t* first,
                                                  size_t first_size) {
    if (!caps || gst_caps_get_size(caps) == 0) {
        return std::nullopt;
    }
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    if (gst_structure_has_name(s, "audio/x-raw")) {
        return PcmType(s);
    }
    if (gst_structure_has_name(s, "audio/x-adpcm")) {
        return AdpcmType(s);
    }
    if (gst_structure_has_name(s, "audio/mpeg")) {
        int version = 0;
        int layer = 0;
        if (!gst_structure_get_int(s, "mpegversion", &version) || version != 1 ||
            (gst_structure_get_int(s, "layer", &layer) && layer != 3)) {
            return std::nullopt;
        }
        return Mp3Type(first, first_size);
    }
    return std::nullopt;
}

} // namespace tovek::audio
