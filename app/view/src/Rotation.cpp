#include "view/Rotation.h"

#include <algorithm>
#include <cstring>

namespace view {

int NormalQuarterTurns(int turns) {
    return ((turns % 4) + 4) % 4;
}

PictureSize RotateSize(int width, int height, int turns) {
    if (NormalQuarterTurns(turns) % 2 == 1)
        return {height, width};
    return {width, height};
}

POINT RotatePoint(const POINT& p, int width, int height, int turns) {
    switch (NormalQuarterTurns(turns)) {
    case 1:
        return {height - 1 - p.y, p.x};
    case 2:
        return {width - 1 - p.x, height - 1 - p.y};
    case 3:
        return {p.y, width - 1 - p.x};
    default:
        return p;
    }
}

POINT UnrotatePoint(const POINT& p, int width, int height, int turns) {
    const PictureSize turned = RotateSize(width, height, turns);
    return RotatePoint(p, turned.width, turned.height, 4 - NormalQuarterTurns(turns));
}

POINT UnrotateStep(const POINT& step, int turns) {
    // About a 1 x 1 picture a point turns like a vector.
    return UnrotatePoint(step, 1, 1, turns);
}

size_t RotatedFrameBytes(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

bool RotateFrame(const uint8_t* source, int width, int height, int stride, int turns,
                 uint8_t* destination, size_t capacity) {
    const size_t bytes = RotatedFrameBytes(width, height);
    if (bytes == 0 || source == nullptr || destination == nullptr || capacity < bytes ||
        static_cast<int64_t>(stride) < static_cast<int64_t>(width) * 4)
        return false;
    const int t = NormalQuarterTurns(turns);
    const PictureSize turned = RotateSize(width, height, t);
    const size_t row_bytes = static_cast<size_t>(turned.width) * 4;
    if (t == 0) {
        for (int y = 0; y < height; ++y)
            std::memcpy(destination + row_bytes * y, source + static_cast<ptrdiff_t>(y) * stride,
                        row_bytes);
        return true;
    }
    // The source pixel of destination pixel (dx, dy) lies at origin + dx *
    // step_x + dy * step_y (bytes), from UnrotatePoint of each turn.
    const ptrdiff_t row = stride;
    ptrdiff_t origin = 0;
    ptrdiff_t step_x = 0;
    ptrdiff_t step_y = 0;
    if (t == 1) {
        origin = (height - 1) * row;
        step_x = -row;
        step_y = 4;
    } else if (t == 2) {
        origin = (height - 1) * row + static_cast<ptrdiff_t>(width - 1) * 4;
        step_x = -4;
        step_y = -row;
    } else {
        origin = static_cast<ptrdiff_t>(width - 1) * 4;
        step_x = row;
        step_y = -4;
    }
    // Square blocks keep the column-wise reads of a quarter turn in cache.
    constexpr int kBlock = 32;
    for (int by = 0; by < turned.height; by += kBlock) {
        const int end_y = std::min(by + kBlock, turned.height);
        for (int bx = 0; bx < turned.width; bx += kBlock) {
            const int end_x = std::min(bx + kBlock, turned.width);
            for (int dy = by; dy < end_y; ++dy) {
                uint8_t* out = destination + row_bytes * dy + static_cast<size_t>(bx) * 4;
                const uint8_t* in = source + origin + dy * step_y + bx * step_x;
                for (int dx = bx; dx < end_x; ++dx, out += 4, in += step_x)
                    std::memcpy(out, in, 4);
            }
        }
    }
    return true;
}

} // namespace view
