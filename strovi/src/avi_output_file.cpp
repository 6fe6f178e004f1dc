#include "avi_output_file.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace strovi {

SampleNode* SampleList::PopFront() {
    if (Empty()) {
        return nullptr;
    }
    SampleNode* node = sentinel_.next;
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->next = node->prev = nullptr;
    return node;
}

void SampleList::InsertBefore(SampleNode* at, SampleNode* node) {
    node->next = at;
    node->prev = at->prev;
    at->prev->next = node;
    at->prev = node;
}

void SampleList::InsertByTime(SampleNode* node) {
    // Searched from the back: samples mostly arrive in time order.
    SampleNode* after = sentinel_.prev;
    while (after != &sentinel_ && after->time_stamp > node->time_stamp) {
        after = after->prev;
    }
    InsertBefore(after->next, node);
}

} // namespace strovi

namespace {

using strovi::kAudio;
using strovi::kVga;
using strovi::kVideo0;
using strovi::kVideo1;

constexpr int kAudioNodes = 172; // trunc(5 s x 1000 / 29 ms)
// The slots follow the stream types, audio first.
constexpr int kSlotAudio = 0;
constexpr int SlotOf(int32_t type) {
    return type - kAudio;
}

constexpr int32_t kMsPerSecond = 1000;
constexpr DWORD kBitsPerByte = 8;
constexpr DWORD kBitsPerKilobit = 1000;

// dwQuality -1: the codec's default quality.
constexpr DWORD kDefaultQuality = 0xFFFFFFFF;

// The bytes after a Video1 stream's bitmap header: the stream's decoder
// configuration, an MPEG-4 Visual object (start code 00 00 01 00) and video
// object layer (00 00 01 20; simple object type, square pixels, 30000 ticks a
// second), written for 640 x 480. The layer's size fields are not byte
// aligned; SetVideoParam writes the real size over these bytes:
constexpr uint8_t kVideo1ConfigTemplate[18] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                               0x01, 0x20, 0x00, 0x84, 0x5D, 0x4C,
                                               0x28, 0xA0, 0x21, 0xE0, 0xA3, 0x1F};
// width bits 9..2 (the three bits above them, in the byte before, stay 0);
constexpr size_t kConfigWidthByte = 13;
// width bits 1..0 (taken as 0: widths are multiples of 4), a marker bit and
// height bits 12..8 (bit 12 taken as 0);
constexpr size_t kConfigHeightHighByte = 14;
constexpr uint8_t kConfigMarkerBit = 0x20;
// height bits 7..0.
constexpr size_t kConfigHeightLowByte = 15;

// MPEG audio frames hold 1152 samples in MPEG-1, whose rates are 32, 44.1
// and 48 kHz, and 576 in MPEG-2 and 2.5, which take the lower rates.
constexpr int kMpeg1SamplesPerFrame = 1152;
constexpr int kMpeg2SamplesPerFrame = 576;
constexpr uint32_t kMpeg1LowestRate = 32000;

// Fields of the MPEGLAYER3WAVEFORMAT that SetMp3Param writes, as MP3 formats
// in AVI files carry them:
// wBitsPerSample: the decoded samples are 16-bit.
constexpr WORD kMp3BitsPerSample = 16;
// nBlockAlign: 1, until MarkFramedMp3 puts the samples per frame there.
constexpr WORD kMp3BlockAlign = 1;
// nFramesPerBlock: one frame per block (one per chunk).
constexpr WORD kMp3FramesPerBlock = 1;
// nCodecDelay: 1393 samples, the value usual in MP3 formats of AVI files
// (the one the media platform's own MP3 codec writes); nothing times by it.
constexpr WORD kMp3CodecDelay = 1393;

// The audio stream's dwLength at set-up. The file writer records the length
// it counts from the chunks written instead, so this number never reaches a
// file and means nothing; any value would do.
constexpr DWORD kAudioLengthPlaceholder = 76396;

// The offset of an ADPCMWAVEFORMAT's wSamplesPerBlock, right after the
// WAVEFORMATEX.
constexpr size_t kAdpcmSamplesPerBlockAt = offsetof(ADPCMWAVEFORMAT, wSamplesPerBlock);

