// The lists the settings dialog offers and the sound a stored choice means,
// against a stand-in audio library.
#include "record/AudioChoices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_sources;
std::vector<std::string> g_encoders;
std::string g_refused; // the encoder that does not connect

int32_t Enumerate(const std::vector<std::string>& names, AudioDeviceRecord* records,
                  int32_t* count) {
    if (records == nullptr) {
        *count = static_cast<int32_t>(names.size());
        return names.empty() ? -1 : 0;
    }
    for (size_t i = 0; i < names.size() && static_cast<int32_t>(i) < *count; ++i) {
        records[i] = AudioDeviceRecord{};
        std::strncpy(records[i].name, names[i].c_str(), sizeof records[i].name - 1);
    }
    return 0;
}

RecorderLibraries StandIns() {
    RecorderLibraries libraries;
    libraries.audio_open = [](AudioCaptureContext** context) {
        *context = reinterpret_cast<AudioCaptureContext*>(0x10);
        return 0;
    };
    libraries.audio_close = [](AudioCaptureContext*) { return 0; };
    libraries.enum_sources = [](AudioCaptureContext*, AudioDeviceRecord* r, int32_t* n) {
        return Enumerate(g_sources, r, n);
    };
    libraries.enum_encoders = [](AudioCaptureContext*, AudioDeviceRecord* r, int32_t* n) {
        return Enumerate(g_encoders, r, n);
    };
    libraries.audio_connect = [](AudioCaptureContext*, AudioDeviceRecord, AudioDeviceRecord e) {
        return g_refused == e.name ? -1 : 0;
    };
    return libraries;
}

TEST(AudioChoices, UsableCompressorsAndTheStoredChoice) {
    g_sources = {"simulated", "line in"};
    g_encoders = {"MPEG Layer-3", "Microsoft ADPCM", "PCM", "Odd", "Wave"};
    g_refused = "Odd";
    const record::AudioChoices choices = record::ListAudioChoices(StandIns());
    ASSERT_EQ(choices.compressors.size(), 2u);
    EXPECT_EQ(choices.compressors[0].name, "PCM");
    EXPECT_EQ(choices.compressors[0].position, 2);
    EXPECT_EQ(choices.compressors[1].position, 4);
    // Left out by name lowers the count; a refused connection does not.
    EXPECT_EQ(choices.remembered_count, 3);

    struct Case {
        int32_t audio_index;
        int32_t encoder_index;
        const char* source;
        const char* encoder;
    };
    const Case cases[] = {
        {0, 0, "", ""},              // no sound
        {1, 0, "simulated", "PCM"},  //
        {2, 1, "line in", "Wave"},   //
        {3, 0, "", ""},              // past the sources
        {1, -1, "simulated", "PCM"}, // a bad index takes the first
        {1, 2, "simulated", "PCM"},  // below the count, past the list
        {1, 7, "simulated", "PCM"},  // past the count
    };
    for (const Case& c : cases) {
        const record::AudioNames names =
            record::ChosenAudio(choices, c.audio_index, c.encoder_index);
        EXPECT_EQ(names.source, c.source) << c.audio_index << "," << c.encoder_index;
        EXPECT_EQ(names.encoder, c.encoder) << c.audio_index << "," << c.encoder_index;
    }

    g_sources.clear(); // no sound source: nothing to choose
    EXPECT_TRUE(record::ListAudioChoices(StandIns()).encoders.empty());
}

} // namespace
