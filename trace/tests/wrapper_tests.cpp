#include "test_util.h"

#include "testsupport/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using namespace trace;
using namespace trace_test;

namespace {

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) {
        ++n;
    }
    return n;
}

// Hands a line on one character at a time, so only the sink's lock keeps lines whole.
class CharByCharAppender final : public CAppenderBase<char> {
public:
    bool Write(const char* line) override {
        for (; *line; ++line) {
            text += *line;
            std::this_thread::yield();
        }
        return true;
    }
    void Close() override {}
    bool Open() override { return true; }
    bool Flush() override { return true; }
    std::string text;
};

// The driver's trace switches (null: unset) while alive.
struct Switches {
    Switches(const char* log, const char* console, const char* file)
        : log_("Q5LOG", log), console_("Q5LOGCONSOLE", console), file_("Q5LOGFILE", file) {}
    testsupport::ScopedEnv log_, console_, file_;
};

} // namespace

TEST(TraceWrapper, LinesFromManyThreadsNeverInterleave) {
    constexpr int kThreads = 8, kLines = 300;
    CharByCharAppender slow;
    {
        TTrace<char> sink;
        sink.AddAppender(&slow);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&sink, t] {
                for (int i = 0; i < kLines; ++i) {
                    Log(sink, "thread %d line %d %s", t, i, std::string(40, char('a' + t)).c_str());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    ASSERT_EQ(size_t(kThreads * kLines), CountLines(slow.text));
    std::vector<int> next(kThreads, 0);
    for (size_t at = 0, end; (end = slow.text.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        const std::string line = slow.text.substr(at, end - at);
        int t = -1, i = -1, used = 0;
        std::sscanf(line.c_str(), "[%*2d/%*2d(%*4d),%*2d:%*2d:%*2d]: thread %d line %d %n", &t, &i,
                    &used);
        ASSERT_TRUE(t >= 0 && t < kThreads && used > 0) << line;
        EXPECT_EQ(next[t]++, i);
        EXPECT_EQ(std::string(40, char('a' + t)), line.substr(used)) << line;
    }
}

TEST(TraceWrapper, OutputOnlyWithQ5LogOfExactlyOneAndAnOutput) {
    testsupport::TempFolder dir("trace_test");
    const std::string path = dir.File("q5.log");
    const std::string overlong(3000, 'f'); // cut to 1023 bytes, then refused as a path
    const char* silent[][3] = {{nullptr, "1", path.c_str()},
                               {"", "1", path.c_str()},
                               {"0", "1", path.c_str()},
                               {"01", "1", path.c_str()},
                               {"1 ", "1", path.c_str()},
                               {"1", nullptr, nullptr},
                               {"1", "1 ", ""},
                               {"1", "", overlong.c_str()}};
    for (auto& [log, console_switch, file] : silent) {
        Switches switches(log, console_switch, file);
        StderrCapture console;
        CTracerWrapper<char> tracer;
        ApplyDriverTraceSwitches(tracer);
        EXPECT_EQ(log && log == std::string("1"), tracer.TraceEnabled());
        tracer.Trace("must not appear");
        EXPECT_EQ("", console.Text());
        EXPECT_EQ("", ReadBytes(path)) << (log ? log : "unset");
    }

    Switches switches("1", "1", path.c_str());
    StderrCapture console;
    CTracerWrapper<char> tracer;
    ApplyDriverTraceSwitches(tracer);
    TOVEK_TRACE_ENTRY(tracer, "..\\src\\q5_usb.cpp");
    const int entry_line = __LINE__ - 1;
    TOVEK_TRACE_ASSERT(tracer, 1 + 1 == 3, "..\\src\\q5_usb.cpp");
    TOVEK_TRACE_ASSERT(tracer, 1 + 1 == 2, "..\\src\\q5_usb.cpp");
    ReleaseDriverTraceSwitches(tracer);
    tracer.Trace("after release");
    EXPECT_FALSE(tracer.TraceEnabled());
    const std::string entry =
        "]: TestBody(), file:..\\src\\q5_usb.cpp line:" + std::to_string(entry_line) + "\r\n";
    const std::string assert_failed =
        "]: Assert failed, file:..\\src\\q5_usb.cpp, line:" + std::to_string(entry_line + 2) +
        ", func:TestBody()\r\n";
    for (const std::string& text : {ReadBytes(path), console.Text()}) {
        EXPECT_EQ(2u, CountLines(text)) << text;
        EXPECT_NE(std::string::npos, text.find(entry)) << text;
        EXPECT_TRUE(text.ends_with(assert_failed)) << text;
    }
}

TEST(TraceWrapper, SwitchingOffInAnyOrderLeavesOneOutputEach) {
    testsupport::TempFolder dir("trace_test");
    const std::string first = dir.File("first.log"), second = dir.File("second.log");
    CTracerWrapper<char> tracer;
    tracer.SetConsole(true); // ignored while off
    EXPECT_FALSE(tracer.HasConsole());
    tracer.EnableTrace(true);
    tracer.SetLogFile(first.c_str());
    tracer.EnableTrace(true); // already on: the sink and its appender stay
    tracer.Trace("one");
    tracer.SetLogFile(second.c_str());
    tracer.Trace("two");
    // Off before the outputs: the later switch-offs find no sink and do nothing.
    tracer.EnableTrace(false);
    tracer.SetLogFile(nullptr);
    tracer.Trace("dropped");
    EXPECT_EQ(1u, CountLines(ReadBytes(first)));
    EXPECT_EQ(1u, CountLines(ReadBytes(second)));

    tracer.EnableTrace(true);
    tracer.SetLogFile(second.c_str());
    tracer.SetConsole(true);
    tracer.SetConsole(true);
    StderrCapture console;
    tracer.Trace("three");
    tracer.SetConsole(false);
    tracer.SetLogFile("");
    tracer.Trace("dropped");
    EXPECT_EQ(1u, CountLines(console.Text()));
    EXPECT_EQ(2u, CountLines(ReadBytes(second)));
}
