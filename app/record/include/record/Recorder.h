// Recorder: records the camera's compressed frames, and optionally sound,
// into AVI files under "<record path>/Videos/".
//
// Frames reach the recorder through Append on capture-library threads and wait
// in the recording queue; a writer thread paces them to the camera's frame rate
// (WriterPacing) and hands them to the AVI writer, waking once for every
// kFramesPerTurn frames, while the audio library's thread hands encoded sound
// to the same file. When a file passes the split size the recording goes on in
// a new file named after the time of the switch; when less than 50 MB of the
// space measured at a file's start remain, the recording stops. Every second
// the writer has the AVI writer make the file readable as it stands
// (FileFlush); a file that can no longer be written (the disk filled up behind
// the recorder's back) stops the recording with the disk message, and what was
// written stays playable.
// A recording may hand each frame through a transform on the writer thread
// (RecordParams::transform): the frames written are then the transform's.
//
// Threads and locks:
//  - Start: the user-interface thread. Stop: any thread, the writer itself
//    included (it then does not wait for itself). StopInBackground: any
//    thread; it never waits, the writer finishes the file. Append: any
//    thread, only queues while recording. Getters: any thread, while the
//    writer runs.
//  - control_lock_ guards the file and audio handles, the video path and the
//    writer thread object; it is never held while waiting for the writer,
//    the disk or the sound capture.
//  - audio_lock_ is held by the audio callback for each write, and by whoever
//    changes the file the sound goes to: a file is never closed while the
//    audio thread may still write into it.
//  - The listener is called from any of these threads, never under a lock;
//    it must only post.
#pragma once

#include "platform/system.h"
#include "platform/thread_annotations.h"
#include "record/RecorderLibraries.h"
#include "record/RecordingQueue.h"
#include "record/WriterPacing.h"
#include "settings/OutputFolder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace record {

// Recording result codes.
inline constexpr int32_t kIdle = 0;
inline constexpr int32_t kRecording = 1;
inline constexpr int32_t kCreateFailed = 2;
inline constexpr int32_t kNoSpace = 3;

// A file starts only with more free space than this, and the recording stops
// when less than this remains of the space measured at the file's start.
inline constexpr int64_t kMinFreeMegabytes = 50;
// The writer wakes when this many frames are due and writes them together:
// each wake-up of a thread costs about as much as writing a frame.
inline constexpr int32_t kFramesPerTurn = 2;
// A file that grows past this many megabytes is followed by a new one.
inline constexpr uint64_t kSplitMegabytes = 1536;
// How often the writer makes the file on disk readable as it stands, so that
// a crash or a power loss costs at most about this much of the recording.
inline constexpr uint32_t kFlushMs = 1000;
// A flush waits this long at most for a turn that writes frames, rather than
// waking the writer by itself.
inline constexpr uint32_t kFlushLatenessMs = 250;

inline constexpr char kNoSpaceMessage[] = "Video record failed! Not enough space on disk!";
inline constexpr char kCreateFailedMessage[] = "Create file failed!";
inline constexpr char kAudioConnectMessage[] = "Can not connect the audio device and encoder!";
inline constexpr char kSetAudioParamMessage[] = "SetAudioParam Failed!";
inline constexpr char kDiskFullMessage[] = "Not enough space on disk,video record stopped!";

enum class MessageIcon { kExclamation, kWarning };

// Implemented by the recorder's owner. Called on the user-interface thread,
// the writer thread or a library thread; implementations only post.
class RecorderListener {
public:
    virtual ~RecorderListener() = default;
    // A message for the user (the owner adds its caption).
    virtual void OnRecorderMessage(const std::string& text, MessageIcon icon) = 0;
    // Recording started or stopped: run the control update.
    virtual void OnRecorderStateChanged() = 0;
};

// Called on the writer thread for each frame taken from the queue (one call
// at a time): the frame to write instead, in *out and *out_length, valid
// until the next call; they must be Motion-JPEG pictures of the recording's
// width and height. False writes nothing for this frame.
using FrameTransform = std::function<bool(const uint8_t* data, size_t length, const uint8_t** out,
                                          size_t* out_length)>;

struct RecordParams {
    std::u16string record_path; // the videos go to "<record_path>/Videos/"
    int32_t width = 0;
    int32_t height = 0;
    int32_t frame_rate = 0;  // frames per second
    int32_t audio_index = 0; // 0: video only
    AudioNames audio;        // ResolveAudioNames, when audio_index is not 0
    // Empty: the camera's frames are written as they came.
    FrameTransform transform;
};

struct RecorderOptions {
    RecorderLibraries libraries;
    uint64_t split_megabytes = kSplitMegabytes;
    // Names the files.
    std::function<std::tm()> local_time = &output_folder::LocalNow;
    // False: Start runs no writer thread, and the caller (a test) runs the
    // writer's turns by calling Turn.
    bool writer_thread = true;
};

} // namespace record

class Recorder {
public:
    // listener: not owned, may be null, must outlive the recorder.
    explicit Recorder(record::RecorderListener* listener, record::RecorderOptions options = {});
    // Stops a recording (without telling the listener) and joins the writer.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // User-interface thread. Stops any recording, then opens the first file
    // and starts the writer. Returns the recording result: kRecording, or
    // kNoSpace, kCreateFailed, kIdle (sound could not be set up) with a
    // message to the listener.
    int32_t Start(const record::RecordParams& params);
    // Any thread. Ends the recording: the writer is joined (unless this is
    // the writer), the sound stopped, the file finished. Frames already due
    // are written, the rest of the queue dropped. False when no file was
    // open. The file is whole when this returns.
    bool Stop();
    // Any thread, without waiting: the recording ends at once (Recording()
    // is false on return) and the writer finishes the file as Stop does,
    // sound still in flight included, then tells the listener. Finishing the
    // file waits on the disk, which a window must not. Start, Stop and the
    // destructor wait for a finish still running.
    void StopInBackground();
    // From a stop until its file is closed.
    bool Finishing() const { return finishing_.load(); }
    // The last recording ended by itself (the disk, a failed write), not by
    // a caller's stop.
    bool EndedItself() const { return ended_itself_.load(); }

