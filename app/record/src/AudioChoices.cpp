#include "record/AudioChoices.h"

#include <cstring>

namespace record {

namespace {

AudioDeviceRecord Record(const std::string& name) {
    AudioDeviceRecord record{};
    std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
    return record;
}

bool LeftOutByName(const std::string& name) {
    return name.find("ADPCM") != std::string::npos ||
           name.find("MPEG Layer-3") != std::string::npos;
}

} // namespace

AudioChoices ListAudioChoices(const RecorderLibraries& libraries) {
    AudioChoices choices;
    AudioCaptureContext* context = nullptr;
    if (libraries.audio_open(&context) != 0 || context == nullptr)
        return choices;
    choices.sources = DeviceNames(libraries.enum_sources, context);
    if (!choices.sources.empty()) {
        choices.encoders = DeviceNames(libraries.enum_encoders, context);
        choices.remembered_count = static_cast<int32_t>(choices.encoders.size());
        const AudioDeviceRecord source = Record(choices.sources.front());
        for (size_t i = 0; i < choices.encoders.size(); ++i) {
            const std::string& name = choices.encoders[i];
            if (libraries.audio_connect(context, source, Record(name)) != 0)
                continue;
            if (LeftOutByName(name))
                --choices.remembered_count;
            else
                choices.compressors.push_back({name, static_cast<int32_t>(i)});
        }
    }
    libraries.audio_close(context);
    return choices;
}

const Compressor* ChosenCompressor(const AudioChoices& choices, int32_t encoder_index) {
    if (choices.compressors.empty())
        return nullptr;
    if (encoder_index < 0 || encoder_index >= choices.remembered_count ||
        static_cast<size_t>(encoder_index) >= choices.compressors.size())
        return &choices.compressors.front();
    return &choices.compressors[static_cast<size_t>(encoder_index)];
}

AudioNames ChosenAudio(const AudioChoices& choices, int32_t audio_index, int32_t encoder_index) {
    AudioNames names;
    if (audio_index < 1 || static_cast<size_t>(audio_index) > choices.sources.size())
        return names;
    names.source = choices.sources[static_cast<size_t>(audio_index) - 1];
    if (const Compressor* compressor = ChosenCompressor(choices, encoder_index))
        names.encoder = compressor->name;
    return names;
}

} // namespace record
