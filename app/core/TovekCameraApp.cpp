#include "TovekCameraApp.h"

#include "CommandIds.h"
#include "DeviceCatalogue.h"
#include "StringTable.h"
#include "TovekCameraDlg.h"
#include "platform/profile.h"
#include "platform/system.h"

#include <TovekAudioCapture.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

TovekCameraApp* g_app = nullptr; // user-interface thread only

constexpr char16_t kIniExtension[] = u".INI";
constexpr char16_t kLngExtension[] = u".lng";

} // namespace

TovekCameraApp::TovekCameraApp() {
    if (g_app == nullptr)
        g_app = this;
}

TovekCameraApp::~TovekCameraApp() {
    ExitInstance();
    LangFree(lang_ctx_);
    if (g_app == this)
        g_app = nullptr;
}

TovekCameraApp* TovekCameraApp::Get() {
    return g_app;
}

bool TovekCameraApp::DerivePaths() {
    const std::string exe =
        exe_path_override_.empty() ? platform::ProgramPath() : exe_path_override_;
    const size_t slash = exe.rfind('/');
    if (exe.empty() || slash == std::string::npos || slash + 1 == exe.size())
        return false;
    const std::string folder = exe.substr(0, slash + 1);
    std::string base = exe.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    // Paths are kept whole: a cut path would name some other file.
    program_folder_ = platform::Utf8ToUtf16(folder);
    ini_path_ = program_folder_ + platform::Utf8ToUtf16(base) + kIniExtension;
    app_name_ = base;
    lng_folder_ = folder;
    return true;
}

bool TovekCameraApp::Start() {
    if (!DerivePaths())
        return false;
    ini_ = std::make_unique<CIni>(ini_path_.c_str());
    if (!instance_lock_.Acquire(app_name_))
        return false; // another instance runs: leave without a word

    lang_module_ = kProgramModuleTemplate;
    lang_module_.lng_folder = lng_folder_.c_str();
    const bool found = LangFindFiles(&lang_module_, ini_path_.c_str(), kLngExtension);
    if (!LangInit(&lang_ctx_, !found, &lang_module_, ini_path_.c_str(), kLngExtension,
                  cmd::kLanguageFirst, cmd::kLanguageLast))
        return false;

    documents_folder_ = platform::Utf8ToUtf16(platform::DocumentsFolder());
    settings_ = settings::LoadAppSettings(*ini_, program_folder_, documents_folder_);
    NoteIgnoredFiles();
    return true;
}

// The files start-up reads by INI rules and could read only in part: the
// settings, the device catalogue and the language files beside the program.
void TovekCameraApp::NoteIgnoredFiles() {
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

bool TovekCameraApp::InitInstance() {
    if (!Start())
        return false;
    recording_result = 0;
    snapshot_result = 1;
    Tovek_WAC_Initialize();
    audio_started_ = true;
    {
        TovekCameraDlg dialog(*this);
        if (window_runner_)
            window_runner_(dialog);
        else
            dialog.exec();
    }
    return false;
}

int TovekCameraApp::ExitInstance() {
    audio_choices.reset();
    if (audio_started_) {
        Tovek_WAC_UnInitialize();
        audio_started_ = false;
    }
    return 0;
}

QIcon TovekCameraApp::ProgramIcon() const {
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
