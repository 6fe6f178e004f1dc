#include "record/RecordingRepair.h"

#include "platform/avi_repair.h"
#include "platform/system.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <regex>

namespace record {

std::vector<std::string> RecordingNames(const std::string& folder) {
    static const std::regex kName(R"(\d{4}\.\d{2}\.\d{2}-\d{2}H\d{2}M\d{2}s\.avi)");
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::regex_match(entry->d_name, kName))
            names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RepairUnfinishedRecordings(std::u16string_view record_path) {
    std::string base = platform::Utf16ToUtf8(std::u16string(record_path));
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty())
        return {};
    const std::string folder = base + "/Videos/";
    int repaired = 0;
    std::string first;
    uint32_t first_frames = 0;
    std::string failed;
    for (const std::string& name : RecordingNames(folder)) {
        const std::string path = folder + name;
        AviRepairReport report;
        const HRESULT hr = AVIFileRepairA(path.c_str(), &report);
        if (hr == AVIERR_FILEOPEN || hr == AVIERR_FILEWRITE) {
            if (failed.empty())
                failed = path;
            continue;
        }
        if (hr != AVIERR_OK || report.repaired == 0)
            continue;
        if (repaired++ == 0) {
            first = path;
            first_frames = report.video_frames;
        }
    }
    std::string text;
    if (repaired == 1) {
        text = "Repaired the unfinished recording " + first + ": " + std::to_string(first_frames) +
               " frames kept";
    } else if (repaired > 1) {
        text = "Repaired " + std::to_string(repaired) + " unfinished recordings in " + folder;
    }
    if (!failed.empty())
        text += (text.empty() ? "" : "; ") + ("Could not repair " + failed);
    return text;
}

} // namespace record
