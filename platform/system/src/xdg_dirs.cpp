#include "xdg_dirs.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace platform::xdg {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
    const char* env = std::getenv("HOME");
    std::string home = (env && *env) ? std::string(env) : std::string("/tmp");
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

std::string InHome(const std::string& leaf) {
    const std::string home = HomeFolder();
    return (home == "/" ? home : home + "/") + leaf;
}

std::string ConfigHome() {
    // The base-directory rules ignore a relative value.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return config;
    return InHome(".config");
}

// A line of user-dirs.dirs reads KEY="$HOME/Folder" or KEY="/abs/folder".
std::string UserDir(const std::string& key) {
    std::ifstream in(ConfigHome() + "/user-dirs.dirs");
    const std::string prefix = key + "=";
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = HomeFolder() + value.substr(5);
        return !value.empty() && value.front() == '/' ? value : std::string();
    }
    return {};
}

} // namespace platform::xdg
