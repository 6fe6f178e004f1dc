// The Win32-style calls: read the whole file, query or edit it in memory, and
// replace the file atomically so that a crash or a full disk never leaves a
// half-written settings file behind.
#include "platform/profile.h"

#include "platform/system.h"
#include "platform/thread_annotations.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// Serialises the read-modify-write of WritePrivateProfileStringW within the
// process, so two threads writing different keys both keep their key.
platform::Mutex g_write_mutex;

enum class ReadStatus { Ok, Missing, Failed };

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK keeps a FIFO at the path from blocking the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > kMaxProfileBytes) {
        return ReadStatus::Failed;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t have = 0;
    // The file may grow while it is read; read until the end, within the cap.
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() >= kMaxProfileBytes) {
                char probe;
                ssize_t n = ::read(fd.get(), &probe, 1);
                if (n == 0) {
                    break;
                }
                bytes.clear();
                return ReadStatus::Failed;
            }
            bytes.resize(std::min(kMaxProfileBytes, bytes.size() + 4096));
        }
        ssize_t n = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            bytes.clear();
            return ReadStatus::Failed;
        }
        if (n == 0) {
            break;
        }
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return ReadStatus::Ok;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Writes bytes to a new file beside path and renames it over path. The
// existing file keeps its permission bits (and owner, where allowed); a new
// file gets 0666 less the umask. On any failure the old file is untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    std::string target = path;
    struct stat st {};
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // Replace the file the link points to, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return false;
        }
        target = resolved;
        std::free(resolved);
        exists = ::stat(target.c_str(), &st) == 0;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        return false;
    }
    size_t slash = target.rfind('/');
    std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);

    static std::atomic<uint32_t> counter{0};
    std::string temp;
    int raw_fd = -1;
    for (int attempt = 0; attempt < 100 && raw_fd < 0; ++attempt) {
        temp = folder + ".profile-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        raw_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw_fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (raw_fd < 0) {
        return false;
    }
    Fd fd(raw_fd);
    bool ok = WriteAll(fd.get(), bytes);
    if (ok && exists) {
        ok = ::fchmod(fd.get(), st.st_mode & 07777) == 0;
        // Only root may give a file away; otherwise the new file stays ours.
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
            errno = 0;
        }
    }
    ok = ok && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the new file is already complete.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return true;
}

std::u16string_view WithoutTrailingBlanks(std::u16string_view s) {
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) {
        s.remove_suffix(1);
    }
    return s;
}

uint32_t CopyString(std::u16string_view s, char16_t* out, uint32_t size) {
    size_t n = std::min<size_t>(s.size(), size - 1);
    std::copy_n(s.data(), n, out);
    out[n] = u'\0';
    return static_cast<uint32_t>(n);
}

// Names each followed by a terminator, then one more; a list that does not
// fit is cut and ends in two terminators, and the result is size - 2.
uint32_t CopyList(const std::vector<std::u16string>& names, char16_t* out, uint32_t size) {
    if (size < 2) {
        out[0] = u'\0';
        return 0;
    }
    size_t pos = 0;
    for (const std::u16string& name : names) {
        if (pos + name.size() + 2 > size) {
            size_t room = size - 2 > pos ? size - 2 - pos : 0;
            std::copy_n(name.data(), room, out + pos);
            out[size - 2] = u'\0';
            out[size - 1] = u'\0';
            return size - 2;
        }
        std::copy_n(name.data(), name.size(), out + pos);
        pos += name.size();
        out[pos++] = u'\0';
    }
    out[pos] = u'\0';
    return static_cast<uint32_t>(pos);
}

ProfileDocument LoadDocument(const std::string& path, ReadStatus* status, std::string* bytes) {
    *status = ReadWholeFile(path, *bytes);
    return ProfileDocument::Parse(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
}

} // namespace

uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* default_value, char16_t* out, uint32_t size,
                                  const char16_t* file_name) {
    if (out == nullptr || size == 0) {
        return 0;
    }
    out[0] = u'\0';
    std::u16string_view fallback =
        WithoutTrailingBlanks(default_value ? std::u16string_view(default_value) : u"");
    ProfileDocument doc;
    if (file_name != nullptr) {
        ReadStatus status;
        std::string bytes;
        doc = LoadDocument(Utf16ToUtf8(file_name), &status, &bytes);
    }
    if (section == nullptr) {
        return CopyList(doc.SectionNames(), out, size);
    }
    if (key == nullptr) {
        auto keys = doc.KeyNames(section);
        if (keys && !keys->empty()) {
            return CopyList(*keys, out, size);
        }
        return CopyString(fallback, out, size);
    }
    std::optional<std::u16string> value = doc.Get(section, key);
    return CopyString(value ? std::u16string_view(*value) : fallback, out, size);
}

bool WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file_name) {
    if (section == nullptr || file_name == nullptr || file_name[0] == u'\0') {
        return false;
    }
    std::string path = Utf16ToUtf8(file_name);
    MutexLock lock(g_write_mutex);
    ReadStatus status;
    std::string old_bytes;
    ProfileDocument doc = LoadDocument(path, &status, &old_bytes);
    if (status == ReadStatus::Failed) {
        // Rewriting a file we could not read would lose its contents.
        return false;
    }
    bool deleting = key == nullptr || value == nullptr;
    bool ok = key == nullptr     ? doc.DeleteSection(section)
              : value == nullptr ? doc.DeleteKey(section, key)
                                 : doc.Set(section, key, value);
    if (!ok) {
        return false;
    }
    if (status == ReadStatus::Missing && deleting) {
        return true;
    }
    std::string new_bytes = doc.Bytes();
    if (status == ReadStatus::Ok && new_bytes == old_bytes) {
        return true;
    }
    return ReplaceFileAtomically(path, new_bytes);
}

} // namespace platform
