#include "capture_context.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

GST_DEBUG_CATEGORY_STATIC(tovek_audio_capture_debug);
#define GST_CAT_DEFAULT tovek_audio_capture_debug

namespace tovek::audio {
namespace {

constexpr int kCaptureRate = 22050;
constexpr int kCaptureChannels = 2;
// Buffers of 0.2 s of the capture format (17640 bytes, whole 4-byte frames):
// each one wakes the capture thread and is a chunk of the file, so fewer are
// cheaper (a recording stopped loses at most the last one).
constexpr int kCaptureBuffersPerSecond = 5;

// Silence run through an encoder to learn its output format: 0.5 s is more
// than one block or frame of every encoder offered.
constexpr int kProbeBuffers = 10;
constexpr int kProbeFramesPerBuffer = 1102;
constexpr GstClockTime kProbeTimeout = 5 * GST_SECOND;

// Errors of a running graph are only logged: the caller learns of a lost
// device by the callback falling silent, as with the platform it replaces.
// Dropping every message also keeps the bus from filling up while the graph
// runs for hours. A sync handler that drops a message owns it: kept, each
// message would hold its source, and so the whole graph, alive.
GstBusSyncReply OnGraphMessage(GstBus*, GstMessage* message, gpointer) {
    g_autoptr(GstMessage) dropped = message;
    if (GST_MESSAGE_TYPE(dropped) == GST_MESSAGE_ERROR ||
        GST_MESSAGE_TYPE(dropped) == GST_MESSAGE_WARNING) {
        g_autoptr(GError) error = nullptr;
        g_autofree gchar* detail = nullptr;
        if (GST_MESSAGE_TYPE(dropped) == GST_MESSAGE_ERROR) {
            gst_message_parse_error(dropped, &error, &detail);
        } else {
            gst_message_parse_warning(dropped, &error, &detail);
        }
        GST_WARNING_OBJECT(GST_MESSAGE_SRC(dropped), "%s (%s)", error ? error->message : "",
                           detail ? detail : "");
    }
    return GST_BUS_DROP;
}

platform::GstRef<GstElement> MakeNamed(const char* factory, const char* name) {
    return platform::SinkRef(gst_element_factory_make(factory, name));
}

} // namespace

GstCaps* CaptureCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, kCaptureRate,
                               "channels", G_TYPE_INT, kCaptureChannels, nullptr);
}

