#include "capture/GalleryList.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace fs = std::filesystem;

namespace gallery {
namespace {

bool IsJpegName(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".jpg" || ext == ".jpeg";
}

int64_t ModifiedNs(const fs::path& path) {
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(path, error);
    if (error)
        return 0;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

bool NewerFirst(const Entry& a, const Entry& b) {
    return a.time_ns != b.time_ns ? a.time_ns > b.time_ns : a.path > b.path;
}

} // namespace

std::vector<Entry> ListFolder(const std::string& folder) {
    std::vector<Entry> entries;
    std::error_code error;
    fs::directory_iterator it(fs::path(folder), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code type_error;
        if (!it->is_regular_file(type_error) || !IsJpegName(it->path()))
            continue;
        entries.push_back({it->path().lexically_normal().string(), ModifiedNs(it->path()), false});
    }
    std::sort(entries.begin(), entries.end(), NewerFirst);
    return entries;
}

} // namespace gallery

void GalleryList::SetFolder(const std::string& folder) {
    folder_ = folder;
    folder_entries_ = folder.empty() ? std::vector<gallery::Entry>() : gallery::ListFolder(folder);
    Merge();
}

void GalleryList::AddSnapshot(const std::string& written) {
    // As the folder's listing spells it, so one file shows once.
    const std::string path = fs::path(written).lexically_normal().string();
    snapshots_.erase(std::remove_if(snapshots_.begin(), snapshots_.end(),
                                    [&](const gallery::Entry& e) { return e.path == path; }),
                     snapshots_.end());
    snapshots_.insert(snapshots_.begin(), {path, gallery::ModifiedNs(fs::path(path)), true});
    Merge();
}

void GalleryList::Remove(const std::string& path) {
    const auto same = [&](const gallery::Entry& e) { return e.path == path; };
    snapshots_.erase(std::remove_if(snapshots_.begin(), snapshots_.end(), same), snapshots_.end());
    folder_entries_.erase(std::remove_if(folder_entries_.begin(), folder_entries_.end(), same),
                          folder_entries_.end());
    chosen_.erase(std::remove(chosen_.begin(), chosen_.end(), path), chosen_.end());
    Merge();
}

int GalleryList::Find(const std::string& path) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].path == path)
            return static_cast<int>(i);
    return -1;
}

void GalleryList::SetChosen(const std::vector<std::string>& paths) {
    chosen_.clear();
    for (const std::string& path : paths)
        if (Find(path) >= 0 && std::find(chosen_.begin(), chosen_.end(), path) == chosen_.end())
            chosen_.push_back(path);
}

std::vector<std::string> GalleryList::ChosenInTimeOrder() const {
    std::vector<gallery::Entry> chosen;
    for (const std::string& path : chosen_)
        chosen.push_back(entries_[static_cast<size_t>(Find(path))]);
    std::sort(chosen.begin(), chosen.end(), [](const gallery::Entry& a, const gallery::Entry& b) {
        return a.time_ns != b.time_ns ? a.time_ns < b.time_ns : a.path < b.path;
    });
    std::vector<std::string> paths;
    for (const gallery::Entry& entry : chosen)
        paths.push_back(entry.path);
    return paths;
}

void GalleryList::Merge() {
    entries_ = snapshots_;
    std::unordered_set<std::string> taken;
    for (const gallery::Entry& e : snapshots_)
        taken.insert(e.path);
    for (const gallery::Entry& e : folder_entries_)
        if (taken.count(e.path) == 0)
            entries_.push_back(e);
    // A choice of a picture no longer listed goes.
    chosen_.erase(std::remove_if(chosen_.begin(), chosen_.end(),
                                 [&](const std::string& p) { return Find(p) < 0; }),
                  chosen_.end());
}
