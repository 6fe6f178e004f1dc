#include "DirectSurface.h"
#include "page/PageMode.h"
#include "testsupport/gui_support.h"
#include "testsupport/temp_folder.h"
#include "view/Rotation.h"
#include "view/SavableImage.h"
#include "view/ShowEffectPainter.h"
#include "view/VideoView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Counts the position events the view posts.
class MainWindowStub : public QObject {
public:
    int positions = 0;
    bool event(QEvent* e) override {
        if (e->type() == VideoView::kViewPositionEvent) {
            ++positions;
            return true;
        }
        return QObject::event(e);
    }
};

struct RecordingInput : ViewMouseInput {
    std::vector<std::pair<char, view::POINT>> calls;
    bool select = true;
    void OnImageMouseDown(const view::POINT& p) override { calls.push_back({'d', p}); }
    void OnImageMouseMove(const view::POINT& p, bool) override { calls.push_back({'m', p}); }
    void OnImageMouseUp(const view::POINT& p) override { calls.push_back({'u', p}); }
    bool OnImageDoubleClick(const view::POINT& p) override {
        calls.push_back({'2', p});
        return false;
    }
    void NudgeSelection(int dx, int dy) override { calls.push_back({'n', view::POINT{dx, dy}}); }
    bool SelectToolActive() const override { return select; }
    int PointerKind() const override { return -1; }
};

// A frame the test owns, handed over as a capture library's renderer does.
struct CopiedTestFrame : VideoFrame {
    CopiedTestFrame(int w, int h) : bytes(static_cast<size_t>(w) * h) {
        pixels = reinterpret_cast<const uint8_t*>(bytes.data());
        width = w;
        height = h;
        stride = w * 4;
    }
    uint32_t& Pixel(int x, int y) { return bytes[static_cast<size_t>(y) * width + x]; }
    std::vector<uint32_t> bytes;
};

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class VideoViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
    void SetUp() override {
        view_.SetImageSize(1280, 1024);
        view_.resize(800, 600);
        view_.SetDisplayRectHandler([this](const RECT& r) { reported_.push_back(r); });
        view_.SetZoomModeHandler([this](int mode) { stored_mode_ = mode; });
        view_.SetPlayingQuery([this] { return playing_; });
        view_.SetMainWindow(&main_);
        view_.SetMouseInput(&input_);
    }

    MainWindowStub main_;
    VideoView view_;
    RecordingInput input_;
    std::vector<RECT> reported_;
    int stored_mode_ = -1;
    bool playing_ = true;
};

} // namespace

TEST_F(VideoViewTest, ZoomCommandSetsModeRectangleAndStoresIt) {
    EXPECT_EQ(view_.ZoomMode(), view::kFitWindow);
    ASSERT_TRUE(view_.SetZoomCommand(32779));
    EXPECT_EQ(view_.ZoomMode(), view::kFitHeight);
    EXPECT_EQ(stored_mode_, view::kFitHeight);
    ASSERT_FALSE(reported_.empty());
    EXPECT_EQ(reported_.back().left, 24);
    EXPECT_EQ(reported_.back().right, 774);
    EXPECT_EQ(view_.DisplayRect().bottom, 600);

    EXPECT_FALSE(view_.SetZoomCommand(32783));
    EXPECT_EQ(view_.ZoomMode(), view::kFitHeight);

    // A zero image size gives a zero rectangle and no report.
    const size_t reports = reported_.size();
    view_.SetImageSize(0, 0);
    view_.CalcDisplayRect(800, 600);
    EXPECT_EQ(reported_.size(), reports);
    EXPECT_EQ(view_.DisplayRect().right, 0);
}

TEST_F(VideoViewTest, DoubleClickCyclesZoomOnlyOnThePictureWhilePlaying) {
    view_.SetZoomCommand(32782); // Fit Image: 24..774
    Send(&view_, QEvent::MouseButtonDblClick, QPoint(400, 300));
    EXPECT_EQ(view_.ZoomMode(), view::kActualSize);
    view_.SetZoomCommand(32782);
    Send(&view_, QEvent::MouseButtonDblClick, QPoint(10, 300)); // left of the picture
    EXPECT_EQ(view_.ZoomMode(), view::kFitImage);
    playing_ = false;
    Send(&view_, QEvent::MouseButtonDblClick, QPoint(400, 300));
    EXPECT_EQ(view_.ZoomMode(), view::kFitImage);
}