std::optional<AudioMediaType> ProbeEncoder(const CatalogEntry& encoder) {
    const platform::GstRef<GstElement> pipeline =
        platform::SinkRef(gst_pipeline_new("Encoder Probe"));
    const platform::GstRef<GstElement> src = MakeNamed("audiotestsrc", nullptr);
    const platform::GstRef<GstElement> format = MakeNamed("capsfilter", nullptr);
    const platform::GstRef<GstElement> enc = platform::SinkRef(encoder.create(nullptr));
    const platform::GstRef<GstElement> sink = platform::SinkRef(CreateStreamCallbackDump(nullptr));
    if (!pipeline || !src || !format || !enc || !sink) {
        return std::nullopt;
    }
    g_object_set(src.get(), "num-buffers", kProbeBuffers, "samplesperbuffer", kProbeFramesPerBuffer,
                 nullptr);
    gst_util_set_object_arg(G_OBJECT(src.get()), "wave", "silence");
    {
        g_autoptr(GstCaps) caps = CaptureCaps();
        g_object_set(format.get(), "caps", caps, nullptr);
    }
    gst_bin_add_many(GST_BIN(pipeline.get()), src.get(), format.get(), enc.get(), sink.get(),
                     nullptr);

    std::optional<AudioMediaType> result;
    if (gst_element_link_many(src.get(), format.get(), enc.get(), sink.get(), nullptr) &&
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        g_autoptr(GstBus) bus = gst_element_get_bus(pipeline.get());
        g_autoptr(GstMessage) message = gst_bus_timed_pop_filtered(
            bus, kProbeTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            result = GetStreamCallbackDumpControl(sink.get())->ReceivedMediaType();
        } else {
            GST_WARNING("The encoder \"%s\" cannot take the capture format.", encoder.name.c_str());
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

std::string GraphItemName(const void* graph) {
    char name[64];
    std::snprintf(name, sizeof(name), "FilterGraph %08" PRIXPTR " pid %08x",
                  reinterpret_cast<uintptr_t>(graph), static_cast<unsigned>(getpid()));
    return name;
}

bool InitializeGStreamer() {
    static const bool ok = [] {
        if (!gst_init_check(nullptr, nullptr, nullptr)) {
            return false;
        }
        GST_DEBUG_CATEGORY_INIT(tovek_audio_capture_debug, "tovekaudiocapture", 0,
                                "TovekAudioCapture");
        return RegisterStreamCallbackDump();
    }();
    return ok;
}

} // namespace tovek::audio

using namespace tovek::audio;

AudioCaptureContext::~AudioCaptureContext() {
    platform::MutexLock lock(graph_lock_);
    TearDown();
}

int32_t AudioCaptureContext::Connect(const std::string& source_name,
                                     const std::string& encoder_name) {
    platform::MutexLock lock(graph_lock_);
    TearDown();

    // The source was listed before (the caller took its name from a
    // listing); a fresh probe only when it is not among those found last.
    std::optional<CatalogEntry> source;
    for (SourceProbe probe : {SourceProbe::kLastKnown, SourceProbe::kFresh}) {
        for (CatalogEntry& entry : ListSources(probe)) {
            if (entry.name == source_name) {
                source = std::move(entry);
                break;
            }
        }
        if (source)
            break;
    }
    std::optional<CatalogEntry> encoder;
    for (CatalogEntry& entry : ListEncoders()) {
        if (entry.name == encoder_name) {
            encoder = std::move(entry);
            break;
        }
    }
    if (!source || !encoder) {
        return -1;
    }

    graph_ = platform::SinkRef(gst_pipeline_new(nullptr));
    if (!graph_) {
        return -1;
    }
    // Each element is the graph's once added; these references go at the end
    // of this function.
    const platform::GstRef<GstElement> source_element =
        platform::SinkRef(source->create("Audio Capture"));
    const platform::GstRef<GstElement> encoder_element =
        platform::SinkRef(encoder->create(encoder->name.c_str()));
    const platform::GstRef<GstElement> convert = MakeNamed("audioconvert", "Format Converter");
    const platform::GstRef<GstElement> resample = MakeNamed("audioresample", "Rate Converter");
    const platform::GstRef<GstElement> format = MakeNamed("capsfilter", "Capture Format");
    // Optional (gst-plugins-bad): cuts the capture into 0.2 s buffers; without
    // it the buffers keep the device's size.
    const platform::GstRef<GstElement> split = MakeNamed("audiobuffersplit", "Capture Buffers");
    for (GstElement* element : {source_element.get(), convert.get(), resample.get(), format.get(),
                                split.get(), encoder_element.get()}) {
        if (element) {
            gst_bin_add(GST_BIN(graph_.get()), element);
        }
    }
    source_ = source_element.get();
    encoder_ = encoder_element.get();
    if (!source_ || !convert || !resample || !format || !encoder_) {
        TearDown();
        return E_FAIL;
    }
    {
        g_autoptr(GstCaps) caps = CaptureCaps();
        g_object_set(format.get(), "caps", caps, nullptr);
    }
    if (split) {
        g_object_set(split.get(), "output-buffer-duration", 1, kCaptureBuffersPerSecond, nullptr);
    }
    if (!gst_element_link_many(source_, convert.get(), resample.get(), format.get(), nullptr) ||
        !(split ? gst_element_link_many(format.get(), split.get(), encoder_, nullptr)
                : gst_element_link(format.get(), encoder_))) {
        TearDown();
        return VFW_E_CANNOT_CONNECT;
    }

    // The media type has to be known before anything flows (the recorder
    // writes it into the file header first), so the encoder is tried on
    // silence once.
    std::optional<AudioMediaType> media_type = ProbeEncoder(*encoder);
    if (!media_type) {
        TearDown();
        return VFW_E_CANNOT_CONNECT;
    }
    sink_ = platform::SinkRef(CreateStreamCallbackDump("Stream Callback Dump"));
    if (!sink_) {
        TearDown();
        return E_FAIL;
    }
    sink_control_ = GetStreamCallbackDumpControl(sink_.get());
    sink_control_->AnnounceMediaType(*media_type);
    gst_bin_add(GST_BIN(graph_.get()), sink_.get());
    if (!gst_element_link(encoder_, sink_.get())) {
        GST_WARNING("\"%s\" cannot feed the stream callback.", encoder->name.c_str());
    }

    {
        g_autoptr(GstBus) bus = gst_element_get_bus(graph_.get());
        gst_bus_set_sync_handler(bus, OnGraphMessage, nullptr, nullptr);
    }

    // Inspection tools find the graph by this name, as in a running object
    // table; with GST_DEBUG_DUMP_DOT_DIR set, its layout is dumped there.
    registration_ = GraphItemName(graph_.get());
    gst_object_set_name(GST_OBJECT(graph_.get()), registration_.c_str());
    gst_debug_bin_to_dot_file(GST_BIN(graph_.get()), GST_DEBUG_GRAPH_SHOW_ALL,
                              registration_.c_str());
    return 0;
}

int32_t AudioCaptureContext::SetStreamCallback(TovekWacStreamCallback callback, void* user) {
    platform::MutexLock lock(graph_lock_);
    if (!sink_control_) {
        return -1;
    }
    return sink_control_->SetCallback(callback, user);
}

int32_t AudioCaptureContext::GetStreamMediaType(AM_MEDIA_TYPE** media_type) {
    platform::MutexLock lock(graph_lock_);
    if (!media_type || !sink_control_) {
        return -1;
    }
    return sink_control_->GetMediaType(media_type);
}

int32_t AudioCaptureContext::Run() {
    platform::MutexLock lock(graph_lock_);
    if (!graph_) {
        return -1;
    }
    if (gst_element_set_state(graph_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        // Leave nothing half started (a device opened, a thread running).
        gst_element_set_state(graph_.get(), GST_STATE_NULL);
        return E_FAIL;
    }
    return 0;
}

int32_t AudioCaptureContext::Stop() {
    platform::MutexLock lock(graph_lock_);
    if (!graph_) {
        return -1;
    }
    // Down to NULL: the sound device is released and the streaming thread
    // has ended when this returns.
    if (gst_element_set_state(graph_.get(), GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE) {
        return E_FAIL;
    }
    return 0;
}

void AudioCaptureContext::TearDown() {
    if (graph_) {
        gst_element_set_state(graph_.get(), GST_STATE_NULL);
    }
    source_ = nullptr;
    encoder_ = nullptr;
    sink_control_ = nullptr;
    sink_.reset();
    graph_.reset();
    registration_.clear();
}
