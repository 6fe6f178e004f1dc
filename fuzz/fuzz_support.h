// Helpers shared by the fuzz targets: a check that turns a broken invariant
// into a finding, and a scratch file for parsers that read from a path.
// Each target runs its inputs one at a time on libFuzzer's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

// A broken invariant is a finding like a crash: libFuzzer stores the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s at %s:%d\n", #condition, __FILE__,         \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// One file in a folder of its own under /dev/shm (else $TMPDIR, else /tmp),
// rewritten for every input. The folder and what is in it go at exit.
class ScratchFile {
public:
    explicit ScratchFile(const char* name) {
        const char* const bases[] = {"/dev/shm", std::getenv("TMPDIR"), "/tmp"};
        for (const char* base : bases) {
            if (base == nullptr || base[0] == '\0') {
                continue;
            }
            std::string pattern = std::string(base) + "/tovek-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                folder_ = pattern;
                break;
            }
        }
        if (folder_.empty()) {
            std::fprintf(stderr, "ScratchFile: no writable temporary folder\n");
            std::abort();
        }
        path_ = folder_ + "/" + name;
    }
    ~ScratchFile() {
        // Writers may have left their own temporary files beside ours.
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return path_; }

    // Replaces the file's contents with bytes.
    void Write(const uint8_t* data, size_t size) const {
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        FUZZ_CHECK(fd >= 0);
        while (size > 0) {
            ssize_t n = ::write(fd, data, size);
            FUZZ_CHECK(n > 0);
            data += n;
            size -= static_cast<size_t>(n);
        }
        ::close(fd);
    }

private:
    std::string folder_;
    std::string path_;
};

// True when s holds no unpaired surrogate: what a strict decoder may give.
inline bool IsWellFormedUtf16(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

} // namespace fuzz
