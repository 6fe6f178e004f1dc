#include "recorder_fakes.h"

#include <set>

namespace fake {

namespace {

std::mutex g_lock; // guards every g_ value below
State g_state;
std::set<const void*> g_open_files;
char g_fake_files[4096];
int g_next_fake_file = 0;
char g_fake_context;
TovekWacStreamCallback g_callback = nullptr;
void* g_callback_user = nullptr;
WAVEFORMATEX g_wave{};
AM_MEDIA_TYPE g_media_type{};

// Held while the callback runs, and by SetStreamCallback: like the library,
// a callback that was replaced is no longer running when that returns.
std::mutex g_callback_lock;

bool IsOpen(const void* file) {
    return g_open_files.count(file) != 0;
}

// ---- Strovi -------------------------------------------------------------------

AviOutputFile* TOVEK_STDCALL FakeOpen(const char* path) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_state.fail_open)
        return nullptr;
    auto* file = reinterpret_cast<AviOutputFile*>(&g_fake_files[g_next_fake_file++ % 4096]);
    g_open_files.insert(file);
    g_state.files_opened++;
    g_state.paths.push_back(path);
    return file;
}

void TOVEK_STDCALL FakeClose(AviOutputFile* file) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_open_files.erase(file);
    g_state.files_closed++;
}

int32_t TOVEK_STDCALL FakeVga(AviOutputFile*, int32_t, int32_t, int32_t, int32_t) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.fail_vga ? E_INVALIDARG : 0;
}

int32_t TOVEK_STDCALL FakeAudioParam(AviOutputFile*, const AM_MEDIA_TYPE*, int32_t kbps) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.audio_bit_rate = kbps;
    g_state.audio_streams++;
    return g_state.fail_audio_param ? 0 : 1;
}

int32_t TOVEK_STDCALL FakeWriteVga(AviOutputFile* file, const void*, uint32_t length, int32_t,
                                   uint32_t, int32_t) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.writes_after_close += IsOpen(file) ? 0 : 1;
    g_state.frames++;
    g_state.video_bytes += length;
    return 0;
}

int32_t TOVEK_STDCALL FakeWriteAudio(AviOutputFile* file, const void*, uint32_t length, int32_t,
                                     uint32_t, int32_t) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.writes_after_close += IsOpen(file) ? 0 : 1;
    g_state.audio_writes++;
    g_state.audio_bytes += length;
    return 0;
}

// The real Strovi, counted.
AviOutputFile* TOVEK_STDCALL CountedOpen(const char* path) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_state.fail_open)
            return nullptr;
    }
    AviOutputFile* file = FileOpen(path);
    std::lock_guard<std::mutex> hold(g_lock);
    if (file != nullptr) {
        g_open_files.insert(file);
        g_state.files_opened++;
        g_state.paths.push_back(path);
    }
    return file;
}

void TOVEK_STDCALL CountedClose(AviOutputFile* file) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_open_files.erase(file);
        g_state.files_closed++;
    }
    FileClose(file);
}

int32_t TOVEK_STDCALL CountedVga(AviOutputFile* file, int32_t width, int32_t height, int32_t fps,
                                 int32_t bits) {
    const int32_t fault = FakeVga(file, width, height, fps, bits);
    return fault != 0 ? fault : SetAVCVGAParam(file, width, height, fps, bits);
}

int32_t TOVEK_STDCALL CountedAudioParam(AviOutputFile* file, const AM_MEDIA_TYPE* media_type,
                                        int32_t kbps) {
    return FakeAudioParam(file, media_type, kbps) == 0 ? 0 : SetAudioParam(file, media_type, kbps);
}

int32_t TOVEK_STDCALL CountedWriteVga(AviOutputFile* file, const void* data, uint32_t length,
                                      int32_t key, uint32_t stamp, int32_t reserved) {
    FakeWriteVga(file, data, length, key, stamp, reserved);
    return WriteVGA(file, data, length, key, stamp, reserved);
}

int32_t TOVEK_STDCALL CountedWriteAudio(AviOutputFile* file, const void* data, uint32_t length,
                                        int32_t key, uint32_t stamp, int32_t reserved) {
    FakeWriteAudio(file, data, length, key, stamp, reserved);
    return WriteAudio0(file, data, length, key, stamp, reserved);
}

// ---- audio capture ------------------------------------------------------------

AudioCaptureContext* FakeContext() {
    return reinterpret_cast<AudioCaptureContext*>(&g_fake_context);
}

