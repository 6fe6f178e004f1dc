// The remote channel's line protocol, its socket path, the second start's
// client against a stand-in of the running program, and the folder headless
// output is staged in.
#include "capture/OutputStage.h"
#include "remote/RemoteProtocol.h"

#include "platform/system.h"

#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using cli::RemoteCommand;
using cli::Verb;

namespace {

TEST(RemoteProtocolTest, EveryCommandCrossesTheLineUnchanged) {
    const RemoteCommand commands[] = {
        {Verb::kCapture, 0},  {Verb::kRecordStart, 0}, {Verb::kRecordStop, 0},
        {Verb::kPlay, 0},     {Verb::kStop, 0},        {Verb::kFullScreen, 0},
        {Verb::kZoomMode, 1}, {Verb::kZoomMode, 5},    {Verb::kFreeze, 0},
    };
    for (const RemoteCommand& command : commands) {
        const std::string line = remote::FormatRequest(command);
        ASSERT_EQ(line.back(), '\n');
        RemoteCommand parsed{Verb::kStop, 3};
        ASSERT_TRUE(remote::ParseRequest(line.substr(0, line.size() - 1), &parsed)) << line;
        EXPECT_EQ(parsed, command) << line;
    }
    EXPECT_EQ(remote::FormatRequest({Verb::kZoomMode, 3}), "zoom-mode 3\n");
    EXPECT_EQ(remote::FormatRequest({Verb::kRecordStart, 0}), "record-start\n");
}

TEST(RemoteProtocolTest, RefusesLinesThatNameNoCommand) {
    for (const char* line : {"", "capture ", " capture", "Capture", "--capture", "capture 1",
                             "zoom-mode", "zoom-mode ", "zoom-mode 0", "zoom-mode 6",
                             "zoom-mode 12", "zoom-mode  3", "zoom-mode x", "exit", "record"}) {
        RemoteCommand command;
        EXPECT_FALSE(remote::ParseRequest(line, &command)) << '"' << line << '"';
    }
}

TEST(RemoteProtocolTest, RepliesCrossTheLineUnchanged) {
    for (remote::Reply reply : {remote::Reply::kOk, remote::Reply::kDisabled, remote::Reply::kBusy,
                                remote::Reply::kUnknown}) {
        const std::string line = remote::FormatReply(reply);
        remote::Reply parsed = remote::Reply::kUnknown;
        ASSERT_TRUE(remote::ParseReply(line.substr(0, line.size() - 1), &parsed)) << line;
        EXPECT_EQ(parsed, reply);
    }
    remote::Reply parsed;
    EXPECT_FALSE(remote::ParseReply("OK", &parsed));
    EXPECT_FALSE(remote::ParseReply("", &parsed));
}

TEST(RemoteProtocolTest, AnOkCarriesItsNoteWhenItFitsTheLine) {
    const std::string url = "http://192.168.1.20:41234/0123456789abcdef0123456789abcdef/";
    struct Case {
        remote::Reply reply;
        std::string note;
        std::string line; // without its end
        std::string parsed_note;
    } cases[] = {
        {remote::Reply::kOk, url, "ok " + url, url},
        {remote::Reply::kOk, "", "ok", ""},
        // Only an ok says what it did; a note that would break the line or
        // pass its limit is left out.
        {remote::Reply::kDisabled, url, "disabled", ""},
        {remote::Reply::kOk, "two\nlines", "ok", ""},
        {remote::Reply::kOk, std::string(remote::kMaxLineBytes, 'a'), "ok", ""},
    };
    for (const Case& c : cases) {
        const std::string line = remote::FormatReply(c.reply, c.note);
        EXPECT_EQ(line, c.line + "\n");
        remote::Reply parsed = remote::Reply::kUnknown;
        std::string note = "stale";
        ASSERT_TRUE(remote::ParseReply(c.line, &parsed, &note)) << c.line;
        EXPECT_EQ(parsed, c.reply);
        EXPECT_EQ(note, c.parsed_note);
    }
    remote::Reply parsed;
    EXPECT_FALSE(remote::ParseReply("busy now", &parsed));
    EXPECT_FALSE(remote::ParseReply("ok ", &parsed));
}

TEST(RemoteProtocolTest, LineReaderSplitsAStreamFedInPieces) {
    remote::LineReader reader;
    std::string line;
    reader.Feed("capt");
    EXPECT_FALSE(reader.Next(&line));
    reader.Feed("ure\r\nzoom-mode 2\nst");
    ASSERT_TRUE(reader.Next(&line));
    EXPECT_EQ(line, "capture");
    ASSERT_TRUE(reader.Next(&line));
    EXPECT_EQ(line, "zoom-mode 2");
    EXPECT_FALSE(reader.Next(&line));
    reader.Feed("op\n\n");
    ASSERT_TRUE(reader.Next(&line));
    EXPECT_EQ(line, "stop");
    ASSERT_TRUE(reader.Next(&line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(reader.Overflowed());
}

TEST(RemoteProtocolTest, LineReaderStopsAtAnOverlongLine) {
    const std::string longest(remote::kMaxLineBytes, 'a');
    struct Case {
        std::string bytes;
        bool overflows;
    };
    const Case cases[] = {
        {longest + "\n", false},          {longest + "\r\n", false}, {longest + "a\n", true},
        {longest + "aa", true}, // no end in sight: refused before it arrives
        {std::string(100000, 'a'), true},
    };
    for (const Case& c : cases) {
        remote::LineReader reader;
        reader.Feed(c.bytes);
        std::string line;
        EXPECT_EQ(reader.Next(&line), !c.overflows) << c.bytes.size();
        EXPECT_EQ(reader.Overflowed(), c.overflows) << c.bytes.size();
        reader.Feed("capture\n");
        EXPECT_EQ(reader.Next(&line), !c.overflows) << "taken after an overflow";
    }
}

using testsupport::ScopedEnv;

class RemoteFolderTest : public ::testing::Test {
protected:
    const testsupport::TempFolder folder_{"tovek_remote"};
    const fs::path dir_ = folder_.Path();
};

TEST_F(RemoteFolderTest, SocketLiesBesideTheInstanceLockAndFitsAnAddress) {
    const size_t limit = sizeof(sockaddr_un{}.sun_path) - 1;
    const std::string uid = std::to_string(getuid());
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir_.c_str());
        EXPECT_EQ(remote::SocketPath("TovekCamera"), dir_.string() + "/TovekCamera.remote");
        // A name too long for an address gets a short one of its own.
        const std::string a = remote::SocketPath(std::string(200, 'a'));
        const std::string b = remote::SocketPath(std::string(200, 'b'));
        EXPECT_LE(a.size(), limit);
        EXPECT_EQ(a.rfind(dir_.string() + "/tovek-", 0), 0u) << a;
        EXPECT_NE(a, b);
        EXPECT_EQ(a, remote::SocketPath(std::string(200, 'a')));
    }
    {
        // No runtime folder: the temp folder, shared, so the name says whose.
        ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
        ScopedEnv tmp("TMPDIR", dir_.c_str());
        EXPECT_EQ(remote::SocketPath("TovekCamera"),
                  dir_.string() + "/TovekCamera-" + uid + ".remote");
    }
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", (dir_ / "missing").c_str());
        ScopedEnv tmp("TMPDIR", nullptr);
        EXPECT_EQ(remote::SocketPath("TovekCamera"), "/tmp/TovekCamera-" + uid + ".remote");
    }
    {
        const fs::path deep = dir_ / std::string(120, 'd');
        fs::create_directories(deep);
        ScopedEnv runtime("XDG_RUNTIME_DIR", deep.c_str());
        EXPECT_EQ(remote::SocketPath("TovekCamera"), "");
    }
}

