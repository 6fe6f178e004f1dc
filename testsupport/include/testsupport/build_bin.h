#pragma once

#include <cstdlib>
#include <filesystem>

namespace testsupport {

// The build's bin folder: ctest names it; a test executable started by hand
// lives in it.
inline std::filesystem::path BuildBin() {
    if (const char* build = std::getenv("TOVEK_BUILD_DIR"))
        return std::filesystem::path(build) / "bin";
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

} // namespace testsupport
