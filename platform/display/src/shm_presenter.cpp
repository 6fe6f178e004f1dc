#include "platform/shm_presenter.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <vector>

namespace platform {

namespace {

// Blocks attached at once. The renderer's pool keeps a few; a size change
// brings new ones, and the oldest attachments go.
constexpr size_t kMaxAttached = 8;

struct ReplyFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, ReplyFree>;

struct Attached {
    uint64_t id = 0;
    xcb_shm_seg_t segment = 0;
    uint64_t last_use = 0;
};

struct InFlight {
    uint64_t sequence = 0; // of the put request
    std::shared_ptr<const void> owner;
};

const xcb_visualtype_t* FindVisual(const xcb_setup_t* setup, xcb_visualid_t id, uint8_t* depth) {
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) {
                    *depth = depths.data->depth;
                    return visuals.data;
                }
            }
        }
    }
    return nullptr;
}

uint8_t BitsPerPixel(const xcb_setup_t* setup, uint8_t depth) {
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth)
            return formats.data->bits_per_pixel;
    }
    return 0;
}

} // namespace

struct ShmPresenter::State {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    uint8_t depth = 0;
    uint8_t completion_event = 0;
    std::vector<Attached> attached;
    std::deque<InFlight> in_flight;
    uint64_t uses = 0;
    bool failed = false;
    std::string error;

    ~State() {
        if (connection == nullptr)
            return;
        // Disconnecting detaches the blocks and frees the context.
        xcb_disconnect(connection);
    }

    void Fail(std::string why) {
        failed = true;
        error = std::move(why);
    }

    // The attachment of a block, made on first use.
    bool Segment(const ShmPicture& picture, xcb_shm_seg_t* segment) {
        ++uses;
        for (Attached& a : attached) {
            if (a.id == picture.id) {
                a.last_use = uses;
                *segment = a.segment;
                return true;
            }
        }
        if (attached.size() >= kMaxAttached) {
            // The server finishes the puts before it takes this in.
            auto oldest = attached.begin();
            for (auto a = attached.begin(); a != attached.end(); ++a) {
                if (a->last_use < oldest->last_use)
                    oldest = a;
            }
            xcb_shm_detach(connection, oldest->segment);
            attached.erase(oldest);
        }
        // The request carries a copy of the descriptor and closes it.
        const int fd = dup(picture.fd);
        if (fd < 0) {
            Fail("cannot duplicate a frame's file descriptor");
            return false;
        }
        const xcb_shm_seg_t made = xcb_generate_id(connection);
        xcb_shm_attach_fd(connection, made, fd, 1);
        attached.push_back(Attached{picture.id, made, uses});
        *segment = made;
        return true;
    }
};

ShmPresenter::ShmPresenter(std::unique_ptr<State> state) : state_(std::move(state)) {}

ShmPresenter::~ShmPresenter() = default;

std::unique_ptr<ShmPresenter> ShmPresenter::Open(const char* display, uint32_t window,
                                                 std::string* why) {
    auto state = std::make_unique<State>();
    const auto refuse = [why](const char* reason) {
        if (why != nullptr)
            *why = reason;
        return nullptr;
    };
    state->connection = xcb_connect(display, nullptr);
    xcb_connection_t* c = state->connection;
    if (xcb_connection_has_error(c))
        return refuse("cannot connect to the X server");
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (shm == nullptr || !shm->present)
        return refuse("the X server has no MIT-SHM");
    const Reply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 2))
        return refuse("the X server's MIT-SHM cannot take file descriptors");
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attributes)
        return refuse("no such window");
    const xcb_setup_t* setup = xcb_get_setup(c);
    uint8_t depth = 0;
    const xcb_visualtype_t* visual = FindVisual(setup, attributes->visual, &depth);
    if (visual == nullptr || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR ||
        visual->red_mask != 0xFF0000u || visual->green_mask != 0xFF00u ||
        visual->blue_mask != 0xFFu || BitsPerPixel(setup, depth) != 32 ||
        setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return refuse("the window's pixels are not 32-bit B, G, R, X");
    state->window = window;
    state->depth = depth;
    state->completion_event = static_cast<uint8_t>(shm->first_event + XCB_SHM_COMPLETION);
    state->gc = xcb_generate_id(c);
    // No exposure events for the puts: the window hears of exposure itself.
    const uint32_t values[] = {0};
    xcb_create_gc(c, state->gc, window, XCB_GC_GRAPHICS_EXPOSURES, values);
    return std::unique_ptr<ShmPresenter>(new ShmPresenter(std::move(state)));
}

bool ShmPresenter::Put(const ShmPicture& picture, const ShmRect& source, int x, int y,
                       std::shared_ptr<const void> owner) {
    State& s = *state_;
    Collect();
    if (s.failed)
        return false;
    const bool fits =
        picture.fd >= 0 && picture.width > 0 && picture.height > 0 && picture.width <= 32767 &&
        picture.height <= 32767 && picture.stride % 4 == 0 && picture.stride / 4 >= picture.width &&
        picture.stride / 4 <= 32767 && picture.offset <= UINT32_MAX &&
        picture.offset + static_cast<size_t>(picture.stride) * picture.height <=
            picture.file_size &&
        source.x >= 0 && source.y >= 0 && source.width > 0 && source.height > 0 &&
        source.x + source.width <= picture.width && source.y + source.height <= picture.height;
    if (!fits)
        return false;
    xcb_shm_seg_t segment = 0;
    if (!s.Segment(picture, &segment))
        return false;
    const xcb_void_cookie_t cookie = xcb_shm_put_image(
        s.connection, s.window, s.gc, static_cast<uint16_t>(picture.stride / 4),
        static_cast<uint16_t>(picture.height), static_cast<uint16_t>(source.x),
        static_cast<uint16_t>(source.y), static_cast<uint16_t>(source.width),
        static_cast<uint16_t>(source.height), static_cast<int16_t>(x), static_cast<int16_t>(y),
        s.depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 1, segment, static_cast<uint32_t>(picture.offset));
    s.in_flight.push_back(InFlight{cookie.sequence, std::move(owner)});
    xcb_flush(s.connection);
    return true;
}

void ShmPresenter::Collect() {
    State& s = *state_;
    if (s.connection == nullptr)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(s.connection)) {
        const Reply<xcb_generic_event_t> held(event);
        const uint8_t type = event->response_type & 0x7F;
        if (type == s.completion_event) {
            // The server reads the puts in order.
            if (!s.in_flight.empty())
                s.in_flight.pop_front();
        } else if (type == 0) {
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
            // A put that failed sends no completion.
            while (!s.in_flight.empty() &&
                   static_cast<uint16_t>(s.in_flight.front().sequence) == error->sequence) {
                s.in_flight.pop_front();
            }
            s.Fail("the X server refused a request (error " + std::to_string(error->error_code) +
                   ")");
        }
    }
    if (xcb_connection_has_error(s.connection)) {
        // Nothing more will come: the server has let go of everything.
        s.in_flight.clear();
        s.Fail("the connection to the X server broke");
    }
}

void ShmPresenter::Sync() {
    State& s = *state_;
    if (s.connection == nullptr)
        return;
    const Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(s.connection, xcb_get_input_focus(s.connection), nullptr));
    Collect();
}

bool ShmPresenter::Usable() const {
    return !state_->failed;
}

const std::string& ShmPresenter::LastError() const {
    return state_->error;
}

} // namespace platform
