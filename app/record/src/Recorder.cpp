#include "record/Recorder.h"

#include "platform/system.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

using record::MessageIcon;

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The file for a recording that starts (or goes on) at local: named after
// the time, and never one that exists already, so that a recording started
// or split within the second of another one does not overwrite it.
std::string VideoFilePath(const std::string& folder, const std::tm& local) {
    const std::string stamped = output_folder::TimeStampedName(local, "avi");
    std::string path = folder + stamped;
    const std::string stem = path.substr(0, path.size() - 4);
    for (int n = 2; Exists(path) && n < 1000; ++n)
        path = stem + "-" + std::to_string(n) + ".avi";
    return path;
}

void CopyName(const std::string& name, AudioDeviceRecord* record) {
    std::memcpy(record->name, name.data(), std::min(name.size(), sizeof record->name - 1));
}

// The capture is stopped and closed with its callback removed first: once
// the callback is gone no sound is written any more.
void CloseCapture(const RecorderLibraries& lib, AudioCaptureContext* audio) {
    if (audio == nullptr)
        return;
    lib.audio_set_callback(audio, nullptr, nullptr);
    lib.audio_stop(audio);
    lib.audio_close(audio);
}

} // namespace

Recorder::Recorder(record::RecorderListener* listener, record::RecorderOptions options)
    : listener_(listener), options_(std::move(options)) {}

Recorder::~Recorder() {
    StopRecording(false);
}

std::string Recorder::VideoPath() const {
    platform::MutexLock hold(control_lock_);
    return video_path_;
}

void Recorder::Report(const char* message, MessageIcon icon) {
    if (listener_ != nullptr && message != nullptr)
        listener_->OnRecorderMessage(message, icon);
}

void Recorder::AddBytes(uint64_t bytes) {
    file_bytes_.fetch_add(bytes);
    total_bytes_.fetch_add(bytes);
}

// ---- start ------------------------------------------------------------------

int32_t Recorder::Start(const record::RecordParams& params) {
    StopRecording(false);
    const char* message = nullptr;
    int32_t result = record::kIdle;
    {
        platform::MutexLock hold(control_lock_);
        start_tick_.store(platform::GetTickCount());
        ended_itself_.store(false);
        audio_writing_.store(false);
        queue_.Clear();
        params_ = params;
        OpenedFile file;
        result = OpenFirstFile(&file, &message);
        if (result == record::kRecording)
            Begin(file);
        result_.store(result);
    }
    Report(message, MessageIcon::kExclamation);
    if (listener_ != nullptr)
        listener_->OnRecorderStateChanged();
    return result;
}

int32_t Recorder::OpenFirstFile(OpenedFile* file, const char** message) {
    int32_t result = OpenVideoFile(file, message);
    if (result == record::kRecording && params_.audio_index != 0) {
        result = OpenAudio(message);
        if (result != record::kRecording)
            Discard(file);
    }
    if (result == record::kRecording)
        result = FinishFile(file, message);
    if (result != record::kRecording)
        CloseAudio();
    return result;
}

void Recorder::Begin(const OpenedFile& file) {
    video_ = file.handle;
    video_path_ = file.path;
    free_bytes_.store(file.free_bytes);
    file_bytes_.store(0);
    total_bytes_.store(0);
    {
        platform::MutexLock audio(audio_lock_);
        audio_file_ = video_;
    }
    if (audio_ != nullptr) {
        options_.libraries.audio_set_callback(audio_, &Recorder::AudioCallback, this);
        options_.libraries.audio_run(audio_);
    }
    pacing_.emplace(params_.frame_rate);
    last_flush_tick_ = platform::GetTickCount();
    stop_flag_.store(false);
    notify_when_finished_.store(false);
    stop_event_.Reset();
    recording_.store(true);
    audio_writing_.store(true);
    if (options_.writer_thread)
        writer_ = std::thread(&Recorder::WriterLoop, this);
}

int32_t Recorder::OpenAudio(const char** message) {
    const RecorderLibraries& lib = options_.libraries;
    AudioDeviceRecord source{};
    AudioDeviceRecord encoder{};
    CopyName(params_.audio.source, &source);
    CopyName(params_.audio.encoder, &encoder);
    audio_ = nullptr;
    lib.audio_open(&audio_);
    if (lib.audio_connect(audio_, source, encoder) != 0) {
        *message = record::kAudioConnectMessage;
        return record::kIdle;
    }
    // Without the encoder's media type the recording goes on without sound.
    AM_MEDIA_TYPE* media_type = nullptr;
    if (lib.audio_media_type(audio_, &media_type) != 0 || media_type == nullptr) {
        CloseAudio();
        return record::kRecording;
    }
    audio_media_type_ = media_type;
    audio_bit_rate_kbps_ = record::AudioBitRateKbps(record::AudioKindOf(params_.audio.encoder));
    return record::kRecording;
}

void Recorder::CloseAudio() {
    CloseCapture(options_.libraries, std::exchange(audio_, nullptr));
    audio_media_type_ = nullptr;
}

