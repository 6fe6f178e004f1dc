// The overlay compositing and the overlay worker's redraw rules.
#include "annotation/FrameOverlay.h"

#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <utility>
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
    std::vector<uint8_t> overlay = Pixels(4, 0xFF000001);
    CompositeOverlay(frame.data(), 12, overlay.data(), 2, 2);
    EXPECT_EQ(PixelAt(frame, 0), 0xFF000001u);
    EXPECT_EQ(PixelAt(frame, 4), 0xFF000001u);
    EXPECT_EQ(PixelAt(frame, 8), 0xAAAAAAAAu);
    EXPECT_EQ(PixelAt(frame, 12), 0xFF000001u);
    EXPECT_EQ(PixelAt(frame, 20), 0xAAAAAAAAu);

    std::vector<uint8_t> untouched(frame);
    CompositeOverlay(frame.data(), 4, overlay.data(), 2, 2); // stride too small
    CompositeOverlay(frame.data(), 12, overlay.data(), 0, 2);
    CompositeOverlay(frame.data(), 12, overlay.data(), 2, -1);
    CompositeOverlay(nullptr, 12, overlay.data(), 2, 2);
    CompositeOverlay(frame.data(), 12, nullptr, 2, 2);
    EXPECT_EQ(frame, untouched);
}

// The pixel rule written out byte by byte: transparent leaves the frame,
// a fourth byte of kMultiplyByte multiplies blue, green and red, anything
// else replaces.
void ApplyRule(uint8_t* dst, const uint8_t* src) {
    if (src[0] == kTransparentByte && src[1] == kTransparentByte)
        return;
    if (src[3] != kMultiplyByte) {
        std::memcpy(dst, src, 4);
        return;
    }
    for (int c = 0; c < 3; ++c)
        dst[c] = static_cast<uint8_t>((dst[c] * src[c] + 127) / 255);
}

enum Kinds { kClear = 1, kReplace = 2, kMultiply = 4, kAll = 7 };

// A random pixel of one kind; transparent ones with any red and fourth byte.
uint32_t RandomPixel(std::mt19937& random, int kind) {
    const uint32_t v = random();
    if (kind == kClear)
        return (v & 0xFFFF0000u) | 0xFEFEu;
    const uint32_t drawn = kind == kMultiply ? v & 0x00FFFFFFu : v | 0x01000000u;
    return OverlayPixelTransparent(drawn) ? drawn ^ 1 : drawn;
}

// Each pixel loop the processor has against the rule, around the vector
// widths, at any byte offset of frame and overlay, with blocks that copy
// only, multiply only, or skip; the bytes around the span stay.
TEST(CompositeOverlay, EachLoopFollowsThePixelRuleAtOddLengthsAndOffsets) {
    struct Span {
        int count, dst_shift, src_shift, kinds;
    };
    const Span spans[] = {
        {1, 0, 0, kMultiply},  {3, 1, 0, kAll},   {4, 4, 2, kAll},
        {7, 60, 0, kMultiply}, {8, 0, 4, kAll},   {9, 3, 1, kClear | kMultiply},
        {16, 4, 4, kMultiply}, {17, 0, 3, kAll},  {33, 12, 0, kClear | kReplace},
        {67, 1, 1, kAll},      {200, 8, 0, kAll}, {203, 36, 2, kClear | kMultiply},
    };
    std::mt19937 random(12);
    for (const Span& c : spans) {
        std::vector<uint8_t> src(static_cast<size_t>(c.count) * 4 + c.src_shift);
        // Runs of one kind of up to 12 pixels, so that whole blocks skip,
        // copy or multiply.
        for (int i = 0, run = 0, kind = kClear; i < c.count; ++i, --run) {
            while (run <= 0 || (c.kinds & kind) == 0) {
                kind = 1 << (random() % 3);
                run = 1 + static_cast<int>(random() % 12);
            }
            const uint32_t v = RandomPixel(random, kind);
            std::memcpy(&src[c.src_shift + i * 4], &v, 4);
        }
        std::vector<uint8_t> base(static_cast<size_t>(c.count) * 4 + 192);
        for (auto& b : base)
            b = static_cast<uint8_t>(random());
        const size_t start =
            (64 - reinterpret_cast<uintptr_t>(base.data()) % 64) % 64 + c.dst_shift;
        std::vector<uint8_t> expected = base;
        for (int i = 0; i < c.count; ++i)
            ApplyRule(&expected[start + i * 4], &src[c.src_shift + i * 4]);
        for (int form = 0; form < 3; ++form) {
            std::vector<uint8_t> got = base;
            if (overlay_detail::CompositeSpanWith(form, got.data() + start,
                                                  src.data() + c.src_shift, c.count)) {
                EXPECT_EQ(got, expected) << "form " << form << " count " << c.count;
            }
        }
    }
}

