#include "platform/system.h"

#include <gst/gst.h>

#include <thread>

namespace platform {
namespace {
std::atomic<BeepFn> g_beep_fn{nullptr};

// Plays one tone to the default sound output and waits for its end (bounded);
// any failure (no sound output, no elements) stays silent.
void PlayTone(uint32_t frequency_hz, uint32_t duration_ms) {
    if (!gst_init_check(nullptr, nullptr, nullptr)) {
        return;
    }
    GstElement* pipeline = gst_pipeline_new("beep");
    GstElement* src = gst_element_factory_make("audiotestsrc", nullptr);
    GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (!pipeline || !src || !sink) {
        if (src)
            gst_object_unref(src);
        if (sink)
            gst_object_unref(sink);
        if (pipeline)
            gst_object_unref(pipeline);
        return;
    }
    // 100 buffers per second of 441 samples at 44.1 kHz: num-buffers sets the length.
    g_object_set(src, "freq", static_cast<gdouble>(frequency_hz), "samplesperbuffer", 441,
                 "num-buffers", static_cast<gint>(duration_ms / 10 + 1), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
    if (gst_element_link(src, sink) &&
        gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, (duration_ms + 2000) * GST_MSECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (msg)
            gst_message_unref(msg);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}
} // namespace

void Beep(uint32_t frequency_hz, uint32_t duration_ms) {
    if (BeepFn fn = g_beep_fn.load()) {
        fn(frequency_hz, duration_ms);
        return;
    }
    std::thread(PlayTone, frequency_hz, duration_ms).detach();
}

void SetBeepFunction(BeepFn fn) {
    g_beep_fn.store(fn);
}

} // namespace platform