int32_t Recorder::OpenVideoFile(OpenedFile* file, const char** message) {
    const RecorderLibraries& lib = options_.libraries;
    const std::string folder = output_folder::Choose(params_.record_path, "Videos");
    if (folder.empty()) {
        *message = record::kCreateFailedMessage;
        return record::kCreateFailed;
    }
    uint64_t free_bytes = 0;
    if (platform::GetFreeBytes(folder, &free_bytes)) {
        file->free_bytes = static_cast<int64_t>(std::min<uint64_t>(free_bytes, INT64_MAX));
        if (static_cast<int64_t>(free_bytes >> 20) <= record::kMinFreeMegabytes) {
            *message = record::kNoSpaceMessage;
            return record::kNoSpace;
        }
    }
    file->path = VideoFilePath(folder, options_.local_time());
    file->handle = lib.file_open(file->path.c_str());
    if (file->handle == nullptr) {
        *message = record::kCreateFailedMessage;
        return record::kCreateFailed;
    }
    // A file whose video stream cannot be set up would take no frame.
    if (lib.set_vga_param(file->handle, params_.width, params_.height, params_.frame_rate, 24) <
        0) {
        Discard(file);
        *message = record::kCreateFailedMessage;
        return record::kCreateFailed;
    }
    return record::kRecording;
}

int32_t Recorder::FinishFile(OpenedFile* file, const char** message) {
    const RecorderLibraries& lib = options_.libraries;
    if (audio_media_type_ != nullptr &&
        lib.set_audio_param(file->handle, audio_media_type_, audio_bit_rate_kbps_) == 0) {
        Discard(file);
        *message = record::kSetAudioParamMessage;
        return record::kIdle;
    }
    lib.write_description(file->handle, 0, 0, 0, 0);
    return record::kRecording;
}

void Recorder::Discard(OpenedFile* file) {
    options_.libraries.file_close(file->handle);
    file->handle = nullptr;
    ::unlink(file->path.c_str());
}

// ---- writer -----------------------------------------------------------------

void Recorder::WriterLoop() {
    pthread_setname_np(pthread_self(), "tovek-recorder"); // seen in debuggers and profiles
    // A turn only when there is work: polling every few milliseconds woke the
    // thread about six times a frame for nothing.
    for (;;) {
        if (!stop_flag_.load())
            stop_event_.SleepUnlessSet(MsUntilNextTurn());
        if (stop_flag_.load()) {
            // Frames are written in pairs: the one already due still goes in.
            if (video_ != nullptr)
                WriteDueFrames(platform::GetTickCount(), true);
            Finish();
            if (notify_when_finished_.exchange(false) && listener_ != nullptr)
                listener_->OnRecorderStateChanged();
            break;
        }
        if (!Turn())
            break;
    }
}

uint32_t Recorder::MsUntilNextTurn() {
    const uint32_t now = platform::GetTickCount();
    const uint32_t since_flush = now - last_flush_tick_;
    constexpr uint32_t kFlushLatest = record::kFlushMs + record::kFlushLatenessMs;
    const uint32_t flush_in = since_flush >= kFlushLatest ? 0 : kFlushLatest - since_flush;
    return std::max<uint32_t>(1,
                              std::min(flush_in, pacing_->MsUntilDue(now, record::kFramesPerTurn)));
}

bool Recorder::Turn() {
    if (!recording_.load() || video_ == nullptr)
        return true;
    if (!FlushWhenDue())
        return false;
    return WriteDueFrames(platform::GetTickCount(), false);
}

bool Recorder::WriteDueFrames(uint32_t now, bool closing) {
    // Each due turn takes the oldest frame queued, as one turn a frame would
    // at its own tick: the frames queued by then include those it would see.
    while (pacing_->Due(now)) {
        if (!WriteFrame(closing))
            return false;
    }
    return true;
}

bool Recorder::WriteFrame(bool closing) {
    RecordingQueue::Frame frame;
    if (!queue_.Take(&frame))
        return true;
    const uint8_t* data = frame.data;
    size_t length = frame.length;
    if (!pacing_->Skips() && params_.transform &&
        (!params_.transform(frame.data, frame.length, &data, &length) || data == nullptr ||
         length == 0 || length > UINT32_MAX)) {
        // Nothing written and not counted: the next window's squaring makes
        // up for the missing frame.
        queue_.Release();
        return true;
    }
    const int32_t copies = pacing_->Copies();
    for (int32_t i = 0; i < copies; ++i)
        options_.libraries.write_vga(video_, data, static_cast<uint32_t>(length), 1, 0, 0);
    queue_.Release();
    AddBytes(static_cast<uint64_t>(length) * static_cast<uint64_t>(copies));
    pacing_->CountWritten();
    if (closing)
        return true;

    // Bytes, not whole megabytes: the recording stops as soon as less than
    // the minimum remains.
    const int64_t free_bytes = free_bytes_.load();
    if (free_bytes >= 0 &&
        free_bytes - static_cast<int64_t>(file_bytes_.load()) < record::kMinFreeMegabytes << 20) {
        EndFromWriter(record::kIdle, record::kDiskFullMessage, MessageIcon::kWarning);
        return false;
    }
    if ((file_bytes_.load() >> 20) > options_.split_megabytes)
        return Split();
    return true;
}

