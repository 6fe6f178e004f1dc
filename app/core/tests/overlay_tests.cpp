// The overlay compositing and the overlay worker's redraw rules.
#include "FrameOverlay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> Pixels(int count, uint32_t value) {
    std::vector<uint8_t> out(static_cast<size_t>(count) * 4);
    for (int i = 0; i < count; ++i)
        std::memcpy(&out[static_cast<size_t>(i) * 4], &value, 4);
    return out;
}

uint32_t PixelAt(const std::vector<uint8_t>& buffer, size_t offset) {
    uint32_t v;
    std::memcpy(&v, &buffer[offset], 4);
    return v;
}

TEST(CompositeOverlay, CopiesOpaquePixelsAndKeepsTransparentOnes) {
    // 3 x 2 frame; bytes B, G, R, X.
    std::vector<uint8_t> frame = Pixels(6, 0x11223344);
    std::vector<uint8_t> overlay = Pixels(6, 0x0000FEFE); // transparent
    std::memcpy(&overlay[0], "\x01\x02\x03\x04", 4);      // opaque
    std::memcpy(&overlay[4 * 4], "\xFE\x00\xFE\xFE", 4);  // only one 0xFE: opaque
    std::memcpy(&overlay[5 * 4], "\x00\xFE\xFE\xFE", 4);  // 0xFE second only: opaque
    CompositeOverlay(frame.data(), 3 * 4, overlay.data(), 3, 2);

    EXPECT_EQ(0, std::memcmp(&frame[0], "\x01\x02\x03\x04", 4));
    for (int i : {1, 2, 3})
        EXPECT_EQ(PixelAt(frame, i * 4), 0x11223344u) << i;
    EXPECT_EQ(0, std::memcmp(&frame[16], "\xFE\x00\xFE\xFE", 4));
    EXPECT_EQ(0, std::memcmp(&frame[20], "\x00\xFE\xFE\xFE", 4));
}

TEST(CompositeOverlay, HonoursTheFrameStrideAndRejectsBadGeometry) {
    // 2 x 2 frame with 4 bytes of padding per row; the padding stays.
    std::vector<uint8_t> frame(2 * 12, 0xAA);
    std::vector<uint8_t> overlay = Pixels(4, 0x00000001);
    CompositeOverlay(frame.data(), 12, overlay.data(), 2, 2);
    EXPECT_EQ(PixelAt(frame, 0), 1u);
    EXPECT_EQ(PixelAt(frame, 4), 1u);
    EXPECT_EQ(PixelAt(frame, 8), 0xAAAAAAAAu);
    EXPECT_EQ(PixelAt(frame, 12), 1u);
    EXPECT_EQ(PixelAt(frame, 20), 0xAAAAAAAAu);

    std::vector<uint8_t> untouched(frame);
    CompositeOverlay(frame.data(), 4, overlay.data(), 2, 2); // stride too small
    CompositeOverlay(frame.data(), 12, overlay.data(), 0, 2);
    CompositeOverlay(frame.data(), 12, overlay.data(), 2, -1);
    CompositeOverlay(nullptr, 12, overlay.data(), 2, 2);
    CompositeOverlay(frame.data(), 12, nullptr, 2, 2);
    EXPECT_EQ(frame, untouched);
}

TEST(OverlayWorker, RendersOnlyWhilePlayingAndOncePerRequest) {
    OverlayWorker worker;
    std::atomic<int> renders{0};
    worker.SetRenderer([&](uint8_t* overlay, size_t size) {
        EXPECT_EQ(size, kMaxFrameBytes);
        overlay[0] = 7;
        ++renders;
        return true;
    });
    worker.RequestRedraw();
    EXPECT_FALSE(worker.Turn()); // not playing
    worker.SetPlaying(true);
    EXPECT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Turn()); // the request was served
    EXPECT_TRUE(worker.Present());
    EXPECT_EQ(worker.Buffer()[0], 7);

    worker.RequestRedraw();
    worker.RequestRedraw();
    worker.RequestImmediateRedraw();
    EXPECT_TRUE(worker.Turn()); // the immediate one
    EXPECT_TRUE(worker.Turn());
    EXPECT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Turn());
    EXPECT_EQ(renders.load(), 4);

    worker.Reset();
    EXPECT_FALSE(worker.Present());
    EXPECT_EQ(worker.Buffer()[0], kTransparentByte);
    EXPECT_EQ(worker.Buffer()[kMaxFrameBytes - 1], kTransparentByte);
}

TEST(OverlayWorker, ARequestMadeWhileRenderingIsNotLost) {
    OverlayWorker worker;
    int renders = 0;
    worker.SetRenderer([&](uint8_t*, size_t) {
        // An edit lands while the worker draws the previous state.
        if (++renders == 1) {
            worker.RequestImmediateRedraw();
            worker.RequestRedraw();
        }
        return false;
    });
    worker.SetPlaying(true);
    worker.RequestImmediateRedraw();
    EXPECT_TRUE(worker.Turn());
    EXPECT_TRUE(worker.Turn());
    EXPECT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Turn());
    EXPECT_EQ(renders, 3);
}

TEST(OverlayWorker, DefaultRendererLeavesNothingToComposite) {
    OverlayWorker worker;
    EXPECT_EQ(worker.Buffer()[0], 0xFF); // as allocated
    worker.SetPresent(true);
    worker.SetPlaying(true);
    worker.RequestImmediateRedraw();
    EXPECT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Present());
    EXPECT_EQ(worker.Buffer()[kMaxFrameBytes / 2], kTransparentByte);
}

TEST(OverlayWorker, ThreadServesRequestsAndStops) {
    OverlayWorker worker;
    std::atomic<int> renders{0};
    worker.SetRenderer([&](uint8_t*, size_t) {
        ++renders;
        return false;
    });
    worker.SetPlaying(true);
    worker.Start();
    EXPECT_TRUE(worker.Running());
    worker.RequestRedraw();
    for (int i = 0; i < 2000 && renders.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(renders.load(), 1);
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    worker.Stop(); // twice is harmless
    worker.RequestRedraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(renders.load(), 1); // nothing runs after Stop
}

} // namespace
