// OutputStage: a private folder beside a file the caller names, in which
// the snapshot and recorder code write their time-stamped files as they
// always do; Deliver then moves what they wrote to the named file in one
// rename (same file system), so a reader never sees a half-written file
// under that name. The folder goes away with the object. Qt-free.
#pragma once

#include <string>
#include <vector>

class OutputStage {
public:
    OutputStage() = default;
    ~OutputStage();
    OutputStage(const OutputStage&) = delete;
    OutputStage& operator=(const OutputStage&) = delete;

    // Makes the folder beside target (UTF-8). False with errno set when
    // target's folder cannot take a file, or target is a folder.
    bool Create(const std::string& target);
    // The folder, without a trailing '/'; empty before Create.
    const std::string& Folder() const { return folder_; }

    // Moves the files of subfolder leaf ("Images", "Videos") with
    // extension (".jpg") to the target, in name order: the first becomes
    // the target, each further one "<target stem>-2<extension>", "-3", ...
    // The paths now holding them, in order; empty with errno set when there
    // was none or a move failed (the files not moved are removed with the
    // folder).
    std::vector<std::string> Deliver(const std::string& leaf, const std::string& extension);

    // Removes the folder and whatever is left in it. Safe to call twice.
    void Remove();

private:
    std::string target_;
    std::string folder_;
};
