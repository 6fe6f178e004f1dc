#include "share/ShareServer.h"

#include "share/FrameMailbox.h"
#include "share/ShareRequest.h"

#include <microhttpd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace share {

namespace {

// One viewer's stream: the part being sent (header, picture, line end) and
// how far it got.
struct Stream {
    FrameMailbox* frames = nullptr;
    std::atomic<int>* viewers = nullptr;
    std::chrono::milliseconds repeat{1000};
    const char* type = "image/jpeg";
    uint64_t seen = 0;
    std::string header;
    FrameMailbox::Frame frame;
    size_t offset = 0; // into header + frame + "\r\n"

    size_t PartLength() const { return header.size() + (frame ? frame->size() : 0) + 2; }
    bool PartDone() const { return !frame || offset >= PartLength(); }
};

constexpr char kLineEnd[] = "\r\n";

ssize_t ReadStream(void* cls, uint64_t, char* buffer, size_t max) {
    auto* stream = static_cast<Stream*>(cls);
    if (stream->PartDone()) {
        FrameMailbox::Frame next = stream->frames->WaitNewer(&stream->seen, stream->repeat);
        if (stream->frames->Closed())
            return MHD_CONTENT_READER_END_OF_STREAM;
        // Nothing new: the last picture again keeps the connection busy.
        if (!next)
            next = stream->frame;
        if (!next)
            return 0;
        stream->frame = std::move(next);
        stream->header = PartHeader(stream->frame->size(), stream->seen, stream->type);
        stream->offset = 0;
    }
    size_t written = 0;
    while (written < max && !stream->PartDone()) {
        const size_t header = stream->header.size();
        const size_t picture = stream->frame->size();
        const char* from = nullptr;
        size_t left = 0;
        if (stream->offset < header) {
            from = stream->header.data() + stream->offset;
            left = header - stream->offset;
        } else if (stream->offset < header + picture) {
            from = reinterpret_cast<const char*>(stream->frame->data()) + (stream->offset - header);
            left = header + picture - stream->offset;
        } else {
            from = kLineEnd + (stream->offset - header - picture);
            left = header + picture + 2 - stream->offset;
        }
        const size_t n = std::min(left, max - written);
        std::memcpy(buffer + written, from, n);
        written += n;
        stream->offset += n;
    }
    return static_cast<ssize_t>(written);
}

void EndStream(void* cls) {
    std::unique_ptr<Stream> stream(static_cast<Stream*>(cls));
    stream->viewers->fetch_sub(1);
}

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result QueueText(MHD_Connection* connection, unsigned status, const std::string& body,
                     const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return Queue(connection, status, response);
}

} // namespace

struct ShareServer::Handler {
    static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char*, const char*, size_t*, void**) {
        auto* self = static_cast<ShareServer*>(cls);
        const Request request{method != nullptr ? method : "", url != nullptr ? url : "",
                              self->viewers_.load(), self->layers_.load()};
        const Answer answer = Decide(request, self->token_);
        const unsigned status = static_cast<unsigned>(StatusOf(answer));
        switch (answer) {
        case Answer::kPage:
            return QueueText(connection, status, PageHtml(self->token_),
                             "text/html; charset=utf-8");
        case Answer::kStream:
            return StartStream(self, connection, false);
        case Answer::kLayer:
            if (self->layers_frames_ == nullptr)
                return QueueText(connection, StatusOf(Answer::kNotFound), std::string(),
                                 "text/plain");
            return StartStream(self, connection, true);
        case Answer::kMethodNotAllowed: {
            MHD_Response* response =
                MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
            if (response == nullptr)
                return MHD_NO;
            MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
            return Queue(connection, status, response);
        }
        default:
            // The status and nothing else.
            return QueueText(connection, status, std::string(), "text/plain");
        }
    }

    static MHD_Result StartStream(ShareServer* self, MHD_Connection* connection, bool layer) {
        std::atomic<int>* count = layer ? &self->layers_ : &self->viewers_;
        // Counted first, so that two at once cannot both take the last place.
        if (count->fetch_add(1) >= kMaxViewers) {
            count->fetch_sub(1);
            return QueueText(connection, StatusOf(Answer::kFull), std::string(), "text/plain");
        }
        auto stream = std::make_unique<Stream>();
        stream->frames = layer ? self->layers_frames_ : self->frames_;
        stream->viewers = count;
        stream->repeat = std::chrono::milliseconds(self->options_.repeat_ms);
        if (layer) {
            // The layer changes only with the drawing: sent again just often
            // enough to stay within the idle timeout.
            stream->type = "image/png";
            stream->repeat =
                std::max(stream->repeat, std::chrono::milliseconds(self->options_.timeout_s * 500));
        }
        MHD_Response* response = MHD_create_response_from_callback(
            MHD_SIZE_UNKNOWN, 32 * 1024, &ReadStream, stream.get(), &EndStream);
        if (response == nullptr) {
            count->fetch_sub(1);
            return MHD_NO;
        }
        stream.release(); // EndStream frees it, with the response
        // The parts as they are, without chunks around them, until the end of
        // the connection: what every browser's Motion-JPEG reader expects.
        MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
        const std::string type = std::string("multipart/x-mixed-replace; boundary=") + kBoundary;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        return Queue(connection, MHD_HTTP_OK, response);
    }
};

ShareServer::ShareServer(FrameMailbox* frames, FrameMailbox* layers)
    : frames_(frames), layers_frames_(layers) {}

ShareServer::~ShareServer() {
    Stop();
}

bool ShareServer::Start(const ServerOptions& options, std::string* error) {
    Stop();
    token_ = MakeToken();
    if (token_.empty()) {
        *error = "no random numbers";
        return false;
    }
    options_ = options;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!options.bind_address.empty() &&
        inet_pton(AF_INET, options.bind_address.c_str(), &address.sin_addr) != 1) {
        *error = "not an IPv4 address: " + options.bind_address;
        return false;
    }
    frames_->Open();
    if (layers_frames_ != nullptr)
        layers_frames_->Open();
    viewers_.store(0);
    layers_.store(0);
    // A thread per connection: a stream's callback may wait for the next
    // picture without holding up the others.
    daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL,
        options.port, nullptr, nullptr, &Handler::OnRequest, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT,
        options.connection_limit, MHD_OPTION_CONNECTION_TIMEOUT, options.timeout_s,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, options.memory_limit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.address_limit, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        *error = std::strerror(errno);
        frames_->Close();
        if (layers_frames_ != nullptr)
            layers_frames_->Close();
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info != nullptr ? info->port : options.port;
    return true;
}

void ShareServer::Stop() {
    if (daemon_ == nullptr)
        return;
    // The streams see the closed box and end; then the library closes every
    // connection and joins its threads.
    frames_->Close();
    if (layers_frames_ != nullptr)
        layers_frames_->Close();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    port_ = 0;
    token_.clear();
}

std::string ShareServer::UrlFor(const std::string& address) const {
    return "http://" + address + ":" + std::to_string(port_) + "/" + token_ + "/";
}

std::vector<std::string> ShareServer::Urls() const {
    std::vector<std::string> urls;
    for (const std::string& address : LocalIpv4Addresses())
        urls.push_back(UrlFor(address));
    return urls;
}

std::vector<std::string> LocalIpv4Addresses() {
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0 || (entry->ifa_flags & IFF_UP) == 0)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr &&
            std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.emplace_back(text);
    }
    freeifaddrs(list);
    return addresses;
}

} // namespace share
