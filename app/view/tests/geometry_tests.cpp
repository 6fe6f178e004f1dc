#include "view/VideoGeometry.h"

#include <gtest/gtest.h>

#include <cstdlib>

using view::POINT;

namespace {

void ExpectRect(const RECT& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

} // namespace

TEST(ZoomTable, CommandsAndModesMapBothWaysAndCycle) {
    for (int mode = 0; mode < view::kZoomModeCount; ++mode)
        EXPECT_EQ(view::ZoomModeFromCommand(view::ZoomCommandFromMode(mode)), mode);
    EXPECT_EQ(view::ZoomCommandFromMode(0), 32778u);
    EXPECT_EQ(view::ZoomCommandFromMode(4), 32782u);
    EXPECT_EQ(view::ZoomModeFromCommand(32777), -1);
    EXPECT_EQ(view::ZoomModeFromCommand(32783), -1);
    EXPECT_EQ(view::ZoomCommandFromMode(5), 0u);
    EXPECT_EQ(view::NextZoomCommand(32781), 32782u);
    EXPECT_EQ(view::NextZoomCommand(32782), 32778u);
    EXPECT_EQ(view::NextZoomCommand(32777), 0u);
    EXPECT_STREQ(view::ZoomModeText(2), "Fit Width");
}

TEST(DisplayRect, LargePictureInWideArea) {
    // 1280 x 1024 in 800 x 600.
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, view::kFitHeight), 24, 0, 774, 600);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, view::kFitWidth), 0, -20, 800, 620);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, view::kFitImage), 24, 0, 774, 600);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, view::kFitWindow), 0, 0, 800, 600);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, view::kActualSize), -240, -212, 1040,
               812);
}

TEST(DisplayRect, SmallPictureInWideArea) {
    // 640 x 480 in 1000 x 400: 400 * 640 / 480 = 533 truncated.
    ExpectRect(view::CalcDisplayRect(1000, 400, 640, 480, view::kFitImage), 233, 0, 766, 400);
    ExpectRect(view::CalcDisplayRect(1000, 400, 640, 480, view::kActualSize), 179, -40, 819, 440);
    ExpectRect(view::CalcDisplayRect(1000, 400, 640, 480, view::kFitWidth), 0, -175, 1000, 575);
}

TEST(DisplayRect, TallAreaFitsImageByWidth) {
    // 400 x 1000 area: fitW = 1000 * 640 / 480 = 1333 > 400, so width rules.
    ExpectRect(view::CalcDisplayRect(400, 1000, 640, 480, view::kFitImage), 0, 349, 400, 649);
    ExpectRect(view::CalcDisplayRect(400, 1000, 640, 480, view::kFitHeight), -466, 0, 867, 1000);
    // A small picture in a large area is centred at actual size.
    ExpectRect(view::CalcDisplayRect(400, 1000, 320, 240, view::kActualSize), 39, 379, 359, 619);
}

TEST(DisplayRect, EmptyImageOrUnknownModeGivesZeroRect) {
    ExpectRect(view::CalcDisplayRect(800, 600, 0, 1024, view::kFitImage), 0, 0, 0, 0);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 0, view::kFitImage), 0, 0, 0, 0);
    ExpectRect(view::CalcDisplayRect(800, 600, -5, 10, view::kFitImage), 0, 0, 0, 0);
    ExpectRect(view::CalcDisplayRect(800, 600, 1280, 1024, 7), 0, 0, 0, 0);
    // Huge sizes do not overflow the products.
    const RECT r = view::CalcDisplayRect(2000000000, 600, 1280, 1024, view::kFitWidth);
    EXPECT_EQ(r.right - r.left, 2000000000);
    EXPECT_GT(r.bottom - r.top, 0);
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
    EXPECT_EQ(view::MulDiv(10, 1, 4), 3);   // 2.5
    EXPECT_EQ(view::MulDiv(10, 1, 3), 3);   // 3.33
    EXPECT_EQ(view::MulDiv(-10, 1, 4), -3); // -2.5
    EXPECT_EQ(view::MulDiv(5, 7, 0), -1);
    EXPECT_EQ(view::MulDiv(2000000000, 3, 2), 2147483647); // saturates
}

