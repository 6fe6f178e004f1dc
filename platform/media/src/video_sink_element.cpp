// "tovekvideosink", the video renderer: hands each BGRx frame to the
// program's VideoWindow with the destination rectangle, as a frame the window
// may keep (the buffer itself, mapped, so nothing is copied). Without a
// window, or with a destination of 1 x 1 or empty, frames are dropped. It
// offers upstream a pool of blocks a display server can map (frame_memory.h),
// so a window can show a frame without copying it either.
#include "elements.h"
#include "frame_memory.h"
#include "glib_mutex.h"

#include "platform/media.h"

#include "platform/gst_ref.h"

#include <gst/video/gstvideopool.h>
#include <gst/video/gstvideosink.h>
#include <gst/video/video.h>

#include <chrono>
#include <new>

GST_DEBUG_CATEGORY_STATIC(tovek_video_sink_debug);
#define GST_CAT_DEFAULT tovek_video_sink_debug

namespace {

struct TovekVideoSink {
    GstVideoSink parent;
    // Held while the window is called, so a window that was replaced is
    // never called again.
    GLibMutex window_lock;
    VideoWindow* window TOVEK_GUARDED_BY(window_lock);
    RECT destination TOVEK_GUARDED_BY(window_lock);
    // destination is neither 1 x 1 nor empty.
    bool visible TOVEK_GUARDED_BY(window_lock);
    // Streaming thread only (set_info and show_frame).
    GstVideoInfo info;
};

struct TovekVideoSinkClass {
    GstVideoSinkClass parent_class;
};

enum { PROP_0, PROP_WINDOW };

} // namespace

G_DEFINE_TYPE(TovekVideoSink, tovek_video_sink, GST_TYPE_VIDEO_SINK)

namespace {

TovekVideoSink* Self(gpointer object) {
    return static_cast<TovekVideoSink*>(object);
}

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("BGRx")));

LONG SaturatedSum(int a, int b) {
    const gint64 sum = static_cast<gint64>(a) + b;
    return static_cast<LONG>(CLAMP(sum, G_MININT32, G_MAXINT32));
}

void SetWindow(TovekVideoSink* self, VideoWindow* window) {
    self->window_lock.Lock();
    self->window = window;
    self->window_lock.Unlock();
}

gboolean SetInfo(GstVideoSink* sink, GstCaps* /*caps*/, const GstVideoInfo* info) {
    Self(sink)->info = *info;
    return TRUE;
}

// A frame handed to the window: the buffer stays mapped (and referenced by
// the mapping) until the last holder lets go.
struct MappedFrame final : VideoFrame {
    GstVideoFrame mapped;
};

void ReleaseFrame(MappedFrame* frame) {
    gst_video_frame_unmap(&frame->mapped); // gives the buffer back to its pool
    delete frame;
}

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When the frame's picture was captured: the stamp the camera's source put
// on it, else its time stamp (running time of the pipeline clock) seen from
// now on the steady clock; -1 when neither is known.
int64_t CaptureTimeOf(TovekVideoSink* self, GstBuffer* buffer) {
    const int64_t stamped = tovek_media_get_capture_time(buffer);
    if (stamped >= 0 || !GST_BUFFER_PTS_IS_VALID(buffer)) {
        return stamped;
    }
    g_autoptr(GstClock) clock = gst_element_get_clock(GST_ELEMENT(self));
    if (clock == nullptr) {
        return -1;
    }
    const GstClockTime running = gst_segment_to_running_time(
        &GST_BASE_SINK(self)->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    const GstClockTime now = gst_clock_get_time(clock);
    if (!GST_CLOCK_TIME_IS_VALID(running)) {
        return -1;
    }
    const GstClockTime captured = gst_element_get_base_time(GST_ELEMENT(self)) + running;
    return SteadyNowNs() - (static_cast<int64_t>(now) - static_cast<int64_t>(captured));
}

void Present(TovekVideoSink* self, GstBuffer* buffer) TOVEK_REQUIRES(self->window_lock) {
    auto* frame = new (std::nothrow) MappedFrame();
    if (frame == nullptr) {
        return; // out of memory: this frame is not shown
    }
    if (!gst_video_frame_map(&frame->mapped, &self->info, buffer, GST_MAP_READ)) {
        GST_WARNING_OBJECT(self, "cannot map a frame; not shown");
        delete frame;
        return;
    }
    frame->pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame->mapped, 0));
    frame->width = GST_VIDEO_FRAME_WIDTH(&frame->mapped);
    frame->height = GST_VIDEO_FRAME_HEIGHT(&frame->mapped);
    frame->stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame->mapped, 0);
    frame->capture_ns = CaptureTimeOf(self, buffer);
    FrameMemoryPlace place;
    if (gst_buffer_n_memory(buffer) == 1 &&
        tovek_frame_memory_place(gst_buffer_peek_memory(buffer, 0), &place)) {
        const auto* start = static_cast<const uint8_t*>(frame->mapped.map[0].data);
        frame->shared_fd = place.fd;
        frame->shared_offset = place.offset + static_cast<size_t>(frame->pixels - start);
        frame->shared_file_size = place.file_size;
        frame->shared_id = place.id;
    }
    SharedVideoFrame shared;
    try {
        shared = SharedVideoFrame(frame, ReleaseFrame);
    } catch (const std::bad_alloc&) {
        return; // the shared pointer's constructor released the frame
    }
    self->window->PresentSharedFrame(shared, self->destination);
}

