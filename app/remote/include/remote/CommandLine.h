// The program's command line: what it asks for, parsed into one struct
// before anything starts. Qt-free; no I/O.
//
//   --simulate                  the emulated cameras and microphone
//   --help, --version           print and end
//   --capture, --record-start, --record-stop, --play, --stop,
//   --fullscreen, --zoom-mode N,
//   --freeze, --share,
//   --share-stop                remote commands: handed to the running
//                               window (or run by this one once it plays)
//   --headless --snapshot FILE  one picture, no window
//   --headless --record SECONDS --output FILE
//                               a recording, no window
//
// A value follows its option as the next argument or after '='
// ("--zoom-mode=3"). Errors carry a key of the language files and the
// English text, so the caller can print them in the user's language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Exit statuses of the program besides 0.
inline constexpr int kExitFailed = 1; // the run did not succeed (no camera, cannot write)
inline constexpr int kExitUsage = 2;  // the command line is wrong
inline constexpr int kExitNotNow = 3; // the running window cannot take the command now

inline constexpr int kZoomModes = 5;                 // --zoom-mode 1 to 5
inline constexpr double kMaxRecordSeconds = 86400.0; // one day
inline constexpr size_t kMaxPathBytes = 4095;        // PATH_MAX less its terminator

// The commands another start can hand to the running window.
enum class Verb {
    kCapture,
    kRecordStart,
    kRecordStop,
    kPlay,
    kStop,
    kFullScreen,
    kZoomMode,
    kFreeze,
    kShare,
    kShareStop
};

struct RemoteCommand {
    Verb verb = Verb::kCapture;
    int zoom_mode = 0; // 1 to 5 for kZoomMode, else 0

    bool operator==(const RemoteCommand&) const = default;
};

// The word of verb: the option without its dashes, and the remote
// protocol's word ("record-start", "zoom-mode").
std::string_view VerbName(Verb verb);
// The verb of word; false when it names none.
bool VerbOfName(std::string_view word, Verb* verb);
// The menu command id the window runs for command (32776 Capture, ...,
// 32778 + zoom_mode - 1 for the zoom modes).
uint32_t CommandId(const RemoteCommand& command);

struct Options {
    bool simulate = false;
    bool help = false;
    bool version = false;
    bool headless = false;
    std::vector<RemoteCommand> commands; // in the order given
    std::string snapshot_file;           // --snapshot FILE
    double record_seconds = 0;           // --record SECONDS; > 0 when recording
    std::string output_file;             // --output FILE
};

// A text for the user: a key of the language files' [Keys] section, its
// English text with "%1" standing for arg.
struct Text {
    const char* key = "";
    const char* english = "";
    std::string arg;
};

// Parses args (without the program name). False with *error set when the
// line is wrong; --help and --version win over any other fault.
bool Parse(const std::vector<std::string>& args, Options* options, Text* error);

// The option list --help prints, one entry per option: the option as typed
// and its description.
struct HelpEntry {
    const char* option;
    Text description;
};
std::vector<HelpEntry> HelpEntries();

} // namespace cli
