// The emulated microphone: a steady 440 Hz tone from audiotestsrc, live, in
// buffers of 0.2 s as a sound card delivers them.
#pragma once

namespace sim {

inline constexpr char kSimulatedMicrophoneName[] = "Simulated Microphone";

// Adds it to the program's sound sources (platform/sound_sources.h). False
// when GStreamer has no audiotestsrc here (nothing is added then). GStreamer
// must be initialised.
bool AddEmulatedMicrophone();

} // namespace sim