// A highlighter's ink over white paper shows the ink, over black print stays
// black, over grey rounds to nearest; the frame's fourth byte stays.
TEST(CompositeOverlay, MultiplyingKeepsTheInkOverWhiteAndBlackOverBlack) {
    struct Case {
        uint32_t frame, ink, expected;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, 0x00FFF040u, 0xFFFFF040u},
        {0x12000000u, 0x00FFF040u, 0x12000000u},
        {0x34C8C864u, 0x00C86432u, 0x349D4E14u}, // 156.9, 78.4, 19.6
    };
    for (const Case& c : cases)
        for (int form = 0; form < 3; ++form) {
            std::vector<uint8_t> frame = Pixels(19, c.frame);
            const std::vector<uint8_t> ink = Pixels(19, c.ink);
            if (overlay_detail::CompositeSpanWith(form, frame.data(), ink.data(), 19)) {
                EXPECT_EQ(frame, Pixels(19, c.expected)) << "form " << form;
            }
        }
}

// A 9 x 4 overlay, all transparent but for the given pixels.
std::vector<uint8_t> Sparse(std::initializer_list<std::pair<int, int>> drawn) {
    std::vector<uint8_t> overlay = Pixels(9 * 4, 0xFFFEFEFE);
    for (auto [x, y] : drawn)
        std::memcpy(&overlay[(static_cast<size_t>(y) * 9 + x) * 4], "\x10\x20\x30\xFF", 4);
    return overlay;
}

TEST(OverlayExtent, ScanFindsEachRowsDrawnSpanInsideTheBox) {
    auto extent = std::make_unique<OverlayExtent>();
    const std::vector<uint8_t> overlay = Sparse({{2, 1}, {6, 1}, {8, 2}, {0, 3}});
    ScanOverlayExtent(overlay.data(), 9, 4, -5, 0, 100, 3, extent.get()); // clipped box
    EXPECT_EQ(extent->width, 9);
    EXPECT_EQ(extent->first_row, 1);
    EXPECT_EQ(extent->end_row, 3); // row 3 lies outside the box
    EXPECT_EQ(extent->rows[1].begin, 2);
    EXPECT_EQ(extent->rows[1].end, 7);
    EXPECT_EQ(extent->rows[2].begin, 8);
    EXPECT_EQ(extent->rows[2].end, 9);

    ScanOverlayExtent(overlay.data(), 9, 4, 3, 0, 6, 4, extent.get()); // nothing inside
    EXPECT_EQ(extent->width, 9);
    EXPECT_EQ(extent->first_row, extent->end_row);

    ClearOverlayExtent(extent.get(), 9, kMaxOverlayRows + 1); // too tall to track
    EXPECT_EQ(extent->width, 0);
}

TEST(OverlayExtent, CompositingTouchesOnlyTheSpansOfTheRightSize) {
    auto extent = std::make_unique<OverlayExtent>();
    const std::vector<uint8_t> overlay = Sparse({{2, 1}, {6, 1}, {0, 3}});
    ScanOverlayExtent(overlay.data(), 9, 4, 0, 0, 9, 3, extent.get()); // misses (0, 3)
    std::vector<uint8_t> frame = Pixels(9 * 4, 0);
    CompositeOverlay(frame.data(), 9 * 4, overlay.data(), 9, 4, *extent);
    EXPECT_EQ(PixelAt(frame, (1 * 9 + 2) * 4), 0xFF302010u);
    EXPECT_EQ(PixelAt(frame, (1 * 9 + 6) * 4), 0xFF302010u);
    EXPECT_EQ(PixelAt(frame, (1 * 9 + 4) * 4), 0u);
    EXPECT_EQ(PixelAt(frame, (3 * 9 + 0) * 4), 0u); // outside the extent

    // Drawn for another picture size: nothing lands in this one.
    std::vector<uint8_t> other = Pixels(8 * 4, 0);
    CompositeOverlay(other.data(), 8 * 4, overlay.data(), 8, 4, *extent);
    EXPECT_EQ(other, Pixels(8 * 4, 0));
    // Unknown: everything.
    ClearOverlayExtent(extent.get(), 0, 0);
    CompositeOverlay(frame.data(), 9 * 4, overlay.data(), 9, 4, *extent);
    EXPECT_EQ(PixelAt(frame, (3 * 9 + 0) * 4), 0xFF302010u);
}