// An audio format block must hold the WAVEFORMAT fields up to wBitsPerSample
// (a PCMWAVEFORMAT) to be read, and fit the 16-bit sizes of the format
// records.
constexpr size_t kShortestAudioFormat = offsetof(WAVEFORMATEX, cbSize);
constexpr size_t kLongestAudioFormat = 0xFFFF;

// The pacing of the H.264 streams against the audio clock. The first
// frames of a stream go out unpaced while the audio clock gets going (50 are
// about three seconds at the Q5's 16 frames a second). After that a stream
// more than kAheadPeriods frame periods ahead drops frames, and one more
// than kBehindPeriods behind repeats key frames; the margin between them
// leaves the jitter of a period or two of the capture threads alone.
constexpr int32_t kUnpacedFrames = 50;
constexpr int kAheadPeriods = 3;
constexpr int kBehindPeriods = 4;

// At most half the last group is dropped at a time, so that the stream keeps
// showing motion while it catches up.
int32_t MaxFramesToDrop(int32_t last_group) {
    return last_group / 2;
}

// Bytes a second of a stream of kbps kilobits a second.
DWORD BytesPerSecond(int32_t kbps) {
    return static_cast<DWORD>(kbps) * kBitsPerKilobit / kBitsPerByte;
}

// The duration in milliseconds of scale / rate seconds.
double UnitMs(DWORD scale, DWORD rate) {
    return static_cast<double>(kMsPerSecond) * scale / rate;
}

const char* StreamName(strovi::StreamType type) {
    switch (type) {
    case kVideo0:
        return "Video Source0";
    case kVideo1:
        return "Video Source1";
    case kVga:
        return "VGA Source";
    default:
        return "Audio Source";
    }
}

int Mp3SamplesPerFrame(uint32_t sample_rate) {
    return sample_rate >= kMpeg1LowestRate ? kMpeg1SamplesPerFrame : kMpeg2SamplesPerFrame;
}

// MP3 in AVI is timed per chunk (one frame each) only when nBlockAlign holds
// the samples per frame, as dwScale does: readers (FFmpeg) otherwise count
// each chunk as nBlockAlign-sized pieces of its bytes.
void MarkFramedMp3(uint8_t* format, DWORD samples_per_frame) {
    const auto block_align = static_cast<WORD>(samples_per_frame);
    std::memcpy(format + offsetof(WAVEFORMATEX, nBlockAlign), &block_align, sizeof(block_align));
}

} // namespace

AviOutputFile::AviOutputFile() {
    AVIFileInit();
}

AviOutputFile::~AviOutputFile() {
    if (open_ != 0) {
        Close();
    }
    AVIFileExit();
}

bool AviOutputFile::Open(const char* path) {
    const size_t length = std::strlen(path);
    if (length >= kPathBytes) {
        return false;
    }
    std::memcpy(path_, path, length);
    if (AVIFileOpenA(&file_, path, OF_CREATE | OF_WRITE | OF_SHARE_DENY_WRITE, nullptr) !=
        AVIERR_OK) {
        file_ = nullptr;
        return false;
    }
    open_ = 1;
    return true;
}

void AviOutputFile::GrowFreeList(int count) {
    // Set-ups asking for more than the pool holds get what is left.
    for (int i = 0; i < count && nodes_handed_out_ < kPoolNodes; ++i) {
        free_list_.PushBack(&pool_[static_cast<size_t>(nodes_handed_out_++)]);
    }
}

