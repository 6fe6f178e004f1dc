// Small timing helpers shared by the benchmarks.
#pragma once

#include <sys/resource.h>

#include <ctime>

namespace bench {

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

// Minor page faults of this process so far: each one is a page of fresh
// memory touched for the first time.
inline long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

} // namespace bench
