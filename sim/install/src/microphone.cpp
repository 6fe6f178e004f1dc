#include "microphone.h"

#include "platform/sound_sources.h"

#include <gst/gst.h>

#include <string>

namespace sim {
namespace {

// 0.2 s at the capture rate of 22050 Hz: 4410 stereo 16-bit frames, the
// capture's buffers (audio_devices.cpp asks a sound card for the same period).
constexpr int kFramesPerBuffer = 4410;

GstElement* MakeMicrophone(const char* element_name) {
    GstElement* src = gst_element_factory_make("audiotestsrc", element_name);
    if (src == nullptr) {
        return nullptr;
    }
    g_object_set(src, "is-live", TRUE, "freq", 440.0, "volume", 0.3, "samplesperbuffer",
                 kFramesPerBuffer, nullptr);
    // The same tone from a table: computing a sine per sample cost more than
    // all the rest of a recording with sound.
    gst_util_set_object_arg(G_OBJECT(src), "wave", "sine-table");
    return src;
}

} // namespace

bool AddEmulatedMicrophone() {
    GstElementFactory* factory = gst_element_factory_find("audiotestsrc");
    if (factory == nullptr) {
        return false;
    }
    gst_object_unref(factory);
    // Its GUID derives from the identity: both stay the same from version to
    // version.
    return platform::AddSoundSource({kSimulatedMicrophoneName,
                                     std::string("simulated:") + kSimulatedMicrophoneName,
                                     MakeMicrophone});
}

} // namespace sim
