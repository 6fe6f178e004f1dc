// Plugging and pulling emulated devices of a running program from the command
// line. A process registers named handlers ("q5", "rvx"); the first
// registration starts a listener thread on a Unix datagram socket
// "tovek-sim-<pid>.sock" in $XDG_RUNTIME_DIR (else /tmp), removed again at
// exit. The listener runs one text line per datagram:
//   "plug NAME", "pull NAME"  run NAME's handler; reply "ok", or "error: ..."
//   "list"                    reply the registered names, separated by spaces
//   "VERB ARG"                run the action registered as VERB (such as
//                             "scene desk", "page next"); reply what it returns
// and sends the reply back when the sender's socket has an address. The tool
// tovek-sim sends such lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// plug true for "plug NAME", false for "pull NAME". Runs on the listener
// thread (or the thread calling ExecuteSimCommand).
using SimCommandHandler = std::function<void(bool plug)>;

// Registers handler under name, replacing an earlier one, and starts the
// listener if it does not run. A name is 1-32 characters of a-z, 0-9, '_'
// and '-'; false for any other name or a null handler. The handler is
// registered even when the socket cannot be made (SimControlSocketPath() is
// then empty).
bool RegisterSimCommand(const std::string& name, SimCommandHandler handler);
void UnregisterSimCommand(const std::string& name);

// An action that changes what the emulated devices show, "VERB ARG": returns
// "ok" or "error: ..." for its argument. Runs on the listener thread.
using SimActionHandler = std::function<std::string(const std::string& argument)>;
// Registers handler under verb (named as for RegisterSimCommand; not "plug",
// "pull" or "list"), replacing an earlier one.
bool RegisterSimAction(const std::string& verb, SimActionHandler handler);

// Runs one line as the listener does and returns the reply.
std::string ExecuteSimCommand(std::string_view line);

// The socket this process listens on; empty when it does not listen.
std::string SimControlSocketPath();
// Where the sockets are: $XDG_RUNTIME_DIR when set and short enough, else /tmp.
std::string SimControlFolder();
// Stops the listener and removes its socket; done at exit as well. A later
// registration starts it again.
void StopSimControl();

// ---- the sending side (tovek-sim) --------------------------------------------------

struct SimCommandReply {
    int pid = 0;
    bool answered = false; // false: no reply within the time-out, or no such process
    std::string reply;
};

// Sends line to the process pid, or to every listening process when pid is 0,
// and waits up to timeout_ms for each reply. Sockets left behind by
// processes that ended are removed.
std::vector<SimCommandReply> SendSimCommand(std::string_view line, int pid, uint32_t timeout_ms);

} // namespace sim
