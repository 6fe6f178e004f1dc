// Camera pictures made into the picture as shown: read back with
// libjpeg-turbo and looked at pixel by pixel. A turn while recording, fitted
// between black bars, is checked end to end in camera_recording_tests.
#include "annotation/FrameOverlay.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "page/PageMode.h"
#include "view/Rotation.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

struct Colour {
    uint8_t b, g, r;
};
constexpr Colour kRed{0, 0, 255};
constexpr Colour kGreen{0, 255, 0};
constexpr Colour kBlue{255, 0, 0};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kBlack{0, 0, 0};

// Quadrants: red, green above; blue, white below.
Colour CameraColour(int x, int y, int width, int height) {
    if (y < height / 2)
        return x < width / 2 ? kRed : kGreen;
    return x < width / 2 ? kBlue : kWhite;
}

std::vector<uint8_t> CameraJpeg(int width = kWidth, int height = kHeight,
                                int subsampling = TJSAMP_444, int quality = 95,
                                bool textured = false) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Colour c = CameraColour(x, y, width, height);
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0xFF;
            if (textured) // fine detail across and down, unlike each other
                p[1] = static_cast<uint8_t>((x * 37 + y * y * 11) & 0xFF);
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(0, tjCompress2(tj, pixels.data(), width, width * 4, height, TJPF_BGRX, &jpeg, &size,
                             subsampling, quality, 0));
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

struct Picture {
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<uint8_t> pixels; // B, G, R, X

    bool Near(int x, int y, Colour want) const {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        return std::abs(p[0] - want.b) < 40 && std::abs(p[1] - want.g) < 40 &&
               std::abs(p[2] - want.r) < 40;
    }
};

Picture Decode(const uint8_t* jpeg, size_t length) {
    Picture picture;
    tjhandle tj = tjInitDecompress();
    int colorspace = 0;
    if (tjDecompressHeader3(tj, jpeg, length, &picture.width, &picture.height, &picture.subsampling,
                            &colorspace) == 0) {
        picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height * 4);
        EXPECT_EQ(0, tjDecompress2(tj, jpeg, length, picture.pixels.data(), picture.width, 0,
                                   picture.height, TJPF_BGRX, 0));
    }
    tjDestroy(tj);
    return picture;
}

// A black square drawn over the red quadrant, [8, 16) both ways.
void DrawSquare(OverlayWorker* worker) {
    worker->SetRenderer([](uint8_t* overlay, size_t size) {
        std::memset(overlay, kTransparentByte, size);
        for (int y = 8; y < 16; ++y) {
            for (int x = 8; x < 16; ++x) {
                uint8_t* p = overlay + (static_cast<size_t>(y) * kWidth + x) * 4;
                p[0] = p[1] = p[2] = 0, p[3] = 0xFF;
            }
        }
        return true;
    });
    worker->SetPlaying(true);
    worker->RequestRedraw();
    ASSERT_TRUE(worker->Turn());
    ASSERT_TRUE(worker->Present());
}

// A black 8 x 8 block at (*left, 8), with where it is drawn; *left is read
// at each rendering.
void DrawBlackBlock(OverlayWorker* worker, const int* left) {
    worker->SetExtentRenderer([left](uint8_t* pixels, size_t size, OverlayExtent* extent) {
        std::memset(pixels, kTransparentByte, size);
        for (int y = 8; y < 16; ++y)
            for (int x = *left; x < *left + 8; ++x)
                std::memcpy(pixels + (static_cast<size_t>(y) * kWidth + x) * 4, "\0\0\0\xFF", 4);
        ScanOverlayExtent(pixels, kWidth, kHeight, 0, 0, kWidth, kHeight, extent);
        return true;
    });
    worker->SetPlaying(true);
    worker->RequestRedraw();
    ASSERT_TRUE(worker->Turn());
}

// A point of the camera's upright picture and what shows there.
struct Mark {
    view::POINT at;
    Colour colour;
};

