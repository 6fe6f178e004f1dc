// Page mode in the view, turned as the picture is: the page is drawn turned,
// and each handle drags the page's corner that shows under it.
#include "view/PageShow.h"
#include "view/Rotation.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 60;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

// The camera's picture: red on the left half, blue on the right.
struct Picture : VideoFrame {
    Picture() : bytes(static_cast<size_t>(kWidth) * kHeight) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                bytes[static_cast<size_t>(y) * kWidth + x] = x < kWidth / 2 ? kRed : kBlue;
        pixels = reinterpret_cast<const uint8_t*>(bytes.data());
        width = kWidth;
        height = kHeight;
        stride = kWidth * 4;
    }
    std::vector<uint32_t> bytes;
};

double Distance(const page::Point& a, const page::Point& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

TEST(PageShow, ATurnedPageIsDrawnTurnedAndItsHandlesMoveTheCornersShownThere) {
    // A page twice as wide as high, red on its left and blue on its right.
    const page::Quad quad{page::Point{10, 10}, page::Point{90, 10}, page::Point{90, 50},
                          page::Point{10, 50}};
    const page::Point centre{50, 30};
    const Picture picture;
    for (int turns = 0; turns < 4; ++turns) {
        SCOPED_TRACE(turns);
        page::PageMode mode;
        mode.SetEnabled(true);
        mode.SetManual(quad);
        view::PageShow show;
        show.SetMode(&mode);
        QImage canvas(400, 400, QImage::Format_RGB32);
        {
            QPainter painter(&canvas);
            ASSERT_TRUE(show.Paint(painter, picture, canvas.rect(), turns));
        }
        const QRect drawn = show.Drawn();
        EXPECT_EQ(drawn.width() > drawn.height(), turns % 2 == 0);
        const view::PictureSize upright = view::RotateSize(drawn.width(), drawn.height(), turns);
        for (const auto& [across, colour] : {std::pair{0.25, kRed}, std::pair{0.75, kBlue}}) {
            const view::POINT on_page{static_cast<int>(upright.width * across), upright.height / 2};
            const view::POINT shown =
                view::RotatePoint(on_page, upright.width, upright.height, turns);
            EXPECT_EQ(canvas.pixel(drawn.left() + shown.x, drawn.top() + shown.y), colour)
                << across << " across the page";
        }

        // The handle at the top left of the screen, dragged inwards there.
        ASSERT_TRUE(show.Press(drawn.topLeft()));
        ASSERT_TRUE(show.Move(drawn.topLeft() + QPoint(12, 12)));
        show.Release();
        const page::Quad moved = *mode.Current().quad;
        const int grabbed = (4 - turns) % 4; // the page's corner a clockwise turn puts there
        for (int i = 0; i < 4; ++i) {
            if (i == grabbed)
                EXPECT_LT(Distance(moved[i], centre), Distance(quad[i], centre) - 2) << i;
            else
                EXPECT_LT(Distance(moved[i], quad[i]), 0.01) << i;
        }
    }
}
