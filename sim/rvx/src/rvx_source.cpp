// "tovekrvxsrc": the emulated RVX camera's video source, a live push source
// of Motion-JPEG pictures paced by the pipeline clock. Its "device" property
// names the camera (EmulatedRvxCamera::Node()). While the camera's kRawOnly
// fault is set it offers grey YUY2 frames instead.
#include "sim/rvx_camera.h"

#include "platform/thread_annotations.h"

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

GST_DEBUG_CATEGORY_STATIC(tovek_rvx_src_debug);
#define GST_CAT_DEFAULT tovek_rvx_src_debug

namespace {

// Stands for the element's GstObject lock in the lock rules: LockObject and
// UnlockObject take and release the real one. Holds nothing.
class TOVEK_CAPABILITY("mutex") ObjectLock {};

struct TovekRvxSrc {
    GstPushSrc parent;
    ObjectLock object_lock;
    // The object lock guards the device, the wait and the negotiated format,
    // which the latency query reads.
    gchar* device TOVEK_GUARDED_BY(object_lock);
    // The wait create() is in, to cancel it.
    GstClockID clock_id TOVEK_GUARDED_BY(object_lock);
    bool flushing TOVEK_GUARDED_BY(object_lock);
    int width TOVEK_GUARDED_BY(object_lock);
    int height TOVEK_GUARDED_BY(object_lock);
    int fps_n TOVEK_GUARDED_BY(object_lock);
    int fps_d TOVEK_GUARDED_BY(object_lock);
    // YUY2 frames negotiated instead of Motion-JPEG.
    bool raw TOVEK_GUARDED_BY(object_lock);
    // Streaming thread only (start, stop, create, unlock_stop).
    std::shared_ptr<sim::EmulatedRvxCamera>* camera; // from start to stop
    bool timing;                                     // next_time is valid
    GstClockTime next_time;
    guint64 frames;
};

struct TovekRvxSrcClass {
    GstPushSrcClass parent_class;
};

enum { PROP_0, PROP_DEVICE };

} // namespace

G_DEFINE_TYPE(TovekRvxSrc, tovek_rvx_src, GST_TYPE_PUSH_SRC)

namespace {

TovekRvxSrc* Self(gpointer object) {
    return static_cast<TovekRvxSrc*>(object);
}

// Unchecked inside: the capability stands for a lock the analysis cannot see.
void LockObject(TovekRvxSrc* self)
    TOVEK_ACQUIRE(self->object_lock) TOVEK_NO_THREAD_SAFETY_ANALYSIS {
    GST_OBJECT_LOCK(self);
}

void UnlockObject(TovekRvxSrc* self)
    TOVEK_RELEASE(self->object_lock) TOVEK_NO_THREAD_SAFETY_ANALYSIS {
    GST_OBJECT_UNLOCK(self);
}

GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("image/jpeg; video/x-raw, format=(string)YUY2"));

