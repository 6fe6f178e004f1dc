// A new, empty folder of one test under the temporary folder (TMPDIR, else
// /tmp), removed with all it holds when the object goes. Set TOVEK_KEEP_TEMP
// to keep the folders for a look at a failing case.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class TempFolder {
public:
    // Named prefix-XXXXXX; throws std::system_error when no folder can be
    // made (the test then fails at that line).
    explicit TempFolder(const std::string& prefix = "tovek");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of name inside, as a string for the C interfaces under test.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace testsupport
