#include "capture/Snapshot.h"

#include "annotation/FrameOverlay.h"
#include "platform/system.h"
#include "settings/OutputFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace snapshot {

bool WriteFileWhole(const std::string& path, const uint8_t* data, size_t size) {
    const std::string part = path + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(part.c_str());
            errno = error;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(part.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(part.c_str());
        errno = error;
        return false;
    }
    return true;
}

std::string PictureFileName(const std::tm& local) {
    return output_folder::TimeStampedName(local, "jpg");
}

std::string ImagesFolder(const std::string& capture_path) {
    return output_folder::Choose(platform::Utf8ToUtf16(capture_path), "Images");
}

} // namespace snapshot

Snapshot::Snapshot()
    : frame_copy_(new uint8_t[kMaxFrameBytes]), local_time_(&output_folder::LocalNow) {}

void Snapshot::Request(const std::u16string& capture_path) {
    {
        platform::MutexLock guard(lock_);
        capture_path_ = capture_path;
    }
    capture_request_.store(1);
}

std::string Snapshot::ChooseFolder(snapshot::Outcome* outcome) {
    const std::string folder = output_folder::Choose(capture_path_, "Images");
    if (folder.empty()) {
        outcome->result = snapshot::kFailed;
        outcome->create_failed = true;
        return {};
    }
    uint64_t free_bytes = 0;
    if (platform::GetFreeBytes(folder, &free_bytes) &&
        (free_bytes >> 20) <= snapshot::kMinFreeMegabytes) {
        outcome->result = snapshot::kNoSpace;
        return {};
    }
    return folder;
}

// The request was taken when the step began, so one made while the
// picture was written stays for the next frame.
void Snapshot::Finish(const snapshot::Outcome& outcome) {
    if (notifier_)
        notifier_(outcome);
}

void Snapshot::OnFrame(const uint8_t* data, size_t length, bool overlay_present) {
    if (capture_request_.load() != 1 || data == nullptr || length == 0 || length > kMaxFrameBytes)
        return;
    if (overlay_present) {
        // The request stays: the next rendered sample, annotations
        // included, is saved instead.
        sample_capture_request_.store(true);
        return;
    }
    int wanted = 1;
    if (!capture_request_.compare_exchange_strong(wanted, 0))
        return;
    snapshot::Outcome outcome;
    {
        platform::MutexLock guard(lock_);
        // The library's bytes are valid only during this call.
        std::memcpy(frame_copy_.get(), data, length);
        platform::Beep(snapshot::kBeepHz, snapshot::kBeepMs);
        const std::string folder = ChooseFolder(&outcome);
        if (!folder.empty()) {
            const std::string path = folder + snapshot::PictureFileName(local_time_());
            if (snapshot::WriteFileWhole(path, frame_copy_.get(), length)) {
                outcome.result = snapshot::kSaved;
                outcome.path = path;
            } else if (errno == ENOSPC || errno == EDQUOT) {
                outcome.result = snapshot::kNoSpace;
            } else {
                outcome.result = snapshot::kFailed;
                outcome.create_failed = true;
            }
        }
    }
    Finish(outcome);
}

void Snapshot::OnSample(const uint8_t* pixels, int width, int height, int32_t last_frame_bytes) {
    if (!sample_capture_request_.exchange(false) || capture_request_.load() != 1)
        return;
    if (last_frame_bytes < 1 || pixels == nullptr || width <= 0 || height <= 0)
        return;
    int wanted = 1;
    if (!capture_request_.compare_exchange_strong(wanted, 0))
        return;
    snapshot::Outcome outcome;
    {
        platform::MutexLock guard(lock_);
        platform::Beep(snapshot::kBeepHz, snapshot::kBeepMs);
        const std::string folder = ChooseFolder(&outcome);
        if (!folder.empty()) {
            // Rows are top-down already: the picture is saved upright as is.
            const std::string path = folder + snapshot::PictureFileName(local_time_());
            if (writer_ && writer_(path, pixels, width, height)) {
                outcome.result = snapshot::kSaved;
                outcome.path = path;
            } else {
                outcome.result = snapshot::kFailed;
                outcome.create_failed = true;
            }
        }
    }
    Finish(outcome);
}
