#include "sim/control.h"

#include "platform/thread_annotations.h"
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>

#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr size_t kMaxLine = 256;
constexpr const char* kPrefix = "tovek-sim-";
constexpr const char* kSuffix = ".sock";

struct Control {
    platform::Mutex mutex;
    std::map<std::string, SimCommandHandler> handlers TOVEK_GUARDED_BY(mutex);
    std::map<std::string, SimActionHandler> actions TOVEK_GUARDED_BY(mutex);
    // Socket file, empty while not listening.
    std::string path TOVEK_GUARDED_BY(mutex);
    // eventfd that tells the listener to end.
    int wake_fd TOVEK_GUARDED_BY(mutex) = -1;
    // The listener; it closes its descriptors itself.
    std::thread thread TOVEK_GUARDED_BY(mutex);
    bool exit_hook TOVEK_GUARDED_BY(mutex) = false;
};

// Never destroyed: the listener may still run while the process exits.
Control& State() {
    static auto* control = new Control;
    return *control;
}

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > 32) {
        return false;
    }
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) {
            return false;
        }
    }
    return true;
}

bool FitsSocketAddress(const std::string& path) {
    return path.size() < sizeof(sockaddr_un::sun_path);
}

sockaddr_un AddressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

std::string SocketPathFor(const std::string& folder, int pid) {
    return folder + "/" + kPrefix + std::to_string(pid) + kSuffix;
}

void Listen(int fd, int wake_fd) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            // Only the wake-up ends the listener (it owns both descriptors
            // until then), so an odd failure just waits and tries again.
            if (errno != EINTR) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        if (fds[1].revents != 0) {
            uint64_t count = 0;
            if (read(wake_fd, &count, sizeof count) < 0) {
                // Woken all the same; the read only pairs with StopSimControl's write.
            }
            break;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        char line[kMaxLine];
        sockaddr_un from{};
        socklen_t from_length = sizeof from;
        ssize_t n = recvfrom(fd, line, sizeof line, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &from_length);
        if (n < 0) {
            continue;
        }
        std::string reply = ExecuteSimCommand(std::string_view(line, static_cast<size_t>(n)));
        if (from_length > sizeof(sa_family_t)) {
            sendto(fd, reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<sockaddr*>(&from), from_length);
        }
    }
    close(fd);
    close(wake_fd);
}

// Starts the listener.
void StartListenerLocked(Control& control) TOVEK_REQUIRES(control.mutex) {
    if (!control.path.empty()) {
        return;
    }
    std::string path = SocketPathFor(SimControlFolder(), getpid());
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    unlink(path.c_str()); // left by an earlier process that had our pid
    sockaddr_un address = AddressOf(path);
    int wake_fd = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (wake_fd = eventfd(0, EFD_CLOEXEC)) < 0) {
        close(fd);
        unlink(path.c_str());
        return;
    }
    try {
        control.thread = std::thread(Listen, fd, wake_fd);
    } catch (const std::system_error&) {
        close(fd);
        close(wake_fd);
        unlink(path.c_str());
        return;
    }
    control.path = path;
    control.wake_fd = wake_fd;
    if (!control.exit_hook) {
        control.exit_hook = true;
        std::atexit(StopSimControl);
    }
}

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

// The pid in a socket file name, or 0.
int PidOf(const std::string& name) {
    const std::string prefix = kPrefix;
    const std::string suffix = kSuffix;
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return 0;
    }
    std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::atoi(digits.c_str());
}

// pid -> socket path for every listening process in the folders we look in.
std::map<int, std::string> FindSockets() {
    std::map<int, std::string> sockets;
    std::set<std::string> folders = {SimControlFolder(), "/tmp"};
    for (const std::string& folder : folders) {
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) {
            continue;
        }
        while (dirent* entry = readdir(dir)) {
            int pid = PidOf(entry->d_name);
            if (pid > 0) {
                sockets.emplace(pid, folder + "/" + entry->d_name);
            }
        }
        closedir(dir);
    }
    return sockets;
}

