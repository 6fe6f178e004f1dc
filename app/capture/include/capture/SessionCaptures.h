// The snapshots this run of the program saved, in the order they were taken:
// what File > Export to PDF takes when no capture is chosen. Fed with each
// snapshot outcome as it reaches the window; a picture of the same second,
// saved again under its name, counts once. Files deleted since stay listed
// and are left out by the export. User-interface thread only.
#pragma once

#include "capture/Snapshot.h"

#include <string>
#include <vector>

class SessionCaptures {
public:
    void Add(const snapshot::Outcome& outcome);
    bool Empty() const { return paths_.empty(); }
    const std::vector<std::string>& Paths() const { return paths_; }

private:
    std::vector<std::string> paths_;
};
