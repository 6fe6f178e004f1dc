#include "testsupport/wait.h"

#include <thread>

namespace testsupport {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return WaitUntil(done, timeout,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& pause) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        // The bound is checked after done(), so a condition that came true
        // while the last pause ran still counts.
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pause();
    }
    return true;
}

} // namespace testsupport
