// "tovekvideosink", the video renderer: hands each BGRx frame to the
// program's VideoWindow with the destination rectangle. Without a window, or
// with a destination of 1 x 1 or empty, frames are dropped.
#include "elements.h"

#include "platform/media.h"

#include <gst/video/gstvideosink.h>
#include <gst/video/video.h>

GST_DEBUG_CATEGORY_STATIC(tovek_video_sink_debug);
#define GST_CAT_DEFAULT tovek_video_sink_debug

namespace {

struct TovekVideoSink {
    GstVideoSink parent;
    // window_lock guards window, destination and visible; it is held while
    // the window is called, so a window that was replaced is never called again.
    GMutex window_lock;
    VideoWindow* window;
    RECT destination;
    bool visible; // destination is neither 1 x 1 nor empty
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
    g_mutex_lock(&self->window_lock);
    self->window = window;
    g_mutex_unlock(&self->window_lock);
}

gboolean SetInfo(GstVideoSink* sink, GstCaps* /*caps*/, const GstVideoInfo* info) {
    Self(sink)->info = *info;
    return TRUE;
}

GstFlowReturn ShowFrame(GstVideoSink* sink, GstBuffer* buffer) {
    TovekVideoSink* self = Self(sink);
    g_mutex_lock(&self->window_lock);
    if (self->window != nullptr && self->visible) {
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &self->info, buffer, GST_MAP_READ)) {
            self->window->PresentFrame(
                static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), self->destination);
            gst_video_frame_unmap(&frame);
        } else {
            GST_WARNING_OBJECT(self, "cannot map a frame; not shown");
        }
    }
    g_mutex_unlock(&self->window_lock);
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
        g_mutex_lock(&self->window_lock);
        g_value_set_pointer(value, self->window);
        g_mutex_unlock(&self->window_lock);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void Finalize(GObject* object) {
    g_mutex_clear(&Self(object)->window_lock);
    G_OBJECT_CLASS(tovek_video_sink_parent_class)->finalize(object);
}

} // namespace

static void tovek_video_sink_init(TovekVideoSink* self) {
    g_mutex_init(&self->window_lock);
    self->window = nullptr;
    self->destination = RECT{0, 0, 0, 0};
    self->visible = false; // nothing shows until a destination is given
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
    g_mutex_lock(&self->window_lock);
    const bool was_visible = self->visible;
    self->visible = visible;
    self->destination =
        visible ? RECT{x, y, SaturatedSum(x, width), SaturatedSum(y, height)} : RECT{0, 0, 0, 0};
    if (was_visible && !visible && self->window != nullptr) {
        self->window->ClearVideo();
    }
    g_mutex_unlock(&self->window_lock);
}
