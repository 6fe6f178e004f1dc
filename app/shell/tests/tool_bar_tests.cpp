// The control tool bar, headless, on a fake clock: layout and skins, the
// auto-repeat worker, the motion timer, click keys through the real control
// sequencer, and a held button that goes away.
#include "ButtonEx.h"
#include "ControlSequencer.h"
#include "DlgItem.h"
#include "DocumentCamera.h"
#include "PaintoolBar.h"
#include "SkinPaint.h"
#include "gui_support.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>

#include <chrono>
#include <memory>
#include <thread>
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

void Mouse(CButtonEx* button, QEvent::Type type, Qt::MouseButtons buttons) {
    const QPointF at(16, 16);
    QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(button, &event);
}
void Press(CButtonEx* button) {
    Mouse(button, QEvent::MouseButtonPress, Qt::LeftButton);
}
void Release(CButtonEx* button) {
    Mouse(button, QEvent::MouseButtonRelease, Qt::NoButton);
}

class ToolBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        bar_ = std::make_unique<CPaintoolBar>();
        bar_->resize(138, 500);
        bar_->show();
        bar_->SetControlKeySender([this](int code) {
            sent_.push_back({clock_.Now() - kStart, code});
            return 0;
        });
    }

    CButtonEx* Button(int id) const { return bar_->Button(id); }

    // Lets the worker look at least once at the current time, then sends
    // what it decided.
    void Step() {
        const uint64_t target = bar_->RepeatPolls() + 2;
        QElapsedTimer waited;
        waited.start();
        while (bar_->RepeatPolls() < target) {
            ASSERT_LT(waited.elapsed(), 5000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
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
    std::unique_ptr<CPaintoolBar> bar_;
};

TEST_F(ToolBarTest, SixteenSkinnedButtonsInTwoColumnsAndSixHiddenLabels) {
    struct Place {
        int id;
        int column; // 0 left, 1 right
        int dy;
        const char* bitmap;
        const char* tooltip;
    };
    const Place places[] = {
        {1016, 0, 15, "ZoomIn", "Zoom In"},
        {1017, 1, 15, "ZoomOut", "Zoom Out"},
        {1018, 0, 53, "FocusFar", "Focus Far"},
        {1019, 1, 53, "FocusNear", "Focus Near"},
        {1021, 0, 91, "BrightLess", "Bright Less"},
        {1020, 1, 91, "BrightMore", "Bright More"},
        {1031, 0, 129, "SharpLess", "Sharp Less"},
        {1030, 1, 129, "SharpMore", "Sharp More"},
        {1022, 0, 167, "Atuo", "Auto"},
        {1023, 1, 167, "Mirror", "Mirror"},
        {1024, 0, 205, "RedMore", "Red More"},
        {1025, 1, 205, "RedLess", "Red Less"},
        {1026, 0, 243, "BlueMore", "Blue More"},
        {1027, 1, 243, "BlueLess", "Blue Less"},
        {1028, 0, 281, "Color", "Mono/Color"},
        {1029, 1, 281, "Neg", "Neg"},
    };
    const int x = CPaintoolBar::kOriginX;
    const int y = CPaintoolBar::kOriginY;
    for (const Place& p : places) {
        SCOPED_TRACE(p.id);
        CButtonEx* button = Button(p.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry(), QRect(x + 60 * p.column, y + p.dy, 32, 32));
        EXPECT_TRUE(button->isVisible());
        EXPECT_EQ(button->ToolTipText(), QString::fromLatin1(p.tooltip));
        const std::string file = std::string("Control/") + p.bitmap + "_ClickDown.bmp";
        EXPECT_FALSE(button->Bitmap(SkinState::ClickDown).isNull()) << file;
        EXPECT_EQ(button->Bitmap(SkinState::ClickDown), LoadSkinImage(file.c_str()));
    }
    const char* const texts[] = {"Zoom", "Focus", "Bright", "Sharp", "Red", "Blue"};
    const int label_dy[] = {17, 55, 93, 131, 207, 245};
    for (int i = 0; i < 6; ++i) {
        QLabel* label = bar_->Label(1033 + i);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), texts[i]);
        EXPECT_EQ(label->pos(), QPoint(x + 15, y + label_dy[i]));
        EXPECT_FALSE(label->isVisible());
    }
    EXPECT_TRUE(bar_->HasBackground());
    EXPECT_EQ(bar_->MotionTimerInterval(), 1);
}

