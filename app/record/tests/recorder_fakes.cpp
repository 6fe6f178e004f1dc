#include "recorder_fakes.h"

#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>

namespace fake {

namespace {

std::mutex g_lock; // guards every g_ value below
State g_state;
bool g_hold_closes = false;
std::condition_variable g_closes_released; // with g_lock
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

const void* g_audio_writing_to = nullptr; // the file a sound write is busy with

bool IsOpen(const void* file) {
    return g_open_files.count(file) != 0;
}

// ---- Strovi: counted, and forwarded to the real one when g_real --------------

bool g_real = false;

AviOutputFile* TOVEK_STDCALL Open(const char* path) {
    std::lock_guard<std::mutex> hold(g_lock);
    AviOutputFile* file = g_state.fail_open ? nullptr
                          : g_real          ? FileOpen(path)
                                            : reinterpret_cast<AviOutputFile*>(
                                         &g_fake_files[g_next_fake_file++ % sizeof g_fake_files]);
    if (file != nullptr) {
        g_open_files.insert(file);
        g_state.files_opened++;
        g_state.paths.push_back(path);
    }
    return file;
}

void TOVEK_STDCALL Close(AviOutputFile* file) {
    {
        std::unique_lock<std::mutex> hold(g_lock);
        g_state.closes_waiting++;
        g_closes_released.wait(hold, [] { return !g_hold_closes; });
        g_state.closes_waiting--;
        g_state.writes_after_close += g_audio_writing_to == file ? 1 : 0;
        g_open_files.erase(file);
        g_state.files_closed++;
    }
    if (g_real)
        FileClose(file);
}

int32_t TOVEK_STDCALL Flush(AviOutputFile* file) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_state.writes_after_close += IsOpen(file) ? 0 : 1;
        g_state.flushes++;
        if (g_state.fail_flush)
            return static_cast<int32_t>(0x8004406E); // AVIERR_FILEWRITE
    }
    return g_real ? FileFlush(file) : 0;
}

int32_t TOVEK_STDCALL SetVga(AviOutputFile* file, int32_t width, int32_t height, int32_t fps,
                             int32_t bits) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_state.fail_vga)
            return E_INVALIDARG;
    }
    return g_real ? SetAVCVGAParam(file, width, height, fps, bits) : 0;
}

int32_t TOVEK_STDCALL SetAudio(AviOutputFile* file, const AM_MEDIA_TYPE* media_type, int32_t kbps) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_state.audio_bit_rate = kbps;
        g_state.audio_streams++;
        if (g_state.fail_audio_param)
            return 0;
    }
    return g_real ? SetAudioParam(file, media_type, kbps) : 1;
}

int32_t TOVEK_STDCALL Write(bool video, AviOutputFile* file, const void* data, uint32_t length) {
    bool slow = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        slow = g_state.slow_sound_writes;
        g_state.writes_after_close += IsOpen(file) ? 0 : 1;
        (video ? g_state.frames : g_state.audio_writes)++;
        (video ? g_state.video_bytes : g_state.audio_bytes) += length;
        if (!video)
            g_audio_writing_to = file;
    }
    int32_t result = 0;
    if (g_real)
        result = video ? WriteVGA(file, data, length, 1, 0, 0)
                       : WriteAudio0(file, data, length, 1, 0, 0);
    else if (!video && slow) // a write that takes a while, as one to a disk does
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (!video) {
        std::lock_guard<std::mutex> hold(g_lock);
        g_audio_writing_to = nullptr;
    }
    return result;
}

int32_t TOVEK_STDCALL WriteVideo(AviOutputFile* file, const void* data, uint32_t length, int32_t,
                                 uint32_t, int32_t) {
    return Write(true, file, data, length);
}

int32_t TOVEK_STDCALL WriteSound(AviOutputFile* file, const void* data, uint32_t length, int32_t,
                                 uint32_t, int32_t) {
    return Write(false, file, data, length);
}

// ---- audio capture ------------------------------------------------------------

int32_t AudioOpen(AudioCaptureContext** context) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.audio_opened++;
    *context = reinterpret_cast<AudioCaptureContext*>(&g_fake_context);
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
    g_wave = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
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

int32_t AudioRunOrStop(AudioCaptureContext*) {
    return 0;
}

} // namespace

void Set(bool State::*fault) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.*fault = true;
}

void HoldCloses(bool held) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_hold_closes = held;
    }
    g_closes_released.notify_all();
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
    g_hold_closes = false;
    g_closes_released.notify_all();
}

RecorderLibraries Libraries(bool real_strovi, bool real_audio) {
    g_real = real_strovi;
    RecorderLibraries lib;
    lib.file_open = &Open;
    lib.file_close = &Close;
    lib.file_flush = &Flush;
    lib.set_vga_param = &SetVga;
    lib.set_audio_param = &SetAudio;
    lib.write_vga = &WriteVideo;
    lib.write_audio = &WriteSound;
    if (real_audio)
        return lib;
    lib.audio_open = &AudioOpen;
    lib.audio_close = &AudioClose;
    lib.audio_connect = &AudioConnect;
    lib.audio_media_type = &AudioMediaType;
    lib.audio_set_callback = &AudioSetCallback;
    lib.audio_run = &AudioRunOrStop;
    lib.audio_stop = &AudioRunOrStop;
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
