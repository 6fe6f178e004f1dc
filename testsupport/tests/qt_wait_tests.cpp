#include "testsupport/qt_wait.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

namespace {

using namespace std::chrono_literals;

// A timer of the test's own thread fires only while its event loop turns:
// the plain wait never sees it, the Qt wait does.
TEST(ProcessEventsUntil, DeliversTheEventsOfTheTestsThread) {
    static int argc = 1;
    static char name[] = "testsupport_qt_tests";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    bool fired = false;
    QTimer::singleShot(0, &app, [&] { fired = true; });
    EXPECT_FALSE(testsupport::WaitUntil([&] { return fired; }, 50ms));
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return fired; }));
}

} // namespace