// Every size with its list of frame rates, the default first, as a UVC
// camera's probed caps look: Motion-JPEG, or YUY2 when raw.
GstCaps* FormatCaps(const std::vector<sim::RvxFormat>& formats, bool raw) {
    GstCaps* caps = gst_caps_new_empty();
    for (const sim::RvxFormat& format : formats) {
        GValue rates = G_VALUE_INIT;
        gst_value_list_init(&rates, format.frame_rates.size());
        for (int rate : format.frame_rates) {
            GValue value = G_VALUE_INIT;
            g_value_init(&value, GST_TYPE_FRACTION);
            gst_value_set_fraction(&value, rate, 1);
            gst_value_list_append_and_take_value(&rates, &value);
        }
        GstStructure* structure = gst_structure_new(
            raw ? "video/x-raw" : "image/jpeg", "width", G_TYPE_INT, format.width, "height",
            G_TYPE_INT, format.height, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        if (raw) {
            gst_structure_set(structure, "format", G_TYPE_STRING, "YUY2", nullptr);
        }
        gst_structure_take_value(structure, "framerate", &rates);
        gst_caps_append_structure(caps, structure);
    }
    return caps;
}

GstClockTime FramePeriodLocked(const TovekRvxSrc* self) TOVEK_REQUIRES(self->object_lock) {
    if (self->fps_n <= 0 || self->fps_d <= 0) {
        return GST_CLOCK_TIME_NONE;
    }
    return gst_util_uint64_scale_int(GST_SECOND, self->fps_d, self->fps_n);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    TovekRvxSrc* self = Self(object);
    if (id != PROP_DEVICE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    LockObject(self);
    g_free(self->device);
    self->device = g_value_dup_string(value);
    UnlockObject(self);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    TovekRvxSrc* self = Self(object);
    if (id != PROP_DEVICE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    LockObject(self);
    g_value_set_string(value, self->device);
    UnlockObject(self);
}

void Finalize(GObject* object) {
    TovekRvxSrc* self = Self(object);
    LockObject(self); // for the analysis: nothing else sees the element any more
    g_free(self->device);
    UnlockObject(self);
    delete self->camera;
    G_OBJECT_CLASS(tovek_rvx_src_parent_class)->finalize(object);
}

std::string DeviceOf(TovekRvxSrc* self) {
    LockObject(self);
    std::string device = self->device != nullptr ? self->device : "";
    UnlockObject(self);
    return device;
}

gboolean Start(GstBaseSrc* src) {
    TovekRvxSrc* self = Self(src);
    const std::string device = DeviceOf(self);
    auto camera = sim::FindRvxCamera(device);
    if (!camera || !camera->Plugged()) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("Could not open device."),
                          ("no plugged emulated RVX camera \"%s\"", device.c_str()));
        return FALSE;
    }
    delete self->camera;
    self->camera = new std::shared_ptr<sim::EmulatedRvxCamera>(std::move(camera));
    self->timing = false;
    self->frames = 0;
    return TRUE;
}

gboolean Stop(GstBaseSrc* src) {
    TovekRvxSrc* self = Self(src);
    delete self->camera;
    self->camera = nullptr;
    return TRUE;
}

GstCaps* GetCaps(GstBaseSrc* src, GstCaps* filter) {
    const auto camera = sim::FindRvxCamera(DeviceOf(Self(src)));
    GstCaps* caps = camera ? FormatCaps(camera->Formats(), camera->OffersRawOnly())
                           : FormatCaps(sim::RvxFormats(), false);
    if (filter != nullptr) {
        GstCaps* filtered = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = filtered;
    }
    return caps;
}

gboolean SetCaps(GstBaseSrc* src, GstCaps* caps) {
    TovekRvxSrc* self = Self(src);
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    int fps_n = 0;
    int fps_d = 0;
    if (!gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height) ||
        !gst_structure_get_fraction(structure, "framerate", &fps_n, &fps_d) || fps_n <= 0 ||
        fps_d <= 0) {
        return FALSE;
    }
    LockObject(self);
    self->width = width;
    self->height = height;
    self->fps_n = fps_n;
    self->fps_d = fps_d;
    self->raw = gst_structure_has_name(structure, "video/x-raw");
    UnlockObject(self);
    self->timing = false;
    return TRUE;
}

gboolean Query(GstBaseSrc* src, GstQuery* query) {
    TovekRvxSrc* self = Self(src);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        LockObject(self);
        const GstClockTime period = FramePeriodLocked(self);
        UnlockObject(self);
        if (!GST_CLOCK_TIME_IS_VALID(period)) {
            return FALSE;
        }
        // A picture is ready one frame period after its time stamp.
        gst_query_set_latency(query, TRUE, period, period);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(tovek_rvx_src_parent_class)->query(src, query);
}

gboolean Unlock(GstBaseSrc* src) {
    TovekRvxSrc* self = Self(src);
    LockObject(self);
    self->flushing = true;
    if (self->clock_id != nullptr) {
        gst_clock_id_unschedule(self->clock_id);
    }
    UnlockObject(self);
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* src) {
    TovekRvxSrc* self = Self(src);
    LockObject(self);
    self->flushing = false;
    UnlockObject(self);
    self->timing = false;
    return TRUE;
}

// Waits on the pipeline clock until running time `time`; false when
// flushing cut the wait short.
bool WaitUntil(TovekRvxSrc* self, GstClock* clock, GstClockTime base_time, GstClockTime time) {
    GstClockID id = gst_clock_new_single_shot_id(clock, base_time + time);
    LockObject(self);
    if (self->flushing) {
        UnlockObject(self);
        gst_clock_id_unref(id);
        return false;
    }
    self->clock_id = id;
    UnlockObject(self);
    const GstClockReturn result = gst_clock_id_wait(id, nullptr);
    LockObject(self);
    self->clock_id = nullptr;
    const bool flushing = self->flushing;
    UnlockObject(self);
    gst_clock_id_unref(id);
    return result != GST_CLOCK_UNSCHEDULED && !flushing;
}

