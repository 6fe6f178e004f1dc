#include "FrameReport.h"

#include "FramePresenter.h"
#include "PaintCounter.h"

#include <QCoreApplication>

#include <dirent.h>
#include <sys/resource.h>

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

// The first line of a small file, without its newline; empty when unreadable.
std::string FirstLine(const std::string& path) {
    std::string line;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, f) != nullptr) {
            line = buffer;
        }
        std::fclose(f);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// "VmRSS" and "VmHWM" of /proc/self/status, in kilobytes.
void ResidentKb(long* rss, long* hwm) {
    *rss = 0;
    *hwm = 0;
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) {
        return;
    }
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            *rss = std::strtol(line + 6, nullptr, 10);
        } else if (std::strncmp(line, "VmHWM:", 6) == 0) {
            *hwm = std::strtol(line + 6, nullptr, 10);
        }
    }
    std::fclose(f);
}

// CPU time of the live threads by name (microseconds, from the scheduler's
// nanosecond statistics).
std::map<std::string, int64_t> ThreadCpuUs() {
    std::map<std::string, int64_t> cpu;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return cpu;
    }
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string name = FirstLine(task + "/comm");
        const std::string schedstat = FirstLine(task + "/schedstat");
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
    return cpu;
}

} // namespace

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

FrameReport::FrameReport(std::FILE* file) : file_(file) {
    if (QCoreApplication::instance() != nullptr)
        paints_ = std::make_unique<PaintCounter>();
}

FrameReport::~FrameReport() {
    std::fclose(file_);
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

void FrameReport::WriteLine(const FramePresenter& presenter) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    long rss = 0;
    long hwm = 0;
    ResidentKb(&rss, &hwm);
    std::fprintf(file_,
                 "t_ms=%lld presented=%llu painted=%llu dropped=%llu paint_us=%lld dest=%dx%d "
                 "cpu_us=%lld minflt=%ld rss_kb=%ld hwm_kb=%ld ages_ms=",
                 static_cast<long long>(SteadyMs()),
                 static_cast<unsigned long long>(presenter.Presented()),
                 static_cast<unsigned long long>(presenter.Painted()),
                 static_cast<unsigned long long>(presenter.Dropped()),
                 static_cast<long long>(paint_ns_ / 1000), dest_width_, dest_height_,
                 static_cast<long long>(ProcessCpuUs()), usage.ru_minflt, rss, hwm);
    if (ages_ns_.empty()) {
        std::fputc('-', file_);
    }
    for (size_t i = 0; i < ages_ns_.size(); ++i) {
        std::fprintf(file_, "%s%.1f", i == 0 ? "" : ",", static_cast<double>(ages_ns_[i]) * 1e-6);
    }
    ages_ns_.clear();
    std::fputs(" threads=", file_);
    bool first = true;
    for (const auto& [name, us] : ThreadCpuUs()) {
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
