#include "stream_callback_dump.h"

#include "platform/gst_ref.h"

#include <gst/base/gstbasesink.h>

#include <limits>

GST_DEBUG_CATEGORY_STATIC(tovek_stream_dump_debug);
#define GST_CAT_DEFAULT tovek_stream_dump_debug

namespace {

struct TovekStreamDump {
    GstBaseSink parent;
    tovek::audio::StreamCallbackDumpControl* control;
};

struct TovekStreamDumpClass {
    GstBaseSinkClass parent_class;
};

GType tovek_stream_dump_get_type();

#define TOVEK_TYPE_STREAM_DUMP (tovek_stream_dump_get_type())

G_DEFINE_TYPE(TovekStreamDump, tovek_stream_dump, GST_TYPE_BASE_SINK)

// What the encoders of this library produce: PCM, Microsoft ADPCM, MP3.
GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved; "
                    "audio/x-adpcm, layout=(string)microsoft; "
                    "audio/mpeg, mpegversion=(int)1, layer=(int)3"));

TovekStreamDump* AsDump(gpointer object) {
    return reinterpret_cast<TovekStreamDump*>(object);
}

void tovek_stream_dump_init(TovekStreamDump* self) {
    self->control = new tovek::audio::StreamCallbackDumpControl();
    // The source is live and paces the stream; buffers go out as they come.
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
}

void tovek_stream_dump_finalize(GObject* object) {
    TovekStreamDump* self = AsDump(object);
    delete self->control;
    self->control = nullptr;
    G_OBJECT_CLASS(tovek_stream_dump_parent_class)->finalize(object);
}

gboolean tovek_stream_dump_set_caps(GstBaseSink* sink, GstCaps* caps) {
    AsDump(sink)->control->OnCaps(caps);
    return TRUE;
}

GstFlowReturn tovek_stream_dump_render(GstBaseSink* sink, GstBuffer* buffer) {
    const platform::BufferMap map(buffer, GST_MAP_READ);
    if (!map) {
        GST_ELEMENT_ERROR(sink, RESOURCE, READ, ("Cannot read an encoded buffer."), (nullptr));
        return GST_FLOW_ERROR;
    }
    AsDump(sink)->control->OnBuffer(GST_ELEMENT(sink), map.data(), map.size());
    return GST_FLOW_OK;
}

void tovek_stream_dump_class_init(TovekStreamDumpClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseSinkClass* sink_class = GST_BASE_SINK_CLASS(klass);
    object_class->finalize = tovek_stream_dump_finalize;
    sink_class->set_caps = tovek_stream_dump_set_caps;
    sink_class->render = tovek_stream_dump_render;
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_set_static_metadata(element_class, "Stream Callback Dump", "Sink/Audio",
                                          "Hands encoded audio to a stream callback",
                                          "TovekCamera");
}

} // namespace

namespace tovek::audio {

HRESULT StreamCallbackDumpControl::SetCallback(TovekWacStreamCallback callback, void* user) {
    platform::MutexLock lock(callback_lock_);
    callback_ = callback;
    user_ = user;
    return S_OK;
}

HRESULT StreamCallbackDumpControl::GetMediaType(AM_MEDIA_TYPE** out) {
    if (!out) {
        return E_POINTER;
    }
    platform::MutexLock lock(media_lock_);
    if (!announced_) {
        return E_FAIL;
    }
    *out = announced_->media_type();
    return S_OK;
}

void StreamCallbackDumpControl::AnnounceMediaType(const AudioMediaType& type) {
    platform::MutexLock lock(media_lock_);
    announced_.emplace(type);
}

std::optional<AudioMediaType> StreamCallbackDumpControl::ReceivedMediaType() {
    platform::MutexLock lock(media_lock_);
    return received_;
}

uint64_t StreamCallbackDumpControl::BuffersReceived() {
    platform::MutexLock lock(media_lock_);
    return buffers_;
}

void StreamCallbackDumpControl::OnCaps(GstCaps* caps) {
    platform::MutexLock lock(media_lock_);
    caps_.reset(gst_caps_ref(caps));
    received_.reset();
}

void StreamCallbackDumpControl::OnBuffer(GstElement* sink, const uint8_t* data, size_t size) {
    {
        platform::MutexLock lock(media_lock_);
        ++buffers_;
        if (!received_ && caps_) {
            received_ = MediaTypeFromStream(caps_.get(), data, size);
            // The announced type went into the caller's file header already;
            // a stream that differs from it would not play back right.
            if (received_ && announced_ && !(*received_ == *announced_)) {
                GST_ELEMENT_WARNING(sink, STREAM, FORMAT,
                                    ("The encoded stream differs from its announced format."),
                                    (nullptr));
            }
        }
    }
    if (size > static_cast<size_t>(std::numeric_limits<LONG>::max())) {
        return;
    }
    platform::MutexLock lock(callback_lock_);
    if (callback_) {
        callback_(data, static_cast<LONG>(size), user_);
    }
}

bool RegisterStreamCallbackDump() {
    GST_DEBUG_CATEGORY_INIT(tovek_stream_dump_debug, "tovekstreamdump", 0, "Stream Callback Dump");
    return gst_element_register(nullptr, "tovekstreamdump", GST_RANK_NONE,
                                TOVEK_TYPE_STREAM_DUMP) != FALSE;
}

GstElement* CreateStreamCallbackDump(const char* name) {
    return gst_element_factory_make("tovekstreamdump", name);
}

StreamCallbackDumpControl* GetStreamCallbackDumpControl(GstElement* element) {
    if (!element || !G_TYPE_CHECK_INSTANCE_TYPE(element, TOVEK_TYPE_STREAM_DUMP)) {
        return nullptr;
    }
    return AsDump(element)->control;
}

} // namespace tovek::audio
