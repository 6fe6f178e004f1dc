// Thumbnails of the gallery's pictures, made on a worker thread of their own:
// libjpeg-turbo decodes each file straight at 1/2, 1/4 or 1/8 of its size, so
// a 1080p picture costs a fraction of a full decode and of its memory. At
// most `capacity` thumbnails are kept; the one shown longest ago goes first.
// A file that is not a readable JPEG gets a broken thumbnail, kept like any
// other, so it is not read again and again.
//
// Threads: Get, Forget, Size and the constructor and destructor on one
// thread (the user-interface thread); the worker decodes without the lock
// and calls the notifier after each thumbnail, which must only post.
#pragma once

#include "platform/thread_annotations.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace thumbnail {

// Larger files are not read (no camera writes such a picture).
inline constexpr size_t kMaxFileBytes = 64u << 20;
// Pictures wider or higher than this are broken: no allocation follows a
// header's word alone.
inline constexpr int kMaxSide = 16384;

// B, G, R, X pixels, rows of width x 4 bytes; width 0 for a broken picture.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgrx;
    bool Broken() const { return width == 0; }
};

// Decodes JPEG data at the smallest scale libjpeg-turbo offers that still
// covers box_width x box_height (the whole size for a 0 x 0 box, or when no
// scale covers it). Broken when data is not a readable JPEG; a picture with
// damaged data late in the file keeps what was decoded.
Picture DecodeJpeg(const uint8_t* data, size_t size, int box_width, int box_height);
// The same for the file at path (UTF-8); broken when it cannot be read.
Picture DecodeFile(const std::string& path, int box_width, int box_height);

} // namespace thumbnail

class ThumbnailCache {
public:
    static constexpr size_t kCapacity = 200;
    using Decoder = std::function<thumbnail::Picture(const std::string& path)>;
    // Worker thread, after a thumbnail of path was made: must only post.
    using Notifier = std::function<void(const std::string& path)>;

    // Thumbnails that cover box_width x box_height.
    ThumbnailCache(int box_width, int box_height, size_t capacity = kCapacity);
    // Decodes with decoder instead of reading files (tests).
    ThumbnailCache(Decoder decoder, size_t capacity);
    // Stops the worker after the thumbnail it is making.
    ~ThumbnailCache();
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // Set before the first Get.
    void SetNotifier(Notifier notifier) { notifier_ = std::move(notifier); }

    // The thumbnail of path, which counts as shown now; null while it is not
    // made yet: it is then asked of the worker, which makes the thumbnails
    // asked last first (those on screen now).
    std::shared_ptr<const thumbnail::Picture> Get(const std::string& path);
    // Drops path's thumbnail and its request (the file was deleted).
    void Forget(const std::string& path);
    // Drops every request not yet taken up (the list was read anew).
    void CancelRequests();
    // Whether path's thumbnail is kept (without counting as shown).
    bool Holds(const std::string& path) const;
    size_t Size() const;
    // Requests not yet taken up by the worker.
    size_t Waiting() const;

private:
    struct Entry {
        std::shared_ptr<const thumbnail::Picture> picture;
        std::list<std::string>::iterator recent; // its place in recent_
    };
    void Run();
    void Put(const std::string& path, std::shared_ptr<const thumbnail::Picture> picture)
        TOVEK_REQUIRES(lock_);

    const Decoder decoder_;
    const size_t capacity_;
    Notifier notifier_;

    mutable platform::Mutex lock_;
    platform::CondVar wake_;
    std::unordered_map<std::string, Entry> entries_ TOVEK_GUARDED_BY(lock_);
    std::list<std::string> recent_ TOVEK_GUARDED_BY(lock_);     // shown last first
    std::vector<std::string> requests_ TOVEK_GUARDED_BY(lock_); // the last asked at the back
    std::string working_ TOVEK_GUARDED_BY(lock_);               // being decoded now
    bool stopping_ TOVEK_GUARDED_BY(lock_) = false;
    std::thread worker_; // last: started when the rest is ready
};
