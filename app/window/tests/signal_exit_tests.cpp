#include "remote/SignalExit.h"
#include "testsupport/gui_support.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <csignal>

namespace {

// What is running when the signal comes.
enum class When {
    kWindowRuns,  // the main window alone
    kBoxOnTop,    // a message box run from the main window
    kBeforeStart, // nothing yet: the main window starts later
};

struct Case {
    int signal;
    When when;
};

// Each signal is caught once per process (a second one ends it), so every
// row raises a signal of its own.
const Case kCases[] = {
    {SIGTERM, When::kBoxOnTop},
    {SIGINT, When::kBeforeStart},
    {SIGHUP, When::kWindowRuns},
};

TEST(SignalExit, EndsEveryModalWindowAsRejectedTopmostFirst) {
    testsupport::App();
    ASSERT_TRUE(InstallSignalExit());
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.signal);
        QDialog window;
        QMessageBox box(&window);
        bool box_returned = false;
        if (c.when == When::kBeforeStart) {
            std::raise(c.signal);
            QCoreApplication::processEvents(); // read while no window runs
        } else {
            QTimer::singleShot(0, &window, [&] {
                if (c.when == When::kWindowRuns) {
                    std::raise(c.signal);
                    return;
                }
                QTimer::singleShot(0, &box, [&] { std::raise(c.signal); });
                box.exec();
                box_returned = true;
            });
        }
        // A window the signal did not end would end with 99.
        QTimer::singleShot(10000, &window, [&] { window.done(99); });
        EXPECT_EQ(QDialog::Rejected, window.exec());
        EXPECT_EQ(c.when == When::kBoxOnTop, box_returned);
        EXPECT_FALSE(box.isVisible());
    }
    EXPECT_EQ(SIGTERM, SignalExitReceived());
}

// A signal that comes before the application exists (start-up) neither
// kills the process nor is lost: it is answered once the event loop runs.
TEST(SignalExit, ASignalDuringStartUpWaitsForTheEventLoop) {
    ASSERT_TRUE(CatchExitSignals());
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    testsupport::App();
    int answered = 0;
    ASSERT_TRUE(InstallSignalExit([&] { ++answered; }));
    EXPECT_EQ(0, SignalExitReceived());
    testsupport::ProcessEventsUntil([&] { return answered != 0; }, std::chrono::seconds(1));
    EXPECT_EQ(1, answered) << "both signals are read at once";
    EXPECT_EQ(SIGHUP, SignalExitReceived());
}

} // namespace
