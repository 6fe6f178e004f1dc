#include "decode.h"
#include "sim/picture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <thread>

using namespace sim;
using sim::test::Decode;
using sim::test::Decoded;
using sim::test::MeanChannel;

namespace {

Decoded Render(const CameraState& state, int width = 640, int height = 480) {
    PictureGenerator generator(width, height);
    generator.SetState(state);
    auto jpeg = generator.Jpeg();
    EXPECT_NE(nullptr, jpeg);
    return jpeg ? Decode(*jpeg) : Decoded{};
}

struct Blob {
    long count = 0;
    double x = 0;
    double y = 0;
};

// Centre and size of the pixels that match, e.g. the red circle.
template <typename Match>
Blob Find(const Decoded& d, Match match) {
    Blob blob;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            const uint8_t* p = d.At(x, y);
            if (match(p[0], p[1], p[2])) {
                ++blob.count;
                blob.x += x;
                blob.y += y;
            }
        }
    }
    if (blob.count > 0) {
        blob.x /= blob.count;
        blob.y /= blob.count;
    }
    return blob;
}

bool IsRed(int r, int g, int b) {
    return r > 170 && g < 90 && b < 90;
}
bool IsGreen(int r, int g, int b) {
    return g > 120 && r < 80 && b < 100;
}

// Sum of differences between horizontal neighbours: falls when the picture
// blurs, rises when it is sharpened.
uint64_t EdgeEnergy(const Decoded& d) {
    uint64_t sum = 0;
    for (int y = 0; y < d.height; ++y) {
        for (int x = 1; x < d.width; ++x) {
            sum += std::abs(d.At(x, y)[1] - d.At(x - 1, y)[1]);
        }
    }
    return sum;
}

CameraState With(void (*change)(CameraState&)) {
    CameraState s;
    change(s);
    return s;
}

} // namespace

TEST(PictureGenerator, CameraSizesDecodeAsBaseline420) {
    for (auto [w, h] : {std::pair{640, 480}, {1280, 720}, {1920, 1080}, {2592, 1944}}) {
        PictureGenerator generator(w, h);
        auto jpeg = generator.Jpeg();
        ASSERT_NE(nullptr, jpeg);
        const Decoded d = Decode(*jpeg);
        EXPECT_TRUE(d.ok) << w << "x" << h;
        EXPECT_EQ(w, d.width);
        EXPECT_EQ(h, d.height);
        EXPECT_EQ(TJSAMP_420, d.subsampling);
        // Baseline: the frame header is SOF0.
        bool sof0 = false;
        for (size_t i = 0; i + 1 < jpeg->size() && !sof0; ++i) {
            sof0 = (*jpeg)[i] == 0xFF && (*jpeg)[i + 1] == 0xC0;
        }
        EXPECT_TRUE(sof0);
    }
}

TEST(PictureGenerator, OutOfRangeSizesAreClamped) {
    struct Case {
        int w, h, want_w, want_h;
    };
    for (const Case& c : {Case{100, 100, 640, 480}, Case{5000, 4000, 2592, 1944},
                          Case{-1, INT_MAX, 640, 1944}, Case{INT_MIN, 0, 640, 480}}) {
        PictureGenerator generator(c.w, c.h);
        EXPECT_EQ(c.want_w, generator.Width());
        EXPECT_EQ(c.want_h, generator.Height());
        const Decoded d = Decode(*generator.Jpeg());
        EXPECT_EQ(c.want_w, d.width);
        EXPECT_EQ(c.want_h, d.height);
    }
    PictureGenerator generator(640, 480);
    generator.SetSize(9999, 1);
    const Decoded d = Decode(*generator.Jpeg());
    EXPECT_EQ(2592, d.width);
    EXPECT_EQ(480, d.height);
}

TEST(PictureGenerator, MirrorMovesTheRedCircleAcross) {
    const Decoded plain = Render({});
    const Blob red = Find(plain, IsRed);
    ASSERT_GT(red.count, 1000);
    EXPECT_LT(red.x, plain.width / 2.0);
    EXPECT_GT(red.y, plain.height / 2.0);

    const double mx = plain.width - 1 - red.x;
    const double my = plain.height - 1 - red.y;
    struct Case {
        Mirror mirror;
        double x, y;
    };
    for (const Case& c : {Case{Mirror::kHorizontal, mx, red.y}, Case{Mirror::kVertical, red.x, my},
                          Case{Mirror::kBoth, mx, my}}) {
        CameraState s;
        s.mirror = c.mirror;
        const Blob moved = Find(Render(s), IsRed);
        EXPECT_NEAR(red.count, moved.count, red.count / 50) << static_cast<int>(c.mirror);
        EXPECT_NEAR(c.x, moved.x, 1.5) << static_cast<int>(c.mirror);
        EXPECT_NEAR(c.y, moved.y, 1.5) << static_cast<int>(c.mirror);
    }
}

