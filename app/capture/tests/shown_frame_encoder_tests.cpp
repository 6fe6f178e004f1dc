// Camera pictures made into the picture as shown: read back with
// libjpeg-turbo and looked at pixel by pixel. A turn while recording, fitted
// between black bars, is checked end to end in camera_recording_tests.
#include "annotation/FrameOverlay.h"
#include "capture/ShownFrameEncoder.h"
#include "capture/ShownPicture.h"
#include "view/Rotation.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

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
Colour CameraColour(int x, int y) {
    if (y < kHeight / 2)
        return x < kWidth / 2 ? kRed : kGreen;
    return x < kWidth / 2 ? kBlue : kWhite;
}

std::vector<uint8_t> CameraJpeg() {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Colour c = CameraColour(x, y);
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 4];
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0xFF;
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(0, tjCompress2(tj, pixels.data(), kWidth, kWidth * 4, kHeight, TJPF_BGRX, &jpeg,
                             &size, TJSAMP_444, 95, 0));
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

struct Picture {
    int width = 0;
    int height = 0;
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
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(tj, jpeg, length, &picture.width, &picture.height, &subsampling,
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

} // namespace

TEST(ShownFrameEncoder, EachQuarterTurnTurnsThePictureWithItsAnnotations) {
    const std::vector<uint8_t> jpeg = CameraJpeg();
    OverlayWorker overlay;
    DrawSquare(&overlay);
    // Points of the camera's picture and what shows there.
    const struct {
        view::POINT at;
        Colour colour;
    } marks[] = {
        {{12, 12}, kBlack}, {{3, 3}, kRed},    {{20, 20}, kRed},
        {{52, 10}, kGreen}, {{10, 40}, kBlue}, {{56, 40}, kWhite},
    };
    for (int turns = 0; turns < 4; ++turns) {
        SCOPED_TRACE(turns);
        ShownPicture shown;
        shown.SetQuarterTurns(turns);
        ShownFrameEncoder encoder(&overlay, &shown, kWidth, kHeight);
        const view::PictureSize size = view::RotateSize(kWidth, kHeight, turns);
        EXPECT_EQ(size.width, encoder.Width());
        EXPECT_EQ(size.height, encoder.Height());
        const uint8_t* out = nullptr;
        size_t out_length = 0;
        ASSERT_TRUE(encoder.Encode(jpeg.data(), jpeg.size(), &out, &out_length));
        const Picture picture = Decode(out, out_length);
        ASSERT_EQ(size.width, picture.width);
        ASSERT_EQ(size.height, picture.height);
        for (const auto& mark : marks) {
            const view::POINT p = view::RotatePoint(mark.at, kWidth, kHeight, turns);
            EXPECT_TRUE(picture.Near(p.x, p.y, mark.colour)) << mark.at.x << "," << mark.at.y;
        }
    }
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
