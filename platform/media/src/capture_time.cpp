// The capture time as GStreamer carries it: a reference timestamp meta of
// our own caps, which a decoder copies from each picture to its frame (the
// meta has no tags, so no element drops it as specific to the content).
#include "platform/media.h"

#include <gst/gst.h>

namespace {

GstCaps* CaptureTimeCaps() {
    static GstCaps* const caps = gst_caps_new_empty_simple("timestamp/x-tovek-capture");
    return caps;
}

} // namespace

void tovek_media_set_capture_time(GstBuffer* buffer, int64_t steady_ns) {
    if (buffer != nullptr && steady_ns >= 0) {
        gst_buffer_add_reference_timestamp_meta(
            buffer, CaptureTimeCaps(), static_cast<GstClockTime>(steady_ns), GST_CLOCK_TIME_NONE);
    }
}

int64_t tovek_media_get_capture_time(GstBuffer* buffer) {
    if (buffer == nullptr) {
        return -1;
    }
    GstReferenceTimestampMeta* meta =
        gst_buffer_get_reference_timestamp_meta(buffer, CaptureTimeCaps());
    return meta != nullptr ? static_cast<int64_t>(meta->timestamp) : -1;
}
