// The sound sources and audio encoders this library offers, in the order the
// enumeration exports list them, and how to make each one's graph element.
#pragma once

#include "device_identity.h"

#include <gst/gst.h>

#include <functional>
#include <string>
#include <vector>

namespace tovek::audio {

struct CatalogEntry {
    std::string name; // as stored in a record: UTF-8, cut to fit
    GUID clsid;       // stable for the same device
    // Makes the element under the given name (floating reference), or null.
    std::function<GstElement*(const char* element_name)> create;
};

// How ListSources finds the system's sound sources.
enum class SourceProbe {
    kFresh,     // ask GStreamer's device providers again
    kLastKnown, // reuse what the last probe found (probing when none did yet)
};

// The sources the program added (platform/sound_sources.h: the emulated
// microphone where the emulated devices are installed) first, then the
// system's sound sources. Any thread.
std::vector<CatalogEntry> ListSources(SourceProbe probe = SourceProbe::kFresh);
// "MPEG Layer-3", "Microsoft ADPCM" and "PCM", each when it can be made here.
std::vector<CatalogEntry> ListEncoders();

} // namespace tovek::audio