HRESULT AviOutputFile::SetVideoParam(StreamType type, int32_t width, int32_t height,
                                     int32_t frames_per_second, int32_t bits_per_pixel) {
    const int slot = SlotOf(type);
    if (width < 1 || height < 1 || frames_per_second < 1) {
        return E_INVALIDARG;
    }
    // The Video1 frame period is the integer quotient 1000 / rate: above
    // kMaxVideo1FramesPerSecond it would be 0, and the pacing divides by it.
    if (type == kVideo1 && frames_per_second > kMaxVideo1FramesPerSecond) {
        return E_INVALIDARG;
    }
    if (streams_[slot] != nullptr) {
        return E_UNEXPECTED;
    }
    strovi::VideoParams& params = type == kVideo0 ? video0_ : type == kVideo1 ? video1_ : vga_;
    params = {width, height, frames_per_second, bits_per_pixel};
    // In 64 bits: rate x seconds overflows 32 bits for rates near the limit
    // of the argument, and the pool caps the growth anyway.
    {
        platform::MutexLock hold(queue_lock_);
        GrowFreeList(static_cast<int>(
            std::min<int64_t>(int64_t{frames_per_second} * buffering_seconds_, kPoolNodes)));
    }

    const FOURCC handler =
        type == kVga ? MakeFourCC('M', 'J', 'P', 'G') : MakeFourCC('H', '2', '6', '4');
    AVISTREAMINFOA& info = stream_info_[slot];
    info = {};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = handler;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(frames_per_second);
    info.dwQuality = kDefaultQuality;
    info.rcFrame = {0, 0, width, height};
    std::strncpy(info.szName, StreamName(type), sizeof(info.szName) - 1);
    if (AVIFileCreateStreamA(file_, &streams_[slot], &info) != AVIERR_OK) {
        streams_[slot] = nullptr;
        return E_FAIL;
    }

    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = width;
    bih.biHeight = height;
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(bits_per_pixel);
    bih.biCompression = handler;
    {
        platform::MutexLock hold(queue_lock_);
        if (type == kVideo0) {
            video0_clock_ = 0.0;
            video0_period_ = static_cast<double>(kMsPerSecond) / frames_per_second;
        } else if (type == kVga) {
            vga_clock_ = 0.0;
            vga_period_ = static_cast<double>(kMsPerSecond) / frames_per_second;
        } else {
            video1_clock_ = 0.0;
            video1_period_ = static_cast<double>(kMsPerSecond / frames_per_second);
        }
    }
    if (type != kVideo1) {
        return AVIStreamSetFormat(streams_[slot], 0, &bih, sizeof(bih));
    }
    // Video1 carries its decoder configuration after the bitmap header.
    uint8_t tail[sizeof(kVideo1ConfigTemplate)];
    std::memcpy(tail, kVideo1ConfigTemplate, sizeof(tail));
    tail[kConfigWidthByte] = static_cast<uint8_t>((width >> 2) & 0xFF);
    tail[kConfigHeightHighByte] = static_cast<uint8_t>(((height >> 8) & 0x0F) + kConfigMarkerBit);
    tail[kConfigHeightLowByte] = static_cast<uint8_t>(height & 0xFF);
    uint8_t format[sizeof(bih) + sizeof(tail)];
    bih.biSize = sizeof(format);
    std::memcpy(format, &bih, sizeof(bih));
    std::memcpy(format + sizeof(bih), tail, sizeof(tail));
    return AVIStreamSetFormat(streams_[slot], 0, format, sizeof(format));
}

AviOutputFile::AudioTiming AviOutputFile::AudioTimingFor(const WAVEFORMATEX& wfx,
                                                         const uint8_t* format, size_t format_bytes,
                                                         int32_t bit_rate_kbps) {
    // Readers time an audio stream by dwRate / dwScale per counted sample:
    // bytes in dwSampleSize units when that is set, else chunks.
    const DWORD block = wfx.nBlockAlign;
    if (wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.nSamplesPerSec > 0) {
        const DWORD frame =
            block != 0 ? block
                       : wfx.nChannels * ((wfx.wBitsPerSample + kBitsPerByte - 1) / kBitsPerByte);
        return {1, wfx.nSamplesPerSec, frame};
    }
    if (wfx.wFormatTag == WAVE_FORMAT_ADPCM && block != 0 && wfx.nSamplesPerSec > 0 &&
        format_bytes >= kAdpcmSamplesPerBlockAt + sizeof(WORD)) {
        const DWORD samples_per_block =
            format[kAdpcmSamplesPerBlockAt] | (format[kAdpcmSamplesPerBlockAt + 1] << 8);
        if (samples_per_block != 0) {
            return {samples_per_block, wfx.nSamplesPerSec, block};
        }
    }
    if (wfx.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && wfx.nSamplesPerSec > 0) {
        // One frame per chunk.
        return {static_cast<DWORD>(Mp3SamplesPerFrame(wfx.nSamplesPerSec)), wfx.nSamplesPerSec, 0};
    }
    if (block != 0 && wfx.nAvgBytesPerSec != 0) {
        return {block, wfx.nAvgBytesPerSec, block};
    }
    return {1, BytesPerSecond(bit_rate_kbps), 0};
}

