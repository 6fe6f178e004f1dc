// A record of what the video view painted, for measuring the running
// program: when the environment variable TOVEK_FRAME_REPORT names a file,
// the view appends one line to it every second. Each line holds running
// totals, so that whoever reads the file takes the difference of two lines
// for any stretch of time:
//
//   t_ms=<steady clock> presented=<frames> painted=<frames> dropped=<frames>
//   paint_us=<UI-thread CPU in paints> dest=<width>x<height of the last paint>
//   cpu_us=<process CPU> minflt=<minor page faults> rss_kb=<resident>
//   hwm_kb=<peak resident> ages_ms=<age of each frame painted since the last
//   line, comma-separated, or -> threads=<name>:<CPU us>,... (each thread
//   name once, its threads added up, spaces as '_') paints=<widget class>:
//   <paint events since the last line>,... (or - ; only with an application)
//
// all on one line, fields separated by one space. The age of a frame is the
// time from its capture to the end of the paint that first showed it.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace view {

class FramePresenter;
class PaintCounter;

class FrameReport {
public:
    // A report into the file TOVEK_FRAME_REPORT names; null when it is not
    // set or the file cannot be opened for appending.
    static std::unique_ptr<FrameReport> FromEnvironment();
    // Appends to path; null when it cannot be opened.
    static std::unique_ptr<FrameReport> Open(const std::string& path);
    ~FrameReport();
    FrameReport(const FrameReport&) = delete;
    FrameReport& operator=(const FrameReport&) = delete;

    // One paint: whether it showed a frame for the first time and that
    // frame's age (-1 unknown), the UI-thread CPU it took and where it drew.
    void OnPaint(bool first, int64_t age_ns, int64_t cpu_ns, int dest_width, int dest_height);
    // Appends the line; the ages start afresh.
    // direct: the frames the display server drew straight from their blocks.
    void WriteLine(const FramePresenter& presenter, uint64_t direct = 0);

private:
    explicit FrameReport(std::FILE* file);

    class Threads;

    std::FILE* file_;
    int status_fd_; // /proc/self/status, kept open; -1 when it cannot be
    std::unique_ptr<Threads> threads_;
    std::unique_ptr<PaintCounter> paints_; // null without an application
    int64_t paint_ns_ = 0;
    int dest_width_ = 0;
    int dest_height_ = 0;
    std::vector<int64_t> ages_ns_; // since the last line
};

} // namespace view
