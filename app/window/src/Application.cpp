#include "window/Application.h"

#include "common/CommandIds.h"
#include "common/StringTable.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "remote/CommandLineText.h"
#include "remote/RemoteProtocol.h"
#include "remote/SignalExit.h"
#include "settings/DeviceCatalogue.h"
#include "window/MainWindow.h"

#include <TovekAudioCapture.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace {

Application* g_app = nullptr; // user-interface thread only

constexpr char16_t kIniExtension[] = u".INI";
constexpr char16_t kLngExtension[] = u".lng";

} // namespace

Application::Application() {
    if (g_app == nullptr)
        g_app = this;
}

Application::~Application() {
    ExitInstance();
    LangFree(lang_ctx_);
    if (g_app == this)
        g_app = nullptr;
}

Application* Application::Get() {
    return g_app;
}

bool Application::DerivePaths() {
    if (!app_name_.empty())
        return true;
    const std::string exe =
        exe_path_override_.empty() ? platform::ProgramPath() : exe_path_override_;
    const size_t slash = exe.rfind('/');
    if (exe.empty() || slash == std::string::npos || slash + 1 == exe.size())
        return false;
    std::string base = exe.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    layout_ = platform::DecideInstallLayout(exe, base);
    // Paths are kept whole: a cut path would name some other file.
    program_folder_ = platform::Utf8ToUtf16(layout_.data_folder);
    ini_path_ = platform::Utf8ToUtf16(layout_.settings_folder + base) + kIniExtension;
    app_name_ = base;
    lng_folder_ = layout_.data_folder;
    return true;
}

bool Application::StartTexts() {
    if (lang_ctx_ != nullptr)
        return true;
    if (!DerivePaths())
        return false;
    lang_module_ = kProgramModuleTemplate;
    lang_module_.lng_folder = lng_folder_.c_str();
    const bool found = LangFindFiles(&lang_module_, ini_path_.c_str(), kLngExtension);
    return LangInit(&lang_ctx_, !found, &lang_module_, ini_path_.c_str(), kLngExtension,
                    cmd::kLanguageFirst, cmd::kLanguageLast);
}

bool Application::Start() {
    if (started_)
        return true;
    if (!DerivePaths())
        return false;
    // Without the folder the INI cannot be written; the settings then read
    // their defaults, as for any unwritable INI file.
    platform::MakeSettingsFolder(layout_);
    ini_ = std::make_unique<IniStore>(ini_path_.c_str());
    if (!instance_lock_.Acquire(app_name_)) {
        // Another instance runs: leave without a word, or with the commands
        // handed to it.
        if (!start_commands_.empty())
            HandToRunningInstance();
        return false;
    }
    if (!StartTexts())
        return false;
    documents_folder_ = platform::Utf8ToUtf16(platform::DocumentsFolder());
    const std::u16string program_folder = platform::Utf8ToUtf16(layout_.program_folder);
    const std::u16string pictures = platform::Utf8ToUtf16(layout_.pictures_folder);
    const std::u16string videos = platform::Utf8ToUtf16(layout_.videos_folder);
    settings_ = settings::LoadAppSettings(
        *ini_, settings::SettingsFolders{program_folder, pictures, videos, documents_folder_});
    NoteIgnoredFiles();
    started_ = true;
    return true;
}

bool Application::StartHeadless() {
    if (!StartTexts())
        return false;
    ini_ = std::make_unique<IniStore>(ini_path_.c_str());
    documents_folder_ = platform::Utf8ToUtf16(platform::DocumentsFolder());
    StartAudio();
    return true;
}

void Application::StartAudio() {
    if (audio_started_)
        return;
    Tovek_WAC_Initialize();
    audio_started_ = true;
}

void Application::HandToRunningInstance() {
    StartTexts(); // without language files the English texts answer
    cli::RemoteCommand refused;
    remote::Reply reply = remote::Reply::kUnknown;
    std::vector<std::string> notes;
    const remote::SendResult result =
        remote::SendRemoteCommands(remote::SocketPath(app_name_), start_commands_,
                                   remote::kAnswerTimeoutMs, &refused, &reply, &notes);
    start_commands_.clear();
    // What the commands answered (--share: the address with its token).
    for (const std::string& note : notes)
        std::printf("%s\n", note.c_str());
    std::fflush(stdout);
    if (result == remote::SendResult::kTaken)
        return;
    cli::Text text;
    if (result == remote::SendResult::kNoAnswer) {
        exit_code_ = cli::kExitFailed;
        text = {
            "cli.no_answer", "The running program does not answer; nothing was carried out.", {}};
    } else {
        const std::string option = "--" + std::string(cli::VerbName(refused.verb));
        exit_code_ = cli::kExitNotNow;
        if (reply == remote::Reply::kBusy)
            text = {"cli.busy", "The running program shows a message: %1 was not carried out.",
                    option};
        else if (reply == remote::Reply::kDisabled)
            text = {"cli.disabled", "The running program cannot carry out %1 now.", option};
        else
            text = {"cli.unknown_command", "The running program does not know %1.", option};
    }
    PrintCommandLineError(app_name_, CommandLineText(lang_ctx_, text));
}

// The files start-up reads by INI rules and could read only in part: the
// settings, the device catalogue and the language files beside the program.
void Application::NoteIgnoredFiles() {
    startup_notices_.clear();
    std::vector<std::pair<std::string, size_t>> files = {
        {platform::Utf16ToUtf8(ini_path_), platform::kMaxProfileBytes},
        {platform::Utf16ToUtf8(program_folder_ + kDeviceCatalogueFile),
         platform::kMaxProfileBytes}};
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(lng_folder_, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".lng")
            files.emplace_back(entry.path().string(), kLangMaxFileBytes);
    }
    for (const auto& [path, max_bytes] : files) {
        std::string notice = IgnoredFileNotice(path, max_bytes);
        if (!notice.empty())
            startup_notices_.push_back(std::move(notice));
    }
}

bool Application::InitInstance() {
    InstallSignalExit(); // SIGTERM, SIGINT, SIGHUP: the way File > Exit ends, without asking
    if (!Start())
        return false;
    recording_result = 0;
    snapshot_result = 1;
    StartAudio();
    {
        MainWindow dialog(*this);
        if (window_runner_)
            window_runner_(dialog);
        else
            dialog.exec();
    }
    return false;
}

int Application::ExitInstance() {
    audio_choices.reset();
    if (audio_started_) {
        Tovek_WAC_UnInitialize();
        audio_started_ = false;
    }
    return exit_code_;
}

QIcon Application::ProgramIcon() const {
    char16_t path[1024] = {};
    Ini()->GetString(settings::kSectionApp, settings::kAppLogoIcon, path, 1024, u"");
    if (path[0] != u'\0') {
        const QIcon logo(QString::fromUtf16(path));
        if (!logo.availableSizes().isEmpty())
            return logo;
    }
    QIcon own;
    const QString folder = QString::fromStdU16String(ProgramFolder());
    for (int size : {16, 32, 48, 64, 128, 256})
        own.addFile(folder + QStringLiteral("icons/tovekcamera-%1.png").arg(size),
                    QSize(size, size));
    return own;
}
