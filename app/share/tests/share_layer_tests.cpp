// The two layers: the camera's own bytes while live and upright with the ink
// beside them as PNG, the picture as shown with an empty layer otherwise.
#include "annotation/FrameOverlay.h"
#include "capture/ShownPicture.h"
#include "share/FrameMailbox.h"
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

// The newest layer as RGBA pixels; empty when it is no PNG of the frame's size.
std::vector<uint8_t> LayerPixels(const share::FrameMailbox& layers) {
    const share::FrameMailbox::Frame png = layers.Newest();
    if (!png)
        return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png->data(), png->size()))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (image.width != kWidth || image.height != kHeight ||
        !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    return pixels;
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
