#include "platform/system.h"

#include "xdg_dirs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <limits.h>

namespace platform {
namespace {
std::atomic<FreeBytesFn> g_free_bytes_fn{nullptr};
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
    const std::string home = xdg::HomeFolder();
    const std::string docs = xdg::UserDir("XDG_DOCUMENTS_DIR");
    if (xdg::IsDirectory(docs)) {
        return docs;
    }
    if (xdg::IsDirectory(xdg::InHome("Documents"))) {
        return xdg::InHome("Documents");
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
    if (runtime && xdg::IsDirectory(runtime)) {
        folder = runtime;
    } else if (tmp && xdg::IsDirectory(tmp)) {
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
