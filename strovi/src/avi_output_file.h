// One AVI file being recorded: stream set-up, the time-ordered delay queue
// with its node pool, and the pacing of the H.264 streams against the audio
// clock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/avifile.h"
#include "platform/thread_annotations.h"
#include "platform/wintypes.h"
#include "sample_buffers.h"

namespace strovi {

// One queued sample. A pending node holds its sample's buffer; a node on the
// free list holds none (the buffer went back to the pool of its stream).
struct SampleNode {
    SampleNode* next = nullptr;
    SampleNode* prev = nullptr;
    uint32_t time_stamp = 0;
    SampleBuffer buffer;
    uint32_t length = 0;
    uint8_t key = 0;
    int32_t stream_type = 0;

    const uint8_t* Bytes() const { return buffer.bytes.get(); }
};

// A sample on its way to the file: a queued node's or the caller's bytes.
struct SampleView {
    int32_t stream_type = 0;
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    bool key = false;
};

// A doubly linked list of nodes it does not own, around a sentinel.
class SampleList {
public:
    SampleList() { Clear(); }
    SampleList(const SampleList&) = delete;
    SampleList& operator=(const SampleList&) = delete;

    bool Empty() const { return sentinel_.next == &sentinel_; }
    // The last node, null when empty.
    const SampleNode* Back() const { return Empty() ? nullptr : sentinel_.prev; }
    void Clear() { sentinel_.next = sentinel_.prev = &sentinel_; }
    void PushBack(SampleNode* node) { InsertBefore(&sentinel_, node); }
    SampleNode* PopFront();
    // Before the first node with a greater time stamp: after every node with
    // an equal one, so equal stamps keep their order of arrival.
    void InsertByTime(SampleNode* node);

private:
    void InsertBefore(SampleNode* at, SampleNode* node);
    SampleNode sentinel_;
};

struct VideoParams {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frames_per_second = 0;
    int32_t bits_per_pixel = 0;
};

// Where a paced stream stands in its group of pictures.
struct PacingState {
    int32_t drop_mode = 0;
    int32_t dropped_k = 0;      // frames seen since drop mode began (k)
    int32_t last_group = 60;    // G: length of the last group
    int32_t since_key = 60;     // C: non-key frames since the last key frame
    int32_t frames_to_drop = 0; // D
};

} // namespace strovi

// The object behind a Strovi handle (declared opaque in Strovi.h).
class AviOutputFile {
public:
    using StreamType = strovi::StreamType;
    using SampleNode = strovi::SampleNode;
    using SampleView = strovi::SampleView;

    static constexpr int kPoolNodes = 1000;
    static constexpr int32_t kMaxVideo1FramesPerSecond = 1000;
    static_assert(kPoolNodes <= strovi::SampleBufferPool::kMaxSpares,
                  "every queued sample's buffer must fit among the spares");
    static constexpr size_t kPathBytes = 260;
    // The bit rate of an MP3 stream set up with 0: the rate TovekAudioCapture
    // encodes MP3 at, so that the declared byte rate and frame size match its
    // stream.
    static constexpr int32_t kDefaultMp3KbitsPerSecond = 56;

    AviOutputFile();
    virtual ~AviOutputFile();
    AviOutputFile(const AviOutputFile&) = delete;
    AviOutputFile& operator=(const AviOutputFile&) = delete;

    // Creates the file; false when it cannot be (the object is then unused).
    bool Open(const char* path);
    HRESULT SetVideoParam(StreamType type, int32_t width, int32_t height, int32_t frames_per_second,
                          int32_t bits_per_pixel);
    HRESULT SetMp3Param(int32_t channels, int32_t sample_rate, int32_t bit_rate_kbps);
    // 1 on success, 0 on failure.
    int32_t SetAudioParam(const AM_MEDIA_TYPE& media_type, int32_t bit_rate_kbps);
    int32_t Queue(StreamType type, const void* data, uint32_t length, bool key,
                  uint32_t time_stamp);
    // Writes what is queued, finishes the file and frees the buffers.
    // Writes every queued sample in time-stamp order and has the file made
    // readable as it stands (AVIFileFlush). S_OK, or the writer's failure
    // (AVIERR_FILEWRITE: a full disk).
    HRESULT Flush();
    void Close();

private:
    struct AudioTiming {
        DWORD scale;
        DWORD rate;
        DWORD sample_size;
    };
    static AudioTiming AudioTimingFor(const WAVEFORMATEX& wfx, const uint8_t* format,
                                      size_t format_bytes, int32_t bit_rate_kbps);

