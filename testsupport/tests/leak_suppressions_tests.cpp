#include "testsupport/leak_suppressions.h"

#include <gtest/gtest.h>

#include <string>

// What a test helper adds, as the AVI readers do.
extern "C" const char* tovek_test_leak_suppressions() {
    return "leak:libhelper.so\n";
}

// The hook LeakSanitizer calls; the shared suppressions define it.
extern "C" const char* __lsan_default_suppressions();

namespace {

TEST(LeakSuppressions, AHelpersLinesJoinTheSharedOnes) {
    const std::string all = __lsan_default_suppressions();
    EXPECT_EQ(0u, all.find("leak:_dl_init\n")) << all;
    EXPECT_TRUE(all.ends_with("\nleak:libhelper.so\n")) << all;
}

} // namespace
