#include "render.h"
#include "sim/desk.h"
#include "sim/picture.h"

#include <turbojpeg.h>

#include <algorithm>
#include <new>
#include <optional>

namespace sim {

namespace {

struct TjDestroyer {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDestroyer>;

int ClampWidth(int width) {
    return std::clamp(width, kMinPictureWidth, kMaxPictureWidth);
}
int ClampHeight(int height) {
    return std::clamp(height, kMinPictureHeight, kMaxPictureHeight);
}

} // namespace

// What one Jpeg() call asks for, taken from the settings in one go.
struct PictureGenerator::Request {
    int width;
    int height;
    CameraState state;
    bool marker;
    uint32_t frame_number; // as the marker shows it (modulo the replay length)
    uint32_t replay_length;
    Scene scene;
    int desk_page;
};

// Everything Jpeg() keeps between calls; only Jpeg() touches it, under
// render_mutex_.
struct PictureGenerator::Cache {
    TjHandle encoder;
    detail::RgbImage page;
    detail::RgbImage picture; // page with applied_state
    detail::RgbImage scratch;
    // What page shows: the test page, or the desk with this page on it.
    Scene page_scene = Scene::kPage;
    int page_desk_page = 0;
    std::optional<CameraState> applied_state;
    std::vector<uint8_t> encode_buffer; // worst-case JPEG size for the picture size
    std::vector<uint8_t> marker_backup; // picture rows under the live marker
    // What jpeg shows besides the picture.
    bool jpeg_has_marker = false;
    uint32_t jpeg_frame_number = 0;
    std::shared_ptr<const std::vector<uint8_t>> jpeg;
    // Pictures with the marker by frame number, while replaying; cleared
    // whenever the picture changes.
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> replay;

    void Refresh(const Request& request, PictureStats& work);
};

PictureGenerator::PictureGenerator(int width, int height)
    : width_(ClampWidth(width)), height_(ClampHeight(height)), cache_(std::make_unique<Cache>()) {}

PictureGenerator::~PictureGenerator() = default;

int PictureGenerator::Width() const {
    platform::MutexLock lock(state_mutex_);
    return width_;
}

int PictureGenerator::Height() const {
    platform::MutexLock lock(state_mutex_);
    return height_;
}

void PictureGenerator::SetSize(int width, int height) {
    platform::MutexLock lock(state_mutex_);
    width_ = ClampWidth(width);
    height_ = ClampHeight(height);
}

void PictureGenerator::SetState(const CameraState& state) {
    platform::MutexLock lock(state_mutex_);
    state_ = ClampState(state);
}

CameraState PictureGenerator::State() const {
    platform::MutexLock lock(state_mutex_);
    return state_;
}

void PictureGenerator::SetLiveMarker(bool on) {
    platform::MutexLock lock(state_mutex_);
    live_marker_ = on;
}

void PictureGenerator::SetFrameNumber(uint32_t frame_number) {
    platform::MutexLock lock(state_mutex_);
    frame_number_ = frame_number;
}

void PictureGenerator::SetReplayLength(uint32_t length) {
    platform::MutexLock lock(state_mutex_);
    replay_length_ = length;
}

PictureStats PictureGenerator::Stats() const {
    platform::MutexLock lock(state_mutex_);
    return stats_;
}

// Brings jpeg up to date with request, doing only the work that changed, and
// counts that work in work. Leaves jpeg empty on failure.
void PictureGenerator::Cache::Refresh(const Request& request, PictureStats& work) {
    const int width = request.width;
    const int height = request.height;
    if (!encoder) {
        encoder.reset(tjInitCompress());
        if (!encoder) {
            return;
        }
    }
    bool picture_changed = false;
    const bool scene_changed = request.scene != page_scene || (request.scene == Scene::kDesk &&
                                                               request.desk_page != page_desk_page);
    if (page.width != width || page.height != height || scene_changed) {
        applied_state.reset();
        jpeg.reset();
        page_scene = request.scene;
        page_desk_page = request.desk_page;
        if (request.scene == Scene::kDesk) {
            page.width = 0; // claims a size only once drawn
            if (!RenderDesk(width, height, DeskOptionsForPage(request.desk_page), page.pixels)) {
                return;
            }
            page.width = width;
            page.height = height;
        } else {
            detail::RenderPage(page, width, height);
        }
        encode_buffer.resize(tjBufSize(width, height, TJSAMP_420));
        ++work.page_renders;
    }
    if (applied_state != request.state) {
        applied_state.reset(); // stays unset if applying fails half-way
        detail::ApplyState(page, request.state, picture, scratch);
        applied_state = request.state;
        picture_changed = true;
        ++work.state_applications;
    }
    const bool replaying = request.marker && request.replay_length > 1;
    if (picture_changed || !replaying || replay.size() != request.replay_length) {
        replay.clear();
    }
    const bool marker_changed = request.marker != jpeg_has_marker ||
                                (request.marker && request.frame_number != jpeg_frame_number);
    if (!picture_changed && !marker_changed && jpeg) {
        return;
    }
    if (replaying && !replay.empty() && replay[request.frame_number]) {
        jpeg = replay[request.frame_number];
        jpeg_has_marker = true;
        jpeg_frame_number = request.frame_number;
        return;
    }

    jpeg.reset();
    if (request.marker) {
        // Drawn on the picture just for this encoding, then taken off again.
        const size_t marker_bytes = static_cast<size_t>(detail::LiveMarkerRows(height)) * width * 3;
        marker_backup.assign(picture.pixels.begin(), picture.pixels.begin() + marker_bytes);
        detail::DrawLiveMarker(picture, request.frame_number);
    }
    unsigned char* out = encode_buffer.data();
    unsigned long size = encode_buffer.size();
    const int result =
        tjCompress2(encoder.get(), picture.pixels.data(), width, 0, height, TJPF_RGB, &out, &size,
                    TJSAMP_420, kJpegQuality, TJFLAG_NOREALLOC | TJFLAG_FASTDCT);
    if (request.marker) {
        std::copy(marker_backup.begin(), marker_backup.end(), picture.pixels.begin());
    }
    if (result != 0) {
        return;
    }
    jpeg = std::make_shared<const std::vector<uint8_t>>(out, out + size);
    jpeg_has_marker = request.marker;
    jpeg_frame_number = request.frame_number;
    ++work.encodes;
    if (replaying) {
        replay.resize(request.replay_length);
        replay[request.frame_number] = jpeg;
    }
}

std::shared_ptr<const std::vector<uint8_t>> PictureGenerator::Jpeg() {
    platform::MutexLock render_lock(render_mutex_);
    Request request;
    {
        platform::MutexLock lock(state_mutex_);
        const uint32_t shown = replay_length_ > 1 ? frame_number_ % replay_length_ : frame_number_;
        request = {width_, height_,        state_,         live_marker_,
                   shown,  replay_length_, CurrentScene(), DeskPageNumber()};
    }

    PictureStats work;
    try {
        cache_->Refresh(request, work);
    } catch (const std::bad_alloc&) {
        cache_->jpeg.reset();
    }

    platform::MutexLock lock(state_mutex_);
    stats_.page_renders += work.page_renders;
    stats_.state_applications += work.state_applications;
    stats_.encodes += work.encodes;
    return cache_->jpeg;
}

} // namespace sim
