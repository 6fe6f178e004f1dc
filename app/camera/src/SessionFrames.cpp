// The camera session on the library threads: each picture as it arrives
// (its bytes for recording, snapshots, time-lapse and the class's feed) and
// each decoded sample (held, composited, saved), and the device notices,
// which only post.
#include "camera/CameraSession.h"

#include "camera/SessionEvents.h"
#include "common/CrossThreadEvent.h"

#include <utility>

namespace {

// The RVX library's notice that its capture graph failed: a call without a
// picture.
constexpr LONG kRvxStreamError = -1;

// While the window is not seen, one frame message for this many frames.
constexpr uint32_t kUnseenFrameMessageEvery = 8;

} // namespace

// ---- library threads -------------------------------------------------------------------

int TOVEK_STDCALL CameraSession::Q5StreamProc(int event, BYTE* data, LONG length, void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr)
        return 0;
    switch (event) {
    case Q5_STREAM_ATTACHED:
        self->Post(msg::kVideoAttach);
        break;
    case Q5_STREAM_DETACHED:
        self->Post(msg::kVideoDetach);
        break;
    case Q5_STREAM_STOPPED:
        self->Post(msg::kVideoStop, self->run_.load());
        break;
    case Q5_STREAM_PICTURE:
        self->OnStreamFrame(data, length);
        break;
    case Q5_STREAM_ERROR:
        self->Post(msg::kStreamError, self->run_.load());
        break;
    default:
        break;
    }
    return 0;
}

int TOVEK_STDCALL CameraSession::RvxStreamProc(BYTE* data, LONG length, double, void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr)
        return 0;
    if (data == nullptr && length == kRvxStreamError)
        self->Post(msg::kStreamError, self->run_.load());
    else
        self->OnStreamFrame(data, length);
    return 0;
}

void CameraSession::OnStreamFrame(const BYTE* data, LONG length) {
    if (data == nullptr || length <= 0 || static_cast<size_t>(length) > kMaxFrameBytes)
        return;
    const bool first = last_frame_bytes_.exchange(length) == 0;
    // The frame pane is all a frame message updates: while nothing of the
    // window is seen, it hears of a run's first frame and then of every
    // eighth, so that an unseen window is not woken at the camera's pace.
    const uint32_t untold = frames_untold_.fetch_add(1) + 1;
    if (first || untold >= kUnseenFrameMessageEvery || tovek_media_pixels_wanted()) {
        frames_untold_.store(0);
        const uint32_t size = (static_cast<uint32_t>(frame_width_.load()) & 0xFFFF) |
                              (static_cast<uint32_t>(frame_height_.load()) << 16);
        Post(msg::kFrame, size, length);
    }
    // A held or turned picture is saved as shown, from the rendered sample.
    snapshot_.OnFrame(data, static_cast<size_t>(length),
                      overlay_.Present() || shown_.Altered() || page_.Active());
    // Saved or read from the rendered sample: this very picture must be
    // decoded, even while nothing shows the pixels.
    if (snapshot_.SampleRequested() || grab_.Requested())
        tovek_media_want_next_picture();
    ChooseDecodeSize();
    recorder_.Append(data, static_cast<size_t>(length));
    timelapse_.OnFrame(data, static_cast<size_t>(length));
    platform::MutexLock hold(tap_lock_);
    if (tap_)
        tap_(data, static_cast<size_t>(length));
}

void CameraSession::SetFrameTap(FrameTap tap) {
    platform::MutexLock hold(tap_lock_);
    tap_ = std::move(tap);
    tapped_.store(static_cast<bool>(tap_));
}

int CameraSession::SampleProc(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int,
                              void* context) {
    auto* self = static_cast<CameraSession*>(context);
    if (self == nullptr || sample == nullptr)
        return 1;
    BYTE* buffer = nullptr;
    if (sample->GetPointer(&buffer) != S_OK || buffer == nullptr)
        return 1;
    // A picture decoded smaller than the camera's for a small view carries
    // its own size.
    const int64_t camera_width = self->frame_width_.load();
    const int64_t camera_height = self->frame_height_.load();
    const int64_t width = sample->GetWidth() > 0 ? sample->GetWidth() : camera_width;
    const int64_t height = sample->GetHeight() > 0 ? sample->GetHeight() : camera_height;
    const int64_t length = sample->GetActualDataLength();
    if (width <= 0 || height <= 0 || length != width * height * 4 ||
        static_cast<size_t>(length) > kMaxPictureBytes)
        return 1;
    // A larger one is no picture of this camera.
    if (width > camera_width || height > camera_height)
        return 1;
    if (width != camera_width || height != camera_height) {
        // Only shown: whatever keeps or reads the picture waits for the
        // camera's own pixels (ChooseDecodeSize asks for them).
        self->overlay_.Composite(buffer, static_cast<int>(width * 4), static_cast<int>(width),
                                 static_cast<int>(height));
        return 0;
    }
    // The held picture goes in first: the annotations are drawn over it.
    self->shown_.OnSample(buffer, static_cast<int>(width), static_cast<int>(height));
    // The page without the marks drawn over it, as shown: flattened in page
    // mode, else turned.
    if (self->grab_.Requested()) {
        int shown_width = 0;
        int shown_height = 0;
        const uint8_t* shown = self->PagePicture(
            buffer, static_cast<int>(width), static_cast<int>(height), &shown_width, &shown_height);
        self->grab_.OnSample(shown, shown_width, shown_height);
    }
    // The page is looked for in the camera's picture, without the shapes.
    self->page_.Offer(buffer, static_cast<int>(width), static_cast<int>(height),
                      static_cast<int>(width * 4));
    self->overlay_.Composite(buffer, static_cast<int>(width * 4), static_cast<int>(width),
                             static_cast<int>(height));
    // After compositing, so that the annotations are in the picture; turned
    // as the view shows it, or the page as page mode shows it.
    if (self->snapshot_.SampleRequested()) {
        int shown_width = 0;
        int shown_height = 0;
        const uint8_t* shown = self->PagePicture(
            buffer, static_cast<int>(width), static_cast<int>(height), &shown_width, &shown_height);
        self->snapshot_.OnSample(shown, shown_width, shown_height, self->last_frame_bytes_.load());
    }
    return 0;
}

const uint8_t* CameraSession::PagePicture(const uint8_t* bgrx, int width, int height,
                                          int* shown_width, int* shown_height) {
    if (page_.Active()) {
        // At the page's own resolution in the camera's picture.
        int page_width = 0;
        int page_height = 0;
        const uint8_t* page =
            snapshot_page_.Render(page_, bgrx, width, height, width * 4, width * 2, height * 2,
                                  false, &page_width, &page_height);
        // Turned as the view shows it.
        if (page != nullptr)
            return shown_.Turned(page, page_width, page_height, shown_width, shown_height);
    }
    return shown_.Turned(bgrx, width, height, shown_width, shown_height);
}

void CameraSession::SetPixelsWanted(bool wanted) {
    tovek_media_set_pixels_wanted(wanted);
}

void CameraSession::OnDeviceChange(uint32_t event, platform::DeviceBroadcast broadcast) {
    PostAcrossThreads(receiver_, new DeviceChangeMessage(event, std::move(broadcast)));
}
