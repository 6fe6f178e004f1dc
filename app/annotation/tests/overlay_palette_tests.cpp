// The palette copy of the overlay against the 32-bit overlay (which
// overlay_tests checks against the pixel rule), through the worker's
// composite and through each pixel loop on its own.
#include "OverlayPalette.h"
#include "annotation/FrameOverlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kKey = 0xFFFEFEFEu;

void Put(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

struct RandomOverlay {
    int width;
    int height;
    int colors;               // distinct drawn values; above kMaxPaletteColors: 32-bit path
    int percent;              // of the pixels inside the box drawn
    bool edge_rows;           // the first and last rows drawn end to end
    int frame_shift;          // bytes the frame starts past a 64-byte boundary
    bool highlighter = false; // the first colour multiplies too (each fourth one does)
};

// Drawn pixels take one of `colors` values that differ in every byte
// including the fourth, some keyed by one 0xFE only, some multiplying;
// transparent pixels carry any red and fourth byte.
std::vector<uint8_t> MakeOverlay(const RandomOverlay& c, std::mt19937& random) {
    std::vector<uint32_t> palette;
    for (int k = 0; k < c.colors; ++k) {
        uint32_t v = random();
        if (k % 3 == 1)
            v = (v & 0xFFFF00FFu) | 0xFE00u; // green alone is 0xFE: opaque
        if (k % 3 == 2)
            v = (v & 0xFFFFFF00u) | 0xFEu; // blue alone
        if (k % 4 == 3 || (k == 0 && c.highlighter))
            v &= 0x00FFFFFFu;
        if (OverlayPixelTransparent(v))
            v ^= 1;
        palette.push_back(v);
    }
    // The second differs from the first only in the fourth byte (with a
    // highlighter it replaces where the first multiplies).
    if (c.colors >= 2)
        palette[1] = palette[0] ^ 0x01000000u;
    std::vector<uint8_t> overlay(static_cast<size_t>(c.width) * c.height * 4);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const bool edge = c.edge_rows && (y == 0 || y == c.height - 1);
            const bool drawn = edge || static_cast<int>(random() % 100) < c.percent;
            const uint32_t v = drawn ? palette[random() % palette.size()]
                                     : (random() & 0xFFFF0000u) | (kKey & 0xFFFFu);
            Put(&overlay[(static_cast<size_t>(y) * c.width + x) * 4], v);
        }
    return overlay;
}

// The worker's one rendering of the drawn overlay (its palette copy made
// from it); false when it rendered nothing.
bool Render(OverlayWorker& worker, const RandomOverlay& c, const std::vector<uint8_t>& drawn) {
    worker.SetExtentRenderer([&](uint8_t* overlay, size_t, OverlayExtent* extent) {
        std::memcpy(overlay, drawn.data(), drawn.size());
        ScanOverlayExtent(overlay, c.width, c.height, 0, 0, c.width, c.height, extent);
        return true;
    });
    worker.SetPlaying(true);
    worker.RequestRedraw();
    return worker.Turn();
}

TEST(OverlayPalette, WorkerCompositeMatchesThe32BitOverlayOnRandomOverlays) {
    const RandomOverlay cases[] = {
        {1, 1, 1, 100, false, 0},        // one pixel
        {40, 6, 1, 100, false, 4},       // every row one run of one colour
        {41, 6, 1, 100, false, 4, true}, // the same of a highlighter's ink
        {23, 5, 2, 60, true, 8, true},   // ink and the same colour replacing
        {37, 5, 1, 30, true, 0},         // one colour with gaps; full first and last rows
        {7, 3, 3, 50, true, 4},          // narrower than any vector
        {15, 4, 15, 50, true, 0},        // a full palette
        {16, 5, 15, 90, false, 8},       // one vector wide
        {17, 6, 5, 50, true, 60},        // one pixel more, the frame off a line boundary
        {33, 9, 16, 50, true, 12},       // one colour too many: the 32-bit overlay
        {67, 8, 2, 3, false, 4},         // sparse: short spans, empty rows
        {131, 7, 15, 50, true, 36},      // many vectors and a tail
        {1920, 3, 8, 50, true, 16},      // a picture row
    };
    std::mt19937 random(2024);
    for (const RandomOverlay& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.colors
                                        << " colours, shift " << c.frame_shift);
        const std::vector<uint8_t> drawn = MakeOverlay(c, random);
        OverlayWorker worker;
        ASSERT_TRUE(Render(worker, c, drawn));

        const int stride = c.width * 4 + 12;
        const size_t bytes = static_cast<size_t>(stride) * c.height;
        std::vector<uint8_t> storage(bytes + 128);
        for (auto& b : storage)
            b = static_cast<uint8_t>(random());
        const size_t start = (64 - reinterpret_cast<uintptr_t>(storage.data()) % 64) % 64;
        uint8_t* frame = storage.data() + start + c.frame_shift;
        std::vector<uint8_t> expected = storage;
        CompositeOverlay(expected.data() + start + c.frame_shift, stride, drawn.data(), c.width,
                         c.height);
        worker.Composite(frame, stride, c.width, c.height);
        EXPECT_EQ(storage, expected); // row padding and bytes around untouched

        // A picture of another size gets nothing.
        std::vector<uint8_t> other(static_cast<size_t>(c.width + 1) * 4 * c.height, 0x33);
        worker.Composite(other.data(), (c.width + 1) * 4, c.width + 1, c.height);
        EXPECT_EQ(other, std::vector<uint8_t>(other.size(), 0x33));
    }
}

