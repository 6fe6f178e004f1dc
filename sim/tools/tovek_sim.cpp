// tovek-sim: plugs and pulls emulated devices of running TovekCamera
// programs (and tests), through the control sockets of sim/control.
//
//   tovek-sim [--pid PID] plug NAME
//   tovek-sim [--pid PID] pull NAME
//   tovek-sim [--pid PID] list
//   tovek-sim [--pid PID] scene desk|page
//   tovek-sim [--pid PID] page next
#include "sim/control.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kReplyTimeoutMs = 3000;

int Usage() {
    std::fprintf(stderr,
                 "usage: tovek-sim [--pid PID] plug NAME\n"
                 "       tovek-sim [--pid PID] pull NAME\n"
                 "       tovek-sim [--pid PID] list\n"
                 "       tovek-sim [--pid PID] scene desk|page\n"
                 "       tovek-sim [--pid PID] page next\n"
                 "Plugs or pulls an emulated device (such as q5) in every running program\n"
                 "with emulated devices, or in the one with process id PID. \"scene desk\"\n"
                 "shows a page lying on a desk, \"page next\" turns to another page,\n"
                 "\"scene page\" goes back to the full-frame test page.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int pid = 0;
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pid") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long value = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || value <= 0 || value > 999999999) {
                return Usage();
            }
            pid = static_cast<int>(value);
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage();
            return 0;
        } else {
            line += line.empty() ? argv[i] : std::string(" ") + argv[i];
        }
    }
    if (line.empty()) {
        return Usage();
    }
    std::vector<sim::SimCommandReply> replies = sim::SendSimCommand(line, pid, kReplyTimeoutMs);
    bool listing = line == "list";
    int answered = 0;
    bool failed = false;
    for (const sim::SimCommandReply& reply : replies) {
        if (!reply.answered) {
            continue; // a socket left behind, or a program that did not answer
        }
        ++answered;
        std::printf("%d: %s\n", reply.pid, reply.reply.c_str());
        failed = failed || (!listing && reply.reply != "ok");
    }
    if (answered == 0) {
        std::fprintf(stderr,
                     pid != 0 ? "tovek-sim: process %d has no emulated devices\n"
                              : "tovek-sim: no running program has emulated devices\n",
                     pid);
        return 1;
    }
    return failed ? 1 : 0;
}
