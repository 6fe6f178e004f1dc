// The media type of an encoded audio stream, as an AVI audio stream header
// needs it, derived from what the encoder really produces: its output caps
// and, for MPEG audio, its first frame.
#pragma once

#include "platform/wintypes.h"

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tovek::audio {

// A media type that owns its format block. media_type().pbFormat points into
// this object, so the record stays valid as long as the object does.
class AudioMediaType {
public:
    AudioMediaType(const GUID& subtype, ULONG sample_size, std::vector<BYTE> format_block);
    AudioMediaType(const AudioMediaType& other);
    AudioMediaType& operator=(const AudioMediaType& other);

    AM_MEDIA_TYPE* media_type() { return &record_; }
    const AM_MEDIA_TYPE& record() const { return record_; }
    const std::vector<BYTE>& format_block() const { return format_; }
    const WAVEFORMATEX& wave_format() const;

    bool operator==(const AudioMediaType& other) const;

private:
    void Point();

    std::vector<BYTE> format_;
    AM_MEDIA_TYPE record_{};
};

// One MPEG audio frame header (the four bytes that start every frame).
struct MpegFrameHeader {
    int version = 0;      // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
    int layer = 0;        // 1, 2 or 3
    int bitrate_kbps = 0; // 0 for the free format
    int sample_rate = 0;  // Hz
    int channels = 0;     // 1 or 2
    bool padding = false;
    int frame_bytes = 0; // whole frame, padding included
    int samples_per_frame = 0;
};

// Parses the header at data; nullopt when it is not a valid frame header
// (no sync, reserved values, free format).
std::optional<MpegFrameHeader> ParseMpegFrameHeader(const uint8_t* data, size_t size);

// What the format block needs: MPEG audio needs its first frame (bit rate),
// the others know everything from the caps.
bool NeedsFirstFrame(const GstCaps* caps);

// Builds the media type for caps (audio/x-raw S16LE, audio/x-adpcm of the
// Microsoft layout, audio/mpeg layer 3) and, where needed, the stream's
// first buffer. nullopt for any other format or incomplete information.
std::optional<AudioMediaType> MediaTypeFromStream(const GstCaps* caps, const uint8_t* first,
                                                  size_t first_size);

} // namespace tovek::audio
