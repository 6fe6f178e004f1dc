// The control tool bar, headless, on a fake clock: the auto-repeat worker,
// the motion timer, a held button that goes away, and the layout's
// irregular corners.
#include "SkinPaint.h"
#include "platform/system.h"
#include "testsupport/gui_support.h"
#include "testsupport/wait.h"
#include "widgets/ControlToolBar.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMouseEvent>

#include <chrono>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kStart = 1000; // the fake clock's start

struct Sent {
    uint32_t at_ms; // since kStart
    int code;
    bool operator==(const Sent&) const = default;
};
void PrintTo(const Sent& s, std::ostream* os) {
    *os << "{" << s.at_ms << " ms, 0x" << std::hex << s.code << std::dec << "}";
}

void Mouse(SkinButton* button, bool press) {
    const QPointF at(16, 16);
    QMouseEvent event(press ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at,
                      button->mapToGlobal(at), Qt::LeftButton,
                      press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &event);
}

class ToolBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        bar_ = std::make_unique<ControlToolBar>();
        bar_->resize(138, 500);
        bar_->show();
        bar_->SetControlKeySender([this](int code) {
            sent_.push_back({clock_.Now() - kStart, code});
            return 0;
        });
    }

    SkinButton* Button(int id) const { return bar_->Button(id); }
    void Press(int id) { Mouse(Button(id), true); }
    void Release(int id) { Mouse(Button(id), false); }

    // Lets the worker look at least once at the current time, then sends
    // what it decided.
    void Step() {
        const uint64_t target = bar_->RepeatPolls() + 2;
        ASSERT_TRUE(testsupport::WaitUntil([&] { return bar_->RepeatPolls() >= target; },
                                           std::chrono::seconds(5)));
        QApplication::processEvents();
    }
    // Steps time by 50 ms up to ms later.
    void Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 50) {
            Step();
            clock_.Advance(50);
        }
        Step();
    }

    platform::FakeClock clock_{kStart};
    std::vector<Sent> sent_;
    std::unique_ptr<ControlToolBar> bar_;
};

TEST_F(ToolBarTest, HoldingBrightMoreForOneSecondSendsFourTimes) {
    Press(ControlToolBar::kBrightMoreId);
    Run(950);
    clock_.Advance(50);
    Release(ControlToolBar::kBrightMoreId);
    Run(600);
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xAA}, {300, 0xAA}, {600, 0xAA}, {900, 0xAA}}));
}

TEST_F(ToolBarTest, AnotherRepeatButtonSendsAtOnce) {
    for (int id :
         {ControlToolBar::kRedMoreId, ControlToolBar::kRedLessId, ControlToolBar::kRedMoreId}) {
        Press(id);
        Run(50);
        Release(id);
        Step();
    }
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xB0}, {50, 0xB1}, {100, 0xB0}}));
}

TEST_F(ToolBarTest, AHeldButtonThatIsDisabledOrHiddenStopsRepeating) {
    for (bool hide : {false, true}) {
        SCOPED_TRACE(hide);
        sent_.clear();
        clock_.Advance(1000);
        const uint32_t from = clock_.Now() - kStart;
        Press(ControlToolBar::kSharpMoreId);
        Step();
        hide ? bar_->hide() : bar_->EnableButtons(false);
        Run(900);
        EXPECT_EQ(sent_, (std::vector<Sent>{{from, 0xAC}}));
        bar_->show();
        bar_->EnableButtons(true);
    }
}

TEST_F(ToolBarTest, DestroyedWhileAButtonIsHeldStopsTheWorker) {
    Press(ControlToolBar::kBlueMoreId);
    Step();
    bar_.reset(); // joins the worker; what it posted is dropped
    clock_.Advance(600);
    QApplication::processEvents();
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xB2}}));
}

TEST_F(ToolBarTest, MotionButtonsSendOneStartPerPressAndOneStopPerRelease) {
    const struct {
        int id;
        std::vector<Sent> sent; // pressed at 0 ms, released at 2000 ms
    } rows[] = {
        {ControlToolBar::kZoomInId, {{0, 0xA5}, {2000, 0xA4}, {2020, 0xA7}}},
        {ControlToolBar::kZoomOutId, {{0, 0xA6}, {2000, 0xA4}, {2020, 0xA7}}},
        {ControlToolBar::kFocusFarId, {{0, 0xA9}, {2000, 0xA4}}},
        {ControlToolBar::kFocusNearId, {{0, 0xA8}, {2000, 0xA4}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        sent_.clear();
        clock_.Set(kStart);
        Press(row.id);
        EXPECT_EQ(bar_->MotionTimerInterval(), 1) << "the press wakes the timer";
        for (int tick = 0; tick < 7; ++tick) { // 2 s held: the timer polls every 300 ms
            bar_->OnTimer(ControlToolBar::kMotionTimer);
            EXPECT_EQ(bar_->MotionTimerInterval(), 300);
            clock_.Advance(tick < 6 ? 300 : 200);
        }
        Release(row.id);
        bar_->OnTimer(ControlToolBar::kMotionTimer);
        bar_->OnTimer(ControlToolBar::kMotionTimer);
        EXPECT_EQ(sent_, row.sent);
        EXPECT_EQ(bar_->MotionTimerInterval(), 0) << "nothing held: the timer rests";
    }
}

TEST_F(ToolBarTest, LayoutKeepsTheTemplatesIrregularities) {
    const int x = ControlToolBar::kOriginX;
    const int y = ControlToolBar::kOriginY;
    // Less stands left of more for bright and sharp, right of it for red.
    EXPECT_EQ(Button(1021)->geometry(), QRect(x, y + 91, 32, 32));
    EXPECT_EQ(Button(1030)->geometry(), QRect(x + 60, y + 129, 32, 32));
    EXPECT_EQ(Button(1025)->geometry(), QRect(x + 60, y + 205, 32, 32));
    EXPECT_EQ(Button(1022)->ToolTipText(), "Auto");
    EXPECT_FALSE(Button(1022)->Bitmap(SkinState::Gray).isNull());
    EXPECT_EQ(Button(1022)->Bitmap(SkinState::Gray), LoadSkinImage("Control/Atuo_Gray.bmp"));
    EXPECT_EQ(bar_->Label(1037)->text(), "Red");
    EXPECT_EQ(bar_->Label(1037)->pos(), QPoint(x + 15, y + 207));
    EXPECT_FALSE(bar_->Label(1037)->isVisible());
    EXPECT_TRUE(Button(1029)->isVisible());
    EXPECT_TRUE(bar_->HasBackground());
}

} // namespace
