// What the gallery lists and in which order: this session's snapshots first,
// newest first, then the pictures already in the images folder, newest
// first. A snapshot the folder also holds shows once, among the snapshots.
// The pictures chosen for comparing (and for whatever takes the chosen ones
// further) are kept here too. Qt-free; one thread (the user-interface
// thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gallery {

struct Entry {
    std::string path;      // UTF-8
    int64_t time_ns = 0;   // the file's modification time
    bool snapshot = false; // taken in this session
};

// The JPEG files (".jpg" or ".jpeg", any case) directly in folder, newest
// first (by modification time, then by name); empty when the folder cannot
// be read.
std::vector<Entry> ListFolder(const std::string& folder);

} // namespace gallery

class GalleryList {
public:
    // Reads folder (the images folder; may be missing) again.
    void SetFolder(const std::string& folder);
    const std::string& Folder() const { return folder_; }
    void Reload() { SetFolder(folder_); }

    // A snapshot saved at path: first in the list from now on.
    void AddSnapshot(const std::string& path);
    // The file at path is gone (deleted): out of the list and the choice.
    void Remove(const std::string& path);

    const std::vector<gallery::Entry>& Entries() const { return entries_; }
    // The row of path, or -1.
    int Find(const std::string& path) const;

    // The chosen pictures (paths of the list; others are left out).
    void SetChosen(const std::vector<std::string>& paths);
    // The chosen paths, oldest first; empty when none is chosen.
    std::vector<std::string> ChosenInTimeOrder() const;

private:
    void Merge();

    std::string folder_;
    std::vector<gallery::Entry> snapshots_; // newest first
    std::vector<gallery::Entry> folder_entries_;
    std::vector<gallery::Entry> entries_;
    std::vector<std::string> chosen_;
};
