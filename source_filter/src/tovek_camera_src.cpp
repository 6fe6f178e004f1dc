// "tovekcamerasrc": a live GstPushSrc whose buffers are the pin's pictures
// themselves (LendPicture).
// The pin's media-type rules are the caps (image/jpeg at the announced size
// and 16 pictures per second, nothing else accepted) and its buffer rules the
// allocation query (at least two buffers, each large enough for the largest
// picture the driver delivers).
#include "tovek_camera_src.h"

#include "buffer_times.h"
#include "camera_source_filter.h"
#include "platform/gst_ref.h"
#include "platform/media.h"
#include "platform/system.h"
#include "tovek_camera_source.h"

#include <gio/gio.h>
#include <gst/base/gstpushsrc.h>

#include <chrono>
#include <memory>
#include <new>

GST_DEBUG_CATEGORY_STATIC(tovek_camera_src_debug);
#define GST_CAT_DEFAULT tovek_camera_src_debug

namespace {

struct TovekCameraSrc {
    GstPushSrc parent;
    // Created in constructed, deleted in finalize; null when it could not
    // be created.
    camsrc::CameraSourceFilter* filter;
    // The construct-only "cancellable" (owned; may be null): ends the
    // creation's wait for a camera.
    GCancellable* cancellable;
    gint auto_start;   // g_atomic: set from any thread, read by start
    bool auto_started; // state-change thread only (start and stop)
    // Created in init, deleted in finalize. Reset by start, used by fill:
    // the streaming thread runs only between the two.
    camsrc::BufferTimes* times;
};

struct TovekCameraSrcClass {
    GstPushSrcClass parent_class;
};

enum { PROP_0, PROP_CONTROL, PROP_AUTO_START, PROP_CANCELLABLE };

// How long a streaming thread sleeps at a time while the client has the
// camera stopped; a start or an unlock wakes it earlier.
constexpr uint32_t kStoppedWaitMs = 100;

} // namespace

G_DEFINE_TYPE(TovekCameraSrc, tovek_camera_src, GST_TYPE_PUSH_SRC)

namespace {

TovekCameraSrc* Self(gpointer object) {
    return static_cast<TovekCameraSrc*>(object);
}

camsrc::CameraSourcePin* PinOf(gpointer object) {
    camsrc::CameraSourceFilter* filter = Self(object)->filter;
    return filter != nullptr ? filter->Pin() : nullptr;
}

GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("image/jpeg"));

GstCaps* AnnouncedCaps(camsrc::CameraSourcePin* pin) {
    int32_t width = kCameraSourceDefaultWidth;
    int32_t height = kCameraSourceDefaultHeight;
    if (pin != nullptr) {
        pin->AnnouncedSize(&width, &height);
    }
    // One whole picture per buffer: "parsed" lets decoders skip parsing.
    return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, width, "height", G_TYPE_INT,
                               height, "framerate", GST_TYPE_FRACTION, kCameraSourceFramesPerSecond,
                               1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, "parsed",
                               G_TYPE_BOOLEAN, TRUE, nullptr);
}

GstCaps* GetCaps(GstBaseSrc* base, GstCaps* filter) {
    g_autoptr(GstCaps) caps = AnnouncedCaps(PinOf(base));
    if (filter != nullptr) {
        return gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    }
    return g_steal_pointer(&caps);
}

gboolean SetCaps(GstBaseSrc* base, GstCaps* caps) {
    // Only Motion-JPEG pictures leave this element.
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    if (s == nullptr || !gst_structure_has_name(s, "image/jpeg")) {
        GST_WARNING_OBJECT(base, "refused caps %" GST_PTR_FORMAT, caps);
        return FALSE;
    }
    return TRUE;
}

gboolean DecideAllocation(GstBaseSrc* base, GstQuery* query) {
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    guint min = 0;
    guint max = 0;
    const bool has_pool = gst_query_get_n_allocation_pools(query) > 0;
    if (has_pool) {
        guint proposed_size = 0;
        // Only its counts are kept: pictures go into plain memory of our own pool.
        g_autoptr(GstBufferPool) proposed = nullptr;
        gst_query_parse_nth_allocation_pool(query, 0, &proposed, &proposed_size, &min, &max);
    }
    if (min == 0) {
        min = 2; // a request for no buffers gets two
    }
    const guint size = kCameraSourceMaxPictureSize;
    if (max != 0 && max < min) {
        max = min;
    }

    g_autoptr(GstBufferPool) pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, min, max);
    bool ok = gst_buffer_pool_set_config(pool, config); // takes config
    guint actual = 0;
    if (ok) {
        g_autoptr(GstStructure) applied = gst_buffer_pool_get_config(pool);
        ok = gst_buffer_pool_config_get_params(applied, nullptr, &actual, nullptr, nullptr) &&
             actual >= size;
    }
    if (!ok) {
        GST_ERROR_OBJECT(base, "the buffer pool gives %u bytes, %u wanted", actual, size);
        return FALSE;
    }
    if (has_pool) {
        gst_query_set_nth_allocation_pool(query, 0, pool, size, min, max);
    } else {
        gst_query_add_allocation_pool(query, pool, size, min, max);
    }
    return TRUE;
}

