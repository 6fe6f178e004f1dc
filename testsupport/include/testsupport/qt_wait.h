// The bounded wait of tests that run Qt objects on their own thread: Qt
// delivers queued signals, timers and paint events only while its event loop
// turns, so the wait processes events instead of sleeping.
#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

// Processes Qt events (20 ms at most a turn) until done() holds; false when
// it still does not hold after timeout.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

} // namespace testsupport