TEST_F(ToolBarTest, HoldingBrightMoreForOneSecondSendsFourTimes) {
    Press(Button(CPaintoolBar::kBrightMoreId));
    Run(950);
    clock_.Advance(50);
    Release(Button(CPaintoolBar::kBrightMoreId));
    Run(600);
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xAA}, {300, 0xAA}, {600, 0xAA}, {900, 0xAA}}));
}

TEST_F(ToolBarTest, AnotherRepeatButtonSendsAtOnce) {
    const int red_more = CPaintoolBar::kRedMoreId;
    const int red_less = CPaintoolBar::kRedLessId;
    for (int id : {red_more, red_less, red_more, red_less}) {
        Press(Button(id));
        Run(50);
        Release(Button(id));
        Step();
    }
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xB0}, {50, 0xB1}, {100, 0xB0}, {150, 0xB1}}));
}

TEST_F(ToolBarTest, AHeldButtonThatIsDisabledOrHiddenStopsRepeating) {
    struct Row {
        const char* name;
        void (*let_go)(CPaintoolBar&);
        void (*restore)(CPaintoolBar&);
    };
    const Row rows[] = {
        {"disabled", [](CPaintoolBar& b) { b.EnableButtons(false); },
         [](CPaintoolBar& b) { b.EnableButtons(true); }},
        {"hidden", [](CPaintoolBar& b) { b.hide(); }, [](CPaintoolBar& b) { b.show(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sent_.clear();
        clock_.Advance(1000); // a new last sender is not needed: 300 ms have passed
        const uint32_t from = clock_.Now() - kStart;
        Press(Button(CPaintoolBar::kSharpMoreId));
        Step();
        row.let_go(*bar_);
        Run(900);
        EXPECT_EQ(sent_, (std::vector<Sent>{{from, 0xAC}}));
        row.restore(*bar_);
    }
}

TEST_F(ToolBarTest, MotionButtonsSendOneStartPerPressAndOneStopPerRelease) {
    struct Row {
        int id;
        int start;
        std::vector<Sent> after_release; // at 2000 ms
    };
    const Row rows[] = {
        {CPaintoolBar::kZoomInId, 0xA5, {{2000, 0xA4}, {2020, 0xA7}}},
        {CPaintoolBar::kZoomOutId, 0xA6, {{2000, 0xA4}, {2020, 0xA7}}},
        {CPaintoolBar::kFocusFarId, 0xA9, {{2000, 0xA4}}},
        {CPaintoolBar::kFocusNearId, 0xA8, {{2000, 0xA4}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        sent_.clear();
        clock_.Set(kStart);
        Press(Button(row.id));
        bar_->OnTimer(CPaintoolBar::kMotionTimer);
        EXPECT_TRUE(bar_->MotionPending(row.id));
        EXPECT_EQ(bar_->MotionTimerInterval(), 300);
        // Two seconds held: the timer keeps polling, nothing more goes out.
        for (int tick = 0; tick < 6; ++tick) {
            clock_.Advance(300);
            bar_->OnTimer(CPaintoolBar::kMotionTimer);
        }
        EXPECT_EQ(sent_, (std::vector<Sent>{{0, row.start}}));
        clock_.Advance(200);
        Release(Button(row.id));
        bar_->OnTimer(CPaintoolBar::kMotionTimer);
        std::vector<Sent> expected{{0, row.start}};
        expected.insert(expected.end(), row.after_release.begin(), row.after_release.end());
        EXPECT_EQ(sent_, expected);
        EXPECT_FALSE(bar_->MotionPending(row.id));
        EXPECT_EQ(bar_->MotionTimerInterval(), 1);
        bar_->OnTimer(CPaintoolBar::kMotionTimer);
        EXPECT_EQ(sent_.size(), expected.size());
    }
}

// A camera that only records the bytes it is sent.
class ByteCamera : public CDocumentCamera {
public:
    std::vector<int> bytes;
    int SendCmd(int command) override {
        bytes.push_back(command & 0xFF);
        return 0;
    }
    int Intialize() override { return 0; }
    int UnIntialize() override { return 0; }
    int GetDeviceCount() override { return 1; }
    int Open(int) override { return 0; }
    int Close() override { return 0; }
    int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER) override { return 0; }
    int UpdateDevice(uint32_t, const DEV_BROADCAST_HDR*) override { return 0; }
    int SetPosition(VIDEO_WINDOW, int, int, int, int) override { return 0; }
    int Refresh(int, int, int, int) override { return 0; }
    int Run() override { return 0; }
    int Stop() override { return 0; }
    int SetStreamCallback(DocumentStreamCallback, void*) override { return 0; }
    int SetSampleCallback(MediaSampleCallback, void*) override { return 0; }
    int GetStreamMediaType(VIDEOINFOHEADER*) override { return 0; }
    int InitDirectShow() override { return 0; }
    int GetState(int* state) override { return *state = 17, 0; }
    int VideoCapturePin(CORVANE_OWNER_WINDOW) override { return 0; }
    int GetLastError(std::string*, std::string*) override { return 1; }
};

TEST_F(ToolBarTest, ClickButtonsGoThroughTheSharedTranslation) {
    struct Row {
        DeviceFamily family;
        int id;
        std::vector<int> bytes; // of five clicks
    };
    const Row rows[] = {
        {DeviceFamily::kRVX, CPaintoolBar::kMirrorId, {0x4A, 0x4B, 0x4C, 0x4D, 0x4A}},
        {DeviceFamily::kQ5, CPaintoolBar::kMirrorId, {0xB4, 0xB4, 0xB4, 0xB4, 0xB4}},
        {DeviceFamily::kRVX, CPaintoolBar::kNegId, {0x38, 0x37, 0x38, 0x37, 0x38}},
        {DeviceFamily::kRVX, CPaintoolBar::kColorId, {0x49, 0x48, 0x49, 0x48, 0x49}},
        {DeviceFamily::kQ5, CPaintoolBar::kAutoId, {0xB3, 0xB3, 0xB3, 0xB3, 0xB3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        ByteCamera camera;
        CControlSequencer sequencer;
        bar_->SetControlKeySender(
            [&](int code) { return sequencer.SendControlKey(&camera, row.family, code); });
        for (int click = 0; click < 5; ++click)
            Button(row.id)->click();
        EXPECT_EQ(camera.bytes, row.bytes);
    }
    // A motion or repeat button's click sends nothing of its own.
    ByteCamera camera;
    CControlSequencer sequencer;
    bar_->SetControlKeySender(
        [&](int code) { return sequencer.SendControlKey(&camera, DeviceFamily::kQ5, code); });
    Button(CPaintoolBar::kBlueLessId)->click();
    Button(CPaintoolBar::kFocusFarId)->click();
    EXPECT_TRUE(camera.bytes.empty());
    // Keys and codes name the same code; without a sender nothing goes out.
    EXPECT_EQ(bar_->SendControlKey(-92), 0);
    EXPECT_EQ(bar_->SendControlKey(0xA4), 0);
    EXPECT_EQ(camera.bytes, (std::vector<int>{0xBA, 0xBA}));
    bar_->SetControlKeySender(nullptr);
    EXPECT_EQ(bar_->SendControlKey(-92), -1);
}

TEST_F(ToolBarTest, DestroyedWhileAButtonIsHeldStopsTheWorker) {
    Press(Button(CPaintoolBar::kBlueMoreId));
    Step();
    EXPECT_EQ(sent_, (std::vector<Sent>{{0, 0xB2}}));
    bar_.reset(); // joins the worker; what it posted is dropped
    clock_.Advance(600);
    QApplication::processEvents();
    EXPECT_EQ(sent_.size(), 1u);
}

} // namespace