HRESULT AviOutputFile::CreateAudioStream(const AudioTiming& timing, const void* format,
                                         LONG format_bytes) {
    AVISTREAMINFOA& info = stream_info_[kSlotAudio];
    info = {};
    info.fccType = streamtypeAUDIO;
    info.fccHandler = 0;
    info.dwScale = timing.scale;
    info.dwRate = timing.rate;
    info.dwLength = kAudioLengthPlaceholder;
    info.dwQuality = kDefaultQuality;
    info.dwSampleSize = timing.sample_size;
    std::strncpy(info.szName, StreamName(kAudio), sizeof(info.szName) - 1);
    if (AVIFileCreateStreamA(file_, &streams_[kSlotAudio], &info) != AVIERR_OK) {
        streams_[kSlotAudio] = nullptr;
        return E_FAIL;
    }
    // The audio clock follows the stream's own timing.
    {
        platform::MutexLock hold(queue_lock_);
        if (timing.sample_size != 0) {
            audio_unit_bytes_ = timing.sample_size;
            audio_unit_ms_ = UnitMs(timing.scale, timing.rate);
        } else {
            audio_unit_bytes_ = 0;
            audio_chunk_ms_ = UnitMs(timing.scale, timing.rate);
        }
    }
    return AVIStreamSetFormat(streams_[kSlotAudio], 0, format, format_bytes);
}

HRESULT AviOutputFile::SetMp3Param(int32_t channels, int32_t sample_rate, int32_t bit_rate_kbps) {
    if (channels < 1 || sample_rate < 1 || bit_rate_kbps < 0) {
        return E_INVALIDARG;
    }
    if (streams_[kSlotAudio] != nullptr) {
        return E_UNEXPECTED;
    }
    const int32_t kbps = bit_rate_kbps == 0 ? kDefaultMp3KbitsPerSecond : bit_rate_kbps;
    audio_channels_ = channels;
    audio_sample_rate_ = sample_rate;
    audio_bit_rate_kbps_ = kbps;
    audio_bits_per_sample_ = kMp3BitsPerSample;
    {
        platform::MutexLock hold(queue_lock_);
        GrowFreeList(kAudioNodes);
        audio_clock_ = 0.0;
        audio_chunk_ms_ = kMp3ChunkMs;
    }

    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = static_cast<WORD>(channels);
    mp3.wfx.nSamplesPerSec = static_cast<DWORD>(sample_rate);
    mp3.wfx.nAvgBytesPerSec = BytesPerSecond(kbps);
    mp3.wfx.nBlockAlign = kMp3BlockAlign;
    mp3.wfx.wBitsPerSample = kMp3BitsPerSample;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = 0;
    // Bytes of one frame: samples per frame / 8 x bits per second / rate.
    mp3.nBlockSize = static_cast<WORD>(static_cast<uint64_t>(Mp3SamplesPerFrame(sample_rate)) /
                                       kBitsPerByte * static_cast<uint64_t>(kbps) *
                                       kBitsPerKilobit / static_cast<uint64_t>(sample_rate));
    mp3.nFramesPerBlock = kMp3FramesPerBlock;
    mp3.nCodecDelay = kMp3CodecDelay;
    const AudioTiming timing = AudioTimingFor(mp3.wfx, nullptr, 0, kbps);
    MarkFramedMp3(reinterpret_cast<uint8_t*>(&mp3), timing.scale);
    return CreateAudioStream(timing, &mp3, sizeof(mp3));
}

