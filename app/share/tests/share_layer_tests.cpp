// The two layers: the camera's own bytes while live and upright with the ink
// beside them as PNG, the picture as shown with an empty layer otherwise.
#include "annotation/FrameOverlay.h"
#include "capture/ShownPicture.h"
#include "share/FrameMailbox.h"
#include "share/InkLayer.h"
#include "share/ShareFeed.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

namespace {

using testsupport::WaitUntil;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

std::vector<uint8_t> GreyJpeg() {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3, 128);
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor, pixels.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_420,
                85, 0);
    std::vector<uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(compressor);
    return bytes;
}

// A PNG as RGBA pixels; empty when it is no PNG of width x height.
std::vector<uint8_t> PngPixels(const std::vector<uint8_t>* png, int width = kWidth,
                               int height = kHeight) {
    if (png == nullptr)
        return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png->data(), png->size()))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (static_cast<int>(image.width) != width || static_cast<int>(image.height) != height ||
        !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    return pixels;
}

// The newest layer as RGBA pixels.
std::vector<uint8_t> LayerPixels(const share::FrameMailbox& layers) {
    return PngPixels(layers.Newest().get());
}

// Alpha of the layer's pixel (x, y), -1 with no layer.
int Alpha(const std::vector<uint8_t>& pixels, int x, int y) {
    return pixels.empty() ? -1 : pixels[(static_cast<size_t>(y) * kWidth + x) * 4 + 3];
}

// A red square from (10, 5) to (20, 15), as the annotation renderer draws.
void DrawSquare(OverlayWorker* overlay) {
    overlay->SetExtentRenderer([](uint8_t* pixels, size_t size, OverlayExtent* extent) {
        std::memset(pixels, kTransparentByte, size);
        for (int y = 5; y < 15; ++y) {
            for (int x = 10; x < 20; ++x) {
                uint8_t* p = pixels + (static_cast<size_t>(y) * kWidth + x) * 4;
                p[0] = 0, p[1] = 0, p[2] = 0xFF, p[3] = 0xFF;
            }
        }
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    overlay->SetPlaying(true);
    overlay->RequestRedraw();
    overlay->Turn();
}

TEST(ShareLayers, AShrunkLayerKeepsThinInkWhereItIs) {
    // One-pixel ink at odd places; a multiplying pixel half transparent.
    std::vector<uint8_t> overlay(static_cast<size_t>(kWidth) * kHeight * 4, kTransparentByte);
    const auto put = [&](int x, int y, uint8_t fourth) {
        uint8_t* p = overlay.data() + (static_cast<size_t>(y) * kWidth + x) * 4;
        p[0] = 0, p[1] = 0xFF, p[2] = 0, p[3] = fourth;
    };
    put(63, 47, 0xFF);
    put(1, 1, kMultiplyByte);
    struct Case {
        int shrink;
        int width, height;
    } cases[] = {{1, 64, 48}, {2, 32, 24}, {3, 22, 16}};
    for (const Case& c : cases) {
        std::vector<uint8_t> png;
        ASSERT_TRUE(share::InkToPng(overlay.data(), nullptr, kWidth, kHeight, c.shrink, &png));
        const std::vector<uint8_t> pixels = PngPixels(&png, c.width, c.height);
        ASSERT_FALSE(pixels.empty()) << c.shrink;
        const auto alpha = [&](int x, int y) {
            return pixels[(static_cast<size_t>(y / c.shrink) * c.width + x / c.shrink) * 4 + 3];
        };
        EXPECT_EQ(alpha(63, 47), 255) << c.shrink;
        EXPECT_EQ(alpha(1, 1), 128) << c.shrink;
        EXPECT_EQ(alpha(30, 20), 0) << c.shrink;
    }
    std::vector<uint8_t> png;
    EXPECT_FALSE(share::InkToPng(overlay.data(), nullptr, 0, kHeight, 1, &png));
    EXPECT_FALSE(share::InkToPng(overlay.data(), nullptr, 1 << 20, 1 << 20, 1, &png));
    EXPECT_TRUE(png.empty());
}

TEST(ShareLayers, LiveUprightSendsTheCameraBytesAndTheInkOnlyWhenItChanges) {
    OverlayWorker overlay;
    ShownPicture shown;
    share::FrameMailbox pictures;
    share::FrameMailbox layers;
    share::ShareFeed feed(&overlay, &shown, &pictures, &layers);
    const std::vector<uint8_t> jpeg = GreyJpeg();
    const auto offer_until = [&](auto done) {
        feed.Offer(jpeg.data(), jpeg.size());
        return WaitUntil(done);
    };

    // Nothing drawn: the camera's bytes, one empty layer, then no more layers.
    for (uint64_t frame = 1; frame <= 3; ++frame)
        ASSERT_TRUE(offer_until([&] { return feed.Passed() == frame; })) << frame;
    EXPECT_EQ(*pictures.Newest(), jpeg);
    EXPECT_EQ(layers.Published(), 1u);
    EXPECT_EQ(Alpha(LayerPixels(layers), 15, 10), 0);

    // A shape drawn: a layer with its ink, the picture still the camera's.
    DrawSquare(&overlay);
    ASSERT_TRUE(offer_until([&] { return layers.Published() == 2; }));
    std::vector<uint8_t> ink = LayerPixels(layers);
    EXPECT_EQ(Alpha(ink, 15, 10), 255);
    EXPECT_EQ(ink[(10 * kWidth + 15) * 4], 0xFF) << "red";
    EXPECT_EQ(Alpha(ink, 40, 40), 0);
    EXPECT_EQ(*pictures.Newest(), jpeg);
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == 5; }));
    EXPECT_EQ(layers.Published(), 2u) << "the same drawing is not sent again";

    // Frozen and turned: the picture as shown, ink in it, the layer empty;
    // frozen, sent once until the drawing changes.
    struct Case {
        bool frozen;
        int turns;
        int width;
    } cases[] = {{true, 0, kWidth}, {false, 1, kHeight}};
    for (const Case& c : cases) {
        c.frozen ? shown.Freeze() : shown.Unfreeze();
        shown.SetQuarterTurns(c.turns);
        const uint64_t encoded = feed.Encoded();
        ASSERT_TRUE(offer_until([&] { return feed.Encoded() == encoded + 1; })) << c.turns;
        EXPECT_NE(*pictures.Newest(), jpeg);
        // The layer goes out after the picture.
        EXPECT_TRUE(WaitUntil([&] { return Alpha(LayerPixels(layers), 15, 10) == 0; })) << c.turns;
        if (c.frozen) {
            ASSERT_TRUE(offer_until([&] { return feed.Held() == 1; }));
            EXPECT_EQ(feed.Encoded(), encoded + 1);
        }
    }

    // Live and upright again: the camera's bytes and the ink's layer.
    shown.SetQuarterTurns(0);
    const uint64_t passed = feed.Passed();
    ASSERT_TRUE(offer_until([&] { return feed.Passed() == passed + 1; }));
    EXPECT_EQ(*pictures.Newest(), jpeg);
    EXPECT_EQ(Alpha(LayerPixels(layers), 15, 10), 255);
}

} // namespace
