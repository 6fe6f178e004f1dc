// One capture graph: "Audio Capture" source -> the capture format
// (22050 Hz, 2 channels, 16 bits) -> encoder -> "Stream Callback Dump".
#pragma once

#include "TovekAudioCapture.h"
#include "audio_devices.h"
#include "media_type.h"
#include "platform/gst_ref.h"
#include "platform/thread_annotations.h"
#include "stream_callback_dump.h"

#include <gst/gst.h>

#include <mutex>
#include <optional>
#include <string>

namespace tovek::audio {

// Result when two elements cannot agree on a format (VFW_E_CANNOT_CONNECT
// of the Windows media API, so callers see the familiar code).
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);

// Initialises GStreamer and registers this library's element, once per
// process; false when GStreamer cannot start.
bool InitializeGStreamer();

// The capture format every source is converted to before the encoder.
GstCaps* CaptureCaps();

// Runs a few buffers of silence in the capture format through a fresh
// encoder of the entry's kind and returns the media type of what it wrote;
// nullopt when the encoder cannot take the format. Bounded by a timeout.
std::optional<AudioMediaType> ProbeEncoder(const CatalogEntry& encoder);

// Name of a graph's dump, after the running object table's item name.
std::string GraphItemName(const void* graph);

} // namespace tovek::audio

struct AudioCaptureContext {
public:
    AudioCaptureContext() = default;
    virtual ~AudioCaptureContext();
    AudioCaptureContext(const AudioCaptureContext&) = delete;
    AudioCaptureContext& operator=(const AudioCaptureContext&) = delete;

    // Results as the exports give them.
    int32_t Connect(const std::string& source_name, const std::string& encoder_name);
    int32_t SetStreamCallback(TovekWacStreamCallback callback, void* user);
    int32_t GetStreamMediaType(AM_MEDIA_TYPE** media_type);
    int32_t Run();
    int32_t Stop();

private:
    // Stops and releases the graph; safe on a partly built or empty context.
    // Caller holds graph_lock_.
    void TearDown() TOVEK_REQUIRES(graph_lock_);

    platform::Mutex graph_lock_;
    platform::GstRef<GstElement> graph_ TOVEK_GUARDED_BY(graph_lock_); // the pipeline
    GstElement* source_ TOVEK_GUARDED_BY(graph_lock_) = nullptr;       // owned by graph_
    GstElement* encoder_ TOVEK_GUARDED_BY(graph_lock_) = nullptr;      // owned by graph_
    // Graph dump name while registered, else empty.
    std::string registration_ TOVEK_GUARDED_BY(graph_lock_);
    // Owned by sink_.
    tovek::audio::StreamCallbackDumpControl* sink_control_ TOVEK_GUARDED_BY(graph_lock_) = nullptr;
    // Held besides graph_'s reference: sink_control_, which the sink owns,
    // stays valid while this is set.
    platform::GstRef<GstElement> sink_ TOVEK_GUARDED_BY(graph_lock_);
};
