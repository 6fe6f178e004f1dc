#include "platform/profile.h"

#include <fstream>
#include <string_view>
#include <sys/stat.h>

namespace platform {
namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Continuation bytes, the smallest code point of that length, and
        // the lead byte's bits.
        struct Form {
            unsigned char mask, lead;
            size_t extra;
            uint32_t min;
        };
        static constexpr Form kForms[] = {
            {0xE0, 0xC0, 1, 0x80}, {0xF0, 0xE0, 2, 0x800}, {0xF8, 0xF0, 3, 0x10000}};
        const Form* form = nullptr;
        for (const Form& f : kForms) {
            if ((c & f.mask) == f.lead) {
                form = &f;
            }
        }
        if (form == nullptr) {
            return false;
        }
        const size_t extra = form->extra;
        const uint32_t min = form->min;
        uint32_t code = c & static_cast<unsigned char>(~form->mask);
        if (i + extra >= s.size()) {
            return false; // cut short
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (n & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// True when a reader takes the line (or rightly passes over it).
bool LineUnderstood(std::string_view raw, bool* in_section) {
    if (raw.find('\0') != std::string_view::npos || !IsUtf8(raw)) {
        return false;
    }
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') {
        return true;
    }
    if (line[0] == '[') {
        const bool closed = line.find(']') != std::string_view::npos;
        *in_section = *in_section || closed;
        return closed;
    }
    return line.find('=') != std::string_view::npos && *in_section;
}

} // namespace

ProfileCheck CheckProfileFile(const std::string& path, size_t max_bytes) {
    ProfileCheck check;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return check;
    }
    if (static_cast<uint64_t>(st.st_size) > max_bytes) {
        check.found = true;
        check.too_large = true;
        return check;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return check;
    }
    check.found = true;
    std::string bytes(static_cast<size_t>(st.st_size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    std::string_view text(bytes);
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        return check; // UTF-16: its own reader's business
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    bool in_section = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        check.lines_ignored += LineUnderstood(line, &in_section) ? 0 : 1;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return check;
}

} // namespace platform
