// The real program, started as a process: what its first start leaves in the
// INI file, and that a second start leaves silently.
#include "platform/profile.h"
#include "platform/system.h"
#include "testsupport/build_bin.h"
#include "testsupport/temp_folder.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits for pid to end, at most timeout; the exit status, or -1 when it is
// still running.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    int status = 0;
    if (!testsupport::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout))
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ProgramProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        const fs::path bin = testsupport::BuildBin();
        // A copy of the program, so its INI file lands in this folder.
        fs::copy_file(bin / "TovekCamera", dir_ / "TovekCamera");
        fs::permissions(dir_ / "TovekCamera", fs::perms::owner_all, fs::perm_options::replace);
        env_ = {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir_.string(),
                "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(), "LD_LIBRARY_PATH=" + bin.string(),
                "PATH=/usr/bin:/bin"};
        // A sanitizer build's program needs the same options (suppressions).
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                env_.push_back(std::string(name) + "=" + value);
    }
    void TearDown() override {
        for (pid_t pid : started_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Starts the program; its output goes to out_<n>.txt.
    pid_t Launch(int n) {
        std::vector<char*> envp;
        for (std::string& e : env_)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string exe = (dir_ / "TovekCamera").string();
        const std::string out = (dir_ / ("out_" + std::to_string(n) + ".txt")).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return -1;
        started_.push_back(pid);
        return pid;
    }
    void Forget(pid_t pid) { std::erase(started_, pid); }

    const testsupport::TempFolder temp_{"TovekCameraRun"};
    const fs::path dir_{temp_.Path()};
    std::vector<std::string> env_;
    std::vector<pid_t> started_;
};

TEST_F(ProgramProcessTest, FirstStartWritesItsSettingsAndASecondStartLeavesSilently) {
    const pid_t first = Launch(1);
    ASSERT_GT(first, 0);
    const fs::path ini = dir_ / "TovekCamera.INI";
    // The window saves its placement once it is shown: start-up is complete.
    // A program that ends before that fails here, with what it printed.
    int exit_status = -1;
    testsupport::WaitUntil(
        [&] {
            return ReadFile(ini).find("WindowPos=") != std::string::npos ||
                   (exit_status = WaitExit(first, std::chrono::milliseconds(50))) != -1;
        },
        std::chrono::seconds(60));
    ASSERT_EQ(exit_status, -1) << ReadFile(dir_ / "out_1.txt");
    const std::string text = ReadFile(ini);
    EXPECT_NE(text.find("[TovekCamera]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MessageBoxString=Lumivue\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ShowLogo=0\n"), std::string::npos) << text;
    // The default 600 x 450 opens at the smallest size the window takes;
    // where the platform puts it is its own business.
    const size_t pos = text.find("WindowPos=");
    ASSERT_NE(pos, std::string::npos) << text;
    int32_t rect[4] = {};
    for (int i = 0; i < 16; ++i) {
        const auto byte =
            static_cast<uint32_t>(std::stoul(text.substr(pos + 10 + i * 2, 2), nullptr, 16));
        rect[i / 4] |= static_cast<int32_t>(byte << (8 * (i % 4)));
    }
    EXPECT_EQ(rect[2] - rect[0], 800) << text;
    EXPECT_EQ(rect[3] - rect[1], 600) << text;
    EXPECT_EQ(text.find("CaptruePath"), std::string::npos) << text; // read, never written here

    const pid_t second = Launch(2);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExit(second, std::chrono::seconds(60)), 0);
    Forget(second);
    EXPECT_EQ(ReadFile(dir_ / "out_2.txt"), "");                    // no window, no message
    EXPECT_EQ(WaitExit(first, std::chrono::milliseconds(200)), -1); // the first one runs on
}

// Whether pid catches signal (its handler is set), from /proc.
bool Catches(pid_t pid, int signal) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("SigCgt:");
    if (at == std::string::npos)
        return false;
    const unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
    return (mask >> (signal - 1) & 1) != 0;
}

// A signal early in start-up, as soon as the program can catch it (long
// before its window shows), ends it the ordinary way: status 0, no control
// socket left.
TEST_F(ProgramProcessTest, ASignalDuringStartUpEndsTheProgramCleanly) {
    env_.push_back("TOVEK_SIMULATE=1");
    int n = 0;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const pid_t pid = Launch(++n);
        ASSERT_GT(pid, 0);
        // Asked often, so the signal comes as early as it can.
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return Catches(pid, signal); }, std::chrono::seconds(20),
            [] { std::this_thread::sleep_for(std::chrono::microseconds(200)); }));
        ASSERT_EQ(0, kill(pid, signal));
        EXPECT_EQ(WaitExit(pid, std::chrono::seconds(60)), 0)
            << ReadFile(dir_ / ("out_" + std::to_string(n) + ".txt"));
        Forget(pid);
        for (const auto& entry : fs::directory_iterator(dir_ / "runtime"))
            EXPECT_EQ(entry.path().filename().string().rfind("tovek-sim-", 0), std::string::npos)
                << entry.path();
    }
}

} // namespace