int32_t AviOutputFile::SetAudioParam(const AM_MEDIA_TYPE& media_type, int32_t bit_rate_kbps) {
    if (!(media_type.majortype == MEDIATYPE_Audio) || media_type.pbFormat == nullptr) {
        return 0;
    }
    if (media_type.cbFormat < kShortestAudioFormat || media_type.cbFormat > kLongestAudioFormat ||
        streams_[kSlotAudio] != nullptr) {
        return 0;
    }
    WAVEFORMATEX wfx{};
    std::memcpy(&wfx, media_type.pbFormat, std::min<size_t>(media_type.cbFormat, sizeof(wfx)));
    audio_sample_rate_ = static_cast<int32_t>(wfx.nSamplesPerSec);
    audio_bits_per_sample_ = wfx.wBitsPerSample;
    audio_channels_ = wfx.nChannels;
    audio_bit_rate_kbps_ = bit_rate_kbps;
    {
        platform::MutexLock hold(queue_lock_);
        audio_clock_ = 0.0;
        audio_chunk_ms_ = kMp3ChunkMs;
        GrowFreeList(kAudioNodes);
    }
    const AudioTiming timing =
        AudioTimingFor(wfx, media_type.pbFormat, media_type.cbFormat, bit_rate_kbps);
    if (timing.rate == 0) {
        return 0;
    }
    std::vector<uint8_t> format(media_type.pbFormat, media_type.pbFormat + media_type.cbFormat);
    if (wfx.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        MarkFramedMp3(format.data(), timing.scale);
    }
    const HRESULT hr =
        CreateAudioStream(timing, format.data(), static_cast<LONG>(media_type.cbFormat));
    return SUCCEEDED(hr) ? 1 : 0;
}

int32_t AviOutputFile::Queue(StreamType type, const void* data, uint32_t length, bool key,
                             uint32_t time_stamp) {
    if (length != 0 && data == nullptr) {
        return -1;
    }
    platform::MutexLock hold(queue_lock_);
    if (free_list_.Empty() && !WriteOldest()) {
        return -1; // no stream set up: no node at all
    }
    // Nothing can sort before it (see Strovi.h): out now, with no copy.
    const SampleNode* last = pending_.Back();
    if (time_stamp == 0 && (last == nullptr || last->time_stamp == 0)) {
        while (WriteOldest()) {
        }
        WriteSample({type, static_cast<const uint8_t*>(data), length, key});
        return 0;
    }
    SampleNode* node = free_list_.PopFront();
    if (!buffers_.Take(type, length, &node->buffer)) {
        free_list_.PushBack(node);
        return E_OUTOFMEMORY;
    }
    if (length != 0) {
        std::memcpy(node->buffer.bytes.get(), data, length);
    }
    node->length = length;
    node->time_stamp = time_stamp;
    node->key = key ? 1 : 0;
    node->stream_type = type;
    pending_.InsertByTime(node);
    return 0;
}

bool AviOutputFile::WriteOldest() {
    SampleNode* oldest = pending_.PopFront();
    if (oldest == nullptr) {
        return false;
    }
    WriteSample({oldest->stream_type, oldest->Bytes(), oldest->length, oldest->key != 0});
    Recycle(oldest);
    return true;
}

void AviOutputFile::Recycle(SampleNode* node) {
    buffers_.Give(node->stream_type, &node->buffer);
    node->length = 0;
    free_list_.PushBack(node);
}

void AviOutputFile::WriteSample(const SampleView& sample) {
    switch (sample.stream_type) {
    case kAudio: {
        if (streams_[kSlotAudio] == nullptr) {
            return;
        }
        AVIStreamWrite(streams_[kSlotAudio], next_index_[kSlotAudio], 1, sample.bytes,
                       static_cast<LONG>(sample.length), AVIIF_KEYFRAME, nullptr, nullptr);
        next_index_[kSlotAudio] += 1;
        audio_clock_ +=
            audio_unit_bytes_ != 0
                ? static_cast<double>(sample.length / audio_unit_bytes_) * audio_unit_ms_
                : audio_chunk_ms_;
        return;
    }
    case kVga: {
        const int slot = SlotOf(kVga);
        if (streams_[slot] == nullptr) {
            return;
        }
        AVIStreamWrite(streams_[slot], next_index_[slot], 1, sample.bytes,
                       static_cast<LONG>(sample.length), sample.key ? AVIIF_KEYFRAME : 0, nullptr,
                       nullptr);
        next_index_[slot] += 1;
        return;
    }
    case kVideo0:
    case kVideo1:
        if (streams_[SlotOf(sample.stream_type)] != nullptr) {
            WritePaced(static_cast<StreamType>(sample.stream_type), sample);
        }
        return;
    default:
        return;
    }
}

