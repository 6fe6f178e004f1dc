// The control tool bar's auto-repeat rule, kept free of I/O and threads so
// that it can be driven step by step: a held button sends at once, then
// every 300 ms while it stays the last sender; another button sends at once.
#pragma once

#include <cstdint>

namespace toolbar {

inline constexpr uint32_t kRepeatMs = 300;    // a held button's repeat period
inline constexpr uint32_t kRepeatPollMs = 10; // the worker looks this often
inline constexpr int kRepeatButtons = 8;      // buttons 1 to 8

class AutoRepeatRule {
public:
    // Whether held button (1 to kRepeatButtons) sends at now_ms; a send
    // makes it the last sender at now_ms. Tick differences are taken in 32
    // bits, so the clock's wrap does no harm.
    bool ShouldSend(int button, uint32_t now_ms) {
        if (button == last_sender_ && now_ms - last_send_ms_ < kRepeatMs)
            return false;
        last_sender_ = button;
        last_send_ms_ = now_ms;
        return true;
    }

    int LastSender() const { return last_sender_; }

private:
    int last_sender_ = 0; // 0: none yet
    uint32_t last_send_ms_ = 0;
};

} // namespace toolbar
