#include "share/ShareRequest.h"

#include <cerrno>
#include <cstdint>

#include <sys/random.h>

namespace share {

namespace {

constexpr std::string_view kStreamName = "stream.mjpg";
constexpr std::string_view kLayerName = "layer.png";

} // namespace

Answer Decide(const Request& request, std::string_view token) {
    if (request.url.size() > kMaxUrlBytes)
        return Answer::kUriTooLong;
    // "/<token>" then nothing, "/" or "/<name>".
    std::string_view path = request.url;
    if (path.empty() || path[0] != '/')
        return Answer::kForbidden;
    path.remove_prefix(1);
    const size_t slash = path.find('/');
    const std::string_view given = path.substr(0, slash);
    if (token.size() != kTokenHexChars || !SameToken(given, token))
        return Answer::kForbidden;
    if (request.method != "GET" && request.method != "HEAD")
        return Answer::kMethodNotAllowed;
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (rest.empty())
        return Answer::kPage;
    if (rest == kLayerName)
        return request.layers >= kMaxViewers ? Answer::kFull : Answer::kLayer;
    if (rest != kStreamName)
        return Answer::kNotFound;
    return request.viewers >= kMaxViewers ? Answer::kFull : Answer::kStream;
}

int StatusOf(Answer answer) {
    switch (answer) {
    case Answer::kPage:
    case Answer::kStream:
    case Answer::kLayer:
        return 200;
    case Answer::kForbidden:
        return 403;
    case Answer::kNotFound:
        return 404;
    case Answer::kMethodNotAllowed:
        return 405;
    case Answer::kUriTooLong:
        return 414;
    case Answer::kFull:
        return 503;
    }
    return 500;
}

std::string MakeToken() {
    uint8_t bytes[kTokenBytes];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        got += static_cast<size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (uint8_t b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string PageHtml(std::string_view token) {
    const std::string base = "/" + std::string(token) + "/";
    const std::string picture = base + std::string(kStreamName);
    const std::string layer = base + std::string(kLayerName);
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>TovekCamera</title>\n<style>\n"
           "html, body { margin: 0; height: 100%; background: #000; overflow: hidden; }\n"
           "img { position: fixed; left: 0; top: 0; display: block; width: 100vw; "
           "height: 100vh; object-fit: contain; }\n"
           "</style></head>\n<body><img id=\"picture\" alt=\"\" src=\"" +
           picture + "\"><img id=\"layer\" alt=\"\" src=\"" + layer +
           "\">\n<script>\n"
           "function again(id, src) {\n"
           "  var img = document.getElementById(id);\n"
           "  img.onerror = function () {\n"
           "    setTimeout(function () { img.src = src + '?' + Date.now(); }, 2000);\n"
           "  };\n"
           "}\n"
           "again('picture', '" +
           picture + "');\nagain('layer', '" + layer + "');\n</script></body></html>\n";
}

std::string PartHeader(size_t length, uint64_t sequence, const char* type) {
    return std::string("--") + kBoundary + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(length) +
           "\r\nX-Frame: " + std::to_string(sequence) + "\r\n\r\n";
}

} // namespace share
