#include "remote/Headless.h"

#include "camera/CameraSession.h"
#include "camera/SessionEvents.h"
#include "capture/OutputStage.h"
#include "common/CommandIds.h"
#include "platform/capture_error.h"
#include "platform/system.h"
#include "record/AudioChoices.h"
#include "remote/CommandLineText.h"
#include "remote/SignalExit.h"
#include "settings/AppSettings.h"
#include "settings/DeviceCatalogue.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

namespace headless {

namespace {

constexpr int kTickMs = 20;

// "FILE (reason)" for the texts that name a file and why it failed.
std::string FileAndReason(const std::string& file, int error) {
    return file + " (" + std::strerror(error) + ")";
}

// The sound to record with: the source the settings chose, else the first
// one; index 0 (video only) when there is none or no compressor.
struct Sound {
    int32_t index = 0;
    record::AudioNames names;
};

Sound ChooseSound(const IniStore& ini, const record::AudioChoices& choices) {
    const auto number = [&ini](const char16_t* key) {
        char16_t text[settings::kNumberChars + 1] = {};
        const uint32_t n = ini.GetString(settings::kSectionApp, key, text, std::size(text), u"");
        return settings::AtoiText(std::u16string_view(text, n));
    };
    Sound sound;
    const int32_t stored = number(settings::kAudioIndex);
    const auto sources = static_cast<int32_t>(choices.sources.size());
    sound.index = stored >= 1 && stored <= sources ? stored : (sources > 0 ? 1 : 0);
    if (sound.index != 0) {
        sound.names = record::ChosenAudio(choices, sound.index, number(settings::kEncoderIndex));
        if (sound.names.encoder.empty())
            sound.index = 0;
    }
    if (sound.index == 0)
        sound.names = {};
    return sound;
}

// One headless run. Lives on the thread that runs the event loop; the
// session's library threads reach it only through posted events.
class HeadlessRun : public QObject {
public:
    HeadlessRun(const Program& program, const cli::Options& options)
        : program_(program), options_(options),
          output_(options.record_seconds > 0 ? options.output_file : options.snapshot_file) {}
    ~HeadlessRun() override {
        // The camera's threads end before the receiver of their posts.
        session_.reset();
    }

    int Exec();

protected:
    bool event(QEvent* e) override;

private:
    enum class Phase { kFinding, kWaitingAttach, kWaitingPicture, kRecording, kDone };

    bool Recording() const { return options_.record_seconds > 0; }
    std::vector<int> Candidates(size_t catalogue_size) const;
    void SetPhase(Phase phase);
    void TryNextCamera();
    void OnAttach();
    void OnFirstPicture();
    void OnCameraLost(const cli::Text& why);
    void OnSnapshot(const snapshot::Outcome& outcome);
    void OnTick();
    void FinishRecording(const cli::Text* fault);
    void Succeed(const std::string& line);
    void Fail(const cli::Text& text);
    void Finish(int exit_code);