TEST_F(VideoViewTest, MouseReachesTheEditorInImagePixels) {
    view_.SetZoomCommand(32782); // 750 x 600 at left 24
    Send(&view_, QEvent::MouseButtonPress, QPoint(24, 0));
    Send(&view_, QEvent::MouseMove, QPoint(399, 300));
    Send(&view_, QEvent::MouseMove, QPoint(5, 300)); // off the picture
    Send(&view_, QEvent::MouseButtonRelease, QPoint(5, 300));
    ASSERT_EQ(input_.calls.size(), 4u);
    EXPECT_EQ(input_.calls[0].first, 'd');
    EXPECT_EQ(input_.calls[0].second.x, 0);
    EXPECT_EQ(input_.calls[0].second.y, 0);
    EXPECT_EQ(input_.calls[1].second.x, view::MulDiv(1280, 375, 750));
    EXPECT_EQ(input_.calls[1].second.y, 512);
    // Outside the picture the last valid image point is passed again.
    EXPECT_EQ(input_.calls[2].second.x, input_.calls[1].second.x);
    EXPECT_EQ(input_.calls[3].first, 'u');
    EXPECT_EQ(input_.calls[3].second.x, input_.calls[1].second.x);
    EXPECT_EQ(view_.MousePoint().x, 5);

    QCoreApplication::processEvents();
    EXPECT_EQ(main_.positions, 2);

    view_.NudgeSelection(1, -1);
    view_.NudgeSelection(2, 0); // out of range: dropped
    ASSERT_EQ(input_.calls.size(), 5u);
    EXPECT_EQ(input_.calls[4].first, 'n');
}

TEST_F(VideoViewTest, ContextMenuFollowsStateAndPlaying) {
    view_.SetZoomCommand(32780);
    QMenu* menu = view_.ContextMenu();
    int checked = 0;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        EXPECT_TRUE(a->isEnabled());
        if (a->isChecked()) {
            ++checked;
            EXPECT_EQ(a->data().toUInt(), 32780u);
        }
    }
    EXPECT_EQ(checked, 1);
    playing_ = false;
    for (QAction* a : view_.ContextMenu()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->isEnabled());
        }
    }
}

TEST_F(VideoViewTest, FullScreenOnAndOffRestoresPlaceInTheParent) {
    QWidget main_window;
    auto* layout = new QVBoxLayout(&main_window);
    auto* above = new QWidget;
    above->setFixedHeight(40);
    layout->addWidget(above);
    auto* view = new VideoView;
    layout->addWidget(view);
    int layouts = 0;
    view->SetLayoutHandler([&] { ++layouts; });
    view->SetPlayingQuery([] { return true; });
    main_window.resize(640, 480);
    main_window.show();
    QCoreApplication::processEvents();
    const QRect before = view->geometry();

    view->OnCommand(cmd::kFullScreen);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(view->isWindow());
    EXPECT_EQ(view->parentWidget(), &main_window);

    // Esc in the full-screen window comes back.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view, &esc);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_FALSE(view->isWindow());
    EXPECT_EQ(view->parentWidget(), &main_window);
    EXPECT_EQ(view->geometry(), before);
    EXPECT_EQ(layouts, 1);
    EXPECT_EQ(layout->indexOf(view), 1);
    EXPECT_TRUE(view->isVisible());
}

TEST_F(VideoViewTest, PaintsFrameOnlyIntoVisibleDestination) {
    // The idle picture, which need not be one colour (the skin's Main.bmp).
    const QImage background = view_.grab().toImage();
    std::vector<uint32_t> red(16 * 16, 0xFFFF0000u);
    const auto* px = reinterpret_cast<const uint8_t*>(red.data());

    view_.PresentFrame(px, 16, 16, 16 * 4, RECT{100, 100, 101, 101}); // 1 x 1
    EXPECT_EQ(view_.grab().toImage().pixelColor(100, 100), background.pixelColor(100, 100));
    view_.PresentFrame(px, 16, 16, 16 * 4, RECT{100, 100, 100, 300}); // empty
    EXPECT_EQ(view_.grab().toImage().pixelColor(100, 150), background.pixelColor(100, 150));

    view_.PresentFrame(px, 16, 16, 16 * 4, RECT{100, 100, 300, 300});
    const QImage shown = view_.grab().toImage();
    EXPECT_EQ(shown.pixelColor(200, 200), QColor(255, 0, 0));
    EXPECT_NE(shown.pixelColor(50, 50), QColor(255, 0, 0));

    // Bad frames are dropped.
    const uint64_t count = view_.FrameCount();
    view_.PresentFrame(px, 16, 16, 8, RECT{0, 0, 100, 100});
    view_.PresentFrame(nullptr, 16, 16, 64, RECT{0, 0, 100, 100});
    EXPECT_EQ(view_.FrameCount(), count);

    view_.ClearVideo();
    EXPECT_FALSE(view_.HasFrame());
    EXPECT_EQ(view_.grab().toImage().pixelColor(200, 200), background.pixelColor(200, 200));
}