gboolean Start(GstBaseSrc* base) {
    TovekCameraSrc* self = Self(base);
    if (PinOf(base) == nullptr) {
        GST_ELEMENT_ERROR(self, RESOURCE, BUSY,
                          ("The camera is in use by another camera source element."),
                          ("only one tovekcamerasrc per process can drive the camera"));
        return FALSE;
    }
    self->times->Reset();
    self->auto_started = g_atomic_int_get(&self->auto_start) != 0;
    if (self->auto_started) {
        self->filter->Control(1);
    }
    return TRUE;
}

gboolean Stop(GstBaseSrc* base) {
    TovekCameraSrc* self = Self(base);
    if (self->auto_started && self->filter != nullptr) {
        self->filter->Control(0);
    }
    self->auto_started = false;
    return TRUE;
}

// A picture leaves up to a fetch period after its capture, and its buffer
// carries the capture's running time: syncing sinks downstream must allow
// for that (two periods, the pacing's fetch and the driver's hand-off).
gboolean Query(GstBaseSrc* base, GstQuery* query) {
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        gst_query_set_latency(query, TRUE, 2 * GST_SECOND / kCameraSourceFramesPerSecond,
                              GST_CLOCK_TIME_NONE);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(tovek_camera_src_parent_class)->query(base, query);
}

gboolean Unlock(GstBaseSrc* base) {
    if (camsrc::CameraSourcePin* pin = PinOf(base)) {
        pin->Interrupt(true);
    }
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* base) {
    if (camsrc::CameraSourcePin* pin = PinOf(base)) {
        pin->Interrupt(false);
    }
    return TRUE;
}

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The steady-clock time of a tick count of the recent past.
int64_t SteadyNsOfTick(uint32_t tick_ms) {
    const uint32_t ago_ms = platform::GetTickCount() - tick_ms;
    return SteadyNowNs() - static_cast<int64_t>(ago_ms) * 1000000;
}

// Stamps buffer with the pipeline's running time at capture_steady_ns (the
// clock's time now less the picture's age) and the measured frame period.
// Without a clock (the element is not playing) the buffer carries no time.
void StampRunningTime(TovekCameraSrc* self, GstBuffer* buffer, int64_t capture_steady_ns) {
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_PTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_NONE;
    g_autoptr(GstClock) clock = gst_element_get_clock(GST_ELEMENT(self));
    if (clock == nullptr) {
        return;
    }
    const GstClockTime now = gst_clock_get_time(clock);
    const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
    const int64_t age = SteadyNowNs() - capture_steady_ns;
    const int64_t running =
        static_cast<int64_t>(now) - static_cast<int64_t>(base) - (age > 0 ? age : 0);
    const camsrc::BufferTime time = self->times->Next(running);
    GST_BUFFER_PTS(buffer) = time.pts_ns;
    GST_BUFFER_DURATION(buffer) = time.duration_ns;
}

// Frees a picture lent to a buffer: its block goes back to the camera.
void ReturnLentPicture(gpointer picture) {
    delete static_cast<camsrc::LentPicture*>(picture);
}

// The next picture, in a buffer around the camera's own bytes (no copy: at
// the camera's pace a copy of every picture costs as much as all the rest of
// a recording), or why there is none.
GstFlowReturn Create(GstPushSrc* src, GstBuffer** out) {
    camsrc::CameraSourcePin* pin = PinOf(src);
    if (pin == nullptr) {
        return GST_FLOW_ERROR;
    }
    std::unique_ptr<camsrc::LentPicture> picture;
    camsrc::CameraSourcePin::FillResult result;
    for (;;) {
        result = pin->LendPicture(&picture);
        if (result != camsrc::CameraSourcePin::FillResult::kEmpty) {
            break;
        }
        // Stopped by the client: an empty buffer would only trouble the
        // decoder, so wait for the start instead.
        pin->WaitWhileStopped(kStoppedWaitMs);
    }
    if (result == camsrc::CameraSourcePin::FillResult::kInterrupted) {
        return GST_FLOW_FLUSHING;
    }
    if (result == camsrc::CameraSourcePin::FillResult::kStreamEnded) {
        // As a source whose device read fails: the pipeline's owner decides
        // whether to start again.
        GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The camera stopped sending pictures."),
                          ("the driver's streaming ended without a stop while the camera "
                           "stayed attached (a failed read or request)"));
        return GST_FLOW_ERROR;
    }
    const int64_t captured = SteadyNsOfTick(picture->ArrivalMs());
    camsrc::LentPicture* lent = picture.release();
    GstBuffer* buffer =
        gst_buffer_new_wrapped_full(static_cast<GstMemoryFlags>(0), lent->Data(), lent->Capacity(),
                                    0, lent->Length(), lent, ReturnLentPicture);
    StampRunningTime(Self(src), buffer, captured);
    GST_BUFFER_FLAG_UNSET(buffer, GST_BUFFER_FLAG_DELTA_UNIT); // every picture is a sync point
    // Its age is told by when it came from the camera.
    tovek_media_set_capture_time(buffer, captured);
    *out = buffer;
    return GST_FLOW_OK;
}

