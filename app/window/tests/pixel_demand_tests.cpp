// When the view's pixels are wanted: the view must count as seen while
// a child of its own covers it (the surface the X server draws frames
// into), and not while it is hidden.
#include "PixelDemand.h"
#include "testsupport/gui_support.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

TEST(PixelDemandTest, AViewCoveredByItsOwnChildStillWantsPixels) {
    testsupport::App();
    QWidget top;
    top.resize(320, 240);
    auto* view = new QWidget(&top);
    view->setGeometry(0, 0, 320, 240);
    std::vector<bool> told;
    new PixelDemand(view, [&](bool wanted) { told.push_back(wanted); });
    top.show();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !view->visibleRegion().isEmpty(); }));

    // An opaque child over all of it takes the view's whole visible region.
    auto* cover = new QWidget(view);
    cover->setAttribute(Qt::WA_OpaquePaintEvent);
    cover->setGeometry(view->rect());
    cover->show();
    view->update();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return view->visibleRegion().isEmpty(); }));
    EXPECT_TRUE(told.empty() || told.back()) << "covered by its own child, the view still shows";

    view->hide();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !told.empty() && !told.back(); }));
    view->show();
    ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !told.empty() && told.back(); }));
}

} // namespace