TEST_F(VideoViewTest, PaintsTheNewestSharedFrameScaledWithoutKeepingOlderOnes) {
    // Columns of a 1920 x 1080 frame in three bands: red, green, blue.
    auto make = [](uint32_t left_colour) {
        auto frame = std::make_shared<CopiedTestFrame>(1920, 1080);
        for (int y = 0; y < 1080; ++y) {
            for (int x = 0; x < 1920; ++x) {
                frame->Pixel(x, y) = x < 640 ? left_colour : x < 1280 ? 0xFF00FF00u : 0xFF0000FFu;
            }
        }
        return frame;
    };
    auto older = make(0xFFFFFF00u);
    std::weak_ptr<const VideoFrame> older_kept = older;
    const RECT destination{0, 60, 800, 510}; // 800 x 450: five twelfths, fast scaling
    view_.PresentSharedFrame(older, destination);
    older.reset();
    view_.PresentSharedFrame(make(0xFFFF0000u), destination);
    EXPECT_TRUE(older_kept.expired()) << "replaced before it was painted, and let go";
    EXPECT_EQ(1u, view_.DroppedCount());

    const QImage shown = view_.grab().toImage();
    EXPECT_EQ(QColor(255, 0, 0), shown.pixelColor(100, 300));
    EXPECT_EQ(QColor(0, 255, 0), shown.pixelColor(400, 300));
    EXPECT_EQ(QColor(0, 0, 255), shown.pixelColor(700, 300));
    EXPECT_EQ(QColor(0, 0, 0), shown.pixelColor(400, 30)) << "black above the picture";
    EXPECT_EQ(QColor(0, 0, 0), shown.pixelColor(400, 560)) << "and below";
    EXPECT_EQ(1u, view_.PaintedCount());
    EXPECT_EQ(QColor(255, 0, 0), view_.LatestFrame().pixelColor(0, 0));
}

TEST_F(VideoViewTest, APageTurnsWithThePictureAndTakesTheWholeViewWhileThePictureFits) {
    page::PageMode mode;
    mode.SetEnabled(true);
    // The upper half: a page two and a half times as wide as high, red on its
    // left, blue on its right.
    const page::Quad quad{page::Point{0, 0}, page::Point{1280, 0}, page::Point{1280, 512},
                          page::Point{0, 512}};
    const page::Point centre{640, 256};
    view_.SetPageMode(&mode);
    const auto frame = std::make_shared<CopiedTestFrame>(1280, 1024);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1280; ++x)
            frame->Pixel(x, y) = x < 640 ? 0xFFFF0000u : 0xFF0000FFu;

    mode.SetManual(quad);
    view_.PresentSharedFrame(frame, RECT{-400, -300, 1200, 900});
    view_.grab();
    EXPECT_GE(view_.PageShown().Drawn().width(), 1560) << "zoomed beyond the view, so is the page";
    for (int turns = 0; turns < 4; ++turns) {
        SCOPED_TRACE(turns);
        view_.SetQuarterTurns(turns);
        mode.SetManual(quad);
        // The picture in a narrow place, as a turned one is fitted in.
        view_.PresentSharedFrame(frame, RECT{200, 0, 600, 600});
        const QImage shown = view_.grab().toImage();
        const QRect drawn = view_.PageShown().Drawn();
        EXPECT_EQ(drawn.width() > drawn.height(), turns % 2 == 0);
        EXPECT_GT(std::max(drawn.width(), drawn.height()), turns % 2 == 0 ? 760 : 560)
            << "the whole view";
        const view::PictureSize upright = view::RotateSize(drawn.width(), drawn.height(), turns);
        for (const auto& [across, colour] :
             {std::pair{0.25, QColor(255, 0, 0)}, std::pair{0.75, QColor(0, 0, 255)}}) {
            const view::POINT at =
                view::RotatePoint({static_cast<int>(upright.width * across), upright.height / 2},
                                  upright.width, upright.height, turns);
            EXPECT_EQ(shown.pixelColor(drawn.left() + at.x, drawn.top() + at.y), colour) << across;
            // The pointer there is over the camera's pixel the page took.
            Send(&view_, QEvent::MouseMove, drawn.topLeft() + QPoint(at.x, at.y));
            EXPECT_NEAR(view_.ImagePoint().x, 1280 * across, 4) << across;
            EXPECT_NEAR(view_.ImagePoint().y, 256, 4) << across;
        }
        // The handle at the screen's top left, dragged inwards there, moves
        // the page's corner a clockwise turn puts there.
        Send(&view_, QEvent::MouseButtonPress, drawn.topLeft());
        Send(&view_, QEvent::MouseMove, drawn.topLeft() + QPoint(12, 12));
        Send(&view_, QEvent::MouseButtonRelease, drawn.topLeft() + QPoint(12, 12));
        const page::Quad moved = *mode.Current().quad;
        for (int i = 0; i < 4; ++i) {
            const double from = std::hypot(quad[i].x - centre.x, quad[i].y - centre.y);
            const double to = std::hypot(moved[i].x - centre.x, moved[i].y - centre.y);
            if (i == (4 - turns) % 4)
                EXPECT_LT(to, from - 2) << i;
            else
                EXPECT_NEAR(to, from, 0.01) << i;
        }
    }
    view_.SetQuarterTurns(0);
    view_.SetPageMode(nullptr);
}

