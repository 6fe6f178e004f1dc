// The sharing server: HTTP (libmicrohttpd) on every IPv4 address of the
// machine while sharing, nothing otherwise. It serves the page and the
// Motion-JPEG stream of the token made at Start (ShareRequest.h) from the
// newest picture in a FrameMailbox, and the layer of ink over it from a
// second one (PNGs, the same way); a viewer that reads slowly skips
// pictures, nothing queues for it.
//
// Limits: kMaxViewers picture streams and as many layer streams (the next
// gets 503, below the library's own hard connection limit), a share of the
// connections per address, headers within the connection's memory limit,
// connections idle for the timeout closed. Stop closes every connection.
//
// Threads: Start, Stop and the destructor on one thread (the owner's); the
// library runs a thread per connection. Viewers() from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct MHD_Daemon;

namespace share {

class FrameMailbox;

struct ServerOptions {
    uint16_t port = 0;                       // 0: chosen by the system
    std::string bind_address;                // an IPv4 address; empty: all of them
    unsigned timeout_s = 10;                 // idle connections end after this
    size_t memory_limit = 16384;             // per connection: bounds the request's headers
    unsigned connection_limit = 2 * 60 + 12; // the library's hard limit: two streams a viewer
    // Connections one address may hold at once; more are closed unanswered.
    // A viewer needs the page and two streams, a browser opens up to six, and
    // a few tabs fit; one machine cannot take the class's places. 0: no limit.
    unsigned address_limit = 16;
    // A stream with no new picture for this long gets the last one again,
    // so that it stays within the timeout while the picture is frozen.
    unsigned repeat_ms = 1000;
};

class ShareServer {
public:
    // frames and layers: not owned; outlive the server. Without layers the
    // layer's address is not found.
    explicit ShareServer(FrameMailbox* frames, FrameMailbox* layers = nullptr);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Makes a new token and listens. False with *error set (the system's
    // words) when it cannot.
    bool Start(const ServerOptions& options, std::string* error);
    void Stop();
    bool Running() const { return daemon_ != nullptr; }

    uint16_t Port() const { return port_; }
    const std::string& Token() const { return token_; }
    // Streams open now.
    int Viewers() const { return viewers_.load(); }

    // The addresses the class may use: each non-loopback IPv4 address of the
    // machine, as "http://<address>:<port>/<token>/".
    std::vector<std::string> Urls() const;
    std::string UrlFor(const std::string& address) const;

private:
    struct Handler; // the library's callbacks

    FrameMailbox* const frames_;
    FrameMailbox* const layers_frames_;
    MHD_Daemon* daemon_ = nullptr;
    ServerOptions options_;
    std::string token_;
    uint16_t port_ = 0;
    std::atomic<int> viewers_{0};
    std::atomic<int> layers_{0}; // layer streams open now
};

// Each non-loopback IPv4 address of the machine, in the system's order.
std::vector<std::string> LocalIpv4Addresses();

} // namespace share