    // Any thread, from the stream callbacks: queues a copy of the frame while
    // recording. False when the frame was not queued.
    bool Append(const uint8_t* data, size_t length);

    // One turn of the writer: writes the frames due, if any, checks the disk
    // space and splits the file. False when the recording ended here. Runs on
    // the writer thread; without one (RecorderOptions::writer_thread false)
    // on the caller's thread, never concurrently with Start.
    bool Turn();

    bool Recording() const { return recording_.load(); }
    int32_t RecordingResult() const { return result_.load(); }
    // Bytes handed to all files of this recording, video and sound.
    uint64_t TotalBytes() const { return total_bytes_.load(); }
    int32_t MegabytesWritten() const { return static_cast<int32_t>(total_bytes_.load() >> 20); }
    // Tick count at the last Start.
    uint32_t StartTick() const { return start_tick_.load(); }
    // The current (or last) file, UTF-8.
    std::string VideoPath() const;

private:
    struct OpenedFile {
        AviOutputFile* handle = nullptr;
        std::string path;
        int64_t free_bytes = -1; // at its start; -1: the space could not be measured
    };

    static void AudioCallback(const BYTE* data, LONG length, void* user);
    void OnAudio(const BYTE* data, uint32_t length);

    // Start, under control_lock_: the first file with the sound set up;
    // kRecording or the failure result with *message set.
    int32_t OpenFirstFile(OpenedFile* file, const char** message) TOVEK_REQUIRES(control_lock_);
    // Start, under control_lock_: the file takes frames and sound, the writer
    // starts.
    void Begin(const OpenedFile& file) TOVEK_REQUIRES(control_lock_);
    // A new file with its video stream: kRecording, or the failure result
    // with *message set.
    int32_t OpenVideoFile(OpenedFile* file, const char** message);
    // Adds the audio stream when sound is set up, and the description.
    int32_t FinishFile(OpenedFile* file, const char** message);
    // Opens the audio capture and connects it; kRecording or kIdle.
    int32_t OpenAudio(const char** message) TOVEK_REQUIRES(control_lock_);
    void CloseAudio() TOVEK_REQUIRES(control_lock_);
    void Discard(OpenedFile* file);
    // Flushes the file every kFlushMs; false when the recording ended here.
    bool FlushWhenDue();
    // The recording goes on in a new file; false when it ended instead.
    bool Split();
    bool StopRecording(bool notify, int32_t result = record::kIdle);
    // The recording ends: no frame is queued any more, and the writer stops
    // at its next turn. True when a file was open.
    bool MarkStopped(int32_t result) TOVEK_REQUIRES(control_lock_);
    // Closes the sound capture and the file, if still open; the writer has
    // ended, or this is the writer.
    void Finish() TOVEK_EXCLUDES(control_lock_);
    void EndFromWriter(int32_t result, const char* message, record::MessageIcon icon);
    void WriterLoop();
    // Writes each frame due at tick now; false when the recording ended here.
    // At the stop (closing) the file is neither checked nor split.
    bool WriteDueFrames(uint32_t now, bool closing);
    bool WriteFrame(bool closing);
    // The writer's sleep before its next turn: until kFramesPerTurn frames
    // are due, or the flush has waited kFlushLatenessMs; at least a
    // millisecond.
    uint32_t MsUntilNextTurn();
    void AddBytes(uint64_t bytes);
    void Report(const char* message, record::MessageIcon icon);

    record::RecorderListener* const listener_;
    const record::RecorderOptions options_;
    RecordingQueue queue_;

    std::atomic<bool> recording_{false};
    std::atomic<bool> audio_writing_{false};
    std::atomic<bool> stop_flag_{false};
    std::atomic<bool> finishing_{false};
    std::atomic<bool> ended_itself_{false};
    // Set by StopInBackground: the writer tells the listener once finished.
    std::atomic<bool> notify_when_finished_{false};
    platform::AutoResetEvent stop_event_; // wakes the writer for stop_flag_
    std::atomic<int32_t> result_{record::kIdle};
    std::atomic<uint32_t> start_tick_{0};
    std::atomic<uint64_t> file_bytes_{0};  // handed to the current file
    std::atomic<uint64_t> total_bytes_{0}; // handed to all files of the recording
    std::atomic<int64_t> free_bytes_{-1};  // at the current file's start; -1 unknown

    // Set by Start before the writer starts; read by the writer.
    record::RecordParams params_;
    AM_MEDIA_TYPE* audio_media_type_ = nullptr; // owned by audio_, null: no sound
    int32_t audio_bit_rate_kbps_ = 0;
    std::optional<record::WriterPacing> pacing_; // the writer's own
    uint32_t last_flush_tick_ = 0;               // the writer's own

    mutable platform::Mutex control_lock_;
    // The open file: changed under control_lock_, by the writer (split) or
    // while no writer runs; the writer reads it without the lock.
    AviOutputFile* video_ = nullptr;
    AudioCaptureContext* audio_ TOVEK_GUARDED_BY(control_lock_) = nullptr;
    std::string video_path_ TOVEK_GUARDED_BY(control_lock_);
    std::thread writer_ TOVEK_GUARDED_BY(control_lock_);

    platform::Mutex audio_lock_; // held by the audio callback while it writes
    AviOutputFile* audio_file_ TOVEK_GUARDED_BY(audio_lock_) = nullptr;
};