HRESULT AviOutputFile::WriteFrame(int slot, const SampleView& sample, bool key, double* clock,
                                  double period) {
    LONG samples = 0;
    LONG bytes = 0;
    const HRESULT hr = AVIStreamWrite(streams_[slot], next_index_[slot], 1, sample.bytes,
                                      static_cast<LONG>(sample.length), key ? AVIIF_KEYFRAME : 0,
                                      &samples, &bytes);
    next_index_[slot] += 1;
    *clock += period;
    return hr == AVIERR_OK && samples == 1 && bytes == static_cast<LONG>(sample.length) ? S_OK
                                                                                        : E_FAIL;
}

namespace {

// Whole frame periods in a span of the clock, at most the frames of five
// seconds at 1000 frames per second: no camera needs more to catch up, and an
// absurd rate must neither overflow the count nor turn into billions of writes.
int32_t PeriodsIn(double span, double period) {
    constexpr double kMaxPeriods = 5 * 1000;
    return static_cast<int32_t>(std::min(std::trunc(span / period), kMaxPeriods));
}

} // namespace

HRESULT AviOutputFile::WritePaced(StreamType type, const SampleView& sample) {
    const bool is_video0 = type == kVideo0;
    strovi::PacingState& p = is_video0 ? video0_pacing_ : video1_pacing_;
    double* clock = is_video0 ? &video0_clock_ : &video1_clock_;
    const double period = is_video0 ? video0_period_ : video1_period_;
    const int slot = SlotOf(type);
    const bool key = sample.key;

    // Group tracking.
    if (key) {
        p.last_group = p.since_key;
        p.since_key = 0;
    } else {
        p.since_key += 1;
    }
    // Dropping runs only to the end of the group.
    if (p.drop_mode != 0) {
        p.dropped_k += 1;
        if (key) {
            p.drop_mode = 0;
            return WriteFrame(slot, sample, key, clock, period);
        }
        if (p.dropped_k <= p.last_group - p.frames_to_drop) {
            return WriteFrame(slot, sample, key, clock, period);
        }
        return S_OK;
    }
    const int32_t n = next_index_[slot];
    if (n > kUnpacedFrames && *clock > audio_clock_ + kAheadPeriods * period) {
        // Ahead of the audio: drop the tail of the group this key frame starts.
        if (key) {
            const int32_t behind = PeriodsIn(*clock - audio_clock_, period);
            p.frames_to_drop = std::min(behind, MaxFramesToDrop(p.last_group));
            p.drop_mode = 1;
            p.dropped_k = 0;
        }
        return WriteFrame(slot, sample, key, clock, period);
    }
    if (n > kUnpacedFrames && *clock + kBehindPeriods * period < audio_clock_ && key) {
        // Behind the audio: repeat this key frame to catch up.
        const int32_t repeats = PeriodsIn(audio_clock_ - *clock, period);
        for (int32_t i = 0; i < repeats; ++i) {
            if (FAILED(WriteFrame(slot, sample, true, clock, period))) {
                return E_FAIL;
            }
        }
        return S_OK;
    }
    return WriteFrame(slot, sample, key, clock, period);
}

HRESULT AviOutputFile::Flush() {
    platform::MutexLock hold(queue_lock_);
    while (WriteOldest()) {
    }
    return file_ != nullptr ? AVIFileFlush(file_) : E_UNEXPECTED;
}

void AviOutputFile::Close() {
    {
        platform::MutexLock hold(queue_lock_);
        while (WriteOldest()) {
        }
    }
    for (PAVISTREAM& stream : streams_) {
        if (stream != nullptr) {
            AVIStreamRelease(stream);
            stream = nullptr;
        }
    }
    if (file_ != nullptr) {
        AVIFileRelease(file_);
        file_ = nullptr;
    }
    {
        platform::MutexLock hold(queue_lock_);
        pending_.Clear();
        free_list_.Clear();
        buffers_.Clear();
    }
    open_ = 0;
}
