// "toveksamplegrabber", the Sample Grabber: hands every buffer, mapped
// writable, to the caller's sample callback before passing it on, so that
// what the callback draws into a frame is what the renderer shows. Raw video
// with one plane comes with its frame geometry; anything else (a compressed
// picture) as plain bytes. With "writable" off the callback only reads: the
// buffer goes through untouched and a shared one is not copied first.
#include "elements.h"
#include "glib_mutex.h"

#include "platform/gst_ref.h"
#include "platform/media.h"

#include <gst/base/gstbasetransform.h>
#include <gst/video/video.h>

GST_DEBUG_CATEGORY_STATIC(tovek_sample_grabber_debug);
#define GST_CAT_DEFAULT tovek_sample_grabber_debug

namespace {

struct TovekSampleGrabber {
    GstBaseTransform parent;
    // Held while the callback runs, so clearing the callback waits for a
    // running call.
    GLibMutex callback_lock;
    MediaSampleCallback callback TOVEK_GUARDED_BY(callback_lock);
    void* context TOVEK_GUARDED_BY(callback_lock);
    // The callback gets writable bytes (the default).
    bool writable TOVEK_GUARDED_BY(callback_lock);
    // Streaming thread only (set_caps and transform_ip).
    bool is_frame;
    GstVideoInfo info;
};

struct TovekSampleGrabberClass {
    GstBaseTransformClass parent_class;
};

enum { PROP_0, PROP_WRITABLE };

} // namespace

G_DEFINE_TYPE(TovekSampleGrabber, tovek_sample_grabber, GST_TYPE_BASE_TRANSFORM)

namespace {

TovekSampleGrabber* Self(GstBaseTransform* trans) {
    return reinterpret_cast<TovekSampleGrabber*>(trans);
}

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

gboolean SetCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps* /*outcaps*/) {
    TovekSampleGrabber* self = Self(trans);
    self->is_frame =
        gst_video_info_from_caps(&self->info, incaps) && GST_VIDEO_INFO_N_PLANES(&self->info) == 1;
    return TRUE;
}

// A buffer's stream time in 100-ns units, as a media sample carries it.
struct StreamTime {
    bool valid = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
};

StreamTime TimeOf(GstBuffer* buffer) {
    StreamTime time;
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const GstClockTime duration =
            GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
        time.valid = true;
        time.start = static_cast<REFERENCE_TIME>(pts / 100);
        time.end = static_cast<REFERENCE_TIME>((pts + duration) / 100);
    }
    return time;
}

// Called with a callback set.
void Deliver(TovekSampleGrabber* self, platform::MemorySample& sample, StreamTime time)
    TOVEK_REQUIRES(self->callback_lock) {
    if (time.valid) {
        sample.SetTime(time.start, time.end);
    }
    self->callback(&sample, &time.start, &time.end, 0, self->context);
}

GstMapFlags MapFlags(const TovekSampleGrabber* self) TOVEK_REQUIRES(self->callback_lock) {
    return self->writable ? GST_MAP_READWRITE : GST_MAP_READ;
}

void DeliverFrame(TovekSampleGrabber* self, GstBuffer* buffer) TOVEK_REQUIRES(self->callback_lock) {
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &self->info, buffer, MapFlags(self))) {
        GST_WARNING_OBJECT(self, "cannot map a frame; callback skipped");
        return;
    }
    const size_t offset = GST_VIDEO_FRAME_PLANE_OFFSET(&frame, 0);
    const size_t size = frame.map[0].size > offset ? frame.map[0].size - offset : 0;
    platform::MemorySample sample(static_cast<BYTE*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), size,
                                  GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                                  GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    Deliver(self, sample, TimeOf(buffer));
    gst_video_frame_unmap(&frame);
}

void DeliverBytes(TovekSampleGrabber* self, GstBuffer* buffer) TOVEK_REQUIRES(self->callback_lock) {
    const platform::BufferMap map(buffer, MapFlags(self));
    if (!map) {
        GST_WARNING_OBJECT(self, "cannot map a buffer; callback skipped");
        return;
    }
    platform::MemorySample sample(map.data(), map.size());
    Deliver(self, sample, TimeOf(buffer));
}

// The base class has made the buffer writable before this is called, unless
// the element is read-only (then it passes through and is only looked at).
GstFlowReturn TransformInPlace(GstBaseTransform* trans, GstBuffer* buffer) {
    TovekSampleGrabber* self = Self(trans);
    self->callback_lock.Lock();
    if (self->callback != nullptr) {
        if (self->is_frame) {
            DeliverFrame(self, buffer);
        } else {
            DeliverBytes(self, buffer);
        }
    }
    self->callback_lock.Unlock();
    return GST_FLOW_OK;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    auto* self = reinterpret_cast<TovekSampleGrabber*>(object);
    if (id != PROP_WRITABLE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    const bool writable = g_value_get_boolean(value);
    self->callback_lock.Lock();
    self->writable = writable;
    self->callback_lock.Unlock();
    // Passing through, the base class still shows each buffer to
    // transform_ip, but as it is: neither copied nor made writable.
    gst_base_transform_set_passthrough(&self->parent, !writable);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    auto* self = reinterpret_cast<TovekSampleGrabber*>(object);
    if (id != PROP_WRITABLE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    self->callback_lock.Lock();
    g_value_set_boolean(value, self->writable);
    self->callback_lock.Unlock();
}

void Finalize(GObject* object) {
    reinterpret_cast<TovekSampleGrabber*>(object)->callback_lock.Clear();
    G_OBJECT_CLASS(tovek_sample_grabber_parent_class)->finalize(object);
}

} // namespace

static void tovek_sample_grabber_init(TovekSampleGrabber* self) {
    self->callback_lock.Init();
    self->callback_lock.Lock(); // for the analysis: nothing else sees the grabber yet
    self->writable = true;
    self->callback_lock.Unlock();
    // In place and, while writable, never pass-through: transform_ip must
    // then run on a writable buffer (the base class copies one that is shared).
    gst_base_transform_set_in_place(&self->parent, TRUE);
    gst_base_transform_set_passthrough(&self->parent, FALSE);
}

static void tovek_sample_grabber_class_init(TovekSampleGrabberClass* klass) {
    GST_DEBUG_CATEGORY_INIT(tovek_sample_grabber_debug, "toveksamplegrabber", 0, "Sample Grabber");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = SetProperty;
    object_class->get_property = GetProperty;
    object_class->finalize = Finalize;
    g_object_class_install_property(
        object_class, PROP_WRITABLE,
        g_param_spec_boolean("writable", "Writable",
                             "Hand the callback writable bytes (a shared buffer is copied "
                             "first); off, the callback must only read them. Set before data "
                             "flows",
                             TRUE,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, "Sample Grabber", "Filter",
                                          "Hands each buffer to a callback that may change it",
                                          "TovekCamera");
    GstBaseTransformClass* trans_class = GST_BASE_TRANSFORM_CLASS(klass);
    trans_class->set_caps = SetCaps;
    trans_class->transform_ip = TransformInPlace;
}

void tovek_sample_grabber_set_callback(GstElement* grabber, MediaSampleCallback callback,
                                       void* context) {
    if (!G_TYPE_CHECK_INSTANCE_TYPE(grabber, tovek_sample_grabber_get_type())) {
        return;
    }
    auto* self = reinterpret_cast<TovekSampleGrabber*>(grabber);
    self->callback_lock.Lock();
    self->callback = callback;
    self->context = context;
    self->callback_lock.Unlock();
}
