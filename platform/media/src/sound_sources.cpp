#include "platform/sound_sources.h"

#include "platform/thread_annotations.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

struct AddedSources {
    Mutex mutex;
    std::vector<SoundSource> sources TOVEK_GUARDED_BY(mutex);
};

// Never destroyed: a source may be listed from a thread still running at exit.
AddedSources& Added() {
    static auto* added = new AddedSources;
    return *added;
}

} // namespace

bool AddSoundSource(SoundSource source) {
    if (source.name.empty() || source.create == nullptr) {
        return false;
    }
    AddedSources& added = Added();
    MutexLock lock(added.mutex);
    auto same = std::find_if(added.sources.begin(), added.sources.end(),
                             [&](const SoundSource& s) { return s.name == source.name; });
    if (same != added.sources.end()) {
        *same = std::move(source);
    } else {
        added.sources.push_back(std::move(source));
    }
    return true;
}

std::vector<SoundSource> AddedSoundSources() {
    AddedSources& added = Added();
    MutexLock lock(added.mutex);
    return added.sources;
}

} // namespace platform
