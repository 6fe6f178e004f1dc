#pragma once
// The shapes the benchmarks draw over a 1920 x 1080 picture.

#include "annotation/FrameOverlay.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bench {

// A rectangle's outline and a line, 4 pixels wide, as the tools draw them.
inline void DrawShapes(OverlayWorker* overlay) {
    constexpr int kWidth = 1920;
    constexpr int kHeight = 1080;
    overlay->SetExtentRenderer([](uint8_t* pixels, size_t size, OverlayExtent* extent) {
        std::memset(pixels, kTransparentByte, size);
        const auto dot = [pixels](int x, int y) {
            uint8_t* p = pixels + (static_cast<size_t>(y) * kWidth + x) * 4;
            p[0] = 0, p[1] = 0, p[2] = 0xFF, p[3] = 0xFF;
        };
        for (int w = 0; w < 4; ++w) {
            for (int x = 200; x < 1700; ++x)
                dot(x, 150 + w), dot(x, 900 + w);
            for (int y = 150; y < 904; ++y)
                dot(200 + w, y), dot(1696 + w, y);
            for (int i = 0; i < 700; ++i)
                dot(300 + i + w, 200 + i);
        }
        ClearOverlayExtent(extent, kWidth, kHeight);
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    overlay->SetPlaying(true);
    overlay->RequestRedraw();
    overlay->Turn();
}

} // namespace bench
