#include "remote/RemoteProtocol.h"

#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace remote {

namespace {

struct ReplyWord {
    Reply reply;
    const char* word;
};
constexpr ReplyWord kReplies[] = {
    {Reply::kOk, "ok"},
    {Reply::kDisabled, "disabled"},
    {Reply::kBusy, "busy"},
    {Reply::kUnknown, "unknown"},
};

constexpr uint32_t kConnectRetryMs = 50;

bool IsDirectory(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] != '\0' && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// FNV-1a: a short, stable name for a long one.
uint64_t Hash(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Milliseconds left of a budget that began at start; 0 when spent.
uint32_t Remaining(uint32_t start, uint32_t budget_ms) {
    const uint32_t spent = platform::GetTickCount() - start;
    return spent >= budget_ms ? 0 : budget_ms - spent;
}

// A connected socket, or -1.
int Connect(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The next reply line from fd, waiting at most until the budget is spent.
bool ReadLine(int fd, LineReader* reader, uint32_t start, uint32_t budget_ms, std::string* line) {
    while (!reader->Next(line)) {
        if (reader->Overflowed())
            return false;
        const uint32_t left = Remaining(start, budget_ms);
        if (left == 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[256];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        reader->Feed(std::string_view(buffer, static_cast<size_t>(n)));
    }
    return true;
}

} // namespace

std::string FormatRequest(const cli::RemoteCommand& command) {
    std::string line(cli::VerbName(command.verb));
    if (command.verb == cli::Verb::kZoomMode)
        line += ' ' + std::to_string(command.zoom_mode);
    return line + '\n';
}

bool ParseRequest(std::string_view line, cli::RemoteCommand* command) {
    const size_t space = line.find(' ');
    cli::Verb verb{};
    if (!cli::VerbOfName(line.substr(0, space), &verb))
        return false;
    const bool zoom = verb == cli::Verb::kZoomMode;
    if (!zoom) {
        if (space != std::string_view::npos)
            return false;
        *command = {verb, 0};
        return true;
    }
    if (space == std::string_view::npos)
        return false;
    const std::string_view number = line.substr(space + 1);
    if (number.size() != 1 || number[0] < '1' || number[0] > '0' + cli::kZoomModes)
        return false;
    *command = {verb, number[0] - '0'};
    return true;
}

std::string FormatReply(Reply reply, std::string_view note) {
    for (const ReplyWord& r : kReplies) {
        if (r.reply != reply)
            continue;
        std::string line(r.word);
        // A note that would break the line or pass its limit is left out.
        if (reply == Reply::kOk && !note.empty() && note.size() + 3 <= kMaxLineBytes &&
            note.find_first_of("\r\n") == std::string_view::npos)
            line += ' ' + std::string(note);
        return line + '\n';
    }
    return "unknown\n";
}

bool ParseReply(std::string_view line, Reply* reply, std::string* note) {
    if (note != nullptr)
        note->clear();
    const size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    for (const ReplyWord& r : kReplies) {
        if (word != r.word)
            continue;
        if (space != std::string_view::npos) {
            if (r.reply != Reply::kOk || space + 1 == line.size())
                return false;
            if (note != nullptr)
                note->assign(line.substr(space + 1));
        }
        *reply = r.reply;
        return true;
    }
    return false;
}

bool RunsBeforeReply(cli::Verb verb) {
    return verb == cli::Verb::kShare || verb == cli::Verb::kShareStop;
}

void LineReader::Feed(std::string_view bytes) {
    if (!overflowed_)
        pending_.append(bytes);
}

bool LineReader::Next(std::string* line) {
    if (overflowed_)
        return false;
    const size_t end = pending_.find('\n');
    // A line may end in "\r\n"; the '\r' does not count.
    const size_t limit = kMaxLineBytes + 1;
    if (end == std::string::npos ? pending_.size() > limit : end > limit) {
        overflowed_ = true;
        pending_.clear();
        return false;
    }
    if (end == std::string::npos)
        return false;
    line->assign(pending_, 0, end);
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    pending_.erase(0, end + 1);
    if (line->size() > kMaxLineBytes) {
        overflowed_ = true;
        pending_.clear();
        return false;
    }
    return true;
}

std::string SocketPath(const std::string& app_name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    // The instance lock's folder, so that lock and channel go together.
    std::string folder = "/tmp";
    std::string suffix = ".remote";
    if (IsDirectory(runtime)) {
        folder = runtime;
    } else {
        if (IsDirectory(tmp))
            folder = tmp;
        // A shared folder: the name tells whose program listens.
        suffix = "-" + std::to_string(getuid()) + suffix;
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const size_t limit = sizeof(sockaddr_un{}.sun_path) - 1;
    std::string path = folder + "/" + app_name + suffix;
    if (path.size() <= limit)
        return path;
    char hashed[32];
    std::snprintf(hashed, sizeof hashed, "tovek-%016llx",
                  static_cast<unsigned long long>(Hash(app_name)));
    path = folder + "/" + hashed + suffix;
    return path.size() <= limit ? path : std::string();
}

SendResult SendRemoteCommands(const std::string& path,
                              const std::vector<cli::RemoteCommand>& commands, uint32_t timeout_ms,
                              cli::RemoteCommand* refused, Reply* reply,
                              std::vector<std::string>* notes) {
    const uint32_t start = platform::GetTickCount();
    int fd = -1;
    // The running program may hold the lock before its window listens.
    while ((fd = Connect(path)) < 0) {
        const uint32_t left = Remaining(start, timeout_ms);
        if (left == 0)
            return SendResult::kNoAnswer;
        platform::Sleep(left < kConnectRetryMs ? left : kConnectRetryMs);
    }
    std::string requests;
    for (const cli::RemoteCommand& command : commands)
        requests += FormatRequest(command);
    SendResult result = SendAll(fd, requests) ? SendResult::kTaken : SendResult::kNoAnswer;
    LineReader reader;
    for (size_t i = 0; i < commands.size() && result == SendResult::kTaken; ++i) {
        std::string line;
        Reply answer = Reply::kUnknown;
        std::string note;
        if (!ReadLine(fd, &reader, start, timeout_ms, &line) || !ParseReply(line, &answer, &note)) {
            result = SendResult::kNoAnswer;
        } else if (answer != Reply::kOk) {
            *refused = commands[i];
            *reply = answer;
            result = SendResult::kNotNow;
        } else if (notes != nullptr && !note.empty()) {
            notes->push_back(std::move(note));
        }
    }
    close(fd);
    return result;
}

} // namespace remote
