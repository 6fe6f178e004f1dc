#include "capture/SessionCaptures.h"

#include <algorithm>

void SessionCaptures::Add(const snapshot::Outcome& outcome) {
    if (outcome.result != snapshot::kSaved || outcome.path.empty())
        return;
    if (std::find(paths_.begin(), paths_.end(), outcome.path) == paths_.end())
        paths_.push_back(outcome.path);
}
