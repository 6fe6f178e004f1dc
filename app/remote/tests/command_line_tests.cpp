// The command line: what each line asks for, and the faults a user makes.
#include "common/CommandIds.h"
#include "remote/CommandLine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using cli::RemoteCommand;
using cli::Verb;

struct Good {
    std::vector<std::string> args;
    cli::Options want;
};

cli::Options Commands(std::vector<RemoteCommand> commands) {
    cli::Options o;
    o.commands = std::move(commands);
    return o;
}

cli::Options Snapshot(std::string file) {
    cli::Options o;
    o.headless = true;
    o.snapshot_file = std::move(file);
    return o;
}

cli::Options Record(double seconds, std::string file) {
    cli::Options o;
    o.headless = true;
    o.record_seconds = seconds;
    o.output_file = std::move(file);
    return o;
}

TEST(CommandLineTest, ParsesWhatEachLineAsksFor) {
    cli::Options simulate;
    simulate.simulate = true;
    cli::Options help;
    help.help = true;
    cli::Options version;
    version.version = true;
    cli::Options simulated_snapshot = Snapshot("a.jpg");
    simulated_snapshot.simulate = true;
    const Good cases[] = {
        {{}, {}},
        {{"--simulate"}, simulate},
        {{"--help"}, help},
        {{"--version"}, version},
        // --help answers whatever else the line holds.
        {{"--bogus", "--help"}, help},
        {{"--capture"}, Commands({{Verb::kCapture, 0}})},
        {{"--record-start", "--record-stop"},
         Commands({{Verb::kRecordStart, 0}, {Verb::kRecordStop, 0}})},
        {{"--play", "--stop", "--fullscreen"},
         Commands({{Verb::kPlay, 0}, {Verb::kStop, 0}, {Verb::kFullScreen, 0}})},
        {{"--zoom-mode", "1"}, Commands({{Verb::kZoomMode, 1}})},
        {{"--freeze"}, Commands({{Verb::kFreeze, 0}})},
        {{"--share", "--share-stop"}, Commands({{Verb::kShare, 0}, {Verb::kShareStop, 0}})},
        {{"--zoom-mode=5"}, Commands({{Verb::kZoomMode, 5}})},
        {{"--headless", "--snapshot", "a.jpg"}, Snapshot("a.jpg")},
        {{"--snapshot", "a.jpg", "--headless"}, Snapshot("a.jpg")},
        {{"--simulate", "--headless", "--snapshot=a.jpg"}, simulated_snapshot},
        {{"--headless", "--record", "10", "--output", "r.avi"}, Record(10, "r.avi")},
        {{"--headless", "--output", "r.avi", "--record", "2.5"}, Record(2.5, "r.avi")},
        // A file name may look like a short option.
        {{"--headless", "--snapshot", "-a.jpg"}, Snapshot("-a.jpg")},
        {{"--headless", "--record", "86400", "--output", "r.avi"}, Record(86400, "r.avi")},
    };
    for (const Good& c : cases) {
        cli::Options got;
        cli::Text error;
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        ASSERT_TRUE(cli::Parse(c.args, &got, &error)) << line << ": " << error.english;
        EXPECT_EQ(got.simulate, c.want.simulate) << line;
        EXPECT_EQ(got.help, c.want.help) << line;
        EXPECT_EQ(got.version, c.want.version) << line;
        EXPECT_EQ(got.headless, c.want.headless) << line;
        EXPECT_EQ(got.commands, c.want.commands) << line;
        EXPECT_EQ(got.snapshot_file, c.want.snapshot_file) << line;
        EXPECT_EQ(got.record_seconds, c.want.record_seconds) << line;
        EXPECT_EQ(got.output_file, c.want.output_file) << line;
    }
}

struct Bad {
    std::vector<std::string> args;
    const char* key;
    const char* arg;
};

