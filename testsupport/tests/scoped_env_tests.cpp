#include "testsupport/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

constexpr const char* kName = "TOVEK_TESTSUPPORT_ENV";

std::optional<std::string> Get() {
    const char* value = std::getenv(kName);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Put(const std::optional<std::string>& value) {
    value ? setenv(kName, value->c_str(), 1) : unsetenv(kName);
}

// Unset and empty are different settings to the code under test: each is set
// and put back as it was, whatever was there before.
TEST(ScopedEnv, SetsOrUnsetsThenPutsBackExactlyWhatWasThere) {
    const std::optional<std::string> settings[] = {std::nullopt, "", "old"};
    for (const auto& before : settings) {
        for (const auto& during : settings) {
            SCOPED_TRACE(std::string("before ") + before.value_or("(unset)") + ", during " +
                         during.value_or("(unset)"));
            Put(before);
            {
                testsupport::ScopedEnv env(kName, during ? during->c_str() : nullptr);
                EXPECT_EQ(during, Get());
            }
            EXPECT_EQ(before, Get());
        }
    }
    unsetenv(kName);
}

TEST(ScopedEnv, NestedOnesUnwindInTurn) {
    unsetenv(kName);
    {
        testsupport::ScopedEnv outer(kName, std::string("outer"));
        {
            testsupport::ScopedEnv inner(kName, nullptr);
            EXPECT_EQ(std::nullopt, Get());
        }
        EXPECT_EQ("outer", Get());
    }
    EXPECT_EQ(std::nullopt, Get());
}

} // namespace
