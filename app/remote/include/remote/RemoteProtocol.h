// The remote channel between a second start and the running window: a
// local stream socket beside the instance lock, and a line protocol.
//
//   request  one line per command: the command's word, for the zoom mode
//            its number: "capture\n", "zoom-mode 3\n"
//   reply    one line per request, in order: "ok" (the window runs it now),
//            "disabled" (its menu item is disabled now), "busy" (the window
//            shows a message and takes no command), "unknown" (not a
//            command; the connection then ends). "ok" may carry a note
//            after a space: --share's answer is the address it shares at,
//            "ok http://192.168.1.20:41234/<token>/"; such a command runs
//            before its answer (RunsBeforeReply)
//
// Lines are at most kMaxLineBytes long, "\r\n" is taken as "\n". Nothing
// here depends on Qt: the window's server (RemoteServer.h) parses with these
// functions, and the second start's client (SendRemoteCommands) is plain
// POSIX, so it needs no display.
#pragma once

#include "remote/CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

inline constexpr size_t kMaxLineBytes = 200;
// A running program that holds the instance lock but does not answer within
// this time (it may still be starting its window) has not got the command.
inline constexpr uint32_t kAnswerTimeoutMs = 10000;

enum class Reply { kOk, kDisabled, kBusy, kUnknown };

// "capture\n", "zoom-mode 3\n".
std::string FormatRequest(const cli::RemoteCommand& command);
// One request line without its end; false when it names no command (or
// a zoom mode outside 1 to 5).
bool ParseRequest(std::string_view line, cli::RemoteCommand* command);
// note: only with kOk, one line of at most kMaxLineBytes - 3 bytes.
std::string FormatReply(Reply reply, std::string_view note = {});
// *note (may be null) gets the note of an "ok", else is cleared.
bool ParseReply(std::string_view line, Reply* reply, std::string* note = nullptr);
// Commands whose answer carries what they did: they run first (quickly,
// with no nested event loop).
bool RunsBeforeReply(cli::Verb verb);

// Splits a byte stream into lines of at most kMaxLineBytes. After a longer
// line it reports overflow and takes nothing more.
class LineReader {
public:
    void Feed(std::string_view bytes);
    // The next whole line without its end; false when none is complete.
    bool Next(std::string* line);
    bool Overflowed() const { return overflowed_; }

private:
    std::string pending_;
    bool overflowed_ = false;
};

// The channel's socket path for the program named app_name, in the folder
// of its instance lock: $XDG_RUNTIME_DIR (the user's own), else $TMPDIR,
// else /tmp, where the name carries the user id. A path too long for a
// socket address uses a short name made from a hash of app_name; empty when
// even that does not fit.
std::string SocketPath(const std::string& app_name);

enum class SendResult {
    kTaken,    // the window took every command
    kNotNow,   // the window did not run one; *refused and *reply say which and why
    kNoAnswer, // no running program answered within kAnswerTimeoutMs
};
// Second start: connects to path (retrying while the running program sets
// its channel up), sends commands and reads one reply each. Bounded by
// timeout_ms in all. notes (may be null) gets the replies' notes, in order.
SendResult SendRemoteCommands(const std::string& path,
                              const std::vector<cli::RemoteCommand>& commands, uint32_t timeout_ms,
                              cli::RemoteCommand* refused, Reply* reply,
                              std::vector<std::string>* notes = nullptr);

} // namespace remote
