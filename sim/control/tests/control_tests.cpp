// The control channel: command lines, the socket of a process, and the
// tovek-sim tool talking to it.
#include "sim/control.h"
#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sim {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

class SimControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisterSimCommand("thing", [this](bool plug) { (plug ? plugs_ : pulls_)++; }));
    }
    void TearDown() override {
        StopSimControl();
        UnregisterSimCommand("thing");
    }

    // Runs tovek-sim, built next to this test, with arguments; its exit code.
    static int Tool(const std::string& arguments) {
        char self[PATH_MAX] = {};
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string exe(self, n > 0 ? static_cast<size_t>(n) : 0);
        std::string command =
            exe.substr(0, exe.rfind('/')) + "/tovek-sim " + arguments + " >/dev/null 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const testsupport::TempFolder temp_{"tovek-sim-test"};
    const std::string folder_ = temp_.Path().string();
    const testsupport::ScopedEnv runtime_{"XDG_RUNTIME_DIR", folder_};
    std::atomic<int> plugs_{0};
    std::atomic<int> pulls_{0};
};

TEST_F(SimControl, ExecutesPlugPullAndListLines) {
    EXPECT_EQ(ExecuteSimCommand("plug thing"), "ok");
    EXPECT_EQ(ExecuteSimCommand("  pull   thing\n"), "ok");
    EXPECT_EQ(plugs_.load(), 1);
    EXPECT_EQ(pulls_.load(), 1);
    EXPECT_EQ(ExecuteSimCommand("plug nothing"), "error: no emulated device named nothing");
    EXPECT_EQ(ExecuteSimCommand("jump thing").rfind("error: unknown command", 0), 0u);
    EXPECT_EQ(ExecuteSimCommand("plug").rfind("error:", 0), 0u);
    EXPECT_EQ(ExecuteSimCommand(std::string(1000, 'x')).rfind("error:", 0), 0u);
    ASSERT_TRUE(RegisterSimCommand("other", [](bool) { throw std::runtime_error("broken"); }));
    EXPECT_EQ(ExecuteSimCommand("list"), "other thing");
    EXPECT_EQ(ExecuteSimCommand("plug other"), "error: broken");
    UnregisterSimCommand("other");
    EXPECT_EQ(ExecuteSimCommand("list"), "thing");
}

// "VERB ARG" runs the action registered as VERB with ARG; plug, pull and
// list keep their meaning and cannot be taken.
TEST_F(SimControl, ExecutesActions) {
    std::string seen;
    ASSERT_TRUE(RegisterSimAction("scene", [&seen](const std::string& what) {
        seen = what;
        return what == "desk" ? std::string("ok") : "error: no scene " + what;
    }));
    EXPECT_EQ(ExecuteSimCommand("scene desk"), "ok");
    EXPECT_EQ(seen, "desk");
    EXPECT_EQ(ExecuteSimCommand("scene moon"), "error: no scene moon");
    EXPECT_EQ(ExecuteSimCommand("scene").rfind("error: unknown command", 0), 0u);
    EXPECT_EQ(ExecuteSimCommand("plug thing"), "ok") << "plug is not an action";
    for (const char* verb : {"plug", "pull", "list", "Bad"}) {
        EXPECT_FALSE(RegisterSimAction(verb, [](const std::string&) { return "ok"; })) << verb;
    }
}

TEST_F(SimControl, RefusesBadNames) {
    for (const char* name : {"", "Q5", "two words", "q5/../x"}) {
        EXPECT_FALSE(RegisterSimCommand(name, [](bool) {})) << name;
    }
    EXPECT_FALSE(RegisterSimCommand(std::string(33, 'a'), [](bool) {}));
    EXPECT_FALSE(RegisterSimCommand("fine", nullptr));
    EXPECT_TRUE(RegisterSimCommand(std::string(32, 'a'), [](bool) {}));
    UnregisterSimCommand(std::string(32, 'a'));
}

TEST_F(SimControl, SocketOfThisProcessAnswersAndIsRemovedOnStop) {
    std::string path = SimControlSocketPath();
    EXPECT_EQ(path, folder_ + "/tovek-sim-" + std::to_string(getpid()) + ".sock");
    EXPECT_TRUE(Exists(path));
    std::vector<SimCommandReply> replies = SendSimCommand("plug thing", getpid(), 10000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0].answered);
    EXPECT_EQ(replies[0].reply, "ok");
    EXPECT_EQ(plugs_.load(), 1);

    StopSimControl();
    EXPECT_FALSE(Exists(path));
    EXPECT_TRUE(SimControlSocketPath().empty());
    EXPECT_TRUE(SendSimCommand("plug thing", getpid(), 100).empty());
    ASSERT_TRUE(RegisterSimCommand("thing", [this](bool plug) { (plug ? plugs_ : pulls_)++; }));
    EXPECT_TRUE(Exists(path)) << "a registration starts listening again";
}

TEST_F(SimControl, SocketLeftByAnEndedProcessIsRemoved) {
    pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    std::string stale = folder_ + "/tovek-sim-" + std::to_string(child) + ".sock";
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", stale.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    ASSERT_TRUE(Exists(stale));

    std::vector<SimCommandReply> replies = SendSimCommand("plug thing", child, 1000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_FALSE(replies[0].answered);
    EXPECT_FALSE(Exists(stale));
}

TEST_F(SimControl, ToolPlugsAndPullsInTheProcessNamed) {
    std::string pid = std::to_string(getpid());
    EXPECT_EQ(Tool("--pid " + pid + " plug thing"), 0);
    EXPECT_EQ(Tool("--pid " + pid + " pull thing"), 0);
    EXPECT_EQ(plugs_.load(), 1);
    EXPECT_EQ(pulls_.load(), 1);
    EXPECT_EQ(Tool("--pid " + pid + " plug nothing"), 1) << "the program said no";
    EXPECT_EQ(Tool("--pid " + pid + " list"), 0);
    EXPECT_EQ(Tool(""), 2);
    EXPECT_EQ(Tool("--pid x plug thing"), 2);
    StopSimControl();
    EXPECT_EQ(Tool("--pid " + pid + " plug thing"), 1) << "nobody listens";
    EXPECT_EQ(plugs_.load(), 1);
}

} // namespace
} // namespace sim
