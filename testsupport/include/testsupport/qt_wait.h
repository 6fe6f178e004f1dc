// The bounded wait of tests that run Qt objects on their own thread: Qt
// delivers queued signals, timers and paint events only while its event loop
// turns, so the wait processes events instead of sleeping.
#pragma once

#include "testsupport/wait.h"

#include <chrono>
#include <functional>

namespace testsupport {

// Processes Qt events (20 ms at most a turn) until done() holds; false when
// it still does not hold after timeout. The bound is every wait's hang
// detector (wait.h): on a loaded machine a camera opened under a fake clock
// alone takes seconds of scheduler turns (its 10-second search for a camera
// is 500 polls, each yielding the processor).
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = kWaitBound);

} // namespace testsupport
