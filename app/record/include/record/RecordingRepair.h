// At start-up: finishes the recordings a crash, a kill or a power loss left
// unfinished in the videos folder (platform/avi_repair.h), so each plays up
// to its last whole frame.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace record {

// Repairs every unfinished AVI file named as the recorder names its files
// ("YYYY.MM.DD-HHhMMmSSs.avi") in "<record_path>/Videos/"; other files are
// left alone, and so are files the repair cannot understand. Returns the
// text for the status pane, empty when there was nothing to repair:
//   "Repaired the unfinished recording <path>: <n> frames kept"
//   "Repaired <k> unfinished recordings in <folder>"
// followed, when a repair failed (a full disk, no write access), by
//   "Could not repair <path>" (the first such file).
// Any thread; blocks while it reads and writes the files.
std::string RepairUnfinishedRecordings(std::u16string_view record_path);

// The names of that folder the recorder could have made, sorted.
std::vector<std::string> RecordingNames(const std::string& folder);

} // namespace record