GstFlowReturn Create(GstPushSrc* src, GstBuffer** out) {
    TovekRvxSrc* self = Self(src);
    LockObject(self);
    const GstClockTime period = FramePeriodLocked(self);
    const int width = self->width;
    const int height = self->height;
    const bool raw = self->raw;
    UnlockObject(self);
    if (self->camera == nullptr || !GST_CLOCK_TIME_IS_VALID(period)) {
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstClockTime timestamp = GST_CLOCK_TIME_NONE;
    if (GstClock* clock = gst_element_get_clock(GST_ELEMENT(self))) {
        const GstClockTime base_time = gst_element_get_base_time(GST_ELEMENT(self));
        const GstClockTime now = gst_clock_get_time(clock) - base_time;
        // The first picture is taken at once; a source that fell behind by
        // more than a frame skips the pictures it missed, as a camera does.
        if (!self->timing || self->next_time + period < now) {
            self->next_time = now;
            self->timing = true;
        }
        const bool waited = WaitUntil(self, clock, base_time, self->next_time);
        gst_object_unref(clock);
        if (!waited) {
            return GST_FLOW_FLUSHING;
        }
        timestamp = self->next_time;
        self->next_time += period;
    }
    auto picture = (*self->camera)->TakePicture(width, height);
    if (!picture) {
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("Could not read from resource."),
                          ("%s", (*self->camera)->Plugged()
                                     ? "a read failed (injected fault)"
                                     : "the emulated camera was pulled out"));
        return GST_FLOW_ERROR;
    }
    if (raw) {
        // Grey: Y, U, Y, V all mid-range.
        picture = std::make_shared<const std::vector<uint8_t>>(
            static_cast<size_t>(width) * static_cast<size_t>(height) * 2, 0x80);
    }
    // The generator never changes a picture it handed out: wrap it, read-only.
    auto* holder = new std::shared_ptr<const std::vector<uint8_t>>(std::move(picture));
    GstBuffer* buffer = gst_buffer_new_wrapped_full(
        GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>((*holder)->data()), (*holder)->size(), 0,
        (*holder)->size(), holder, [](gpointer data) {
            delete static_cast<std::shared_ptr<const std::vector<uint8_t>>*>(data);
        });
    GST_BUFFER_PTS(buffer) = timestamp;
    GST_BUFFER_DURATION(buffer) = period;
    GST_BUFFER_OFFSET(buffer) = self->frames++;
    GST_BUFFER_OFFSET_END(buffer) = self->frames;
    *out = buffer;
    return GST_FLOW_OK;
}

} // namespace

static void tovek_rvx_src_init(TovekRvxSrc* self) {
    LockObject(self); // for the analysis: nothing else sees the element yet
    self->device = nullptr;
    self->clock_id = nullptr;
    self->flushing = false;
    self->width = sim::kRvxDefaultWidth;
    self->height = sim::kRvxDefaultHeight;
    self->fps_n = 0;
    self->fps_d = 1;
    self->raw = false;
    UnlockObject(self);
    self->camera = nullptr;
    self->timing = false;
    self->next_time = 0;
    self->frames = 0;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

static void tovek_rvx_src_class_init(TovekRvxSrcClass* klass) {
    GST_DEBUG_CATEGORY_INIT(tovek_rvx_src_debug, "tovekrvxsrc", 0, "emulated RVX camera");
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    object_class->set_property = SetProperty;
    object_class->get_property = GetProperty;
    object_class->finalize = Finalize;
    g_object_class_install_property(
        object_class, PROP_DEVICE,
        g_param_spec_string("device", "Device", "Node name of the emulated RVX camera", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, "Emulated RVX camera", "Source/Video",
                                          "Motion-JPEG pictures of the emulated RVX camera",
                                          "TovekCamera");
    GstBaseSrcClass* base_class = GST_BASE_SRC_CLASS(klass);
    base_class->start = Start;
    base_class->stop = Stop;
    base_class->get_caps = GetCaps;
    base_class->set_caps = SetCaps;
    base_class->query = Query;
    base_class->unlock = Unlock;
    base_class->unlock_stop = UnlockStop;
    GST_PUSH_SRC_CLASS(klass)->create = Create;
}

namespace sim {

bool RegisterRvxSourceElement() {
    static platform::Mutex lock;
    // "tovekrvxsrc" is known to GStreamer.
    static bool registered TOVEK_GUARDED_BY(lock) = false;
    platform::MutexLock guard(lock);
    if (!registered && gst_is_initialized()) {
        registered = gst_element_register(nullptr, kRvxSourceFactory, GST_RANK_NONE,
                                          tovek_rvx_src_get_type());
    }
    return registered;
}

} // namespace sim