// Encodes jpeg, a width x height camera picture, turned by each of 0 to 3
// quarter turns up to last_turns (with the overlay and in page mode where
// given), and checks the turned size and that each mark shows where the
// turn puts it.
void ExpectTurnedAsShown(const std::vector<uint8_t>& jpeg, int width, int height,
                         const std::vector<Mark>& marks, int last_turns = 3,
                         OverlayWorker* overlay = nullptr, const page::PageMode* page = nullptr) {
    for (int turns = 0; turns <= last_turns; ++turns) {
        SCOPED_TRACE(turns);
        ShownPicture shown;
        shown.SetQuarterTurns(turns);
        ShownFrameEncoder encoder(overlay, &shown, width, height);
        encoder.SetPageMode(page);
        const view::PictureSize size = view::RotateSize(width, height, turns);
        EXPECT_EQ(size.width, encoder.Width());
        EXPECT_EQ(size.height, encoder.Height());
        const uint8_t* out = nullptr;
        size_t out_length = 0;
        ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
        const Picture picture = Decode(out, out_length);
        ASSERT_EQ(size.width, picture.width);
        ASSERT_EQ(size.height, picture.height);
        for (const Mark& mark : marks) {
            const view::POINT p = view::RotatePoint(mark.at, width, height, turns);
            EXPECT_TRUE(picture.Near(p.x, p.y, mark.colour)) << mark.at.x << "," << mark.at.y;
        }
    }
}

} // namespace

TEST(ShownFrameEncoder, EachQuarterTurnTurnsThePictureWithItsAnnotations) {
    OverlayWorker overlay;
    DrawSquare(&overlay);
    ExpectTurnedAsShown(CameraJpeg(), kWidth, kHeight,
                        {{{12, 12}, kBlack},
                         {{3, 3}, kRed},
                         {{20, 20}, kRed},
                         {{52, 10}, kGreen},
                         {{10, 40}, kBlue},
                         {{56, 40}, kWhite}},
                        3, &overlay);
}

TEST(ShownFrameEncoder, BadPicturesGiveTheLastGoodOneOrNothing) {
    const std::vector<uint8_t> jpeg = CameraJpeg();
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    const std::vector<uint8_t> noise(3000, 0xA5);
    std::vector<uint8_t> huge = jpeg; // a header that claims 65000 x 65000
    for (size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xFD;
            huge[i + 6] = huge[i + 8] = 0xE8;
            break;
        }
    }
    const std::vector<uint8_t>* const bads[] = {&cut, &noise, &huge};
    ShownPicture shown;
    shown.SetQuarterTurns(2);
    ShownFrameEncoder encoder(nullptr, &shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    for (const std::vector<uint8_t>* bad : bads)
        EXPECT_FALSE(encoder.Encode(bad->data(), bad->size(), &out, &out_length));
    EXPECT_FALSE(encoder.Encode(nullptr, 0, &out, &out_length));

    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
    const std::vector<uint8_t> good(out, out + out_length);
    for (const std::vector<uint8_t>* bad : bads) {
        ASSERT_TRUE(encoder.Encode(bad->data(), bad->size(), &out, &out_length));
        EXPECT_EQ(good, std::vector<uint8_t>(out, out + out_length));
    }
}

TEST(ShownFrameEncoder, TheLargestCamerasPicturesAreRecordedUprightAndTurned) {
    constexpr int kLarge = 2592;
    constexpr int kLargeHeight = 1944;
    ExpectTurnedAsShown(CameraJpeg(kLarge, kLargeHeight, TJSAMP_420), kLarge, kLargeHeight,
                        {{{8, 8}, kRed}, {{kLarge - 9, kLargeHeight - 9}, kWhite}}, 1);
}

TEST(ShownFrameEncoder, NothingDrawnAndUprightPassesTheCamerasBytesOn) {
    const std::vector<uint8_t> jpeg = CameraJpeg();
    OverlayWorker overlay; // nothing present
    ShownPicture shown;
    ShownFrameEncoder encoder(&overlay, &shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
    EXPECT_EQ(jpeg, std::vector<uint8_t>(out, out + out_length));
}

namespace {

constexpr Colour kInk{40, 200, 60};
constexpr Colour kYellow{0, 255, 255};

// A replacing square inside the red quadrant and a yellow highlighter band
// across the blue and white ones (blue under yellow ink turns black).
void DrawReplaceAndMultiply(uint8_t* overlay, size_t size, int width, int height) {
    std::memset(overlay, kTransparentByte, size);
    const auto fill = [&](int left, int top, int right, int bottom, Colour c, uint8_t fourth) {
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                uint8_t* p = overlay + (static_cast<size_t>(y) * width + x) * 4;
                p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = fourth;
            }
        }
    };
    fill(width / 8, height / 8, width * 3 / 8, height * 3 / 8, kInk, 0xFF);
    fill(width * 3 / 8, height * 5 / 8, width * 5 / 8, height * 7 / 8, kYellow, kMultiplyByte);
}

