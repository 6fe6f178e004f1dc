#include "remote/CommandLine.h"

#include "common/CommandIds.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace cli {

namespace {

struct VerbInfo {
    Verb verb;
    const char* name;
    uint32_t id; // for kZoomMode: the first zoom command
};
constexpr VerbInfo kVerbs[] = {
    {Verb::kCapture, "capture", cmd::kCapture},
    {Verb::kRecordStart, "record-start", cmd::kStartRecord},
    {Verb::kRecordStop, "record-stop", cmd::kStopRecord},
    {Verb::kPlay, "play", cmd::kPlay},
    {Verb::kStop, "stop", cmd::kStop},
    {Verb::kFullScreen, "fullscreen", cmd::kFullScreen},
    {Verb::kZoomMode, "zoom-mode", cmd::kZoomFirst},
    {Verb::kFreeze, "freeze", cmd::kFreeze},
    {Verb::kShare, "share", cmd::kShareStart},
    {Verb::kShareStop, "share-stop", cmd::kShareStop},
};

Text Error(const char* key, const char* english, std::string arg = {}) {
    return Text{key, english, std::move(arg)};
}

// A whole decimal number of seconds (digits, at most one '.'), nothing else.
std::optional<double> ParseSeconds(const std::string& text) {
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    int dots = 0;
    for (char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return std::nullopt;
    }
    if (dots > 1 || text == ".")
        return std::nullopt;
    errno = 0;
    const double value = std::strtod(text.c_str(), nullptr);
    if (errno != 0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The state of one parse: args are taken in turn.
class Parser {
public:
    Parser(const std::vector<std::string>& args, Options* options)
        : args_(args), options_(options) {}

    bool Run(Text* error);

private:
    bool Option(const std::string& name, std::optional<std::string> inline_value, Text* error);
    // The value of option name: the part after '=' or the next argument. A
    // next argument that is an option is no value.
    bool Value(const std::string& name, std::optional<std::string>* inline_value,
               std::string* value, Text* error);
    bool File(const std::string& name, std::optional<std::string>* inline_value, std::string* file,
              Text* error);
    // False when option name came before.
    bool Once(const std::string& name, bool* given, Text* error);
    bool CheckCombination(Text* error) const;

    const std::vector<std::string>& args_;
    Options* const options_;
    size_t next_ = 0;
    bool snapshot_given_ = false;
    bool record_given_ = false;
    bool output_given_ = false;
};

bool Parser::Value(const std::string& name, std::optional<std::string>* inline_value,
                   std::string* value, Text* error) {
    if (inline_value->has_value()) {
        *value = **inline_value;
        inline_value->reset();
    } else if (next_ < args_.size() && args_[next_].rfind("--", 0) != 0) {
        *value = args_[next_++];
    } else {
        *error = Error("cli.missing_value", "%1 needs a value.", name);
        return false;
    }
    return true;
}

bool Parser::File(const std::string& name, std::optional<std::string>* inline_value,
                  std::string* file, Text* error) {
    if (!Value(name, inline_value, file, error))
        return false;
    if (file->empty()) {
        *error = Error("cli.missing_value", "%1 needs a value.", name);
        return false;
    }
    if (file->size() > kMaxPathBytes || file->find('\0') != std::string::npos) {
        *error = Error("cli.path_too_long", "The file name after %1 is too long.", name);
        return false;
    }
    return true;
}

bool Parser::Once(const std::string& name, bool* given, Text* error) {
    if (*given) {
        *error = Error("cli.twice", "%1 is given twice.", name);
        return false;
    }
    *given = true;
    return true;
}

bool Parser::Option(const std::string& name, std::optional<std::string> inline_value, Text* error) {
    Verb verb{};
    if (name == "--simulate") {
        options_->simulate = true;
    } else if (name == "--help") {
        options_->help = true;
    } else if (name == "--version") {
        options_->version = true;
    } else if (name == "--headless") {
        options_->headless = true;
    } else if (name == "--snapshot") {
        if (!Once(name, &snapshot_given_, error) ||
            !File(name, &inline_value, &options_->snapshot_file, error))
            return false;
    } else if (name == "--output") {
        if (!Once(name, &output_given_, error) ||
            !File(name, &inline_value, &options_->output_file, error))
            return false;
    } else if (name == "--record") {
        std::string text;
        if (!Once(name, &record_given_, error) || !Value(name, &inline_value, &text, error))
            return false;
        const std::optional<double> seconds = ParseSeconds(text);
        if (!seconds || *seconds <= 0 || *seconds > kMaxRecordSeconds) {
            *error = Error("cli.bad_seconds",
                           "--record needs a number of seconds above 0 and up to 86400, not '%1'.",
                           text);
            return false;
        }
        options_->record_seconds = *seconds;
    } else if (name.size() > 2 && VerbOfName(std::string_view(name).substr(2), &verb)) {
        RemoteCommand command{verb, 0};
        if (verb == Verb::kZoomMode) {
            std::string text;
            if (!Value(name, &inline_value, &text, error))
                return false;
            if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kZoomModes) {
                *error = Error("cli.bad_zoom_mode",
                               "--zoom-mode needs a number from 1 to 5, not '%1'.", text);
                return false;
            }
            command.zoom_mode = text[0] - '0';
        }
        options_->commands.push_back(command);
    } else {
        *error = Error("cli.unknown_option", "Unknown option '%1'.", name);
        return false;
    }
    if (inline_value.has_value()) {
        *error = Error("cli.no_value", "%1 takes no value.", name);
        return false;
    }
    return true;
}

bool Parser::CheckCombination(Text* error) const {
    const Options& o = *options_;
    if (!o.headless) {
        if (snapshot_given_ || record_given_ || output_given_) {
            const char* option = snapshot_given_ ? "--snapshot"
                                 : record_given_ ? "--record"
                                                 : "--output";
            *error = Error("cli.needs_headless", "%1 works only with --headless.", option);
            return false;
        }
        return true;
    }
    if (!o.commands.empty()) {
        *error = Error("cli.remote_headless", "--%1 cannot be combined with --headless.",
                       std::string(VerbName(o.commands.front().verb)));
        return false;
    }
    if (snapshot_given_ == record_given_) {
        *error =
            Error("cli.headless_what",
                  "--headless needs either --snapshot FILE or --record SECONDS --output FILE.");
        return false;
    }
    if (record_given_ != output_given_) {
        *error = Error("cli.record_output", "--record SECONDS and --output FILE belong together.");
        return false;
    }
    return true;
}

bool Parser::Run(Text* error) {
    while (next_ < args_.size()) {
        const std::string& arg = args_[next_++];
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            *error = Error("cli.unexpected", "Unexpected argument '%1'.", arg);
            return false;
        }
        const size_t eq = arg.find('=');
        std::optional<std::string> inline_value;
        if (eq != std::string::npos)
            inline_value = arg.substr(eq + 1);
        if (!Option(arg.substr(0, eq), std::move(inline_value), error))
            return false;
    }
    return CheckCombination(error);
}

} // namespace

