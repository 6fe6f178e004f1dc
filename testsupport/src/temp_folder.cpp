#include "testsupport/temp_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    if (std::getenv("TOVEK_KEEP_TEMP") != nullptr) {
        std::fprintf(stderr, "kept: %s\n", path_.c_str());
        return;
    }
    // A test may have taken the write permission from a folder inside, and
    // a thread of the code under test may still be closing a file here (a
    // lock file, a socket): give the permissions back and try again, and
    // never let a failed clean-up end the test run.
    std::error_code ec;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(path_, ec);
        if (!ec || !fs::exists(path_, ec)) {
            return;
        }
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            }
        }
    }
}

} // namespace testsupport