// The picture as shown by way of 32-bit pixels: the camera's picture
// decoded, the overlay composited in, turned, encoded again in subsampling
// and read back.
Picture ThroughPixels(const std::vector<uint8_t>& jpeg, const uint8_t* overlay, int turns,
                      int subsampling) {
    Picture camera = Decode(jpeg.data(), jpeg.size());
    CompositeOverlay(camera.pixels.data(), camera.width * 4, overlay, camera.width, camera.height);
    const view::PictureSize size = view::RotateSize(camera.width, camera.height, turns);
    std::vector<uint8_t> turned(camera.pixels.size());
    EXPECT_TRUE(view::RotateFrame(camera.pixels.data(), camera.width, camera.height,
                                  camera.width * 4, turns, turned.data(), turned.size()));
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    EXPECT_EQ(0, tjCompress2(tj, turned.data(), size.width, 0, size.height, TJPF_BGRX, &out,
                             &out_size, subsampling, ShownFrameEncoder::kQuality, 0));
    tjDestroy(tj);
    Picture picture = Decode(out, out_size);
    tjFree(out);
    return picture;
}

double MeanDifference(const Picture& a, const Picture& b) {
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        if (i % 4 != 3)
            sum += std::abs(a.pixels[i] - b.pixels[i]);
    }
    return sum / (static_cast<double>(a.pixels.size()) * 3 / 4);
}

} // namespace

// Colour pictures of the recording's size go through the codec's planes,
// others through 32-bit pixels: both must look like the view's picture, to
// within the noise of JPEG, with the annotations in their places.
TEST(ShownFrameEncoder, PlanesMatchTheShownPictureForEverySubsamplingAndTurn) {
    const struct {
        int subsampling;
        int width;
        int height;
        int turned_subsampling; // after an odd turn
        double tolerance;       // mean difference per channel
    } cases[] = {
        {TJSAMP_420, 64, 48, TJSAMP_420, 4.0},
        {TJSAMP_420, 75, 47, TJSAMP_420, 4.0},
        {TJSAMP_420, 64, 40, TJSAMP_420, 4.0}, // half a colour block over, as 1080 rows
        {TJSAMP_444, 64, 48, TJSAMP_444, 1.0},
        {TJSAMP_444, 75, 47, TJSAMP_444, 1.0},
        {TJSAMP_422, 64, 48, TJSAMP_440, 2.0},
        {TJSAMP_422, 75, 47, TJSAMP_440, 2.0},
        {TJSAMP_440, 75, 47, TJSAMP_422, 4.0},
        {TJSAMP_GRAY, 75, 47, TJSAMP_420, 1.5}, // no planes: 32-bit pixels, in colour
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> jpeg = CameraJpeg(c.width, c.height, c.subsampling);
        std::vector<uint8_t> drawn(static_cast<size_t>(c.width) * c.height * 4);
        DrawReplaceAndMultiply(drawn.data(), drawn.size(), c.width, c.height);
        // Points of the camera's picture and what shows there.
        const bool grey = c.subsampling == TJSAMP_GRAY;
        const Colour blue = grey ? Colour{29, 29, 29} : kBlue; // the camera's grey of blue
        const struct {
            view::POINT at;
            Colour colour;
        } marks[] = {
            {{c.width / 4, c.height / 4}, kInk},
            {{c.width / 2 + 3, c.height * 3 / 4}, kYellow},
            {{c.width / 2 - 4, c.height * 3 / 4}, grey ? Colour{7, 29, 29} : kBlack},
            {{1, c.height - 2}, blue},
            {{c.width - 2, c.height - 2}, kWhite},
        };
        for (const bool known_extent : {false, true}) {
            OverlayWorker overlay;
            const int width = c.width;
            const int height = c.height;
            overlay.SetExtentRenderer([&](uint8_t* pixels, size_t size, OverlayExtent* extent) {
                DrawReplaceAndMultiply(pixels, size, width, height);
                if (known_extent)
                    ScanOverlayExtent(pixels, width, height, 0, 0, width, height, extent);
                else
                    ClearOverlayExtent(extent, 0, 0);
                return true;
            });
            overlay.SetPlaying(true);
            overlay.RequestRedraw();
            ASSERT_TRUE(overlay.Turn());
            for (int turns = 0; turns < 4; ++turns) {
                SCOPED_TRACE(testing::Message()
                             << "subsampling " << c.subsampling << ", " << c.width << "x"
                             << c.height << ", turns " << turns << ", extent " << known_extent);
                ShownPicture shown;
                shown.SetQuarterTurns(turns);
                ShownFrameEncoder encoder(&overlay, &shown, c.width, c.height);
                const uint8_t* out = nullptr;
                size_t out_length = 0;
                ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
                const Picture picture = Decode(out, out_length);
                const int subsampling =
                    grey || turns % 2 == 1 ? c.turned_subsampling : c.subsampling;
                EXPECT_EQ(subsampling, picture.subsampling);
                const Picture expected = ThroughPixels(jpeg, drawn.data(), turns, subsampling);
                ASSERT_EQ(expected.width, picture.width);
                ASSERT_EQ(expected.height, picture.height);
                EXPECT_LT(MeanDifference(expected, picture), c.tolerance);
                for (const auto& mark : marks) {
                    const view::POINT p = view::RotatePoint(mark.at, c.width, c.height, turns);
                    EXPECT_TRUE(picture.Near(p.x, p.y, mark.colour))
                        << mark.at.x << "," << mark.at.y;
                }
            }
        }
    }
}

