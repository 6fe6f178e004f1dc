// The video view driving the annotation editor with the mouse: pointers,
// nothing while stopped, and shapes that stay on their image pixels in every
// zoom mode and in full screen.
#include "annotation/AnnotationEditor.h"
#include "annotation/FrameOverlay.h"
#include "annotation/OverlayRenderer.h"
#include "testsupport/gui_support.h"
#include "view/VideoView.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

using annotation::AnnotationState;
using annotation::DrawTool;

constexpr int kImageW = 1280;
constexpr int kImageH = 1024;

void Send(QWidget* w, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                      ? Qt::NoButton
                                      : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class AnnotationViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        store_.SetFrameSize(kImageW, kImageH);
        editor_.SetWaitFunction(nullptr);
        view_.SetImageSize(kImageW, kImageH);
        view_.resize(640, 480); // smaller than the screen: full screen changes the mapping
        view_.SetPlayingQuery([this] { return playing_; });
        view_.SetMouseInput(&editor_);
        view_.SetZoomCommand(32782); // Fit Image: 600 x 480 at left 20
    }
    // The view point that shows image pixel (x, y) now, through the turn.
    QPoint ClientOf(int x, int y) const {
        const view::POINT p = view_.ImageToClient(view::POINT{x, y});
        return QPoint(p.x, p.y);
    }
    // The image pixel under view point p now.
    view::POINT ImageOf(QPoint p) const {
        view::POINT image{-1, -1};
        view::ClientToImage(view_.DisplayRect(), kImageW, kImageH, view::POINT{p.x(), p.y()},
                            &image);
        return image;
    }
    void Drag(QPoint from, QPoint to) {
        Send(&view_, QEvent::MouseButtonPress, from);
        Send(&view_, QEvent::MouseMove, from);
        Send(&view_, QEvent::MouseMove, to);
        Send(&view_, QEvent::MouseButtonRelease, to);
    }
    annotation::Shape Only() const {
        return store_.Read([](const AnnotationState& s) {
            EXPECT_EQ(s.shapes.size(), 1u);
            return s.shapes.empty() ? annotation::Shape{} : s.shapes[0];
        });
    }
    // Presses on image pixel (x, y) with the Select tool: whether that
    // selected the shape. A view pixel may cover two image pixels.
    bool SelectsAt(int x, int y) {
        store_.SetTool(DrawTool::kSelect);
        Send(&view_, QEvent::MouseButtonPress, ClientOf(x, y));
        Send(&view_, QEvent::MouseButtonRelease, ClientOf(x, y));
        EXPECT_NEAR(view_.ImagePoint().x, x, 1);
        EXPECT_NEAR(view_.ImagePoint().y, y, 1);
        return store_.Read([](const AnnotationState& s) { return s.SelectedCount() == 1; });
    }
    // What the view shows at image pixel (x, y) with the overlay composited
    // into a grey frame, as the sample callback does; the frame decoded at
    // 1/denominator of the camera's size.
    QColor ShownAt(int x, int y, int denominator = 1) {
        int w = kImageW / denominator;
        int h = kImageH / denominator;
        std::vector<uint8_t> overlay(static_cast<size_t>(kImageW) * kImageH * 4);
        OverlayExtent extent;
        EXPECT_TRUE(
            annotation::RenderOverlay(store_, overlay.data(), overlay.size(), &extent, &w, &h));
        std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 4, 0x80);
        CompositeOverlay(frame.data(), w * 4, overlay.data(), w, h, extent);
        view_.PresentFrame(frame.data(), w, h, w * 4, view_.DisplayRect());
        return view_.grab().toImage().pixelColor(ClientOf(x, y));
    }

    annotation::AnnotationStore store_;
    annotation::AnnotationEditor editor_{store_};
    VideoView view_;
    bool playing_ = true;
};

