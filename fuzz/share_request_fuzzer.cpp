// The sharing server's requests on any bytes: the input is what a browser
// (or anyone on the school network) sends. "@T@" in it stands for the
// server's token, so that the fuzzer reaches the page and the stream.
//
// The bytes go to a real server (libmicrohttpd with the program's limits) on
// 127.0.0.1 only, then to the request rules alone (share::Decide, with the
// first line's method and path). Invariants: the answer is one HTTP status
// line or nothing; without the token nothing but an error status comes
// back; the rules answer a path longer than the limit with 414 and give the
// page or the stream only for the token.
#include "fuzz_support.h"
#include "share/FrameMailbox.h"
#include "share/ShareRequest.h"
#include "share/ShareServer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Server {
    Server() : server(&frames) {
        share::ServerOptions options;
        options.bind_address = "127.0.0.1";
        options.timeout_s = 1;
        options.repeat_ms = 10;
        std::string error;
        FUZZ_CHECK(server.Start(options, &error));
        const uint8_t picture[] = {0xFF, 0xD8, 0xFF, 0xD9};
        frames.Publish(picture, sizeof picture);
    }
    share::FrameMailbox frames;
    share::ShareServer server;
};

// The head of what the server answers bytes: up to its blank line (a
// stream would go on), its closing, or 64 KiB.
std::string Exchange(uint16_t port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(fd >= 0);
    // Each connection comes from another address of 127/8: the half closes
    // below leave the client's end in TIME_WAIT, and thousands of inputs a
    // second would use up one address's ports within the minute it lasts.
    static uint32_t next_source = 0;
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl(0x7F000002u + next_source++ % 0xFFFF00u);
    const int late_port = 1;
    setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &late_port, sizeof late_port);
    FUZZ_CHECK(bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) == 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        // The fuzzer's own timer signal can interrupt the connect, which then
        // goes on by itself: wait for it and read how it ended.
        if (error == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            while (poll(&p, 1, 3000) < 0 && errno == EINTR) {
            }
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        std::fprintf(stderr, "connect: %s\n", std::strerror(error));
        FUZZ_CHECK(!"connect to the server");
    }
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    std::string reply;
    char buffer[16384];
    while (reply.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 3000) <= 0)
            break;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
        if (reply.find("\r\n\r\n") != std::string::npos)
            break;
    }
    // Reset rather than close where the server has not closed yet (a stream):
    // no TIME_WAIT for those either.
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
    return reply;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Server server;
    const std::string& token = server.server.Token();
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    while ((at = input.find("@T@", at)) != std::string::npos) {
        input.replace(at, 3, token);
        at += token.size();
    }
    const bool has_token = input.find(token) != std::string::npos;

    const std::string reply = Exchange(server.server.Port(), input);
    if (!reply.empty()) {
        FUZZ_CHECK(reply.rfind("HTTP/1.", 0) == 0 && reply.size() >= 12);
        const int status = std::atoi(reply.c_str() + 9);
        FUZZ_CHECK(status >= 200 && status < 600);
        if (!has_token)
            FUZZ_CHECK(status >= 400);
    }

    // The rules alone, on the first line's method and path.
    const std::string line = input.substr(0, input.find("\r\n"));
    const size_t space = line.find(' ');
    const std::string method = line.substr(0, space);
    std::string url = space == std::string::npos ? std::string() : line.substr(space + 1);
    url = url.substr(0, url.find(' '));
    const int viewers = size > 0 ? data[0] % 70 : 0;
    const int layers = size > 1 ? data[1] % 70 : 0;
    const share::Answer answer = share::Decide({method, url, viewers, layers}, token);
    if (url.size() > share::kMaxUrlBytes)
        FUZZ_CHECK(answer == share::Answer::kUriTooLong);
    if (answer == share::Answer::kPage || answer == share::Answer::kStream ||
        answer == share::Answer::kLayer) {
        FUZZ_CHECK(url.compare(0, token.size() + 1, "/" + token) == 0);
        FUZZ_CHECK(method == "GET" || method == "HEAD");
    }
    if (answer == share::Answer::kStream)
        FUZZ_CHECK(viewers < share::kMaxViewers);
    if (answer == share::Answer::kLayer)
        FUZZ_CHECK(layers < share::kMaxViewers);
    return 0;
}
