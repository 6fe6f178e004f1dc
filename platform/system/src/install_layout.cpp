#include "platform/install_layout.h"

#include "platform/system.h"
#include "xdg_dirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace platform {
namespace {

bool HoldsProgramData(const std::string& folder) {
    struct stat st {};
    return stat((folder + kProgramDataMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "<prefix>/share/tovekcamera/" for a program folder "<prefix>/bin/"; empty
// when the program does not lie in a folder named bin.
std::string ShareFolderOf(const std::string& program_folder) {
    const std::string bin = "/bin/";
    if (program_folder.size() < bin.size() ||
        program_folder.compare(program_folder.size() - bin.size(), bin.size(), bin) != 0)
        return {};
    const std::string prefix = program_folder.substr(0, program_folder.size() - bin.size() + 1);
    return prefix + "share/" + kShareFolderName + "/";
}

// An XDG user folder, else $HOME/<fallback> (where xdg-user-dirs would put
// it); the output code creates it on first use.
std::string UserFolder(const char* key, const char* fallback) {
    std::string folder = xdg::UserDir(key);
    if (folder.empty())
        folder = xdg::InHome(fallback);
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

} // namespace

InstallLayout DecideInstallLayout(const std::string& exe_path, const std::string& app_name) {
    const size_t slash = exe_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : exe_path.substr(0, slash + 1);
    return DecideInstallLayout(exe_path, app_name, access(folder.c_str(), W_OK) == 0);
}

InstallLayout DecideInstallLayout(const std::string& exe_path, const std::string& app_name,
                                  bool program_folder_writable) {
    InstallLayout layout;
    const size_t slash = exe_path.rfind('/');
    layout.program_folder = slash == std::string::npos ? "./" : exe_path.substr(0, slash + 1);
    const std::string& program = layout.program_folder;

    const bool data_beside = HoldsProgramData(program);
    const std::string share = ShareFolderOf(program);
    const bool data_in_share = !data_beside && !share.empty() && HoldsProgramData(share);
    // Root may write everywhere: root running an installed program still gets
    // the installed layout through the share folder.
    layout.installed = data_in_share || !program_folder_writable;

    layout.data_folder = data_in_share ? share : program;
    if (!layout.installed) {
        layout.settings_folder = program;
        layout.pictures_folder = program;
        layout.videos_folder = program;
        return layout;
    }
    layout.settings_folder = xdg::ConfigHome() + "/" + app_name + "/";
    layout.pictures_folder = UserFolder("XDG_PICTURES_DIR", "Pictures");
    layout.videos_folder = UserFolder("XDG_VIDEOS_DIR", "Videos");
    return layout;
}

const InstallLayout& ProgramLayout() {
    static const InstallLayout layout = [] {
        const std::string exe = ProgramPath();
        std::string name = exe.substr(exe.rfind('/') + 1);
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
        return DecideInstallLayout(exe, name);
    }();
    return layout;
}

std::string DataFolder() {
    return ProgramLayout().data_folder;
}

bool MakeSettingsFolder(const InstallLayout& layout) {
    if (!layout.installed)
        return xdg::IsDirectory(layout.settings_folder);
    std::error_code ec;
    std::filesystem::create_directories(layout.settings_folder, ec);
    return xdg::IsDirectory(layout.settings_folder);
}

} // namespace platform
