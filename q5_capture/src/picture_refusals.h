// The rule that turns pictures the decoder refuses into a failure, free of
// I/O. The decoder skips a picture it cannot decode, so that one bad transfer
// never stops the picture; a camera whose pictures it refuses one after the
// other sends a format it cannot take, and the user should be told rather
// than shown a window that stays black.
#pragma once

#include <atomic>
#include <cstdint>

namespace q5cap {

class PictureRefusals {
public:
    // Refused pictures in a row that make a failure: well over half a second
    // at the camera's 16 pictures per second, longer than any burst of bad
    // transfers of a working camera.
    static constexpr uint32_t kLimit = 10;

    // A picture was refused. True exactly once per series: for the picture
    // that reaches kLimit.
    bool OnRefused() { return count_.fetch_add(1) + 1 == kLimit; }
    // A picture was decoded, or a new run starts: the series ends.
    void Reset() { count_.store(0); }

private:
    std::atomic<uint32_t> count_{0}; // refused since the last decoded picture
};

} // namespace q5cap
