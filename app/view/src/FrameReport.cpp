#include "view/FrameReport.h"

#include "PaintCounter.h"
#include "view/FramePresenter.h"

#include <QCoreApplication>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

namespace view {
namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ProcessCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// The start of a small /proc file read again from its beginning through a
// descriptor kept open, without its newline; empty when unreadable.
std::string Reread(int fd) {
    char buffer[256];
    const ssize_t n = fd >= 0 ? pread(fd, buffer, sizeof buffer - 1, 0) : -1;
    std::string text(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

int OpenForReading(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// "VmRSS" and "VmHWM" of /proc/self/status, in kilobytes.
void ResidentKb(int status_fd, long* rss, long* hwm) {
    *rss = 0;
    *hwm = 0;
    char text[4096];
    const ssize_t n = status_fd >= 0 ? pread(status_fd, text, sizeof text - 1, 0) : -1;
    if (n <= 0) {
        return;
    }
    text[n] = '\0';
    if (const char* at = std::strstr(text, "VmRSS:")) {
        *rss = std::strtol(at + 6, nullptr, 10);
    }
    if (const char* at = std::strstr(text, "VmHWM:")) {
        *hwm = std::strtol(at + 6, nullptr, 10);
    }
}

} // namespace

// The process's threads, their /proc files kept open from line to line:
// reading them costs the user-interface thread no more than it must, as
// the report is part of what it measures.
class FrameReport::Threads {
public:
    ~Threads() {
        for (auto& [tid, files] : files_) {
            Close(files);
        }
    }

    // CPU time of the live threads by name (microseconds, from the
    // scheduler's nanosecond statistics).
    std::map<std::string, int64_t> CpuUs() {
        std::map<std::string, int64_t> cpu;
        DIR* tasks = opendir("/proc/self/task");
        if (tasks == nullptr) {
            return cpu;
        }
        std::map<long, Files> live;
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            const long tid = std::strtol(entry->d_name, nullptr, 10);
            Files files;
            if (auto known = files_.find(tid); known != files_.end()) {
                files = known->second;
                files_.erase(known);
            } else {
                const std::string task = std::string("/proc/self/task/") + entry->d_name;
                files = Files{OpenForReading(task + "/comm"), OpenForReading(task + "/schedstat")};
            }
            live[tid] = files;
            // Names are read every time: a thread names itself after it starts.
            std::string name = Reread(files.comm);
            const std::string schedstat = Reread(files.schedstat);
            if (name.empty() || schedstat.empty()) {
                continue; // the thread just ended
            }
            for (char& c : name) {
                if (c == ' ' || c == ',' || c == ':' || c == '=') {
                    c = '_';
                }
            }
            cpu[name] += std::strtoll(schedstat.c_str(), nullptr, 10) / 1000;
        }
        closedir(tasks);
        for (auto& [tid, files] : files_) { // threads that ended
            Close(files);
        }
        files_ = std::move(live);
        return cpu;
    }

private:
    struct Files {
        int comm = -1;
        int schedstat = -1;
    };
    static void Close(const Files& files) {
        for (int fd : {files.comm, files.schedstat}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    std::map<long, Files> files_; // by thread id
};

std::unique_ptr<FrameReport> FrameReport::FromEnvironment() {
    const char* path = std::getenv("TOVEK_FRAME_REPORT");
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    return Open(path);
}

std::unique_ptr<FrameReport> FrameReport::Open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<FrameReport>(new FrameReport(file));
}

FrameReport::FrameReport(std::FILE* file)
    : file_(file), status_fd_(OpenForReading("/proc/self/status")),
      threads_(std::make_unique<Threads>()) {
    if (QCoreApplication::instance() != nullptr)
        paints_ = std::make_unique<PaintCounter>();
}

FrameReport::~FrameReport() {
    std::fclose(file_);
    if (status_fd_ >= 0)
        close(status_fd_);
}

void FrameReport::OnPaint(bool first, int64_t age_ns, int64_t cpu_ns, int dest_width,
                          int dest_height) {
    paint_ns_ += cpu_ns;
    dest_width_ = dest_width;
    dest_height_ = dest_height;
    if (first && age_ns >= 0) {
        ages_ns_.push_back(age_ns);
    }
}

void FrameReport::WriteLine(const FramePresenter& presenter, uint64_t direct) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    long rss = 0;
    long hwm = 0;
    ResidentKb(status_fd_, &rss, &hwm);
    std::fprintf(
        file_,
        "t_ms=%lld presented=%llu painted=%llu dropped=%llu direct=%llu paint_us=%lld dest=%dx%d "
        "cpu_us=%lld minflt=%ld rss_kb=%ld hwm_kb=%ld ages_ms=",
        static_cast<long long>(SteadyMs()), static_cast<unsigned long long>(presenter.Presented()),
        static_cast<unsigned long long>(presenter.Painted()),
        static_cast<unsigned long long>(presenter.Dropped()),
        static_cast<unsigned long long>(direct), static_cast<long long>(paint_ns_ / 1000),
        dest_width_, dest_height_, static_cast<long long>(ProcessCpuUs()), usage.ru_minflt, rss,
        hwm);
    if (ages_ns_.empty()) {
        std::fputc('-', file_);
    }
    for (size_t i = 0; i < ages_ns_.size(); ++i) {
        std::fprintf(file_, "%s%.1f", i == 0 ? "" : ",", static_cast<double>(ages_ns_[i]) * 1e-6);
    }
    ages_ns_.clear();
    std::fputs(" threads=", file_);
    bool first = true;
    for (const auto& [name, us] : threads_->CpuUs()) {
        std::fprintf(file_, "%s%s:%lld", first ? "" : ",", name.c_str(),
                     static_cast<long long>(us));
        first = false;
    }
    if (paints_)
        std::fprintf(file_, " paints=%s", paints_->TakeText().c_str());
    std::fputc('\n', file_);
    std::fflush(file_);
}

} // namespace view