int32_t AudioOpen(AudioCaptureContext** context) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.audio_opened++;
    *context = FakeContext();
    return 0;
}

int32_t AudioClose(AudioCaptureContext*) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.audio_closed++;
    g_state.closed_with_callback += g_callback != nullptr ? 1 : 0;
    return 0;
}

int32_t AudioConnect(AudioCaptureContext*, AudioDeviceRecord, AudioDeviceRecord) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.fail_connect ? -1 : 0;
}

int32_t AudioMediaType(AudioCaptureContext*, AM_MEDIA_TYPE** media_type) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_state.fail_media_type)
        return -1;
    g_wave = WAVEFORMATEX{g_state.audio_format_tag, 2, 22050, 88200, 4, 16, 0};
    g_media_type = AM_MEDIA_TYPE{};
    g_media_type.majortype = MEDIATYPE_Audio;
    g_media_type.formattype = FORMAT_WaveFormatEx;
    g_media_type.cbFormat = sizeof g_wave;
    g_media_type.pbFormat = reinterpret_cast<BYTE*>(&g_wave);
    *media_type = &g_media_type;
    return 0;
}

int32_t AudioSetCallback(AudioCaptureContext*, TovekWacStreamCallback callback, void* user) {
    std::lock_guard<std::mutex> fence(g_callback_lock);
    std::lock_guard<std::mutex> hold(g_lock);
    g_callback = callback;
    g_callback_user = user;
    return 0;
}

int32_t AudioRun(AudioCaptureContext*) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.audio_runs++;
    return 0;
}

int32_t AudioStop(AudioCaptureContext*) {
    return 0;
}

void UseFakeAudio(RecorderLibraries* lib) {
    lib->audio_open = &AudioOpen;
    lib->audio_close = &AudioClose;
    lib->audio_connect = &AudioConnect;
    lib->audio_media_type = &AudioMediaType;
    lib->audio_set_callback = &AudioSetCallback;
    lib->audio_run = &AudioRun;
    lib->audio_stop = &AudioStop;
}

void CountStrovi(RecorderLibraries* lib) {
    lib->file_open = &CountedOpen;
    lib->file_close = &CountedClose;
    lib->set_vga_param = &CountedVga;
    lib->set_audio_param = &CountedAudioParam;
    lib->write_vga = &CountedWriteVga;
    lib->write_audio = &CountedWriteAudio;
}

} // namespace

std::unique_lock<std::mutex> Lock() {
    return std::unique_lock<std::mutex>(g_lock);
}

State& Get() {
    return g_state;
}

State Snapshot() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state;
}

void Reset() {
    std::lock_guard<std::mutex> fence(g_callback_lock);
    std::lock_guard<std::mutex> hold(g_lock);
    g_state = State{};
    g_open_files.clear();
    g_callback = nullptr;
    g_callback_user = nullptr;
}

RecorderLibraries Libraries(bool real_strovi) {
    RecorderLibraries lib;
    UseFakeAudio(&lib);
    if (real_strovi) {
        CountStrovi(&lib);
        return lib;
    }
    lib.file_open = &FakeOpen;
    lib.file_close = &FakeClose;
    lib.set_vga_param = &FakeVga;
    lib.set_audio_param = &FakeAudioParam;
    lib.write_vga = &FakeWriteVga;
    lib.write_audio = &FakeWriteAudio;
    return lib;
}

RecorderLibraries RealLibraries() {
    RecorderLibraries lib;
    CountStrovi(&lib);
    return lib;
}

bool FeedAudio(const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> running(g_callback_lock);
    TovekWacStreamCallback callback = nullptr;
    void* user = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        callback = g_callback;
        user = g_callback_user;
    }
    if (callback == nullptr)
        return false;
    callback(data, static_cast<LONG>(length), user);
    return true;
}

} // namespace fake

void ListenerLog::OnRecorderMessage(const std::string& text, record::MessageIcon icon) {
    std::lock_guard<std::mutex> hold(lock_);
    messages_.push_back({text, icon});
}

void ListenerLog::OnRecorderStateChanged() {
    std::lock_guard<std::mutex> hold(lock_);
    state_changes_++;
}

std::vector<ListenerLog::Message> ListenerLog::Messages() const {
    std::lock_guard<std::mutex> hold(lock_);
    return messages_;
}

int ListenerLog::StateChanges() const {
    std::lock_guard<std::mutex> hold(lock_);
    return state_changes_;
}