SimCommandReply SendOne(int pid, const std::string& path, std::string_view line,
                        uint32_t timeout_ms) {
    SimCommandReply result;
    result.pid = pid;
    if (!FitsSocketAddress(path)) {
        result.reply = "socket path too long";
        return result;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.reply = std::strerror(errno);
        return result;
    }
    // An automatic abstract address, so the program can answer.
    sockaddr_un self{};
    self.sun_family = AF_UNIX;
    bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(sa_family_t));
    sockaddr_un to = AddressOf(path);
    if (sendto(fd, line.data(), line.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
               sizeof to) < 0) {
        int error = errno;
        if ((error == ECONNREFUSED || error == ENOENT) && kill(pid, 0) != 0 && errno == ESRCH) {
            unlink(path.c_str()); // the program ended without removing it
            result.reply = "not running";
        } else {
            result.reply = std::strerror(error);
        }
        close(fd);
        return result;
    }
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, static_cast<int>(timeout_ms));
    } while (ready < 0 && errno == EINTR);
    if (ready > 0) {
        char reply[kMaxLine];
        ssize_t n = recv(fd, reply, sizeof reply, 0);
        if (n >= 0) {
            result.answered = true;
            result.reply.assign(reply, static_cast<size_t>(n));
        }
    } else {
        result.reply = "no answer";
    }
    close(fd);
    return result;
}

} // namespace

bool RegisterSimCommand(const std::string& name, SimCommandHandler handler) {
    if (!ValidName(name) || !handler) {
        return false;
    }
    Control& control = State();
    platform::MutexLock lock(control.mutex);
    control.handlers[name] = std::move(handler);
    StartListenerLocked(control);
    return true;
}

bool RegisterSimAction(const std::string& verb, SimActionHandler handler) {
    if (!ValidName(verb) || !handler || verb == "plug" || verb == "pull" || verb == "list") {
        return false;
    }
    Control& control = State();
    platform::MutexLock lock(control.mutex);
    control.actions[verb] = std::move(handler);
    StartListenerLocked(control);
    return true;
}

void UnregisterSimCommand(const std::string& name) {
    Control& control = State();
    platform::MutexLock lock(control.mutex);
    control.handlers.erase(name);
}

std::string ExecuteSimCommand(std::string_view line) {
    std::vector<std::string> words = Words(line);
    Control& control = State();
    if (words.size() == 1 && words[0] == "list") {
        platform::MutexLock lock(control.mutex);
        std::string names;
        for (const auto& [name, handler] : control.handlers) {
            names += names.empty() ? name : " " + name;
        }
        return names;
    }
    if (words.size() == 2 && words[0] != "plug" && words[0] != "pull") {
        SimActionHandler action;
        {
            platform::MutexLock lock(control.mutex);
            auto it = control.actions.find(words[0]);
            if (it != control.actions.end()) {
                action = it->second;
            }
        }
        if (action) {
            try {
                return action(words[1]);
            } catch (const std::exception& e) {
                return std::string("error: ") + e.what();
            }
        }
    }
    if (words.size() != 2 || (words[0] != "plug" && words[0] != "pull")) {
        return "error: unknown command (use plug NAME, pull NAME, list, scene desk|page or "
               "page next)";
    }
    SimCommandHandler handler;
    {
        platform::MutexLock lock(control.mutex);
        auto it = control.handlers.find(words[1]);
        if (it == control.handlers.end()) {
            return "error: no emulated device named " + words[1].substr(0, 32);
        }
        handler = it->second; // run without the lock: it may register more
    }
    try {
        handler(words[0] == "plug");
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
    return "ok";
}

std::string SimControlSocketPath() {
    Control& control = State();
    platform::MutexLock lock(control.mutex);
    return control.path;
}

std::string SimControlFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        std::string folder = runtime;
        if (FitsSocketAddress(SocketPathFor(folder, 999999999))) {
            return folder;
        }
    }
    return "/tmp";
}

void StopSimControl() {
    Control& control = State();
    std::thread thread;
    std::string path;
    int wake_fd;
    {
        platform::MutexLock lock(control.mutex);
        thread = std::move(control.thread);
        path = std::move(control.path);
        control.path.clear();
        wake_fd = control.wake_fd;
        control.wake_fd = -1;
    }
    if (path.empty()) {
        return;
    }
    unlink(path.c_str());
    uint64_t one = 1;
    if (write(wake_fd, &one, sizeof one) < 0) {
        // The listener then only ends with the process; nothing else to do.
    }
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach(); // asked by a handler: the listener ends after it returns
    } else if (thread.joinable()) {
        thread.join();
    }
}

std::vector<SimCommandReply> SendSimCommand(std::string_view line, int pid, uint32_t timeout_ms) {
    std::vector<SimCommandReply> replies;
    if (line.size() > kMaxLine) {
        line = line.substr(0, kMaxLine);
    }
    for (const auto& [socket_pid, path] : FindSockets()) {
        if (pid == 0 || pid == socket_pid) {
            replies.push_back(SendOne(socket_pid, path, line, timeout_ms));
        }
    }
    return replies;
}

} // namespace sim
