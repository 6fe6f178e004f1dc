#include "capture/OutputStage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <stdlib.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// target with "-<n>" before its extension.
std::string Numbered(const std::string& target, size_t n) {
    const fs::path path(target);
    fs::path name = path.stem();
    name += "-" + std::to_string(n);
    name += path.extension();
    return (path.parent_path() / name).string();
}

} // namespace

OutputStage::~OutputStage() {
    Remove();
}

bool OutputStage::Create(const std::string& target) {
    Remove();
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    std::string parent = fs::path(target).parent_path().string();
    if (parent.empty())
        parent = ".";
    // Hidden, and named so that whoever finds one left by a crash knows it.
    std::string pattern = parent + "/.tovek-stage-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return false;
    target_ = target;
    folder_ = pattern;
    return true;
}

std::vector<std::string> OutputStage::Deliver(const std::string& leaf,
                                              const std::string& extension) {
    std::vector<std::string> written;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_ + "/" + leaf, ec)) {
        if (entry.is_regular_file(ec) && entry.path().extension() == extension)
            written.push_back(entry.path().string());
    }
    // The names carry their time: name order is the order they were written.
    std::sort(written.begin(), written.end());
    std::vector<std::string> delivered;
    for (size_t i = 0; i < written.size(); ++i) {
        const std::string to = i == 0 ? target_ : Numbered(target_, i + 1);
        if (std::rename(written[i].c_str(), to.c_str()) != 0) {
            const int error = errno;
            Remove();
            errno = error;
            return {};
        }
        delivered.push_back(to);
    }
    if (delivered.empty())
        errno = ENOENT;
    return delivered;
}

void OutputStage::Remove() {
    if (folder_.empty())
        return;
    std::error_code ec;
    fs::remove_all(folder_, ec);
    folder_.clear();
}