// Stands in for the running program: accepts one connection, reads its
// request lines and answers each with the next of replies (or not at all).
class FakeProgram {
public:
    FakeProgram(const std::string& path, std::vector<std::string> replies)
        : replies_(std::move(replies)) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd_, 1), 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeProgram() {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    std::string Received() {
        thread_.join();
        thread_ = std::thread([] {});
        return received_;
    }

private:
    void Serve() {
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0)
            return;
        remote::LineReader reader;
        size_t answered = 0;
        char buffer[256];
        ssize_t n = 0;
        while ((n = recv(client, buffer, sizeof buffer, 0)) > 0) {
            reader.Feed(std::string_view(buffer, static_cast<size_t>(n)));
            std::string line;
            while (reader.Next(&line)) {
                received_ += line + "\n";
                if (answered < replies_.size()) {
                    const std::string reply = replies_[answered++];
                    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
        }
        close(client);
    }

    std::vector<std::string> replies_;
    int fd_ = -1;
    std::thread thread_;
    std::string received_;
};

TEST_F(RemoteFolderTest, SecondStartHandsItsCommandsOverAndHearsTheAnswers) {
    const std::string path = (dir_ / "p.remote").string();
    const std::vector<RemoteCommand> commands = {{Verb::kStop, 0}, {Verb::kZoomMode, 4}};
    struct Case {
        std::vector<std::string> replies;
        remote::SendResult result;
        RemoteCommand refused;
        remote::Reply reply;
    };
    const Case cases[] = {
        {{"ok\n", "ok\n"}, remote::SendResult::kTaken, {}, remote::Reply::kUnknown},
        {{"ok\n", "disabled\n"},
         remote::SendResult::kNotNow,
         {Verb::kZoomMode, 4},
         remote::Reply::kDisabled},
        {{"busy\n"}, remote::SendResult::kNotNow, {Verb::kStop, 0}, remote::Reply::kBusy},
        {{"unknown\n"}, remote::SendResult::kNotNow, {Verb::kStop, 0}, remote::Reply::kUnknown},
        {{"ok\n", "what?\n"}, remote::SendResult::kNoAnswer, {}, remote::Reply::kUnknown},
        // Holds the lock but never answers: the second start gives up.
        {{}, remote::SendResult::kNoAnswer, {}, remote::Reply::kUnknown},
    };
    for (const Case& c : cases) {
        fs::remove(path);
        FakeProgram program(path, c.replies);
        RemoteCommand refused;
        remote::Reply reply = remote::Reply::kUnknown;
        EXPECT_EQ(remote::SendRemoteCommands(path, commands, 300, &refused, &reply), c.result);
        if (c.result == remote::SendResult::kNotNow) {
            EXPECT_EQ(refused, c.refused);
            EXPECT_EQ(reply, c.reply);
        }
        EXPECT_EQ(program.Received().substr(0, 5), "stop\n");
    }
}

TEST_F(RemoteFolderTest, NobodyListeningIsNoAnswerAfterTheTimeout) {
    platform::FakeClock clock; // the retries step the clock instead of waiting
    RemoteCommand refused;
    remote::Reply reply;
    const uint32_t start = platform::GetTickCount();
    EXPECT_EQ(remote::SendRemoteCommands((dir_ / "none.remote").string(), {{Verb::kCapture, 0}},
                                         remote::kAnswerTimeoutMs, &refused, &reply),
              remote::SendResult::kNoAnswer);
    EXPECT_GE(platform::GetTickCount() - start, remote::kAnswerTimeoutMs);
    EXPECT_EQ(remote::SendRemoteCommands("", {{Verb::kCapture, 0}}, 100, &refused, &reply),
              remote::SendResult::kNoAnswer);
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RemoteFolderTest, StageDeliversItsFilesToTheTargetInNameOrder) {
    const fs::path target = dir_ / "lesson.avi";
    WriteFile(target, "old");
    {
        OutputStage stage;
        ASSERT_TRUE(stage.Create(target.string()));
        EXPECT_EQ(fs::path(stage.Folder()).parent_path(), dir_);
        fs::create_directories(fs::path(stage.Folder()) / "Videos");
        WriteFile(fs::path(stage.Folder()) / "Videos" / "2026.01.01-10H00M05s.avi", "second");
        WriteFile(fs::path(stage.Folder()) / "Videos" / "2026.01.01-10H00M00s.avi", "first");
        WriteFile(fs::path(stage.Folder()) / "Videos" / "2026.01.01-10H00M00s.avi.part", "x");
        const std::vector<std::string> delivered = stage.Deliver("Videos", ".avi");
        ASSERT_EQ(delivered.size(), 2u);
        EXPECT_EQ(delivered[0], target.string());
        EXPECT_EQ(delivered[1], (dir_ / "lesson-2.avi").string());
    }
    EXPECT_EQ(ReadFile(target), "first");
    EXPECT_EQ(ReadFile(dir_ / "lesson-2.avi"), "second");
    // The stage is gone with its leftovers; nothing else is in the folder.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
        files += entry.is_regular_file() ? 1 : 100;
    EXPECT_EQ(files, 2u);
}

TEST_F(RemoteFolderTest, StageRefusesWhatCannotTakeTheFile) {
    OutputStage stage;
    errno = 0;
    EXPECT_FALSE(stage.Create((dir_ / "missing" / "a.jpg").string()));
    EXPECT_EQ(errno, ENOENT);
    fs::create_directories(dir_ / "folder.jpg");
    EXPECT_FALSE(stage.Create((dir_ / "folder.jpg").string()));
    EXPECT_EQ(errno, EISDIR);
    // Nothing written: nothing delivered, no target made.
    ASSERT_TRUE(stage.Create((dir_ / "a.jpg").string()));
    EXPECT_TRUE(stage.Deliver("Images", ".jpg").empty());
    stage.Remove();
    stage.Remove();
    EXPECT_FALSE(fs::exists(dir_ / "a.jpg"));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.jpg"));
}

} // namespace
