// Snapshot capture: saves the current picture as a JPEG file named after the
// local date and time in the "Images" folder under the capture path.
//
// Without annotations the camera's own compressed frame is written byte for
// byte (frame step, on the stream-callback thread); with annotations on
// screen the request is handed on to the next rendered sample, whose
// composited pixels are encoded (sample step, on the rendering thread). The
// user-interface thread only asks (Request) and receives each attempt's
// outcome through the notifier, which runs on the library thread and must
// only post.
#pragma once

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "settings/OutputFolder.h"

namespace snapshot {

// Snapshot result codes; any other value is an unknown failure.
inline constexpr int32_t kSaved = 0;
inline constexpr int32_t kInitial = 1; // before the first snapshot
inline constexpr int32_t kFailed = 2;
inline constexpr int32_t kNoSpace = 3;

// The status pane shows an outcome this long after the attempt.
inline constexpr uint32_t kMessageMs = 5000;
// A volume with this many free megabytes or fewer takes no snapshot.
inline constexpr uint64_t kMinFreeMegabytes = 5;
// Longer capture paths (UTF-16 units) are not used.
inline constexpr size_t kMaxCapturePathChars = output_folder::kMaxBasePathChars;
inline constexpr uint32_t kBeepHz = 5000;
inline constexpr uint32_t kBeepMs = 200;

// "%04d.%02d.%02d-%02dH%02dM%02ds.jpg" of local time.
std::string PictureFileName(const std::tm& local);

// Writes size bytes as path: beside it first, renamed at the end, so a
// failed write never leaves a partial picture (and a picture of the same
// second is replaced whole). errno tells why on false.
bool WriteFileWhole(const std::string& path, const uint8_t* data, size_t size);

// The images folder ("<capture path>/Images/") for capture_path (UTF-8),
// creating the capture folder and the images folder as needed. Empty when
// the capture path is empty, too long, or cannot be made a writable folder.
std::string ImagesFolder(const std::string& capture_path);

// The outcome of one snapshot attempt.
struct Outcome {
    int32_t result = kInitial;
    std::string path;           // the file written (UTF-8), on kSaved
    bool create_failed = false; // the file could not be created or written
};

} // namespace snapshot

class Snapshot {
public:
    // Encodes width x height 32-bit pixels (B, G, R, X; rows top-down, width
    // x 4 bytes each) to a JPEG file at path; true on success, and no file on
    // failure.
    using ImageWriter =
        std::function<bool(const std::string& path, const uint8_t* pixels, int width, int height)>;
    // Told every outcome, on the thread that took the snapshot (after its
    // lock is released): it must only post.
    using Notifier = std::function<void(const snapshot::Outcome& outcome)>;
    using LocalTimeFn = std::function<std::tm()>;

    Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // Set before frames can arrive.
    void SetImageWriter(ImageWriter writer) { writer_ = std::move(writer); }
    void SetNotifier(Notifier notifier) { notifier_ = std::move(notifier); }
    // Replaces the local clock that names the files (tests).
    void SetLocalTimeFunction(LocalTimeFn fn) { local_time_ = std::move(fn); }

    // User-interface thread: wants a snapshot of the next frame, saved under
    // capture_path (UTF-16, as in the settings).
    void Request(const std::u16string& capture_path);
    bool Requested() const { return capture_request_.load() == 1; }
    bool SampleRequested() const { return sample_capture_request_.load(); }

    // Stream-callback thread, for every compressed frame (data valid only
    // during the call). While a snapshot is wanted the frame is copied and
    // saved, or, with overlay_present, handed on to the next sample.
    void OnFrame(const uint8_t* data, size_t length, bool overlay_present);
    // Rendering thread, after the overlay was composited into pixels (width
    // x height, rows top-down). last_frame_bytes below 1 (stopped) leaves the
    // request pending.
    void OnSample(const uint8_t* pixels, int width, int height, int32_t last_frame_bytes);

private:
    // Under lock_: the images folder, or empty with outcome filled in.
    std::string ChooseFolder(snapshot::Outcome* outcome) TOVEK_REQUIRES(lock_);
    void Finish(const snapshot::Outcome& outcome);

    // 1 while a snapshot is wanted: set by the user-interface thread, cleared
    // by the library threads.
    std::atomic<int> capture_request_{0};
    // The next rendered sample is to be saved.
    std::atomic<bool> sample_capture_request_{false};

    platform::Mutex lock_; // held by each step
    std::u16string capture_path_ TOVEK_GUARDED_BY(lock_);
    std::unique_ptr<uint8_t[]>
        frame_copy_ TOVEK_GUARDED_BY(lock_); // kMaxFrameBytes, allocated once

    ImageWriter writer_;
    Notifier notifier_;
    LocalTimeFn local_time_;
};