TEST(OverlayWorker, AsksTheRedrawSourceAndCompositesWhereItDrew) {
    OverlayWorker worker;
    int asked = 0;
    bool pending = false;
    worker.SetRedrawSource([&] {
        ++asked;
        return std::exchange(pending, false);
    });
    worker.SetExtentRenderer([](uint8_t* overlay, size_t size, OverlayExtent* extent) {
        std::memset(overlay, kTransparentByte, size);
        overlay[4] = 0x11; // pixel (1, 0) of a 4 x 2 overlay
        ScanOverlayExtent(overlay, 4, 2, 0, 0, 4, 2, extent);
        return true;
    });
    worker.SetPlaying(true);
    EXPECT_FALSE(worker.Turn());
    EXPECT_EQ(asked, 1);
    pending = true;
    EXPECT_TRUE(worker.Turn());
    worker.RequestRedraw();
    EXPECT_TRUE(worker.Turn()); // its own request first: the source is not asked
    EXPECT_EQ(asked, 2);

    std::vector<uint8_t> frame = Pixels(8, 0);
    worker.Composite(frame.data(), 16, 4, 2);
    EXPECT_EQ(PixelAt(frame, 4), 0xFEFEFE11u);
    EXPECT_EQ(PixelAt(frame, 0), 0u);
    worker.Reset(); // nothing present: frames pass unchanged
    std::vector<uint8_t> untouched = Pixels(8, 0);
    worker.Composite(untouched.data(), 16, 4, 2);
    EXPECT_EQ(untouched, Pixels(8, 0));
}

// Shapes over a picture too large to draw an overlay for at the camera's
// size are drawn for the smaller picture a composite asks for, without
// waiting for an edit to ask again.
TEST(OverlayWorker, ASmallerPictureGetsTheOverlayTheCamerasSizeCouldNotHold) {
    OverlayWorker worker;
    worker.SetSizedRenderer(
        [](uint8_t* overlay, size_t, OverlayExtent* extent, int* width, int* height) {
            if (*width == 0)
                return false; // the camera's size: too large
            std::memset(overlay, kTransparentByte, static_cast<size_t>(*width) * *height * 4);
            overlay[0] = 0x11;
            ScanOverlayExtent(overlay, *width, *height, 0, 0, *width, *height, extent);
            return true;
        });
    worker.SetPlaying(true);
    worker.RequestRedraw();
    EXPECT_TRUE(worker.Turn());
    EXPECT_FALSE(worker.Present());
    std::vector<uint8_t> frame = Pixels(8, 0);
    worker.Composite(frame.data(), 16, 4, 2);
    EXPECT_EQ(frame, Pixels(8, 0)) << "nothing drawn yet";
    EXPECT_TRUE(worker.Turn()) << "the picture's size asks for a rendering";
    EXPECT_TRUE(worker.Present());
    worker.Composite(frame.data(), 16, 4, 2);
    EXPECT_EQ(PixelAt(frame, 0), 0xFEFEFE11u);
    EXPECT_FALSE(worker.Turn()) << "one rendering for one size";
}

TEST(OverlayWorker, RendersOnlyWhilePlayingAndOncePerRequest) {
    OverlayWorker worker;
    std::atomic<int> renders{0};
    worker.SetRenderer([&](uint8_t* overlay, size_t size) {
        EXPECT_EQ(size, kMaxPictureBytes);
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
    EXPECT_EQ(worker.Buffer()[kMaxPictureBytes / 2], kTransparentByte);
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
    testsupport::WaitUntil([&] { return renders.load() != 0; }, std::chrono::seconds(10));
    EXPECT_EQ(renders.load(), 1);
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    worker.Stop(); // twice is harmless
    worker.RequestRedraw();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(renders.load(), 1); // nothing runs after Stop
}

} // namespace