TEST(ClientToImage, EdgesAndOutsidePoints) {
    const RECT r = view::CalcDisplayRect(800, 600, 1280, 1024, view::kFitImage); // 24..774
    POINT image{7, 9};
    ASSERT_TRUE(view::ClientToImage(r, 1280, 1024, POINT{24, 0}, &image));
    EXPECT_EQ(image.x, 0);
    EXPECT_EQ(image.y, 0);
    // One pixel left of the picture, or on its exclusive right and bottom
    // edges: the previous image point stays.
    for (POINT outside : {POINT{23, 10}, POINT{774, 10}, POINT{100, 600}, POINT{100, -1}}) {
        POINT kept{7, 9};
        EXPECT_FALSE(view::ClientToImage(r, 1280, 1024, outside, &kept));
        EXPECT_EQ(kept.x, 7);
        EXPECT_EQ(kept.y, 9);
    }
    ASSERT_TRUE(view::ClientToImage(r, 1280, 1024, POINT{773, 599}, &image));
    EXPECT_LE(image.x, 1279);
    EXPECT_LE(image.y, 1023);
    POINT none{1, 1};
    EXPECT_FALSE(view::ClientToImage(r, 0, 1024, POINT{100, 100}, &none));
    EXPECT_FALSE(view::ClientToImage(RECT{}, 1280, 1024, POINT{0, 0}, &none));
}

TEST(ClientToImage, EnlargedPictureStaysOnTheLastPixel) {
    // 100 x 50 shown four times its size: rounding the last view pixel would
    // give 100, one past the picture.
    const RECT r{0, 0, 400, 200};
    POINT image{};
    ASSERT_TRUE(view::ClientToImage(r, 100, 50, POINT{399, 199}, &image));
    EXPECT_EQ(image.x, 99);
    EXPECT_EQ(image.y, 49);
}

// Image pixel -> view -> image pixel in every mode, for pictures larger and
// smaller than the area. Where the picture is reduced several image pixels
// share one view pixel, so the round trip is exact only to the scale.
TEST(ClientToImage, RoundTripsInEveryMode) {
    struct Case {
        int W, H, iw, ih;
    };
    for (const Case c : {Case{800, 600, 1280, 1024}, Case{1000, 400, 640, 480},
                         Case{400, 1000, 640, 480}, Case{1920, 1080, 320, 240}}) {
        for (int mode = 0; mode < view::kZoomModeCount; ++mode) {
            const RECT r = view::CalcDisplayRect(c.W, c.H, c.iw, c.ih, mode);
            const int w = r.right - r.left;
            const int h = r.bottom - r.top;
            const int tol_x = w >= c.iw ? 0 : (c.iw + w - 1) / w;
            const int tol_y = h >= c.ih ? 0 : (c.ih + h - 1) / h;
            for (int x = 0; x < c.iw; x += 7) {
                const int y = x * c.ih / c.iw;
                const POINT client = view::ImageToClient(r, c.iw, c.ih, POINT{x, y});
                POINT back{-1, -1};
                ASSERT_TRUE(view::ClientToImage(r, c.iw, c.ih, client, &back))
                    << "mode " << mode << " x " << x;
                EXPECT_LE(std::abs(back.x - x), tol_x) << "mode " << mode << " x " << x;
                EXPECT_LE(std::abs(back.y - y), tol_y) << "mode " << mode << " y " << y;
            }
            // The far corner maps back to the last pixel.
            const POINT last = view::ImageToClient(r, c.iw, c.ih, POINT{c.iw - 1, c.ih - 1});
            POINT back{};
            ASSERT_TRUE(view::ClientToImage(r, c.iw, c.ih, last, &back));
            EXPECT_GE(back.x, c.iw - 1 - tol_x);
            EXPECT_GE(back.y, c.ih - 1 - tol_y);
        }
    }
}

TEST(ImageToClient, ClampsPointsOutsideThePicture) {
    const RECT r{10, 20, 410, 220}; // 100 x 50 at four times
    const POINT low = view::ImageToClient(r, 100, 50, POINT{-5, -5});
    EXPECT_EQ(low.x, 10);
    EXPECT_EQ(low.y, 20);
    const POINT high = view::ImageToClient(r, 100, 50, POINT{500, 500});
    EXPECT_EQ(high.x, view::ImageToClient(r, 100, 50, POINT{99, 49}).x);
    EXPECT_LT(high.x, 410);
    EXPECT_LT(high.y, 220);
}