TEST(CommandLineTest, RefusesWrongLinesWithTheirReason) {
    const std::string long_name(cli::kMaxPathBytes + 1, 'x');
    const Bad cases[] = {
        {{"--bogus"}, "cli.unknown_option", "--bogus"},
        {{"-simulate"}, "cli.unexpected", "-simulate"},
        {{"picture.jpg"}, "cli.unexpected", "picture.jpg"},
        {{"--"}, "cli.unexpected", "--"},
        {{"--capture=1"}, "cli.no_value", "--capture"},
        {{"--zoom-mode"}, "cli.missing_value", "--zoom-mode"},
        {{"--zoom-mode", "--capture"}, "cli.missing_value", "--zoom-mode"},
        {{"--zoom-mode", "0"}, "cli.bad_zoom_mode", "0"},
        {{"--zoom-mode", "6"}, "cli.bad_zoom_mode", "6"},
        {{"--zoom-mode", "-1"}, "cli.bad_zoom_mode", "-1"},
        {{"--zoom-mode", "2.0"}, "cli.bad_zoom_mode", "2.0"},
        {{"--zoom-mode", "x"}, "cli.bad_zoom_mode", "x"},
        {{"--zoom-mode="}, "cli.bad_zoom_mode", ""},
        {{"--headless"}, "cli.headless_what", ""},
        {{"--headless", "--snapshot"}, "cli.missing_value", "--snapshot"},
        {{"--headless", "--snapshot="}, "cli.missing_value", "--snapshot"},
        {{"--headless", "--snapshot", "--record", "3"}, "cli.missing_value", "--snapshot"},
        {{"--headless", "--snapshot", long_name}, "cli.path_too_long", "--snapshot"},
        {{"--headless", "--snapshot", "a", "--snapshot", "b"}, "cli.twice", "--snapshot"},
        {{"--headless", "--snapshot", "a", "--record", "3", "--output", "r"},
         "cli.headless_what",
         ""},
        {{"--headless", "--snapshot", "a", "--output", "r"}, "cli.record_output", ""},
        {{"--headless", "--record", "10"}, "cli.record_output", ""},
        {{"--headless", "--output", "r.avi"}, "cli.headless_what", ""},
        {{"--headless", "--record", "-5", "--output", "r"}, "cli.bad_seconds", "-5"},
        {{"--headless", "--record", "0", "--output", "r"}, "cli.bad_seconds", "0"},
        {{"--headless", "--record", "1e3", "--output", "r"}, "cli.bad_seconds", "1e3"},
        {{"--headless", "--record", "86401", "--output", "r"}, "cli.bad_seconds", "86401"},
        {{"--headless", "--record", "1.2.3", "--output", "r"}, "cli.bad_seconds", "1.2.3"},
        {{"--headless", "--record", "--output", "r"}, "cli.missing_value", "--record"},
        {{"--headless", "--record", "5", "--output"}, "cli.missing_value", "--output"},
        {{"--snapshot", "a.jpg"}, "cli.needs_headless", "--snapshot"},
        {{"--record", "5", "--output", "r"}, "cli.needs_headless", "--record"},
        {{"--headless", "--capture", "--snapshot", "a"}, "cli.remote_headless", "capture"},
    };
    for (const Bad& c : cases) {
        cli::Options got;
        cli::Text error;
        std::string line;
        for (const std::string& a : c.args)
            line += a.substr(0, 40) + " ";
        EXPECT_FALSE(cli::Parse(c.args, &got, &error)) << line;
        EXPECT_STREQ(error.key, c.key) << line;
        EXPECT_EQ(error.arg, c.arg) << line;
    }
}

TEST(CommandLineTest, EachCommandRunsItsMenuItem) {
    const std::pair<RemoteCommand, uint32_t> cases[] = {
        {{Verb::kCapture, 0}, cmd::kCapture},
        {{Verb::kRecordStart, 0}, cmd::kStartRecord},
        {{Verb::kRecordStop, 0}, cmd::kStopRecord},
        {{Verb::kPlay, 0}, cmd::kPlay},
        {{Verb::kStop, 0}, cmd::kStop},
        {{Verb::kFullScreen, 0}, cmd::kFullScreen},
        {{Verb::kFreeze, 0}, cmd::kFreeze},
        {{Verb::kShare, 0}, cmd::kShareStart},
        {{Verb::kShareStop, 0}, cmd::kShareStop},
        {{Verb::kZoomMode, 1}, 32778}, // Actual Size
        {{Verb::kZoomMode, 5}, 32782}, // Fit Image
    };
    for (const auto& [command, id] : cases)
        EXPECT_EQ(cli::CommandId(command), id) << cli::VerbName(command.verb);
}

TEST(CommandLineTest, HelpListsEveryOptionOnceWithItsOwnText) {
    const std::vector<cli::HelpEntry> entries = cli::HelpEntries();
    std::set<std::string> options;
    std::set<std::string> keys;
    for (const cli::HelpEntry& e : entries) {
        options.insert(e.option);
        keys.insert(e.description.key);
        EXPECT_STRNE(e.description.english, "") << e.option;
    }
    EXPECT_EQ(options.size(), entries.size());
    EXPECT_EQ(keys.size(), entries.size());
    for (const char* option :
         {"--simulate", "--help", "--version", "--capture", "--record-start", "--record-stop",
          "--play", "--stop", "--fullscreen", "--zoom-mode N", "--headless --snapshot FILE",
          "--headless --record SECONDS --output FILE"})
        EXPECT_EQ(options.count(option), 1u) << option;
}

} // namespace
