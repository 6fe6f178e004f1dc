// The direct surface is a window of its own over the picture: the pointer's
// moves the display server gives it reach the view below.
#include "DirectSurface.h"
#include "testsupport/gui_support.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

class Below : public QWidget {
public:
    Below() { setMouseTracking(true); }
    std::vector<QPoint> moves;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        moves.push_back(event->position().toPoint());
    }
};

} // namespace

TEST(DirectSurface, PointerMovesOverItReachTheViewWithOrWithoutAButton) {
    testsupport::App();
    Below view;
    view.resize(200, 150);
    view::DirectSurface surface(&view);
    surface.setGeometry(20, 30, 100, 80);
    surface.show();
    view.show();
    ASSERT_NE(surface.windowHandle(), nullptr) << "a window of its own";
    // As the server delivers them: to the surface's own window.
    QTest::mouseMove(surface.windowHandle(), QPoint(10, 10));
    QTest::mousePress(surface.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(surface.windowHandle(), QPoint(40, 20));
    QTest::mouseRelease(surface.windowHandle(), Qt::LeftButton, {}, QPoint(40, 20));
    EXPECT_EQ(view.moves, (std::vector<QPoint>{{30, 40}, {60, 50}}));
}
