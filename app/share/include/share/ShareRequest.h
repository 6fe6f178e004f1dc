// What the sharing server answers a request, decided before any picture is
// sent: the token in the path, the method, the viewers' limit. Qt-free and
// free of the HTTP library, so the fuzz target and the tests reach it alone.
//
//   /<token>/              the page: the stream filling the window
//   /<token>/stream.mjpg   the pictures, multipart/x-mixed-replace
//   /<token>/layer.png     the ink over them: transparent PNGs, the same way
//
// Whatever does not carry the token gets 403 and nothing else; the token is
// compared in constant time. Only GET and HEAD are served: nothing a viewer
// sends changes the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace share {

inline constexpr size_t kTokenBytes = 16; // 128 random bits
inline constexpr size_t kTokenHexChars = kTokenBytes * 2;
inline constexpr int kMaxViewers = 60;
inline constexpr size_t kMaxUrlBytes = 256;
inline constexpr const char* kBoundary = "tovekframe";

enum class Answer {
    kPage,
    kStream,
    kLayer,
    kForbidden,        // 403: no token, or a wrong one
    kNotFound,         // 404: the token, but no such page
    kMethodNotAllowed, // 405
    kUriTooLong,       // 414
    kFull,             // 503: kMaxViewers watch already
};

struct Request {
    std::string_view method;
    std::string_view url; // the path, without the query
    int viewers = 0;      // picture streams open now
    int layers = 0;       // layer streams open now
};

// token: kTokenHexChars lower-case hex digits.
Answer Decide(const Request& request, std::string_view token);
int StatusOf(Answer answer);

// A new token from the system's random source; empty when it gives none.
std::string MakeToken();
// Equal, in a time that depends only on the lengths.
bool SameToken(std::string_view a, std::string_view b);

// The page of the token: the picture's stream and the layer's in two <img>
// stacked in one box filling the window (object-fit: contain on both, so
// the ink lies on the picture at every size); each asks again after a
// broken connection. Needs nothing from elsewhere.
std::string PageHtml(std::string_view token);
// The header of one part of a stream holding a picture of length bytes of
// type (image/jpeg, image/png), the sequence-th one shared (X-Frame: a
// viewer can tell how far behind it is).
std::string PartHeader(size_t length, uint64_t sequence, const char* type = "image/jpeg");

} // namespace share
