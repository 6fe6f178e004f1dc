#include "capture/ThumbnailCache.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>

namespace thumbnail {
namespace {

struct TjHandle {
    tjhandle handle = tjInitDecompress();
    ~TjHandle() {
        if (handle != nullptr)
            tjDestroy(handle);
    }
};

// The smallest scale whose picture still covers the box; 1/1 when none does.
tjscalingfactor ChooseScale(int width, int height, int box_width, int box_height) {
    tjscalingfactor best{1, 1};
    if (box_width <= 0 || box_height <= 0)
        return best;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    int best_width = width;
    for (int i = 0; factors != nullptr && i < count; ++i) {
        const int w = TJSCALED(width, factors[i]);
        const int h = TJSCALED(height, factors[i]);
        if (w >= box_width && h >= box_height && w < best_width) {
            best = factors[i];
            best_width = w;
        }
    }
    return best;
}

} // namespace

Picture DecodeJpeg(const uint8_t* data, size_t size, int box_width, int box_height) {
    Picture picture;
    if (data == nullptr || size == 0 || size > kMaxFileBytes)
        return picture;
    TjHandle tj;
    if (tj.handle == nullptr)
        return picture;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.handle, data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0 ||
        width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return picture;
    const tjscalingfactor scale = ChooseScale(width, height, box_width, box_height);
    const int w = TJSCALED(width, scale);
    const int h = TJSCALED(height, scale);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    if (tjDecompress2(tj.handle, data, static_cast<unsigned long>(size), pixels.data(), w, w * 4, h,
                      TJPF_BGRX, TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) != 0 &&
        tjGetErrorCode(tj.handle) != TJERR_WARNING)
        return picture;
    picture.width = w;
    picture.height = h;
    picture.bgrx = std::move(pixels);
    return picture;
}

Picture DecodeFile(const std::string& path, int box_width, int box_height) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
           bytes.size() + got <= kMaxFileBytes)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool whole = std::feof(file) != 0 && std::ferror(file) == 0;
    std::fclose(file);
    if (!whole)
        return {};
    return DecodeJpeg(bytes.data(), bytes.size(), box_width, box_height);
}

} // namespace thumbnail

ThumbnailCache::ThumbnailCache(int box_width, int box_height, size_t capacity)
    : ThumbnailCache(
          [box_width, box_height](const std::string& path) {
              return thumbnail::DecodeFile(path, box_width, box_height);
          },
          capacity) {}

ThumbnailCache::ThumbnailCache(Decoder decoder, size_t capacity)
    : decoder_(std::move(decoder)), capacity_(std::max<size_t>(capacity, 1)),
      worker_([this] { Run(); }) {}

ThumbnailCache::~ThumbnailCache() {
    {
        platform::MutexLock guard(lock_);
        stopping_ = true;
    }
    wake_.NotifyAll();
    worker_.join();
}

std::shared_ptr<const thumbnail::Picture> ThumbnailCache::Get(const std::string& path) {
    platform::MutexLock guard(lock_);
    const auto found = entries_.find(path);
    if (found != entries_.end()) {
        recent_.splice(recent_.begin(), recent_, found->second.recent);
        return found->second.picture;
    }
    if (path == working_)
        return nullptr;
    // Asked again: to the back, which the worker takes first.
    const auto asked = std::find(requests_.begin(), requests_.end(), path);
    if (asked != requests_.end())
        requests_.erase(asked);
    requests_.push_back(path);
    // Far more asked than can be kept: the oldest requests were scrolled
    // past and are asked again when they show.
    if (requests_.size() > capacity_)
        requests_.erase(requests_.begin());
    wake_.NotifyOne();
    return nullptr;
}

void ThumbnailCache::Forget(const std::string& path) {
    platform::MutexLock guard(lock_);
    const auto found = entries_.find(path);
    if (found != entries_.end()) {
        recent_.erase(found->second.recent);
        entries_.erase(found);
    }
    requests_.erase(std::remove(requests_.begin(), requests_.end(), path), requests_.end());
    if (path == working_)
        working_.clear(); // its result is dropped
}

void ThumbnailCache::CancelRequests() {
    platform::MutexLock guard(lock_);
    requests_.clear();
}

bool ThumbnailCache::Holds(const std::string& path) const {
    platform::MutexLock guard(lock_);
    return entries_.count(path) != 0;
}

size_t ThumbnailCache::Size() const {
    platform::MutexLock guard(lock_);
    return entries_.size();
}

size_t ThumbnailCache::Waiting() const {
    platform::MutexLock guard(lock_);
    return requests_.size();
}

void ThumbnailCache::Put(const std::string& path,
                         std::shared_ptr<const thumbnail::Picture> picture) {
    recent_.push_front(path);
    entries_[path] = Entry{std::move(picture), recent_.begin()};
    while (entries_.size() > capacity_) {
        entries_.erase(recent_.back());
        recent_.pop_back();
    }
}

void ThumbnailCache::Run() {
    platform::MutexLock guard(lock_);
    for (;;) {
        wake_.Wait(lock_, [this] {
            lock_.AssertHeld();
            return stopping_ || !requests_.empty();
        });
        if (stopping_)
            return;
        const std::string path = requests_.back();
        requests_.pop_back();
        working_ = path;
        guard.Unlock();
        auto picture = std::make_shared<const thumbnail::Picture>(decoder_(path));
        guard.Lock();
        if (working_ != path) // forgotten meanwhile
            continue;
        working_.clear();
        Put(path, std::move(picture));
        guard.Unlock();
        if (notifier_)
            notifier_(path);
        guard.Lock();
    }
}
