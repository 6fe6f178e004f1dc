#include "platform/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <limits.h>

namespace platform {
namespace {
std::atomic<FreeBytesFn> g_free_bytes_fn{nullptr};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return (home && *home) ? std::string(home) : std::string("/tmp");
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Docs".
std::string DocumentsFromUserDirs(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file = (config && *config) ? std::string(config) : home + "/.config";
    std::ifstream in(file + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.compare(0, 5, "$HOME") == 0) {
            value = home + value.substr(5);
        }
        return value;
    }
    return {};
}
} // namespace

std::string ProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string DocumentsFolder() {
    std::string home = HomeFolder();
    std::string docs = DocumentsFromUserDirs(home);
    if (IsDirectory(docs)) {
        return docs;
    }
    if (IsDirectory(home + "/Documents")) {
        return home + "/Documents";
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

bool GetFreeBytes(const std::string& folder, uint64_t* free_bytes) {
    if (FreeBytesFn fn = g_free_bytes_fn.load()) {
        return fn(folder, free_bytes);
    }
    struct statvfs st {};
    if (free_bytes == nullptr || statvfs(folder.c_str(), &st) != 0) {
        return false;
    }
    *free_bytes = static_cast<uint64_t>(st.f_bfree) * st.f_frsize;
    return true;
}

void SetFreeBytesFunction(FreeBytesFn fn) {
    g_free_bytes_fn.store(fn);
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool InstanceLock::Acquire(const std::string& name) {
    if (fd_ >= 0) {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = "/tmp";
    if (runtime && IsDirectory(runtime)) {
        folder = runtime;
    } else if (tmp && IsDirectory(tmp)) {
        folder = tmp;
    }
    std::string path = folder + "/" + name + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file the rule cannot be enforced; let this one run.
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

} // namespace platform
