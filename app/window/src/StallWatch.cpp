#include "StallWatch.h"

#include "view/VideoView.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace stall_watch {
namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Owned by its timer: the file closes with the window.
class Beat : public QObject {
public:
    Beat(QTimer* timer, std::FILE* file, const VideoView* view)
        : QObject(timer), file_(file), view_(view), last_ms_(SteadyMs()) {}
    ~Beat() override { std::fclose(file_); }
    Beat(const Beat&) = delete;
    Beat& operator=(const Beat&) = delete;

    void OnBeat() {
        const int64_t now = SteadyMs();
        const int64_t late = now - last_ms_ - kBeatMs;
        last_ms_ = now;
        if (late >= kReportLateMs)
            Write("late %lld %lld\n", static_cast<long long>(WallMs()),
                  static_cast<long long>(late));
        if (!painted_ && view_ && view_->PaintedCount() > 0) {
            painted_ = true;
            Write("first_paint %lld\n", static_cast<long long>(WallMs()));
        }
    }

private:
    template <typename... Args>
    void Write(const char* format, Args... args) {
        std::fprintf(file_, format, args...);
        std::fflush(file_); // read while the program runs
    }

    std::FILE* const file_;
    QPointer<const VideoView> view_;
    int64_t last_ms_;
    bool painted_ = false;
};

} // namespace

void StartFromEnvironment(QWidget* owner, const VideoView* view) {
    const char* path = std::getenv("TOVEK_STALL_REPORT");
    if (path == nullptr || *path == '\0')
        return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr)
        return;
    auto* timer = new QTimer(owner);
    timer->setTimerType(Qt::PreciseTimer);
    auto* beat = new Beat(timer, file, view);
    QObject::connect(timer, &QTimer::timeout, beat, [beat] { beat->OnBeat(); });
    timer->start(kBeatMs);
}

} // namespace stall_watch
