// Sound sources a program adds to those of the system, and how it adds them.
//
// The audio library (TovekAudioCapture) lists the added sources first, in the
// order they were added, then the sound inputs GStreamer's device providers
// find. A program has none of its own until the part of it that puts it
// together adds one: sim/install adds the emulated microphone. No library
// adds one.
#pragma once

#include <string>
#include <vector>

typedef struct _GstElement GstElement;

namespace platform {

// Makes the source's element under the given name (a floating reference), or
// null when it cannot be made. Any thread.
using SoundSourceFactory = GstElement* (*)(const char* element_name);

struct SoundSource {
    std::string name;     // as shown and stored in records: UTF-8
    std::string identity; // the same from run to run: its GUID derives from it
    SoundSourceFactory create = nullptr;
};

// Adds source after those added before; one of the same name is replaced in
// its place. False (and nothing added) for an empty name or a null factory.
// Any thread.
bool AddSoundSource(SoundSource source);
// The added sources, in order. Any thread.
std::vector<SoundSource> AddedSoundSources();

} // namespace platform
