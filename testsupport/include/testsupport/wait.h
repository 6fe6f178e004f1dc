// Bounded waits of the tests for what another thread of the code under test
// does: the condition is polled until it holds or the bound has passed.
#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

// How long a test waits for the code under test by default: a hang detector,
// not a speed limit.
inline constexpr std::chrono::milliseconds kWaitBound{10000};

// Calls done() every 2 ms until it holds; false when it still does not hold
// once timeout has passed (it is asked once more after the bound).
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWaitBound);

// The same loop with pause() run between two calls of done() in place of the
// sleep: a test that must keep an event loop turning passes its pump here.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& pause);

} // namespace testsupport
