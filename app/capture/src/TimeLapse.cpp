#include "capture/TimeLapse.h"

#include "Strovi.h"
#include "capture/Snapshot.h"
#include "platform/system.h"
#include "settings/OutputFolder.h"

#include <algorithm>

namespace {

constexpr int32_t kBitsPerPixel = 24; // what the recorder sets up too

bool EnoughSpace(const std::string& folder, uint64_t min_megabytes) {
    uint64_t free_bytes = 0;
    // A failed query skips the check, as for snapshots and recordings.
    return !platform::GetFreeBytes(folder, &free_bytes) || (free_bytes >> 20) > min_megabytes;
}

} // namespace

TimeLapse::TimeLapse() : local_time_(&output_folder::LocalNow) {}

TimeLapse::~TimeLapse() {
    Stop();
}

int32_t TimeLapse::Start(const timelapse::Params& params) {
    using namespace timelapse;
    Stop();
    platform::MutexLock guard(lock_);
    params_ = params;
    params_.interval_s = std::clamp(params.interval_s, kMinIntervalS, kMaxIntervalS);
    params_.rate = std::clamp(params.rate, kMinRate, kMaxRate);
    const bool video = params_.target == Target::kVideo;
    if (video && (params_.width <= 0 || params_.height <= 0))
        return kBadSize;
    const std::string folder = video ? output_folder::Choose(params_.record_path, "Videos")
                                     : output_folder::Choose(params_.capture_path, "Images");
    if (folder.empty())
        return kNoFolder;
    if (!EnoughSpace(folder, video ? kMinFreeMegabytesVideo : kMinFreeMegabytesImages))
        return kNoSpace;
    if (video) {
        folder_ = output_folder::UnusedPath(folder, local_time_(), "avi");
        video_ = FileOpen(folder_.c_str());
        if (video_ == nullptr)
            return kWriteFailed;
        SetAVCVGAParam(video_, params_.width, params_.height, params_.rate, kBitsPerPixel);
        WriteDescription(video_, 0, 0, 0, 0);
    } else {
        folder_ = folder;
    }
    first_ = true;
    count_.store(0);
    running_.store(true);
    return kOk;
}

void TimeLapse::Stop() {
    platform::MutexLock guard(lock_);
    CloseLocked();
}

void TimeLapse::CloseLocked() {
    running_.store(false);
    if (video_ != nullptr) {
        FileClose(video_); // writes what is queued and finishes the index
        video_ = nullptr;
    }
}

std::string TimeLapse::Path() const {
    platform::MutexLock guard(lock_);
    return folder_;
}

void TimeLapse::OnFrame(const uint8_t* data, size_t length) {
    if (!running_.load() || data == nullptr || length == 0)
        return;
    timelapse::Progress progress;
    {
        platform::MutexLock guard(lock_);
        // Stopped while this frame waited for the lock.
        if (!running_.load())
            return;
        const uint32_t now = platform::GetTickCount();
        if (!timelapse::PictureDue(first_, last_ms_, now, params_.interval_s * 1000u))
            return;
        first_ = false;
        last_ms_ = now;
        progress.result = TakeLocked(data, length, &progress.path);
        if (progress.result != timelapse::kOk)
            CloseLocked(); // a run that cannot write ends, and says why
        else
            count_.fetch_add(1);
        progress.count = count_.load();
    }
    if (notifier_)
        notifier_(progress);
}

int32_t TimeLapse::TakeLocked(const uint8_t* data, size_t length, std::string* path) {
    using namespace timelapse;
    if (video_ != nullptr) {
        *path = folder_;
        const std::string folder = folder_.substr(0, folder_.rfind('/') + 1);
        if (!EnoughSpace(folder, kMinFreeMegabytesVideo))
            return kNoSpace;
        return WriteVGA(video_, data, static_cast<uint32_t>(length), 1, 0, 0) == 0 ? kOk
                                                                                   : kWriteFailed;
    }
    if (!EnoughSpace(folder_, kMinFreeMegabytesImages))
        return kNoSpace;
    // Never over an earlier picture of the series taken in the same second.
    *path = output_folder::UnusedPath(folder_, local_time_(), "jpg");
    return snapshot::WriteFileWhole(*path, data, length) ? kOk : kWriteFailed;
}