// The planes' ink is found once a rendering: the same again for the next
// frames, a new rendering read afresh.
TEST(ShownFrameEncoder, TheInkOfOneRenderingServesUntilTheNext) {
    const std::vector<uint8_t> jpeg = CameraJpeg(kWidth, kHeight, TJSAMP_420);
    int left = 8;
    OverlayWorker overlay;
    DrawBlackBlock(&overlay, &left);
    ShownPicture shown;
    ShownFrameEncoder encoder(&overlay, &shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t length = 0;
    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &length));
    const std::vector<uint8_t> first(out, out + length);
    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &length));
    EXPECT_EQ(std::vector<uint8_t>(out, out + length), first);
    const Picture before = Decode(first.data(), first.size());
    EXPECT_TRUE(before.Near(12, 12, kBlack));
    EXPECT_TRUE(before.Near(44, 12, kGreen));

    left = 40;
    overlay.RequestRedraw();
    ASSERT_TRUE(overlay.Turn());
    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &length));
    const Picture after = Decode(out, length);
    EXPECT_TRUE(after.Near(12, 12, kRed));
    EXPECT_TRUE(after.Near(44, 12, kBlack));
}

// Page mode with corners set by hand round the white quadrant: the
// recording's frames are that quadrant alone, fitted upright into the
// recording's size between black bars, and the camera's own bytes are not
// passed on.
TEST(ShownFrameEncoder, PageModeRecordsTheFlattenedPageTurnedAsShown) {
    page::PageMode mode;
    mode.SetEnabled(true);
    // The lower half, a little inside: blue on the left, white on the right,
    // more than three times as wide as high.
    mode.SetManual({page::Point{2.0, kHeight / 2 + 4.0},
                    page::Point{kWidth - 2.0, kHeight / 2 + 4.0},
                    page::Point{kWidth - 2.0, kHeight - 6.0}, page::Point{2.0, kHeight - 6.0}});
    // Upright the page fills the width between bars above and below; a turn
    // turns all of it.
    ExpectTurnedAsShown(CameraJpeg(), kWidth, kHeight,
                        {{{10, kHeight / 2}, kBlue},
                         {{kWidth - 10, kHeight / 2}, kWhite},
                         {{kWidth / 2, 3}, kBlack},
                         {{kWidth / 2, kHeight - 4}, kBlack}},
                        3, nullptr, &mode);
}

