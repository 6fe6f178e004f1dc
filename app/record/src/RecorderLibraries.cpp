#include "record/RecorderLibraries.h"

#include <cstring>
#include <vector>

namespace record {

std::vector<std::string> DeviceNames(DeviceEnumFn enumerate, AudioCaptureContext* context) {
    int32_t count = 0;
    if (enumerate(context, nullptr, &count) != 0 || count <= 0)
        return {};
    std::vector<AudioDeviceRecord> records(static_cast<size_t>(count));
    if (enumerate(context, records.data(), &count) != 0)
        return {};
    std::vector<std::string> names;
    for (const AudioDeviceRecord& record : records)
        names.emplace_back(record.name, strnlen(record.name, sizeof record.name));
    return names;
}

namespace {

// The name of entry position (from 0) of a device list; empty when there is
// no such entry.
std::string NameAt(DeviceEnumFn enumerate, AudioCaptureContext* context, int32_t position) {
    const std::vector<std::string> names = DeviceNames(enumerate, context);
    return position >= 0 && static_cast<size_t>(position) < names.size()
               ? names[static_cast<size_t>(position)]
               : std::string();
}

} // namespace

AudioKind AudioKindOf(const std::string& encoder_name) {
    if (encoder_name.find("MPEG Layer-3") != std::string::npos)
        return AudioKind::kMp3;
    if (encoder_name.find("PCM") != std::string::npos)
        return AudioKind::kPcm;
    return AudioKind::kMp3;
}

int32_t AudioBitRateKbps(AudioKind kind) {
    return kind == AudioKind::kMp3 ? 56 : 0;
}

bool ResolveAudioNames(int32_t audio_index, int32_t compressor_position, AudioNames* names,
                       const RecorderLibraries& libraries) {
    *names = AudioNames{};
    AudioCaptureContext* context = nullptr;
    if (audio_index < 1 || libraries.audio_open(&context) != 0 || context == nullptr)
        return false;
    names->source = NameAt(libraries.enum_sources, context, audio_index - 1);
    names->encoder = NameAt(libraries.enum_encoders, context, compressor_position);
    libraries.audio_close(context);
    return !names->source.empty() && !names->encoder.empty();
}

} // namespace record