    const Program& program_;
    const cli::Options options_;
    const std::string output_; // FILE
    OutputStage stage_;
    std::unique_ptr<CameraSession> session_;
    std::vector<int> candidates_;
    size_t next_candidate_ = 0;
    Phase phase_ = Phase::kFinding;
    uint32_t phase_start_ = 0; // tick count
    std::future<record::AudioChoices> audio_listing_;
    bool with_sound_ = false;
    std::optional<cli::Text> recorder_fault_; // the recorder's own message
    int exit_code_ = cli::kExitFailed;
    QTimer* ticker_ = nullptr; // Exec's, while it runs
};

std::vector<int> HeadlessRun::Candidates(size_t catalogue_size) const {
    const uint32_t stored =
        program_.ini.GetUInt(settings::kSectionApp, settings::kDeviceSelect, cmd::kDeviceFirst, 10);
    const int chosen = static_cast<int>(stored - cmd::kDeviceFirst);
    std::vector<int> order;
    if (stored >= cmd::kDeviceFirst && static_cast<size_t>(chosen) < catalogue_size)
        order.push_back(chosen);
    for (int i = 0; static_cast<size_t>(i) < catalogue_size; ++i) {
        if (i != chosen)
            order.push_back(i);
    }
    return order;
}

int HeadlessRun::Exec() {
    if (!stage_.Create(output_)) {
        Fail({"cli.cannot_write", "Cannot write %1.", FileAndReason(output_, errno)});
        return exit_code_;
    }
    session_ = std::make_unique<CameraSession>(this);
    session_->SetCatalogue(ReadDeviceCatalogue(program_.program_folder + kDeviceCatalogueFile));
    candidates_ = Candidates(session_->Catalogue().size());
    if (Recording()) {
        // Listing connects every compressor: done while the camera opens.
        audio_listing_ = std::async(std::launch::async, [] { return record::ListAudioChoices(); });
    }
    QTimer ticker;
    // Its one tick at a recording's end keeps to the millisecond (a coarse
    // timer may be late by 5 % of the recording).
    ticker.setTimerType(Qt::PreciseTimer);
    ticker_ = &ticker;
    connect(&ticker, &QTimer::timeout, this, [this] { OnTick(); });
    ticker.start(kTickMs);
    // Everything from here runs inside the event loop, so that finishing
    // can end it.
    QTimer::singleShot(0, this, [this] { TryNextCamera(); });
    QCoreApplication::exec();
    ticker_ = nullptr;
    if (phase_ != Phase::kDone) {
        // The loop was ended from outside (a signal): keep what was recorded.
        const cli::Text interrupted{"cli.interrupted", "Interrupted.", {}};
        if (phase_ == Phase::kRecording)
            FinishRecording(&interrupted);
        else
            Fail(interrupted);
    }
    return exit_code_;
}

void HeadlessRun::SetPhase(Phase phase) {
    phase_ = phase;
    phase_start_ = platform::GetTickCount();
}

void HeadlessRun::TryNextCamera() {
    SetPhase(Phase::kFinding);
    while (next_candidate_ < candidates_.size()) {
        session_->Choose(candidates_[next_candidate_++]);
        switch (session_->Open()) {
        case CameraSession::OpenResult::kAttached:
            OnAttach();
            return;
        case CameraSession::OpenResult::kOpened:
        case CameraSession::OpenResult::kOpening:
            // A Q5 camera opens in the background and tells its attach as an
            // event.
            SetPhase(Phase::kWaitingAttach);
            return;
        default:
            break;
        }
    }
    session_->Teardown();
    Fail({"cli.no_camera", "No camera found.", {}});
}

void HeadlessRun::OnAttach() {
    session_->SetAttached(true);
    session_->CancelAutoPlay();
    SetPhase(Phase::kWaitingPicture);
    // No window: the picture is neither decoded nor shown, frames still flow.
    CameraSession::SetPixelsWanted(false);
    // The picture runs once the camera is open again (CameraOpenedMessage).
    if (session_->Play(nullptr, 0, 0) != CameraSession::PlayResult::kStarting) {
        Fail({"cli.not_opened", platform::kCameraNotOpenedText, {}});
        return;
    }
    if (!Recording())
        session_->GetSnapshot().Request(platform::Utf8ToUtf16(stage_.Folder()));
}

// Recording starts with the first picture, so that the file's time runs
// with the camera's pictures from its first frame.
void HeadlessRun::OnFirstPicture() {
    const Sound sound = ChooseSound(program_.ini, audio_listing_.get());
    with_sound_ = sound.index != 0;
    const int32_t result =
        session_->StartRecording(platform::Utf8ToUtf16(stage_.Folder()), sound.index, sound.names);
    if (result != record::kRecording) {
        // The recorder has posted why.
        QCoreApplication::sendPostedEvents(this, UserMessage::Type());
        Fail(recorder_fault_.value_or(cli::Text{"cli.cannot_write", "Cannot write %1.", output_}));
        return;
    }
    SetPhase(Phase::kRecording);
}

void HeadlessRun::OnCameraLost(const cli::Text& why) {
    if (phase_ == Phase::kRecording)
        FinishRecording(&why);
    else if (phase_ == Phase::kWaitingAttach)
        TryNextCamera();
    else if (phase_ != Phase::kDone)
        Fail(why);
}

void HeadlessRun::OnSnapshot(const snapshot::Outcome& outcome) {
    if (phase_ == Phase::kDone)
        return;
    if (outcome.result == snapshot::kNoSpace) {
        Fail({"cli.no_space_picture", "Image capture failed! Not enough space on disk!", {}});
        return;
    }
    const std::vector<std::string> files = outcome.result == snapshot::kSaved
                                               ? stage_.Deliver("Images", ".jpg")
                                               : std::vector<std::string>{};
    if (files.empty()) {
        Fail({"cli.cannot_write", "Cannot write %1.", FileAndReason(output_, errno)});
        return;
    }
    Succeed("saved " + files.front() + " " + std::to_string(session_->FrameWidth()) + "x" +
            std::to_string(session_->FrameHeight()));
}

void HeadlessRun::OnTick() {
    const uint32_t elapsed = platform::GetTickCount() - phase_start_;
    switch (phase_) {
    case Phase::kWaitingAttach:
        if (elapsed > kAttachWaitMs)
            TryNextCamera();
        break;
    case Phase::kWaitingPicture:
        if (elapsed > kFirstPictureWaitMs)
            Fail({"cli.no_picture", "The camera sends no picture.", {}});
        break;
    case Phase::kRecording:
        if (!session_->Recording()) {
            const cli::Text stopped{"cli.record_stopped", "The recording stopped.", {}};
            FinishRecording(recorder_fault_ ? &*recorder_fault_ : &stopped);
        } else if (elapsed >= static_cast<uint32_t>(options_.record_seconds * 1000.0)) {
            FinishRecording(nullptr);
        } else if (ticker_ != nullptr) {
            // The next tick at the end: a recorder that stops by itself tells
            // so (kRecorderChanged), so there is nothing to look for before.
            const double left_ms = options_.record_seconds * 1000.0 - elapsed;
            ticker_->setInterval(static_cast<int>(
                std::clamp(left_ms, static_cast<double>(kTickMs), double{INT_MAX})));
        }
        break;
    default:
        break;
    }
}

void HeadlessRun::FinishRecording(const cli::Text* fault) {
    const double seconds = (platform::GetTickCount() - phase_start_) / 1000.0;
    session_->StopRecordingAndWait();
    const std::vector<std::string> files = stage_.Deliver("Videos", ".avi");
    if (files.empty()) {
        Fail(fault != nullptr ? *fault
                              : cli::Text{"cli.cannot_write", "Cannot write %1.",
                                          FileAndReason(output_, errno)});
        return;
    }
    char length[32];
    std::snprintf(length, sizeof length, "%.1f s", seconds);
    if (fault != nullptr) {
        const cli::Text kept{"cli.kept", "%1 holds what was recorded until then.",
                             files.front() + " (" + length + ")"};
        PrintCommandLineError(program_.app_name, CommandLineText(program_.lang, *fault) +
                                                     QLatin1Char(' ') +
                                                     CommandLineText(program_.lang, kept));
        Finish(cli::kExitFailed);
        return;
    }
    std::string line = "recorded " + files.front() + " " + length;
    if (!with_sound_)
        line += " without sound";
    for (size_t i = 1; i < files.size(); ++i)
        line += (i == 1 ? ", continued in " : " ") + files[i];
    Succeed(line);
}

void HeadlessRun::Succeed(const std::string& line) {
    PrintLine(QString::fromStdString(line));
    Finish(0);
}

void HeadlessRun::Fail(const cli::Text& text) {
    PrintCommandLineError(program_.app_name, CommandLineText(program_.lang, text));
    Finish(cli::kExitFailed);
}

void HeadlessRun::Finish(int exit_code) {
    exit_code_ = exit_code;
    phase_ = Phase::kDone;
    QCoreApplication::exit(exit_code);
}

bool HeadlessRun::event(QEvent* e) {
    if (e->type() == SnapshotMessage::Type()) {
        OnSnapshot(static_cast<SnapshotMessage*>(e)->outcome);
        return true;
    }
    if (e->type() == UserMessage::Type()) {
        // The recorder's texts are the program's own, in English, as the
        // window shows them.
        recorder_fault_ = cli::Text{"cli.recorder", "%1", static_cast<UserMessage*>(e)->text};
        return true;
    }
    if (e->type() == CameraOpenedMessage::Type()) {
        const CameraSession::OpenResult result =
            session_->FinishOpen(static_cast<CameraOpenedMessage*>(e)->ticket);
        // kNoCamera: the answer of an open given up on; nothing to do.
        if (result == CameraSession::OpenResult::kFailed && phase_ == Phase::kWaitingAttach)
            TryNextCamera();
        else if (result == CameraSession::OpenResult::kPlayFailed)
            Fail({"cli.not_opened", platform::kCameraNotOpenedText, {}});
        else if (result == CameraSession::OpenResult::kArrived && phase_ == Phase::kWaitingAttach)
            OnAttach();
        return true;
    }
    const cli::Text detached{"cli.detached", "The camera was detached.", {}};
    if (e->type() == DeviceChangeMessage::Type()) {
        auto* m = static_cast<DeviceChangeMessage*>(e);
        // An arrival is judged on the opener's thread (CameraOpenedMessage).
        if (session_->OnDeviceChangeMessage(m->event, m->broadcast.Header()) ==
            CameraSession::DeviceChange::kRemoved) {
            session_->OnVideoStopped();
            OnCameraLost(detached);
        }
        return true;
    }
    // The run the libraries tagged a stop or failure with.
    const auto tagged_run = [e] { return static_cast<WindowMessage*>(e)->wparam; };
    switch (static_cast<int>(e->type())) {
    case msg::kVideoAttach:
        if (phase_ == Phase::kWaitingAttach)
            OnAttach();
        return true;
    case msg::kVideoDetach:
        session_->SetAttached(false);
        OnCameraLost(detached);
        return true;
    case msg::kVideoStop:
        if (session_->CurrentRun(tagged_run())) {
            session_->OnVideoStopped();
            OnCameraLost({"cli.camera_stopped", "The camera stopped.", {}});
        }
        return true;
    case msg::kStreamError:
        if (session_->CurrentRun(tagged_run())) {
            std::string user_text;
            std::string debug_text;
            session_->TakeStreamError(&user_text, &debug_text);
            OnCameraLost(user_text.empty()
                             ? cli::Text{"cli.camera_stopped", "The camera stopped.", {}}
                             : cli::Text{"cli.stream_error", "%1", user_text});
        }
        return true;
    case msg::kRecorderChanged:
        // A recorder that stopped by itself posts its message right after
        // this one: the tick that finishes comes a little later, to read it.
        if (phase_ == Phase::kRecording && ticker_ != nullptr && !session_->Recording())
            ticker_->start(kTickMs);
        return true;
    case msg::kFrame:
        if (phase_ == Phase::kWaitingPicture && Recording())
            OnFirstPicture();
        return true;
    default:
        return QObject::event(e);
    }
}

} // namespace

int CannotStart(const std::string& app_name) {
    PrintCommandLineError(
        app_name.empty() ? std::string("TovekCamera") : app_name,
        CommandLineText(nullptr, {"cli.no_start", "The program cannot start.", {}}));
    return cli::kExitFailed;
}

int Run(const Program& program, const cli::Options& options) {
    // Ctrl+C, logout, shutdown: the run ends as if interrupted, keeping what
    // was recorded, and its stage folder goes with it.
    InstallSignalExit([] { QCoreApplication::exit(cli::kExitFailed); });
    HeadlessRun run(program, options);
    return run.Exec();
}

} // namespace headless
