#include "testsupport/qt_wait.h"

#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace testsupport {

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return WaitUntil(done, timeout,
                     [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

} // namespace testsupport
