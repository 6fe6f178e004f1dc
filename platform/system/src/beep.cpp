#include "platform/system.h"
#include "platform/thread_annotations.h"

#include <gst/gst.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform {
namespace {
std::atomic<BeepFn> g_beep_fn{nullptr};
std::atomic<int> g_tones_playing{0};

// A tone's thread may still be inside the sound output's library when the
// process exits, and that library frees its state in its own exit handlers.
// Exit therefore waits (boundedly) for the tones still playing. Handlers run
// in the reverse order of registration, so the wait is registered again once
// the first tone has loaded the sound output: it then runs before that
// library's handlers.
void WaitForTones() {
    constexpr auto kStep = std::chrono::milliseconds(10);
    constexpr int kMaxSteps = 300; // a tone's own bound is its length + 2 s
    for (int i = 0; i < kMaxSteps && g_tones_playing.load() > 0; ++i)
        std::this_thread::sleep_for(kStep);
}

void RegisterExitWait(std::once_flag& once) {
    std::call_once(once, [] { std::atexit(WaitForTones); });
}

std::once_flag g_wait_before_first_tone;
// One tone at a time: overlapping tones tell the user nothing more, and each
// would open its own connection to the sound server.
Mutex g_tone_lock;
std::once_flag g_wait_after_sound_output;

// Plays one tone to the default sound output and waits for its end (bounded);
// any failure (no sound output, no elements) stays silent.
void PlayTone(uint32_t frequency_hz, uint32_t duration_ms) TOVEK_REQUIRES(g_tone_lock) {
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
    const bool linked = gst_element_link(src, sink);
    const bool playing =
        linked && gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    if (linked)
        RegisterExitWait(g_wait_after_sound_output); // the sink is chosen and loaded by now
    if (playing) {
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
    RegisterExitWait(g_wait_before_first_tone);
    g_tones_playing.fetch_add(1);
    std::thread([frequency_hz, duration_ms] {
        {
            MutexLock one_at_a_time(g_tone_lock);
            PlayTone(frequency_hz, duration_ms);
        }
        g_tones_playing.fetch_sub(1);
    }).detach();
}

void SetBeepFunction(BeepFn fn) {
    g_beep_fn.store(fn);
}

} // namespace platform
