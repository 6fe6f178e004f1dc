// Small timing helpers shared by the benchmarks.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// One goal row for bench/run, on a line of its own:
//   GOAL<TAB>name<TAB>measured<TAB>limit<TAB>unit
// The goal is met when measured is at most limit. A benchmark prints its
// rows beside its own detailed output; bench/run collects only these lines.
inline void PrintGoal(const char* name, double measured, double limit, const char* unit) {
    std::printf("GOAL\t%s\t%.3f\t%.3f\t%s\n", name, measured, limit, unit);
    std::fflush(stdout);
}

inline double Seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
inline double WallSeconds() {
    return Seconds(CLOCK_MONOTONIC);
}
inline double CpuSeconds() {
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}
// This thread's CPU time: what the process's other threads spend meanwhile
// does not count.
inline double ThreadCpuSeconds() {
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
}

// The middle value: a shared machine descheduling the odd frame does not
// move it.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Minor page faults of this process so far: each one is a page of fresh
// memory touched for the first time.
inline long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The process's resident memory, from /proc/self/status.
inline long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

} // namespace bench