TEST_F(AnnotationViewTest, AShapeKeepsItsImagePixelsInEveryZoomModeAndFullScreen) {
    store_.SetTool(DrawTool::kRectangle);
    store_.Edit([](AnnotationState& s) {
        s.defaults.rect_fill = true;
        s.defaults.rect_fill_color = 0x0000FF; // red
    });
    const view::POINT from = ImageOf(ClientOf(400, 300));
    const view::POINT to = ImageOf(ClientOf(800, 700));
    Drag(ClientOf(400, 300), ClientOf(800, 700));
    const annotation::Shape drawn = Only();
    EXPECT_EQ(drawn.x1, from.x);
    EXPECT_EQ(drawn.y1, from.y);
    EXPECT_EQ(drawn.x2, to.x);
    EXPECT_EQ(drawn.y2, to.y);
    EXPECT_EQ(ShownAt(600, 500), QColor(Qt::red));

    for (uint32_t zoom : {32778u, 32779u, 32780u, 32781u}) { // Actual Size ... Fit Window
        view_.SetZoomCommand(zoom);
        EXPECT_TRUE(SelectsAt(700, 650)) << zoom;
        EXPECT_FALSE(SelectsAt(300, 200)) << zoom;
        EXPECT_EQ(ShownAt(600, 500), QColor(Qt::red)) << zoom;
    }
    view_.SetZoomCommand(32782);
    const RECT windowed = view_.DisplayRect();
    view_.show();
    view_.ToggleFullScreen();
    QCoreApplication::processEvents();
    ASSERT_TRUE(view_.IsFullScreen());
    EXPECT_NE(view_.DisplayRect().right - view_.DisplayRect().left, windowed.right - windowed.left);
    EXPECT_TRUE(SelectsAt(700, 650));
    EXPECT_EQ(ShownAt(600, 500), QColor(Qt::red));
    view_.ToggleFullScreen();
    const annotation::Shape after = Only();
    EXPECT_EQ(after.MinX(), from.x);
    EXPECT_EQ(after.MinY(), from.y);
    EXPECT_EQ(after.MaxX(), to.x);
    EXPECT_EQ(after.MaxY(), to.y);
}

// A small view has the picture decoded at half the camera's size: a shape
// drawn with the mouse over it keeps the camera's pixels, and shows where
// the one over the whole picture does.
TEST_F(AnnotationViewTest, AShapeDrawnOverAHalfSizePictureKeepsTheCameraPixels) {
    view::ShownPixels shown;
    view_.SetShownPixelsHandler([&shown](int w, int h) { shown = {w, h}; });
    view_.SetZoomCommand(32782);
    EXPECT_TRUE(shown.width <= kImageW / 2 && shown.height <= kImageH / 2 && shown.width > 0)
        << shown.width << "x" << shown.height;
    store_.SetTool(DrawTool::kRectangle);
    store_.Edit([](AnnotationState& s) {
        s.defaults.rect_fill = true;
        s.defaults.rect_fill_color = 0x0000FF; // red
    });
    std::vector<uint8_t> half(static_cast<size_t>(kImageW / 2) * kImageH / 2 * 4, 0x80);
    view_.PresentFrame(half.data(), kImageW / 2, kImageH / 2, kImageW * 2, view_.DisplayRect());
    const view::POINT from = ImageOf(ClientOf(401, 301));
    const view::POINT to = ImageOf(ClientOf(801, 701));
    Drag(ClientOf(401, 301), ClientOf(801, 701));
    const annotation::Shape drawn = Only();
    EXPECT_EQ(drawn.x1, from.x);
    EXPECT_EQ(drawn.y1, from.y);
    EXPECT_EQ(drawn.x2, to.x);
    EXPECT_EQ(drawn.y2, to.y);
    // Inside, outside and either side of two edges, a few view pixels away
    // (the view filters where it scales).
    for (const view::POINT p :
         {view::POINT{600, 500}, view::POINT{300, 200}, view::POINT{416, 500},
          view::POINT{386, 500}, view::POINT{600, 685}, view::POINT{600, 715}}) {
        EXPECT_EQ(ShownAt(p.x, p.y, 2), ShownAt(p.x, p.y)) << p.x << "," << p.y;
    }
    EXPECT_TRUE(SelectsAt(700, 650));
}

TEST_F(AnnotationViewTest, AShapeKeepsItsImagePixelsInEveryTurnZoomModeAndFullScreen) {
    store_.SetTool(DrawTool::kRectangle);
    store_.Edit([](AnnotationState& s) {
        s.defaults.rect_fill = true;
        s.defaults.rect_fill_color = 0x0000FF; // red
    });
    // Off the middle, so that a turn the wrong way shows no red where it should.
    Drag(ClientOf(100, 150), ClientOf(450, 400));
    const annotation::Shape drawn = Only();
    view_.show();
    for (int turns : {1, 2, 3, 0}) {
        view_.SetQuarterTurns(turns);
        for (uint32_t zoom : {32778u, 32779u, 32780u, 32781u, 32782u}) {
            view_.SetZoomCommand(zoom);
            const RECT r = view_.DisplayRect();
            if (zoom == 32778u) { // Actual Size: the turned picture's own size
                EXPECT_EQ(r.right - r.left, turns % 2 == 1 ? kImageH : kImageW) << turns;
                EXPECT_EQ(r.bottom - r.top, turns % 2 == 1 ? kImageW : kImageH) << turns;
            }
            EXPECT_TRUE(SelectsAt(420, 380)) << turns << " " << zoom;
            EXPECT_FALSE(SelectsAt(700, 650)) << turns << " " << zoom;
            // Actual Size shows a part of the picture: what it shows.
            for (const QPoint at : {QPoint(300, 300), QPoint(420, 380), QPoint(120, 170)}) {
                if (view_.rect().contains(ClientOf(at.x(), at.y()))) {
                    EXPECT_EQ(ShownAt(at.x(), at.y()), QColor(Qt::red)) << turns << " " << zoom;
                }
            }
            for (const QPoint at : {QPoint(80, 300), QPoint(700, 650), QPoint(300, 430)}) {
                if (view_.rect().contains(ClientOf(at.x(), at.y()))) {
                    EXPECT_NE(ShownAt(at.x(), at.y()), QColor(Qt::red)) << turns << " " << zoom;
                }
            }
        }
        view_.ToggleFullScreen();
        QCoreApplication::processEvents();
        ASSERT_TRUE(view_.IsFullScreen());
        EXPECT_TRUE(SelectsAt(420, 380)) << turns;
        EXPECT_EQ(ShownAt(300, 300), QColor(Qt::red)) << turns;
        view_.ToggleFullScreen();
        QCoreApplication::processEvents();
    }
    // Selecting moved nothing: the shape is where it was drawn.
    const annotation::Shape after = Only();
    EXPECT_EQ(after.MinX(), drawn.MinX());
    EXPECT_EQ(after.MinY(), drawn.MinY());
    EXPECT_EQ(after.MaxX(), drawn.MaxX());
    EXPECT_EQ(after.MaxY(), drawn.MaxY());
}

