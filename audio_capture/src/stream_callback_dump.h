// The "Stream Callback Dump" sink: hands every encoded buffer to the
// caller's stream callback and tells the stream's media type. A GStreamer
// element of this library ("tovekstreamdump"), registered statically.
#pragma once

#include "TovekAudioCapture.h"
#include "media_type.h"
#include "platform/gst_ref.h"
#include "platform/thread_annotations.h"

#include <gst/gst.h>

#include <mutex>
#include <optional>

namespace tovek::audio {

// The sink's control, owned by its element and living as long as it.
class StreamCallbackDumpControl {
public:
    // Installs the callback (null removes it). Waits for a running callback
    // to return, so the old callback and user value are unused afterwards.
    HRESULT SetCallback(TovekWacStreamCallback callback, void* user);
    // Stores a pointer to the announced media type, which stays valid as long
    // as the element. E_POINTER for a null out, E_FAIL when none is announced.
    HRESULT GetMediaType(AM_MEDIA_TYPE** out);

    // Sets the media type GetMediaType gives; called once, before the graph
    // runs (the record must not change while a caller may hold it).
    void AnnounceMediaType(const AudioMediaType& type);
    // The media type derived from the caps and first buffer that reached the
    // sink, once one has.
    std::optional<AudioMediaType> ReceivedMediaType();
    // Number of buffers that reached the sink (delivered or not).
    uint64_t BuffersReceived();

    // Streaming thread: new caps, then each buffer.
    void OnCaps(GstCaps* caps);
    void OnBuffer(GstElement* sink, const uint8_t* data, size_t size);

private:
    platform::Mutex callback_lock_; // held while the callback runs
    TovekWacStreamCallback callback_ TOVEK_GUARDED_BY(callback_lock_) = nullptr;
    void* user_ TOVEK_GUARDED_BY(callback_lock_) = nullptr;

    platform::Mutex media_lock_;
    platform::GstMiniRef<GstCaps> caps_ TOVEK_GUARDED_BY(media_lock_);
    std::optional<AudioMediaType> announced_ TOVEK_GUARDED_BY(media_lock_);
    std::optional<AudioMediaType> received_ TOVEK_GUARDED_BY(media_lock_);
    uint64_t buffers_ TOVEK_GUARDED_BY(media_lock_) = 0;
};

// Registers the element with GStreamer; call once after gst_init.
bool RegisterStreamCallbackDump();
// A new sink element (floating reference), or null.
GstElement* CreateStreamCallbackDump(const char* name);
// The control of a sink made by CreateStreamCallbackDump; null for any other
// element.
StreamCallbackDumpControl* GetStreamCallbackDumpControl(GstElement* element);

} // namespace tovek::audio
