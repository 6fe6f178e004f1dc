// The calls the recorder makes into the AVI writer (Strovi) and the audio
// capture library (TovekAudioCapture), as one table of function pointers.
// The defaults are the libraries' own exports; tests replace single entries
// with stand-ins that count calls or fail on purpose.
#pragma once

#include "Strovi.h"
#include "TovekAudioCapture.h"

#include <string>
#include <vector>

struct RecorderLibraries {
    // Strovi.
    decltype(&::FileOpen) file_open = &::FileOpen;
    decltype(&::FileClose) file_close = &::FileClose;
    decltype(&::FileFlush) file_flush = &::FileFlush;
    decltype(&::SetAVCVGAParam) set_vga_param = &::SetAVCVGAParam;
    decltype(&::SetAudioParam) set_audio_param = &::SetAudioParam;
    decltype(&::WriteDescription) write_description = &::WriteDescription;
    decltype(&::WriteVGA) write_vga = &::WriteVGA;
    decltype(&::WriteAudio0) write_audio = &::WriteAudio0;

    // TovekAudioCapture.
    decltype(&::Tovek_WAC_Open) audio_open = &::Tovek_WAC_Open;
    decltype(&::Tovek_WAC_Close) audio_close = &::Tovek_WAC_Close;
    decltype(&::Tovek_WAC_EnumSourceDevice) enum_sources = &::Tovek_WAC_EnumSourceDevice;
    decltype(&::Tovek_WAC_EnumEncoderDevice) enum_encoders = &::Tovek_WAC_EnumEncoderDevice;
    decltype(&::Tovek_WAC_ConnectDevice) audio_connect = &::Tovek_WAC_ConnectDevice;
    decltype(&::Tovek_WAC_GetStreamMediaType) audio_media_type = &::Tovek_WAC_GetStreamMediaType;
    decltype(&::Tovek_WAC_SetStreamCallback) audio_set_callback = &::Tovek_WAC_SetStreamCallback;
    decltype(&::Tovek_WAC_Run) audio_run = &::Tovek_WAC_Run;
    decltype(&::Tovek_WAC_Stop) audio_stop = &::Tovek_WAC_Stop;
};

namespace record {

// How the audio stream is declared to the AVI writer, by the encoder's name:
// a name containing "MPEG Layer-3" is MP3, else one containing "PCM" (which
// includes "ADPCM") is PCM, and any other counts as MP3.
enum class AudioKind { kMp3, kPcm };
AudioKind AudioKindOf(const std::string& encoder_name);
// The bit rate handed to SetAudioParam: 56 kbit/s for MP3, 0 for PCM.
int32_t AudioBitRateKbps(AudioKind kind);

// Every name of a device list (sources or encoders), in the library's order;
// empty when the list cannot be had.
using DeviceEnumFn = int32_t (*)(AudioCaptureContext*, AudioDeviceRecord*, int32_t*);
std::vector<std::string> DeviceNames(DeviceEnumFn enumerate, AudioCaptureContext* context);

// The names of the chosen sound source and encoder.
struct AudioNames {
    std::string source;
    std::string encoder;
};
// Resolves the settings' choice: audio_index counts the sound sources from 1
// (0 = no sound); compressor_position is the encoder's place in the
// library's encoder list, from 0. True when both were found. On false the
// names that could not be resolved stay empty, and a recording with them
// fails to connect its audio ("Can not connect the audio device and
// encoder!"). Any thread; it opens and closes a capture context of its own.
bool ResolveAudioNames(int32_t audio_index, int32_t compressor_position, AudioNames* names,
                       const RecorderLibraries& libraries = RecorderLibraries{});

} // namespace record