std::string_view VerbName(Verb verb) {
    for (const VerbInfo& info : kVerbs) {
        if (info.verb == verb)
            return info.name;
    }
    return {};
}

bool VerbOfName(std::string_view word, Verb* verb) {
    for (const VerbInfo& info : kVerbs) {
        if (word == info.name) {
            *verb = info.verb;
            return true;
        }
    }
    return false;
}

uint32_t CommandId(const RemoteCommand& command) {
    for (const VerbInfo& info : kVerbs) {
        if (info.verb != command.verb)
            continue;
        if (command.verb == Verb::kZoomMode)
            return info.id + static_cast<uint32_t>(command.zoom_mode - 1);
        return info.id;
    }
    return 0;
}

bool Parse(const std::vector<std::string>& args, Options* options, Text* error) {
    *options = Options{};
    *error = Text{};
    // --help and --version answer whatever else the line holds.
    for (const std::string& arg : args) {
        if (arg == "--help")
            options->help = true;
        else if (arg == "--version")
            options->version = true;
    }
    if (options->help || options->version)
        return true;
    return Parser(args, options).Run(error);
}

std::vector<HelpEntry> HelpEntries() {
    return {
        {"--simulate", {"cli.help.simulate", "Use the emulated cameras and microphone.", {}}},
        {"--help", {"cli.help.help", "Show this list and end.", {}}},
        {"--version", {"cli.help.version", "Show the version and end.", {}}},
        {"--capture", {"cli.help.capture", "Take a picture (File > Capture).", {}}},
        {"--record-start", {"cli.help.record_start", "Start recording (File > Start Record).", {}}},
        {"--record-stop", {"cli.help.record_stop", "Stop recording (File > Stop Record).", {}}},
        {"--play", {"cli.help.play", "Play the picture (File > Play).", {}}},
        {"--stop", {"cli.help.stop", "Stop the picture (File > Stop).", {}}},
        {"--fullscreen",
         {"cli.help.fullscreen", "Full screen on or off (View > Full Screen).", {}}},
        {"--zoom-mode N",
         {"cli.help.zoom_mode",
          "Zoom mode N: 1 Actual Size, 2 Fit Height, 3 Fit Width, 4 Fit Window, 5 Fit Image.",
          {}}},
        {"--freeze",
         {"cli.help.freeze", "Hold the picture on screen or live again (View > Freeze).", {}}},
        {"--share",
         {"cli.help.share",
          "Share the live picture with the class (File > Share With Class) and print its "
          "address.",
          {}}},
        {"--share-stop", {"cli.help.share_stop", "End sharing the picture.", {}}},
        {"--headless --snapshot FILE",
         {"cli.help.snapshot",
          "Without a window: save one picture of the camera as FILE (JPEG).",
          {}}},
        {"--headless --record SECONDS --output FILE",
         {"cli.help.record",
          "Without a window: record SECONDS seconds of picture and sound into FILE (AVI).",
          {}}},
    };
}

} // namespace cli