// The rows the decoder wrote last go first, the others after them: with a
// stride that leaves four rows in the recent bytes, every row of a densely
// drawn overlay still lands, once, as the 32-bit overlay puts it.
TEST(OverlayPalette, EveryRowIsCompositedOnceWhenTheLastRowsGoFirst) {
    const RandomOverlay c = {45, 10, 6, 60, true, 0, true};
    std::mt19937 random(77);
    const std::vector<uint8_t> drawn = MakeOverlay(c, random);
    OverlayWorker worker;
    ASSERT_TRUE(Render(worker, c, drawn));
    const int stride = static_cast<int>(overlay_detail::RecentBytes() / 4) / 64 * 64;
    ASSERT_GE(stride, c.width * 4);
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * c.height);
    for (size_t i = 0; i < frame.size(); i += 61) // a highlighter's ink multiplies it
        frame[i] = static_cast<uint8_t>(random());
    std::vector<uint8_t> expected = frame;
    CompositeOverlay(expected.data(), stride, drawn.data(), c.width, c.height);
    worker.Composite(frame.data(), stride, c.width, c.height);
    EXPECT_TRUE(frame == expected);
}

TEST(OverlayPalette, BuildsOnlyFromAKnownExtentOfFewEnoughColours) {
    auto extent = std::make_unique<OverlayExtent>();
    std::vector<uint8_t> overlay(static_cast<size_t>(kMaxPaletteColors + 1) * 4);
    for (int k = 0; k <= kMaxPaletteColors; ++k) // half of them a highlighter's ink
        Put(&overlay[static_cast<size_t>(k) * 4], (k % 2 ? 0x10203000u : 0x00203000u) + k);
    OverlayPalette palette;
    const int width = kMaxPaletteColors + 1;
    ScanOverlayExtent(overlay.data(), width, 1, 0, 0, width, 1, extent.get());
    EXPECT_FALSE(palette.Build(overlay.data(), overlay.size(), *extent)); // one too many

    ScanOverlayExtent(overlay.data(), width, 1, 0, 0, width - 1, 1, extent.get());
    EXPECT_TRUE(palette.Build(overlay.data(), overlay.size(), *extent));
    EXPECT_FALSE(palette.Build(overlay.data(), overlay.size() - 4, *extent)); // does not fit
    EXPECT_FALSE(palette.Valid());

    ClearOverlayExtent(extent.get(), 0, 0); // unknown: the 32-bit overlay serves
    EXPECT_FALSE(palette.Build(overlay.data(), overlay.size(), *extent));
}

TEST(OverlayPalette, AnExtentFilledInByHandStaysInsideTheOverlay) {
    const std::vector<uint8_t> drawn(4 * 2 * 4, 0x21); // 4 x 2, every pixel opaque
    const auto fill = [](OverlayExtent* extent) {
        ClearOverlayExtent(extent, 4, 2);
        extent->first_row = -1;
        extent->end_row = 9;
        extent->rows[0] = {-3, 10};
        extent->rows[1] = {2, 3};
    };
    OverlayWorker worker;
    worker.SetExtentRenderer([&](uint8_t* overlay, size_t, OverlayExtent* extent) {
        std::memcpy(overlay, drawn.data(), drawn.size());
        fill(extent);
        return true;
    });
    worker.SetPlaying(true);
    worker.RequestRedraw();
    ASSERT_TRUE(worker.Turn());
    auto extent = std::make_unique<OverlayExtent>();
    fill(extent.get());

    // Rows of 4 pixels and 2 of padding, and 2 rows more after the picture.
    std::vector<uint8_t> expected(6 * 4 * 4, 0x77);
    std::memset(&expected[0], 0x21, 4 * 4);
    std::memset(&expected[6 * 4 + 2 * 4], 0x21, 4);
    for (int path = 0; path < 2; ++path) {
        std::vector<uint8_t> frame(expected.size(), 0x77);
        if (path == 0)
            worker.Composite(frame.data(), 6 * 4, 4, 2);
        else
            CompositeOverlay(frame.data(), 6 * 4, drawn.data(), 4, 2, *extent);
        EXPECT_EQ(frame, expected) << "path " << path;
    }
}

