#include "settings/OutputFolder.h"

#include "platform/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace output_folder {

namespace {

bool WritableFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

void MakeFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec); // failure shows in the writable test
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string Choose(std::u16string_view base_path, std::string_view leaf) {
    if (base_path.empty() || base_path.size() > kMaxBasePathChars)
        return {};
    const std::string base = WithoutTrailingSeparators(platform::Utf16ToUtf8(base_path));
    MakeFolder(base);
    if (!WritableFolder(base))
        return {};
    const std::string folder = (base == "/" ? std::string() : base) + "/" + std::string(leaf);
    MakeFolder(folder);
    if (!WritableFolder(folder))
        return {};
    return folder + "/";
}

std::string TimeStampedName(const std::tm& local, std::string_view extension) {
    char name[64];
    std::snprintf(name, sizeof name, "%04d.%02d.%02d-%02dH%02dM%02ds.", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name + std::string(extension);
}

std::string UnusedPath(const std::string& folder, const std::tm& local,
                       std::string_view extension) {
    const std::string stem = folder + TimeStampedName(local, "");
    std::string path = stem + std::string(extension);
    struct stat st {};
    for (int n = 2; ::lstat(path.c_str(), &st) == 0; ++n)
        path = stem.substr(0, stem.size() - 1) + "-" + std::to_string(n) + "." +
               std::string(extension);
    return path;
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace output_folder
