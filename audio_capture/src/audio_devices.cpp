#include "audio_devices.h"

#include "platform/gst_ref.h"
#include "platform/sound_sources.h"
#include "platform/thread_annotations.h"

#include <memory>

namespace tovek::audio {
namespace {

// Four periods of 0.2 s, as the capture device is asked for: five wake-ups a
// second. The sound reaches the recorder up to a period late, which the file
// does not see: each stream's time starts at its own first sample.
constexpr gint64 kDeviceBufferTimeUs = 800000;
constexpr gint64 kDeviceLatencyTimeUs = 200000;

bool HasProperty(GstElement* element, const char* property) {
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), property) != nullptr;
}

// Asks a sound device for buffers of 0.2 s where its element lets us.
void SuggestDeviceBuffers(GstElement* src) {
    if (HasProperty(src, "buffer-time") && HasProperty(src, "latency-time")) {
        g_object_set(src, "buffer-time", kDeviceBufferTimeUs, "latency-time", kDeviceLatencyTimeUs,
                     nullptr);
    }
}

// What identifies a device from run to run: its class, name and properties,
// without the ones that change while it stays the same device.
std::string DeviceKey(GstDevice* device, const std::string& name) {
    std::string key = "source:";
    g_autofree gchar* klass = gst_device_get_device_class(device);
    key += klass ? klass : "";
    key += '\n';
    key += name;
    g_autoptr(GstStructure) props = gst_device_get_properties(device);
    if (props) {
        gst_structure_remove_field(props, "is-default");
        g_autofree gchar* text = gst_structure_to_string(props);
        key += '\n';
        key += text;
    }
    return key;
}

// What the last probe of the system's sources found. A probe is not free:
// GStreamer 1.22's PulseAudio device provider leaves its connection behind
// (three descriptors) every time it probes while no sound server runs, so a
// program that probed at every recording ran out of descriptors.
struct ProbedSources {
    platform::Mutex mutex;
    bool probed TOVEK_GUARDED_BY(mutex) = false;
    std::vector<CatalogEntry> entries TOVEK_GUARDED_BY(mutex);
};

// Never destroyed: the entries hold GStreamer objects, which must not be
// released after GStreamer has shut down at exit.
ProbedSources& LastProbe() {
    static auto* probe = new ProbedSources;
    return *probe;
}

void AddSystemSources(std::vector<CatalogEntry>& out) {
    g_autoptr(GstDeviceMonitor) monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Audio/Source", nullptr);
    // Without start() this probes the providers once and returns.
    g_autolist(GstDevice) devices = gst_device_monitor_get_devices(monitor);
    for (GList* item = devices; item; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        g_autofree gchar* display_name = gst_device_get_display_name(device);
        const std::string name = display_name ? display_name : "";
        if (name.empty()) {
            continue;
        }
        const std::shared_ptr<GstDevice> held(GST_DEVICE(gst_object_ref(device)),
                                              platform::GstObjectUnref());
        out.push_back({RecordName(name), NameBasedGuid(DeviceKey(device, name)),
                       [held](const char* element_name) -> GstElement* {
                           GstElement* src = gst_device_create_element(held.get(), element_name);
                           if (src) {
                               SuggestDeviceBuffers(src);
                           }
                           return src;
                       }});
    }
}

GstElement* MakeMp3Encoder(const char* element_name) {
    GstElement* enc = gst_element_factory_make("lamemp3enc", element_name);
    if (enc) {
        // 56 kbit/s constant: what the recorder declares for an MP3 stream.
        gst_util_set_object_arg(G_OBJECT(enc), "target", "bitrate");
        g_object_set(enc, "bitrate", 56, "cbr", TRUE, nullptr);
    }
    return enc;
}

GstElement* MakeAdpcmEncoder(const char* element_name) {
    GstElement* enc = gst_element_factory_make("avenc_adpcm_ms", element_name);
    if (enc) {
        // 1024-byte blocks, the usual block size of this format at 22.05 kHz stereo.
        g_object_set(enc, "block-size", 1024, nullptr);
    }
    return enc;
}

GstElement* MakePcmPassThrough(const char* element_name) {
    GstElement* pass = gst_element_factory_make("identity", element_name);
    if (pass) {
        g_object_set(pass, "silent", TRUE, nullptr);
    }
    return pass;
}

bool FactoryExists(const char* factory_name) {
    g_autoptr(GstElementFactory) factory = gst_element_factory_find(factory_name);
    return factory != nullptr;
}

} // namespace

std::vector<CatalogEntry> ListSources(SourceProbe probe) {
    std::vector<CatalogEntry> sources;
    for (const platform::SoundSource& added : platform::AddedSoundSources()) {
        sources.push_back({RecordName(added.name), NameBasedGuid(added.identity), added.create});
    }
    ProbedSources& last = LastProbe();
    platform::MutexLock lock(last.mutex);
    if (probe == SourceProbe::kFresh || !last.probed) {
        last.entries.clear();
        AddSystemSources(last.entries);
        last.probed = true;
    }
    sources.insert(sources.end(), last.entries.begin(), last.entries.end());
    return sources;
}

std::vector<CatalogEntry> ListEncoders() {
    struct Known {
        const char* name;
        const char* factory;
        GstElement* (*make)(const char*);
    };
    static constexpr Known kKnown[] = {
        {"MPEG Layer-3", "lamemp3enc", MakeMp3Encoder},
        {"Microsoft ADPCM", "avenc_adpcm_ms", MakeAdpcmEncoder},
        {"PCM", "identity", MakePcmPassThrough},
    };
    std::vector<CatalogEntry> encoders;
    for (const Known& known : kKnown) {
        if (FactoryExists(known.factory)) {
            encoders.push_back(
                {known.name, NameBasedGuid(std::string("encoder:") + known.factory), known.make});
        }
    }
    return encoders;
}

} // namespace tovek::audio
