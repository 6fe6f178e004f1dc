// The sound sources a program adds: kept in the order added, a second one of
// the same name taking the first one's place, nothing half made.
#include "platform/sound_sources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::AddedSoundSources;
using platform::AddSoundSource;
using platform::SoundSource;

int g_other_calls = 0;

GstElement* MakeNothing(const char*) {
    return nullptr;
}
GstElement* MakeOther(const char*) {
    ++g_other_calls;
    return nullptr;
}

std::vector<std::string> Listed() {
    std::vector<std::string> listed;
    for (const SoundSource& source : AddedSoundSources()) {
        listed.push_back(source.name + "/" + source.identity);
    }
    return listed;
}

TEST(SoundSources, OrderAddedSameNameReplacesInPlaceIncompleteRefused) {
    EXPECT_TRUE(Listed().empty()) << "none until a program adds one";
    struct Step {
        SoundSource source;
        bool added;
        std::vector<std::string> listed;
    };
    const Step steps[] = {
        {{"Mic", "a", MakeNothing}, true, {"Mic/a"}},
        {{"Line", "b", MakeNothing}, true, {"Mic/a", "Line/b"}},
        {{"Mic", "c", MakeOther}, true, {"Mic/c", "Line/b"}},
        {{"", "d", MakeNothing}, false, {"Mic/c", "Line/b"}},
        {{"Tone", "e", nullptr}, false, {"Mic/c", "Line/b"}},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(step.added, AddSoundSource(step.source)) << step.source.name;
        EXPECT_EQ(step.listed, Listed()) << step.source.name;
    }
    AddedSoundSources()[0].create("mic");
    EXPECT_EQ(g_other_calls, 1) << "the replacement's factory makes the element";
}

} // namespace
