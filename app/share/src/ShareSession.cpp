#include "share/ShareSession.h"

#include "share/ShareFeed.h"

namespace share {

ShareSession::ShareSession(OverlayWorker* overlay, const ShownPicture* shown,
                           const page::PageMode* page)
    : overlay_(overlay), shown_(shown), page_(page) {}

ShareSession::~ShareSession() {
    Stop();
}

bool ShareSession::Start(const ServerOptions& options, std::string* error) {
    Stop();
    if (!server_.Start(options, error))
        return false;
    platform::MutexLock hold(feed_lock_);
    feed_ = std::make_unique<ShareFeed>(overlay_, shown_, &frames_, &layers_, page_);
    return true;
}

void ShareSession::Stop() {
    server_.Stop();
    std::unique_ptr<ShareFeed> feed;
    {
        platform::MutexLock hold(feed_lock_);
        feed = std::move(feed_);
    }
    // Joined outside the lock: the stream thread never waits for it.
}

void ShareSession::OnFrame(const uint8_t* jpeg, size_t length) {
    if (server_.Viewers() <= 0)
        return;
    platform::MutexLock hold(feed_lock_);
    if (feed_)
        feed_->Offer(jpeg, length);
}

uint64_t ShareSession::Encoded() const {
    platform::MutexLock hold(feed_lock_);
    return feed_ ? feed_->Encoded() + feed_->Passed() : 0;
}

} // namespace share
