#include "SignalExit.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

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

} // namespace