void Constructed(GObject* object) {
    G_OBJECT_CLASS(tovek_camera_src_parent_class)->constructed(object);
    TovekCameraSrc* self = Self(object);
    try {
        GCancellable* cancellable = self->cancellable;
        self->filter = new camsrc::CameraSourceFilter([cancellable] {
            return cancellable != nullptr && g_cancellable_is_cancelled(cancellable);
        });
    } catch (const std::exception& e) {
        GST_ERROR_OBJECT(self, "cannot create the camera: %s", e.what());
        self->filter = nullptr;
    } catch (...) {
        GST_ERROR_OBJECT(self, "cannot create the camera");
        self->filter = nullptr;
    }
    if (PinOf(object) == nullptr) {
        GST_WARNING_OBJECT(self, "another tovekcamerasrc drives the camera; this one has none");
    }
}

void Finalize(GObject* object) {
    TovekCameraSrc* self = Self(object);
    delete self->filter; // stops the camera and releases the driver
    self->filter = nullptr;
    delete self->times;
    self->times = nullptr;
    g_clear_object(&self->cancellable);
    G_OBJECT_CLASS(tovek_camera_src_parent_class)->finalize(object);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    if (id == PROP_AUTO_START) {
        g_atomic_int_set(&Self(object)->auto_start, g_value_get_boolean(value) ? 1 : 0);
    } else if (id == PROP_CANCELLABLE) {
        // Construct-only: set once, before constructed runs.
        g_set_object(&Self(object)->cancellable, G_CANCELLABLE(g_value_get_object(value)));
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    TovekCameraSrc* self = Self(object);
    if (id == PROP_CONTROL) {
        g_value_set_pointer(value, self->filter != nullptr ? self->filter->Interface() : nullptr);
    } else if (id == PROP_AUTO_START) {
        g_value_set_boolean(value, g_atomic_int_get(&self->auto_start) != 0);
    } else if (id == PROP_CANCELLABLE) {
        g_value_set_object(value, self->cancellable);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

} // namespace

static void tovek_camera_src_init(TovekCameraSrc* self) {
    GstBaseSrc* base = GST_BASE_SRC(self);
    gst_base_src_set_live(base, TRUE);
    gst_base_src_set_format(base, GST_FORMAT_TIME);
    // Buffers made without a pool must still take the largest picture.
    gst_base_src_set_blocksize(base, kCameraSourceMaxPictureSize);
    self->auto_start = 1;
    self->times = new camsrc::BufferTimes(GST_SECOND / kCameraSourceFramesPerSecond);

    // The base class names its pad after the template; ours is "Out". The
    // pad lives on our reference while it is out of the element.
    g_autoptr(GstPad) pad = GST_PAD(gst_object_ref(GST_BASE_SRC_PAD(base)));
    gst_element_remove_pad(GST_ELEMENT(self), pad);
    gst_object_set_name(GST_OBJECT(pad), "Out");
    gst_element_add_pad(GST_ELEMENT(self), pad);
}

static void tovek_camera_src_class_init(TovekCameraSrcClass* klass) {
    GST_DEBUG_CATEGORY_INIT(tovek_camera_src_debug, "tovekcamerasrc", 0,
                            "Tovek Camera Source Filter");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->constructed = Constructed;
    object_class->finalize = Finalize;
    object_class->set_property = SetProperty;
    object_class->get_property = GetProperty;
    g_object_class_install_property(
        object_class, PROP_CONTROL,
        g_param_spec_pointer(TOVEK_CAMERA_SOURCE_CONTROL_PROPERTY, "Control",
                             "The element's ICameraSourceControl, valid while the element lives",
                             static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object_class, PROP_AUTO_START,
        g_param_spec_boolean("auto-start", "Auto start",
                             "Start the camera when the element starts and stop it when it stops",
                             TRUE,
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object_class, PROP_CANCELLABLE,
        g_param_spec_object(TOVEK_CAMERA_SOURCE_CANCELLABLE_PROPERTY, "Cancellable",
                            "Cancelled, it ends the element's wait for a camera at its creation",
                            G_TYPE_CANCELLABLE,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_CONSTRUCT_ONLY |
                                                     G_PARAM_STATIC_STRINGS)));

    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, "Tovek Camera Source Filter",
                                          "Source/Video", "JPEG pictures of a Q5 document camera",
                                          "TovekCamera");

    GstBaseSrcClass* base_class = GST_BASE_SRC_CLASS(klass);
    base_class->get_caps = GetCaps;
    base_class->set_caps = SetCaps;
    base_class->decide_allocation = DecideAllocation;
    base_class->start = Start;
    base_class->stop = Stop;
    base_class->query = Query;
    base_class->unlock = Unlock;
    base_class->unlock_stop = UnlockStop;
    GST_PUSH_SRC_CLASS(klass)->create = Create;
}

gboolean tovek_camera_src_register(GstPlugin* plugin) {
    return gst_element_register(plugin, "tovekcamerasrc", GST_RANK_NONE,
                                tovek_camera_src_get_type());
}
