// A 32-bit frame of random bytes, its rows padded: what the tests of
// shrinking, copying and painting frames feed, so that any pixel taken from
// the wrong place shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace testsupport {

struct BgrxFrame {
    int width, height, stride;
    std::vector<uint8_t> bytes;
};

inline BgrxFrame RandomFrame(int width, int height, int padding, unsigned seed) {
    BgrxFrame f{width, height, width * 4 + padding, {}};
    f.bytes.resize(static_cast<size_t>(f.stride) * height);
    std::mt19937 random(seed);
    for (uint8_t& b : f.bytes)
        b = static_cast<uint8_t>(random());
    return f;
}

} // namespace testsupport
