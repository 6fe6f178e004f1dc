// Time-lapse: one picture of the live stream every interval, until stopped,
// either as JPEG files in the "Images" folder (the snapshot's folder rule and
// names, without its beep) or as the Motion-JPEG frames of one AVI file
// without sound, written at a chosen playback rate.
//
// The pictures are the camera's compressed frames as they arrive, taken on
// the stream-callback thread; the due time comes from the replaceable clock
// (platform::GetTickCount), so tests step time instead of waiting.
//
// Threads: Start, Stop, Running and Count from any thread (the user
// interface in the program); OnFrame on the stream-callback thread. lock_
// guards the run (file handle, folder, due time); the notifier is called
// after lock_ is released and must only post.
#pragma once

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

class AviOutputFile;

namespace timelapse {

enum class Target : int32_t { kImages = 0, kVideo = 1 };

inline constexpr uint32_t kMinIntervalS = 1;
inline constexpr uint32_t kMaxIntervalS = 24 * 3600;
inline constexpr int32_t kMinRate = 1;
inline constexpr int32_t kMaxRate = 30;
inline constexpr uint32_t kDefaultIntervalS = 10;
inline constexpr int32_t kDefaultRate = 10;
// Less free space than this (megabytes) refuses a start and ends a run:
// the snapshot's limit for pictures, the recorder's for a video.
inline constexpr uint64_t kMinFreeMegabytesImages = 5;
inline constexpr uint64_t kMinFreeMegabytesVideo = 50;

struct Params {
    uint32_t interval_s = kDefaultIntervalS; // clamped to kMinIntervalS..kMaxIntervalS
    Target target = Target::kImages;
    int32_t rate = kDefaultRate; // frames per second of the video; clamped to 1..30
    std::u16string capture_path; // pictures go to its "Images" folder
    std::u16string record_path;  // the video goes to its "Videos" folder
    int32_t width = 0;           // the video's frame size
    int32_t height = 0;
};

// Start and run results.
enum Result : int32_t {
    kOk = 0,
    kNoFolder = -1,    // the folder could not be made
    kNoSpace = -2,     // too little free space
    kWriteFailed = -3, // a picture or the video could not be written
    kBadSize = -4,     // no frame size for a video
};

// A due picture: true for the first frame of a run, then once
// interval_ms have passed since the last one taken (tick counts wrap).
inline bool PictureDue(bool first, uint32_t last_ms, uint32_t now_ms, uint32_t interval_ms) {
    return first || static_cast<uint32_t>(now_ms - last_ms) >= interval_ms;
}

// What the window is told after each picture and at an end the run made
// itself.
struct Progress {
    uint32_t count = 0;   // pictures taken in this run
    std::string path;     // the last picture or the video file (UTF-8)
    int32_t result = kOk; // not kOk: the run ended for this reason
};

} // namespace timelapse

class TimeLapse {
public:
    using Notifier = std::function<void(const timelapse::Progress& progress)>;
    using LocalTimeFn = std::function<std::tm()>;

    TimeLapse();
    ~TimeLapse();
    TimeLapse(const TimeLapse&) = delete;
    TimeLapse& operator=(const TimeLapse&) = delete;

    void SetNotifier(Notifier notifier) { notifier_ = std::move(notifier); }
    void SetLocalTimeFunction(LocalTimeFn fn) { local_time_ = std::move(fn); }

    // Ends a run in progress, then prepares the folder (and opens the video
    // file); kOk when the next frame will be the first picture.
    int32_t Start(const timelapse::Params& params);
    // Ends the run; the video file is finished and closed. Safe to repeat.
    void Stop();
    bool Running() const { return running_.load(); }
    uint32_t Count() const { return count_.load(); }
    // The video file or the images folder of the run (UTF-8).
    std::string Path() const;

    // Stream-callback thread: every compressed frame (valid during the call).
    void OnFrame(const uint8_t* data, size_t length);

private:
    void CloseLocked() TOVEK_REQUIRES(lock_);
    int32_t TakeLocked(const uint8_t* data, size_t length, std::string* path) TOVEK_REQUIRES(lock_);

    mutable platform::Mutex lock_;
    timelapse::Params params_ TOVEK_GUARDED_BY(lock_);
    std::string folder_ TOVEK_GUARDED_BY(lock_); // images folder, or the video's path
    AviOutputFile* video_ TOVEK_GUARDED_BY(lock_) = nullptr;
    bool first_ TOVEK_GUARDED_BY(lock_) = true;
    uint32_t last_ms_ TOVEK_GUARDED_BY(lock_) = 0;

    std::atomic<bool> running_{false};
    std::atomic<uint32_t> count_{0};

    Notifier notifier_;
    LocalTimeFn local_time_;
};