// Buffers of memory a display server can map, for the decoder to write
// into. At least three: one being decoded, one shown, one the display
// server is still reading.
gboolean ProposeAllocation(GstBaseSink* /*sink*/, GstQuery* query) {
    GstCaps* caps = nullptr;
    gboolean need_pool = FALSE;
    gst_query_parse_allocation(query, &caps, &need_pool);
    GstVideoInfo info;
    if (caps == nullptr || !gst_video_info_from_caps(&info, caps)) {
        return FALSE;
    }
    const platform::GstRef<GstAllocator> allocator(tovek_frame_memory_allocator_new_ref());
    constexpr guint kMinBuffers = 3;
    platform::GstRef<GstBufferPool> pool;
    if (need_pool) {
        pool.reset(gst_video_buffer_pool_new());
        GstStructure* config = gst_buffer_pool_get_config(pool.get());
        gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(info.size), kMinBuffers,
                                          0);
        gst_buffer_pool_config_set_allocator(config, allocator.get(), nullptr);
        if (!gst_buffer_pool_set_config(pool.get(), config)) {
            return FALSE;
        }
    }
    gst_query_add_allocation_pool(query, pool.get(), static_cast<guint>(info.size), kMinBuffers, 0);
    gst_query_add_allocation_param(query, allocator.get(), nullptr);
    gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    return TRUE;
}

GstFlowReturn ShowFrame(GstVideoSink* sink, GstBuffer* buffer) {
    TovekVideoSink* self = Self(sink);
    self->window_lock.Lock();
    if (self->window != nullptr && self->visible) {
        Present(self, buffer);
    }
    self->window_lock.Unlock();
    return GST_FLOW_OK;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    if (id == PROP_WINDOW) {
        SetWindow(Self(object), static_cast<VideoWindow*>(g_value_get_pointer(value)));
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id == PROP_WINDOW) {
        TovekVideoSink* self = Self(object);
        self->window_lock.Lock();
        g_value_set_pointer(value, self->window);
        self->window_lock.Unlock();
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void Finalize(GObject* object) {
    Self(object)->window_lock.Clear();
    G_OBJECT_CLASS(tovek_video_sink_parent_class)->finalize(object);
}

} // namespace

static void tovek_video_sink_init(TovekVideoSink* self) {
    self->window_lock.Init();
    self->window_lock.Lock(); // for the analysis: nothing else sees the sink yet
    self->window = nullptr;
    self->destination = RECT{0, 0, 0, 0};
    self->visible = false; // nothing shows until a destination is given
    self->window_lock.Unlock();
    gst_video_info_init(&self->info);
}

static void tovek_video_sink_class_init(TovekVideoSinkClass* klass) {
    GST_DEBUG_CATEGORY_INIT(tovek_video_sink_debug, "tovekvideosink", 0, "Video Renderer");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = SetProperty;
    object_class->get_property = GetProperty;
    object_class->finalize = Finalize;
    g_object_class_install_property(
        object_class, PROP_WINDOW,
        g_param_spec_pointer("window", "Window", "The VideoWindow that shows the frames",
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_set_static_metadata(element_class, "Video Renderer", "Sink/Video",
                                          "Hands BGRx frames to the program's video window",
                                          "TovekCamera");
    GST_BASE_SINK_CLASS(klass)->propose_allocation = ProposeAllocation;
    GstVideoSinkClass* video_sink_class = GST_VIDEO_SINK_CLASS(klass);
    video_sink_class->set_info = SetInfo;
    video_sink_class->show_frame = ShowFrame;
}

void tovek_video_sink_set_window(GstElement* sink, VIDEO_WINDOW window) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(sink, tovek_video_sink_get_type())) {
        SetWindow(Self(sink), window);
    }
}

void tovek_video_sink_set_destination(GstElement* sink, int x, int y, int width, int height) {
    if (!G_TYPE_CHECK_INSTANCE_TYPE(sink, tovek_video_sink_get_type())) {
        return;
    }
    TovekVideoSink* self = Self(sink);
    const bool visible = IsVisibleDestination(width, height);
    self->window_lock.Lock();
    const bool was_visible = self->visible;
    self->visible = visible;
    self->destination =
        visible ? RECT{x, y, SaturatedSum(x, width), SaturatedSum(y, height)} : RECT{0, 0, 0, 0};
    if (was_visible && !visible && self->window != nullptr) {
        self->window->ClearVideo();
    }
    self->window_lock.Unlock();
}