TEST(PictureGenerator, NegativeInvertsAndMonoIsGrey) {
    const Decoded plain = Render({});
    const Decoded negative = Render(With([](CameraState& s) { s.negative = true; }));
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(255.0 - MeanChannel(plain, c), MeanChannel(negative, c), 1.5) << c;
    }
    // The red circle turns cyan.
    const Blob red = Find(plain, IsRed);
    const uint8_t* p = negative.At(static_cast<int>(red.x), static_cast<int>(red.y));
    EXPECT_LT(p[0], 80);
    EXPECT_GT(p[1], 180);
    EXPECT_GT(p[2], 180);

    for (bool inverted : {false, true}) {
        CameraState s;
        s.mono = true;
        s.negative = inverted;
        const Decoded mono = Render(s);
        int worst = 0;
        for (size_t i = 0; i < mono.rgb.size(); i += 3) {
            worst = std::max({worst, std::abs(mono.rgb[i] - mono.rgb[i + 1]),
                              std::abs(mono.rgb[i + 1] - mono.rgb[i + 2])});
        }
        EXPECT_LE(worst, 2) << inverted;
    }
}

TEST(PictureGenerator, GainsAndBrightnessMoveTheirChannels) {
    const Decoded plain = Render({});
    const Decoded red = Render(With([](CameraState& s) { s.red_gain = 4; }));
    EXPECT_GT(MeanChannel(red, 0), MeanChannel(plain, 0) + 3);
    EXPECT_NEAR(MeanChannel(plain, 1), MeanChannel(red, 1), 1.0);

    const Decoded blue = Render(With([](CameraState& s) { s.blue_gain = -4; }));
    EXPECT_LT(MeanChannel(blue, 2), MeanChannel(plain, 2) - 3);
    EXPECT_NEAR(MeanChannel(plain, 0), MeanChannel(blue, 0), 1.0);

    const Decoded brighter = Render(With([](CameraState& s) { s.brightness = 2; }));
    const Decoded darker = Render(With([](CameraState& s) { s.brightness = -2; }));
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(MeanChannel(brighter, c), MeanChannel(plain, c) + 3) << c;
        EXPECT_LT(MeanChannel(darker, c), MeanChannel(plain, c) - 20) << c;
    }
}

TEST(PictureGenerator, ZoomFocusAndSharpnessShowInThePicture) {
    const Decoded plain = Render({});
    // Zoom 2 magnifies 1.4 times: the centred triangle's area about doubles.
    const Blob triangle = Find(plain, IsGreen);
    const Blob zoomed = Find(Render(With([](CameraState& s) { s.zoom = 2; })), IsGreen);
    EXPECT_NEAR(1.96, static_cast<double>(zoomed.count) / triangle.count, 0.15);

    const uint64_t edges = EdgeEnergy(plain);
    PictureGenerator generator(640, 480);
    CameraState s;
    s.focus = 3;
    generator.SetState(s);
    auto far = generator.Jpeg();
    s.focus = -3;
    generator.SetState(s);
    auto near = generator.Jpeg();
    EXPECT_EQ(*far, *near); // out of focus by the same amount either way
    EXPECT_LT(EdgeEnergy(Decode(*far)), edges * 6 / 10);

    EXPECT_GT(EdgeEnergy(Render(With([](CameraState& s) { s.sharpness = 4; }))), edges * 11 / 10);
    EXPECT_LT(EdgeEnergy(Render(With([](CameraState& s) { s.sharpness = -4; }))), edges * 9 / 10);
}