// The X server draws the picture through a window of the surface's own: the
// pointer's moves it gets, with or without a button, reach the view below.
TEST_F(VideoViewTest, PointerMovesOverTheDirectSurfaceReachTheView) {
    view::DirectSurface surface(&view_);
    surface.setGeometry(20, 30, 100, 80);
    surface.show();
    view_.show();
    ASSERT_NE(surface.windowHandle(), nullptr) << "a window of its own";
    const int posted = main_.positions;
    QTest::mouseMove(surface.windowHandle(), QPoint(10, 10));
    QTest::mousePress(surface.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(surface.windowHandle(), QPoint(40, 20));
    QTest::mouseRelease(surface.windowHandle(), Qt::LeftButton, {}, QPoint(40, 20));
    QCoreApplication::sendPostedEvents(&main_);
    EXPECT_EQ(main_.positions - posted, 2) << "a position for each move";
    view_.hide();
}

TEST_F(VideoViewTest, SpotlightAndCurtainPaintOverThePictureAndTakeTheWheel) {
    view_.SetZoomCommand(32781); // Fit Window: the whole 800 x 600
    std::vector<uint32_t> grey(16 * 16, 0xFFC8C8C8u);
    view_.PresentFrame(reinterpret_cast<const uint8_t*>(grey.data()), 16, 16, 16 * 4,
                       view_.DisplayRect());
    view_.SetShowEffect(view::ShowEffectKind::kSpotlight);
    const QImage shown = view_.grab().toImage();
    EXPECT_EQ(shown.pixelColor(400, 300), QColor(200, 200, 200)) << "lit in the middle";
    EXPECT_NEAR(shown.pixelColor(50, 50).red(), 200 * (255 - view::kSpotlightShadeAlpha) / 255, 2);
    QWheelEvent wheel(QPointF(400, 300), view_.mapToGlobal(QPointF(400, 300)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view_, &wheel);
    EXPECT_NEAR(view_.ShowEffect().spot.rx, 1.1 / 6, 1e-9);

    // The curtain starts closed: all shade.
    view_.SetShowEffect(view::ShowEffectKind::kCurtain);
    EXPECT_EQ(view_.grab().toImage().pixelColor(400, 300), QColor(58, 58, 58));
}

TEST_F(VideoViewTest, SkinBackgroundIsCentredAndOptional) {
    const testsupport::TempFolder dir("view");
    QImage skin(1000, 800, QImage::Format_RGB32);
    skin.fill(Qt::blue);
    skin.setPixelColor(500, 400, Qt::green); // centre of the skin
    const QString path = QString::fromStdString(dir.File("Main.bmp"));
    ASSERT_TRUE(skin.save(path));
    view_.LoadBackground(path);
    ASSERT_TRUE(view_.HasBackground());
    const QImage shown = view_.grab().toImage();
    EXPECT_EQ(shown.pixelColor(400, 300), QColor(Qt::green));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::blue));

    view_.LoadBackground(QString::fromStdString(dir.File("missing.bmp")));
    EXPECT_FALSE(view_.HasBackground());
    EXPECT_NE(view_.grab().toImage().pixelColor(400, 300), QColor(Qt::green));
}

TEST(ImageShow, SavesByExtensionAndReportsFailure) {
    testsupport::App();
    const testsupport::TempFolder dir("view");
    const auto file = [&](const char* name) { return QString::fromStdString(dir.File(name)); };
    SavableImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));

    const QString jpg = file("snap.JPG");
    ASSERT_TRUE(image.Save(jpg));
    const QImage back(jpg, "JPEG");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(64, 48));
    EXPECT_NEAR(back.pixelColor(32, 24).red(), 200, 12);

    EXPECT_TRUE(image.Save(file("snap.png")));
    EXPECT_FALSE(image.Save(file("snap.nosuchformat")));
    EXPECT_FALSE(image.Save(file("noextension")));
    EXPECT_FALSE(SavableImage().Save(file("null.jpg")));
    const QString bad = file("no/such/folder/x.jpg");
    EXPECT_FALSE(image.Save(bad));
    EXPECT_FALSE(QFile::exists(bad));
}