    // Set-ups call it before any write, with the lock taken for the analysis.
    void GrowFreeList(int count) TOVEK_REQUIRES(queue_lock_);
    // Called with queue_lock_ held: writes the oldest pending sample and frees
    // its node; false when nothing is pending.
    bool WriteOldest() TOVEK_REQUIRES(queue_lock_);
    void Recycle(SampleNode* node) TOVEK_REQUIRES(queue_lock_);
    HRESULT CreateAudioStream(const AudioTiming& timing, const void* format, LONG format_bytes);
    // Called with queue_lock_ held.
    void WriteSample(const SampleView& sample) TOVEK_REQUIRES(queue_lock_);
    HRESULT WritePaced(StreamType type, const SampleView& sample) TOVEK_REQUIRES(queue_lock_);
    HRESULT WriteFrame(int slot, const SampleView& sample, bool key, double* clock, double period)
        TOVEK_REQUIRES(queue_lock_);

    // Audio parameters.
    int32_t audio_bit_rate_kbps_ = 0;
    int32_t audio_channels_ = 0;
    int32_t audio_sample_rate_ = 0;
    int32_t audio_bits_per_sample_ = 0;
    strovi::VideoParams vga_;
    strovi::VideoParams video1_;
    strovi::VideoParams video0_;
    strovi::PacingState video1_pacing_ TOVEK_GUARDED_BY(queue_lock_);
    strovi::PacingState video0_pacing_ TOVEK_GUARDED_BY(queue_lock_);
    int32_t nodes_handed_out_ = 0;
    std::array<SampleNode, kPoolNodes> pool_;
    strovi::SampleList pending_ TOVEK_GUARDED_BY(queue_lock_);
    strovi::SampleList free_list_ TOVEK_GUARDED_BY(queue_lock_);
    strovi::SampleBufferPool buffers_ TOVEK_GUARDED_BY(queue_lock_);
    int32_t buffering_seconds_ = 5;
    uint8_t open_ = 0;
    char path_[kPathBytes] = {};
    // Serialises queueing and every write to the file (the queue, the free
    // list, the clocks, the pacing state, the indices and the streams).
    platform::Mutex queue_lock_;
    // Clocks in milliseconds (the set-ups start them, under the lock too).
    double audio_clock_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    // Per chunk, for streams counted in chunks. It starts at the length of
    // one MP3 frame, the usual chunk (1152 samples at 44.1 kHz, or 576 at
    // 22.05 kHz, last 26.1 ms), until the stream's own timing replaces it.
    static constexpr double kMp3ChunkMs = 26.0;
    double audio_chunk_ms_ TOVEK_GUARDED_BY(queue_lock_) = kMp3ChunkMs;
    // Else the bytes of one counted sample and its duration.
    uint32_t audio_unit_bytes_ TOVEK_GUARDED_BY(queue_lock_) = 0;
    double audio_unit_ms_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double video0_clock_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double video0_period_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double video1_clock_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double video1_period_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double vga_clock_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    double vga_period_ TOVEK_GUARDED_BY(queue_lock_) = 0.0;
    // Slots: audio, Video0, Video1, VGA. The records and handles are set by
    // the set-ups, before any write, and fixed from then on.
    std::array<AVISTREAMINFOA, 4> stream_info_{};
    std::array<PAVISTREAM, 4> streams_{};
    std::array<int32_t, 4> next_index_ TOVEK_GUARDED_BY(queue_lock_){};
    PAVIFILE file_ = nullptr;
};