TEST_F(AnnotationViewTest, PointersFollowTheToolAndTheShapeUnderThem) {
    store_.SetTool(DrawTool::kLine);
    Send(&view_, QEvent::MouseMove, ClientOf(100, 100));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorLine);
    EXPECT_EQ(view_.cursor().shape(), Qt::BitmapCursor);
    store_.SetTool(DrawTool::kCircle);
    Send(&view_, QEvent::MouseMove, ClientOf(120, 100));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorBox);

    Drag(ClientOf(200, 200), ClientOf(600, 600));
    store_.SetTool(DrawTool::kSelect);
    Send(&view_, QEvent::MouseButtonPress, ClientOf(400, 400)); // grabs it whole
    Send(&view_, QEvent::MouseButtonRelease, ClientOf(400, 400));
    Send(&view_, QEvent::MouseMove, ClientOf(203, 203));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorSizeNWSE);
    EXPECT_EQ(view_.cursor().shape(), Qt::SizeFDiagCursor);
    Send(&view_, QEvent::MouseMove, ClientOf(400, 400));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorMove);
    Send(&view_, QEvent::MouseMove, ClientOf(900, 900));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorArrow);
    EXPECT_EQ(view_.cursor().shape(), Qt::ArrowCursor);
}

// A double-click on a text with Select opens it for typing; with the text
// tool it is two clicks into the text. Elsewhere it changes the zoom.
TEST_F(AnnotationViewTest, DoubleClicksOpenTextsAndLeaveTheZoomUnderTyping) {
    store_.SetTool(DrawTool::kText);
    Send(&view_, QEvent::MouseMove, ClientOf(300, 300));
    EXPECT_EQ(view_.cursor().shape(), Qt::IBeamCursor);
    const int zoom = view_.ZoomMode();
    Send(&view_, QEvent::MouseButtonPress, ClientOf(300, 300));
    Send(&view_, QEvent::MouseButtonRelease, ClientOf(300, 300));
    Send(&view_, QEvent::MouseButtonDblClick, ClientOf(300, 300));
    EXPECT_EQ(view_.ZoomMode(), zoom);
    store_.TypeText(annotation::TextKey::kCharacters, "Hallo");
    store_.SetTool(DrawTool::kSelect); // ends the text
    ASSERT_FALSE(store_.TypingText());

    Send(&view_, QEvent::MouseButtonDblClick, ClientOf(310, 310));
    EXPECT_TRUE(store_.TypingText());
    EXPECT_EQ(view_.ZoomMode(), zoom);
    store_.FinishText();
    Send(&view_, QEvent::MouseButtonDblClick, ClientOf(900, 900));
    EXPECT_FALSE(store_.TypingText());
    EXPECT_NE(view_.ZoomMode(), zoom);
    EXPECT_EQ(Only().text, "Hallo");
}

TEST_F(AnnotationViewTest, WhileStoppedInputOnlyShowsTheArrow) {
    store_.SetTool(DrawTool::kRectangle);
    Send(&view_, QEvent::MouseMove, ClientOf(100, 100));
    ASSERT_EQ(view_.PointerShown(), annotation::kCursorBox);
    playing_ = false;
    Drag(ClientOf(200, 200), ClientOf(600, 600));
    EXPECT_EQ(view_.PointerShown(), annotation::kCursorArrow);
    EXPECT_TRUE(store_.Read([](const AnnotationState& s) { return s.shapes.empty(); }));
}

} // namespace