// Turned without drawing, the camera's coefficients are moved, not
// recompressed: each quarter turn is the picture turned, to within the
// rounding of the decoder's transform, and four give back the camera's
// picture exactly. (A coarse camera table shows a turn that forgets it.)
TEST(ShownFrameEncoder, FourQuarterTurnsGiveTheCamerasPictureBack) {
    for (const int subsampling : {TJSAMP_444, TJSAMP_422, TJSAMP_420, TJSAMP_440}) {
        SCOPED_TRACE(subsampling);
        const std::vector<uint8_t> camera = CameraJpeg(kWidth, kHeight, subsampling, 40, true);
        std::vector<uint8_t> jpeg = camera;
        ShownPicture shown;
        shown.SetQuarterTurns(1);
        for (int turn = 0; turn < 4; ++turn) {
            const Picture in = Decode(jpeg.data(), jpeg.size());
            ShownFrameEncoder encoder(nullptr, &shown, in.width, in.height);
            const uint8_t* out = nullptr;
            size_t out_length = 0;
            ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
            jpeg.assign(out, out + out_length);
            if (subsampling != TJSAMP_444)
                continue; // its colours are spread differently once turned
            const Picture got = Decode(jpeg.data(), jpeg.size());
            std::vector<uint8_t> want(in.pixels.size());
            ASSERT_TRUE(view::RotateFrame(in.pixels.data(), in.width, in.height, in.width * 4, 1,
                                          want.data(), want.size()));
            int worst = 0;
            for (size_t i = 0; i < want.size(); ++i)
                worst = std::max(worst, std::abs(want[i] - got.pixels[i]));
            EXPECT_LE(worst, 3);
        }
        const Picture want = Decode(camera.data(), camera.size());
        const Picture got = Decode(jpeg.data(), jpeg.size());
        EXPECT_EQ(want.subsampling, got.subsampling);
        EXPECT_EQ(want.pixels, got.pixels);
    }
}

// Drawn on, only the blocks under the drawing are made again: every other
// pixel is the camera's, bit for bit.
TEST(ShownFrameEncoder, BlocksNothingIsDrawnOnKeepTheCamerasPixels) {
    const std::vector<uint8_t> camera = CameraJpeg(kWidth, kHeight, TJSAMP_444, 40, true);
    const int left = 8; // black over [8, 16) both ways: one block
    OverlayWorker overlay;
    DrawBlackBlock(&overlay, &left);
    ShownPicture shown;
    ShownFrameEncoder encoder(&overlay, &shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    ASSERT_TRUE(encoder.Encode(camera.data(), camera.size(), &out, &out_length));
    const Picture want = Decode(camera.data(), camera.size());
    const Picture got = Decode(out, out_length);
    ASSERT_EQ(want.pixels.size(), got.pixels.size());
    int changed_outside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const size_t at = (static_cast<size_t>(y) * kWidth + x) * 4;
            if (x >= 8 && x < 16 && y >= 8 && y < 16)
                EXPECT_TRUE(got.Near(x, y, kBlack)) << x << "," << y;
            else
                changed_outside += std::memcmp(&want.pixels[at], &got.pixels[at], 3) != 0;
        }
    }
    EXPECT_EQ(0, changed_outside);
}

// Damaged picture data that libjpeg works around still makes a whole frame
// of the recording's size, turned.
TEST(ShownFrameEncoder, DamagedPictureDataStillMakesAWholeTurnedFrame) {
    std::vector<uint8_t> jpeg = CameraJpeg(kWidth, kHeight, TJSAMP_420, 40, true);
    for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 40; ++i)
        jpeg[i] = static_cast<uint8_t>(jpeg[i] == 0xFF ? 0x00 : jpeg[i] ^ 0x5A);
    ShownPicture shown;
    shown.SetQuarterTurns(1);
    ShownFrameEncoder encoder(nullptr, &shown, kWidth, kHeight);
    const uint8_t* out = nullptr;
    size_t out_length = 0;
    ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
    const Picture got = Decode(out, out_length);
    EXPECT_EQ(kHeight, got.width);
    EXPECT_EQ(kWidth, got.height);
}
