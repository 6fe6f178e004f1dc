#include "platform/system.h"
#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

using testsupport::ScopedEnv;
using testsupport::TempFolder;

TEST(Files, ProgramFolderHoldsTheTestItself) {
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ('/', folder.back());
    EXPECT_EQ(folder, ProgramPath().substr(0, folder.size()));
    EXPECT_TRUE(fs::exists(ProgramPath()));
}

TEST(Files, DocumentsFolderFollowsUserDirsThenFallsBack) {
    const TempFolder folder("tovek_system_home");
    const fs::path home = folder.Path();
    ScopedEnv h("HOME", home.string());
    ScopedEnv c("XDG_CONFIG_HOME", (home / "config").string());
    EXPECT_EQ(home.string(), DocumentsFolder()); // nothing there: home itself

    fs::create_directories(home / "Documents");
    EXPECT_EQ((home / "Documents").string(), DocumentsFolder());

    fs::create_directories(home / "config");
    fs::create_directories(home / "Papers");
    std::ofstream(home / "config" / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    EXPECT_EQ((home / "Papers").string(), DocumentsFolder());
}

TEST(Files, FreeBytesIsMeasuredOrReplaced) {
    uint64_t free_bytes = 0;
    EXPECT_TRUE(GetFreeBytes("/", &free_bytes));
    EXPECT_GT(free_bytes, 0u);
    EXPECT_FALSE(GetFreeBytes("/no/such/folder", &free_bytes));

    SetFreeBytesFunction([](const std::string&, uint64_t* out) {
        *out = 49u << 20;
        return true;
    });
    EXPECT_TRUE(GetFreeBytes("/no/such/folder", &free_bytes));
    EXPECT_EQ(49u << 20, free_bytes);
    SetFreeBytesFunction(nullptr);
    EXPECT_FALSE(GetFreeBytes("/no/such/folder", &free_bytes));
}

TEST(Files, SecondInstanceIsRefusedUntilTheFirstEnds) {
    const TempFolder folder("tovek_system_runtime");
    const fs::path runtime = folder.Path();
    ScopedEnv r("XDG_RUNTIME_DIR", runtime.string());
    {
        InstanceLock first;
        ASSERT_TRUE(first.Acquire("TovekCameraTest"));
        // Another process is what the rule is about: flock locks are per open file.
        pid_t child = fork();
        if (child == 0) {
            InstanceLock second;
            _exit(second.Acquire("TovekCameraTest") ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(1, WEXITSTATUS(status));
    }
    pid_t child = fork();
    if (child == 0) {
        InstanceLock again;
        _exit(again.Acquire("TovekCameraTest") ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(Files, BeepCanBeReplaced) {
    static uint32_t last_hz = 0;
    SetBeepFunction([](uint32_t hz, uint32_t) { last_hz = hz; });
    Beep(750, 300);
    EXPECT_EQ(750u, last_hz);
    SetBeepFunction(nullptr);
}