bool Recorder::FlushWhenDue() {
    const uint32_t now = platform::GetTickCount();
    if (now - last_flush_tick_ < record::kFlushMs)
        return true;
    last_flush_tick_ = now;
    if (options_.libraries.file_flush(video_) == 0)
        return true;
    EndFromWriter(record::kIdle, record::kDiskFullMessage, MessageIcon::kWarning);
    return false;
}

// The next file is complete before the previous one closes: frames keep
// queueing meanwhile, and the sound moves to the new file under the audio
// lock, so nothing that arrives during the switch is lost.
bool Recorder::Split() {
    OpenedFile next;
    const char* message = nullptr;
    int32_t result = OpenVideoFile(&next, &message);
    if (result == record::kRecording)
        result = FinishFile(&next, &message);
    if (result != record::kRecording) {
        EndFromWriter(result, message, MessageIcon::kExclamation);
        return false;
    }
    AviOutputFile* previous = video_;
    {
        platform::MutexLock hold(control_lock_);
        video_ = next.handle;
        video_path_ = next.path;
        free_bytes_.store(next.free_bytes);
        platform::MutexLock audio(audio_lock_);
        audio_file_ = next.handle;
        file_bytes_.store(0);
    }
    options_.libraries.file_close(previous);
    pacing_->Restart();
    return true;
}

void Recorder::EndFromWriter(int32_t result, const char* message, MessageIcon icon) {
    ended_itself_.store(true);
    StopRecording(true, result);
    Report(message, icon);
}

// ---- sound ------------------------------------------------------------------

void Recorder::AudioCallback(const BYTE* data, LONG length, void* user) {
    if (user == nullptr || data == nullptr || length <= 0)
        return;
    static_cast<Recorder*>(user)->OnAudio(data, static_cast<uint32_t>(length));
}

void Recorder::OnAudio(const BYTE* data, uint32_t length) {
    platform::MutexLock hold(audio_lock_);
    if (audio_file_ == nullptr || !audio_writing_.load())
        return;
    options_.libraries.write_audio(audio_file_, data, length, 1, 0, 0);
    AddBytes(length);
}

// ---- stop -------------------------------------------------------------------

bool Recorder::Append(const uint8_t* data, size_t length) {
    return recording_.load() && queue_.Append(data, length);
}

bool Recorder::Stop() {
    return StopRecording(true);
}

void Recorder::StopInBackground() {
    bool writer_finishes = false;
    {
        platform::MutexLock hold(control_lock_);
        // A writer that has not ended yet finishes an open file itself:
        // either at its next turn, or it is ending the recording already.
        writer_finishes = MarkStopped(record::kIdle) && writer_.joinable();
        notify_when_finished_.store(writer_finishes);
    }
    if (writer_finishes)
        return;
    Finish();
    if (listener_ != nullptr)
        listener_->OnRecorderStateChanged();
}

bool Recorder::StopRecording(bool notify, int32_t result) {
    std::thread writer;
    bool had_file = false;
    {
        platform::MutexLock hold(control_lock_);
        had_file = MarkStopped(result);
        // This caller tells the listener, not the writer.
        notify_when_finished_.store(false);
        // The writer stopping the recording itself does not wait for itself;
        // the next Start or Stop joins it.
        if (writer_.joinable() && writer_.get_id() != std::this_thread::get_id())
            writer = std::move(writer_);
    }
    if (writer.joinable())
        writer.join();
    Finish();
    if (notify && listener_ != nullptr)
        listener_->OnRecorderStateChanged();
    return had_file;
}

bool Recorder::MarkStopped(int32_t result) {
    recording_.store(false);
    result_.store(result);
    stop_flag_.store(true);
    stop_event_.Set();
    const bool open = video_ != nullptr;
    if (open)
        finishing_.store(true);
    return open;
}

// Sound keeps going into the file until the capture's callback is removed:
// what was on its way at the stop is kept.
void Recorder::Finish() {
    AudioCaptureContext* audio = nullptr;
    {
        platform::MutexLock hold(control_lock_);
        audio = std::exchange(audio_, nullptr);
        audio_media_type_ = nullptr;
    }
    CloseCapture(options_.libraries, audio);
    AviOutputFile* file = nullptr;
    {
        platform::MutexLock hold(control_lock_);
        audio_writing_.store(false);
        {
            platform::MutexLock sound(audio_lock_);
            audio_file_ = nullptr;
        }
        file = std::exchange(video_, nullptr);
    }
    if (file == nullptr)
        return;
    options_.libraries.file_close(file);
    finishing_.store(false);
}
