// The emulated devices' control channel (tovek-sim): one datagram's text,
// run as the listener runs it. The input is the datagram.
//
// Invariants: a handler runs exactly when the reply is "ok", once, for the
// name and direction the line gave; every reply fits the datagram the sender
// reads (256 bytes); "list" names the registered devices.
#include "fuzz_support.h"
#include "sim/control.h"

#include <string>
#include <string_view>

namespace {

// What the handlers saw for the current input.
struct Calls {
    int count = 0;
    std::string name;
    bool plug = false;
};

Calls& Seen() {
    static Calls calls;
    return calls;
}

void Register(const std::string& name) {
    FUZZ_CHECK(sim::RegisterSimCommand(name, [name](bool plug) {
        Calls& calls = Seen();
        ++calls.count;
        calls.name = name;
        calls.plug = plug;
    }));
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

// The line without the blanks around it and with single blanks between words.
std::string Normalised(std::string_view line) {
    std::string out;
    bool gap = false;
    for (char c : line) {
        if (IsSpace(c)) {
            gap = !out.empty();
            continue;
        }
        if (gap) {
            out.push_back(' ');
            gap = false;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Register("q5");
    Register("rvx");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    Seen() = Calls{};
    std::string reply = sim::ExecuteSimCommand(line);
    const Calls& calls = Seen();

    FUZZ_CHECK(reply.size() <= 256);
    std::string words = Normalised(line);
    if (words == "list") {
        FUZZ_CHECK(reply == "q5 rvx" && calls.count == 0);
        return 0;
    }
    FUZZ_CHECK((reply == "ok") == (calls.count == 1));
    FUZZ_CHECK(calls.count <= 1);
    if (calls.count == 1) {
        FUZZ_CHECK(words == (calls.plug ? "plug " : "pull ") + calls.name);
    } else {
        FUZZ_CHECK(reply.rfind("error: ", 0) == 0);
    }
    return 0;
}