// Rows of colour numbers as overlays draw them, for the pixel loops.
struct NumberRow {
    const char* name;
    int drawn_percent; // of the pixels, at random
    int colors;        // numbers 1..colors (colour 3, 6, ... multiplies)
    int run_begin;     // a run of colour 1 over [run_begin, run_end): a line
    int run_end;
};

// Each palette loop the processor has against the plain one, for spans
// that start and end anywhere in a block, short of one or across several,
// at every pixel alignment of the frame, told the span's traits or all of
// them; the pixels around the span stay as they were, and only the blocks
// that hold the span are read (the sanitizer build sees a read past them).
TEST(OverlayPalette, EachPixelLoopMatchesThePlainOneAtEveryStartCountAndAlignment) {
    const NumberRow rows[] = {
        {"empty", 0, 1, 0, 0},
        {"one line", 0, 1, 37, 40},
        {"dense", 50, 8, 0, 0},
        {"dense, no colour multiplies", 50, 2, 0, 0},
        {"highlighter with a pen across", 0, 3, 0, 0},
        {"every colour", 70, 15, 0, 0},
    };
    std::mt19937 random(5);
    uint32_t colors[kMaxPaletteColors + 1] = {};
    for (int k = 1; k <= kMaxPaletteColors; ++k)
        colors[k] = random() & (k % 3 == 0 ? 0x00FFFFFFu : 0xFFFFFFFFu);
    constexpr int kWidth = 140;
    for (const NumberRow& row : rows) {
        std::vector<uint8_t> numbers(kWidth);
        for (int x = 0; x < kWidth; ++x) {
            const bool drawn = static_cast<int>(random() % 100) < row.drawn_percent;
            numbers[x] = drawn ? static_cast<uint8_t>(1 + random() % row.colors) : 0;
            if (x >= row.run_begin && x < row.run_end)
                numbers[x] = 1;
        }
        if (row.colors == 3) // the ink over most of the row, a pen crossing it
            for (int x = 2; x < kWidth - 3; ++x)
                numbers[x] = x % 20 < 3 ? 1 : 3;
        for (int first : {0, 1, 16, 31, 33})
            for (int count = 0; first + count <= kWidth; ++count) {
                std::vector<uint8_t> plane(overlay_detail::PlaneRowBytes(first + count));
                overlay_detail::PackNumbers(numbers.data(), first, first + count, plane.data());
                const uint8_t traits =
                    overlay_detail::SpanTraits(numbers.data(), first, first + count, colors);
                for (int shift = 0; shift < 64; shift += 4) {
                    // Room before the span for the row's first pixel (the loops
                    // take the span's place in the row from first), after it for
                    // the last block.
                    std::vector<uint8_t> base(static_cast<size_t>(count) * 4 + 384);
                    for (auto& b : base)
                        b = static_cast<uint8_t>(random());
                    const size_t start =
                        (64 - reinterpret_cast<uintptr_t>(base.data()) % 64) % 64 + 192 + shift;
                    std::vector<uint8_t> expected = base;
                    ASSERT_TRUE(overlay_detail::CompositeIndexSpanWith(
                        0, expected.data() + start, plane.data(), first, colors, count, 0));
                    for (int form : {2, 3})
                        for (uint8_t told : {traits, uint8_t{0xFF}}) {
                            std::vector<uint8_t> got = base;
                            if (!overlay_detail::CompositeIndexSpanWith(form, got.data() + start,
                                                                        plane.data(), first, colors,
                                                                        count, told))
                                continue;
                            ASSERT_EQ(got, expected) << row.name << ", form " << form << ", traits "
                                                     << int{told} << ", first " << first
                                                     << ", count " << count << ", shift " << shift;
                        }
                }
            }
    }
}

} // namespace
