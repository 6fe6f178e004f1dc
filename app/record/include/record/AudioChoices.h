// The sound sources and the usable audio compressors as the settings dialog
// lists them, and the compressor a stored choice stands for.
//
// A compressor is usable when the first sound source connects to it and its
// name contains neither "ADPCM" nor "MPEG Layer-3"; its library position is
// its place in the library's full encoder list. Listing connects each
// compressor once, so it takes a moment: do it once and keep the result.
#pragma once

#include "record/RecorderLibraries.h"

#include <cstdint>
#include <string>
#include <vector>

namespace record {

struct Compressor {
    std::string name;
    int32_t position; // in the library's encoder list, from 0
};

struct AudioChoices {
    std::vector<std::string> sources;    // the library's order
    std::vector<std::string> encoders;   // the library's order, every one
    std::vector<Compressor> compressors; // the usable ones, in order
    int32_t remembered_count = 0;        // encoders less those left out by name
};

// Lists what the library offers. No source, or no context, gives empty lists.
AudioChoices ListAudioChoices(const RecorderLibraries& libraries = RecorderLibraries{});

// The compressor of the stored encoder index: the entry at that index, or the
// first one when the index is negative or not below the remembered count (or
// past the list). Null when none is usable.
const Compressor* ChosenCompressor(const AudioChoices& choices, int32_t encoder_index);

// The names to record with for the stored audio index (sources counted from
// 1, 0 = none) and encoder index; empty names when not found.
AudioNames ChosenAudio(const AudioChoices& choices, int32_t audio_index, int32_t encoder_index);

} // namespace record