TEST(PictureGenerator, EncodesOnlyWhenThePictureChanges) {
    PictureGenerator generator(1280, 720);
    auto first = generator.Jpeg();
    ASSERT_NE(nullptr, first);
    const std::vector<uint8_t> first_bytes = *first;
    EXPECT_EQ(first, generator.Jpeg());
    generator.SetState(CameraState{});
    generator.SetFrameNumber(7); // ignored while the live marker is off
    EXPECT_EQ(first, generator.Jpeg());
    PictureStats stats = generator.Stats();
    EXPECT_EQ(1u, stats.page_renders);
    EXPECT_EQ(1u, stats.state_applications);
    EXPECT_EQ(1u, stats.encodes);

    CameraState s;
    ASSERT_TRUE(ApplyRvxCommand(s, 0x31));
    generator.SetState(s);
    auto zoomed = generator.Jpeg();
    EXPECT_NE(first, zoomed);
    EXPECT_NE(first_bytes, *zoomed);
    EXPECT_EQ(first_bytes, *first); // a buffer already handed out never changes
    EXPECT_EQ(zoomed, generator.Jpeg());

    // Zooming in at the limit changes nothing, so nothing is redone.
    s.zoom = kMaxZoom;
    generator.SetState(s);
    auto at_limit = generator.Jpeg();
    ASSERT_TRUE(ApplyQ5Command(s, 0xB1));
    generator.SetState(s);
    EXPECT_EQ(at_limit, generator.Jpeg());

    generator.SetState(CameraState{});
    EXPECT_EQ(first_bytes, *generator.Jpeg()); // the encoding is deterministic
    stats = generator.Stats();
    EXPECT_EQ(1u, stats.page_renders);
    EXPECT_EQ(4u, stats.state_applications);
    EXPECT_EQ(4u, stats.encodes);

    generator.SetSize(640, 480);
    EXPECT_EQ(640, Decode(*generator.Jpeg()).width);
    EXPECT_EQ(2u, generator.Stats().page_renders);
}

TEST(PictureGenerator, LiveMarkerReencodesPerFrameAndComesOffCleanly) {
    PictureGenerator generator(640, 480);
    const std::vector<uint8_t> clean = *generator.Jpeg();

    generator.SetLiveMarker(true);
    generator.SetFrameNumber(1);
    auto frame1 = generator.Jpeg();
    EXPECT_NE(clean, *frame1);
    EXPECT_EQ(frame1, generator.Jpeg());
    generator.SetFrameNumber(2);
    auto frame2 = generator.Jpeg();
    EXPECT_NE(*frame1, *frame2);
    EXPECT_EQ(1u, generator.Stats().state_applications);

    generator.SetLiveMarker(false);
    EXPECT_EQ(clean, *generator.Jpeg());
}

TEST(PictureGenerator, ReplayEncodesEachMarkerPositionOnceUntilThePictureChanges) {
    PictureGenerator generator(640, 480);
    generator.SetLiveMarker(true);
    generator.SetReplayLength(3);
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> first_round;
    for (uint32_t frame = 0; frame < 3; ++frame) {
        generator.SetFrameNumber(frame);
        first_round.push_back(generator.Jpeg());
    }
    EXPECT_EQ(3u, generator.Stats().encodes);
    EXPECT_NE(*first_round[0], *first_round[1]);
    // Frame numbers 3 to 8 show 0, 1, 2 again, from memory.
    for (uint32_t frame = 3; frame < 9; ++frame) {
        generator.SetFrameNumber(frame);
        EXPECT_EQ(first_round[frame % 3], generator.Jpeg()) << frame;
    }
    EXPECT_EQ(3u, generator.Stats().encodes);

    // A command changes the picture: encoded afresh, then kept again.
    CameraState zoomed;
    ASSERT_TRUE(ApplyQ5Command(zoomed, 0xB1));
    generator.SetState(zoomed);
    generator.SetFrameNumber(4);
    const auto after = generator.Jpeg();
    EXPECT_NE(*first_round[1], *after);
    generator.SetFrameNumber(7);
    EXPECT_EQ(after, generator.Jpeg());
    EXPECT_EQ(4u, generator.Stats().encodes);

    // Off again: every frame number is its own picture.
    generator.SetReplayLength(0);
    generator.SetFrameNumber(10);
    const auto ten = generator.Jpeg();
    generator.SetFrameNumber(13);
    EXPECT_NE(*ten, *generator.Jpeg());
    EXPECT_EQ(6u, generator.Stats().encodes);
}

TEST(PictureGenerator, StateMayChangeWhileAnotherThreadTakesPictures) {
    PictureGenerator generator(640, 480);
    std::atomic<bool> done{false};
    std::thread commands([&] {
        CameraState s;
        for (int i = 0; i < 40; ++i) {
            ApplyRvxCommand(s, i % 2 ? 0x38 : 0x37);
            generator.SetState(s);
            generator.SetFrameNumber(i);
            generator.SetLiveMarker(i % 3 == 0);
            std::this_thread::yield();
        }
        done = true;
    });
    int pictures = 0;
    while (!done || pictures < 5) {
        auto jpeg = generator.Jpeg();
        ASSERT_NE(nullptr, jpeg);
        ++pictures;
        if (pictures % 10 == 0) {
            EXPECT_TRUE(Decode(*jpeg).ok);
        }
    }
    commands.join();
}
