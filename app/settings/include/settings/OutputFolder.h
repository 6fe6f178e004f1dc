// The folders and file names of the program's output: snapshots go to
// "<capture path>/Images/", recordings to "<record path>/Videos/", each file
// named after the local date and time. Snapshot and recorder choose their
// folder by the same rule.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace output_folder {

// Longer base paths (UTF-16 units) are not used: cutting one would name
// another folder.
inline constexpr size_t kMaxBasePathChars = 1024;

// "<base_path>/<leaf>/" for base_path (UTF-16, as in the settings), creating
// the base folder and the leaf folder as needed. Empty when the base path is
// empty, too long, or cannot be made a writable folder: the root of the file
// system is no place for the program's files.
std::string Choose(std::u16string_view base_path, std::string_view leaf);

// "%04d.%02d.%02d-%02dH%02dM%02ds.<extension>" of local.
std::string TimeStampedName(const std::tm& local, std::string_view extension);

// folder + the time-stamped name of local, or, when that file exists, the
// same name with "-2", "-3", ... before the extension: a series of files
// made within one second keeps every one of them.
std::string UnusedPath(const std::string& folder, const std::tm& local, std::string_view extension);
// The local date and time now.
std::tm LocalNow();

} // namespace output_folder
