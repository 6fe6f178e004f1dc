// Sharing the live picture with the class: the server, the feed that makes
// the picture as shown (or passes the camera's on with the ink beside it),
// and the boxes between them, started and stopped as
// one. Frames are encoded only while at least one viewer watches.
//
// Threads: Start, Stop and the destructor on the owner's thread (the user
// interface's); OnFrame from the camera's stream thread; Viewers from any.
#pragma once

#include "share/FrameMailbox.h"
#include "share/ShareServer.h"

#include <memory>
#include <string>
#include <vector>

class OverlayWorker;
class ShownPicture;
namespace page {
class PageMode;
} // namespace page

namespace share {

class ShareFeed;

class ShareSession {
public:
    // overlay and shown: as ShareFeed's.
    ShareSession(OverlayWorker* overlay, const ShownPicture* shown,
                 const page::PageMode* page = nullptr);
    ~ShareSession();
    ShareSession(const ShareSession&) = delete;
    ShareSession& operator=(const ShareSession&) = delete;

    bool Start(const ServerOptions& options, std::string* error);
    // Closes every connection; the feed's thread ends.
    void Stop();
    bool Running() const { return server_.Running(); }

    // Each camera frame (JPEG), on the stream thread.
    void OnFrame(const uint8_t* jpeg, size_t length);

    int Viewers() const { return server_.Viewers(); }
    const ShareServer& Server() const { return server_; }
    const FrameMailbox& Frames() const { return frames_; }
    const FrameMailbox& Layers() const { return layers_; }
    // Pictures published for sharing since Start (encoded or passed on).
    uint64_t Encoded() const;

private:
    OverlayWorker* const overlay_;
    const ShownPicture* const shown_;
    const page::PageMode* const page_;
    FrameMailbox frames_;
    FrameMailbox layers_; // the ink over the pictures
    ShareServer server_{&frames_, &layers_};
    // Made at Start, gone at Stop; OnFrame reads it under feed_lock_.
    mutable platform::Mutex feed_lock_;
    std::unique_ptr<ShareFeed> feed_ TOVEK_GUARDED_BY(feed_lock_);
};

} // namespace share
