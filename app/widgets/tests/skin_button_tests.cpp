// The skinned button, headless: faces by state, hover ending by the timer,
// clicks and commands, bitmap cutting, missing files, text mode, tooltip.
#include "common/DlgItem.h"
#include "testsupport/gui_support.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QToolTip>

#include <string>
#include <vector>

namespace {

// One solid colour per state file, so a grab tells which face was drawn.
const QColor kFaceColour[kSkinStates] = {QColor(10, 200, 10), QColor(230, 230, 20),
                                         QColor(200, 20, 20), QColor(128, 128, 128)};
const char* const kStateName[kSkinStates] = {"Normal", "MouseOver", "ClickDown", "Gray"};

class Panel : public QWidget {
public:
    std::vector<int> commands;

protected:
    bool event(QEvent* event) override {
        if (event->type() == ButtonCommandEvent::Type()) {
            commands.push_back(static_cast<ButtonCommandEvent*>(event)->id);
            return true;
        }
        return QWidget::event(event);
    }
};

class ButtonExTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        for (int i = 0; i < kSkinStates; ++i) {
            QImage face(40, 40, QImage::Format_RGB32);
            face.fill(kFaceColour[i]);
            ASSERT_TRUE(face.save(QString::fromStdString(File(i)), "BMP"));
        }
        panel_.resize(200, 120);
        panel_.move(300, 200);
        button_ = new SkinButton(QStringLiteral("Button1"), &panel_);
        button_->setGeometry(20, 30, 32, 32);
        SetDlgCtrlId(button_, 1035);
        panel_.show();
        ParkCursor();
    }

    std::string File(int state) const {
        return folder_.Path(std::string("Zoom_") + kStateName[state] + ".bmp").string();
    }
    void Skin(SkinButton* button, const char* gray_override = nullptr) {
        const std::string paths[kSkinStates] = {File(0), File(1), File(2), File(3)};
        button->SetSkinBitmaps(paths[0].c_str(), paths[1].c_str(), paths[2].c_str(),
                               gray_override ? gray_override : paths[3].c_str());
    }

    QPoint Global(const QPoint& local) const { return button_->mapToGlobal(local); }
    void ParkCursor() { QCursor::setPos(panel_.mapToGlobal(QPoint(150, 100))); }
    void Mouse(QEvent::Type type, const QPoint& local, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(local), QPointF(Global(local)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(button_, &event);
    }
    void MoveInto() {
        QCursor::setPos(Global(QPoint(16, 16)));
        Mouse(QEvent::MouseMove, QPoint(16, 16), Qt::NoButton, Qt::NoButton);
    }
    void Press() { Mouse(QEvent::MouseButtonPress, {16, 16}, Qt::LeftButton, Qt::LeftButton); }
    void Release(const QPoint& at = {16, 16}) {
        Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    QColor Shown(const QPoint& at = {16, 16}) const {
        return button_->grab().toImage().pixelColor(at);
    }
    QColor Face(SkinState state) const { return kFaceColour[static_cast<int>(state)]; }

    testsupport::ProgramFolder folder_;
    Panel panel_;
    SkinButton* button_ = nullptr; // owned by panel_
};

TEST_F(ButtonExTest, PriorityIsGrayThenClickDownThenMouseOverThenNormal) {
    struct Row {
        bool disabled, selected, pressed, hover;
        SkinState expected;
    };
    const Row rows[] = {
        {false, false, false, false, SkinState::Normal},
        {false, false, false, true, SkinState::MouseOver},
        {false, false, true, false, SkinState::ClickDown},
        {false, true, false, false, SkinState::ClickDown},
        {false, true, true, true, SkinState::ClickDown},
        {false, false, true, true, SkinState::ClickDown},
        {true, false, false, false, SkinState::Gray},
        {true, false, false, true, SkinState::Gray},
        {true, true, true, false, SkinState::Gray},
        {true, true, true, true, SkinState::Gray},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "disabled " << row.disabled << " selected " << row.selected << " pressed "
                     << row.pressed << " hover " << row.hover);
        EXPECT_EQ(ChooseSkinState({row.disabled, row.selected, row.pressed, row.hover}),
                  row.expected);
    }

    // The same order on a live button, reached by mouse and enabling.
    struct Live {
        bool hover, press, disable;
        SkinState expected;
    };
    const Live live[] = {
        {false, false, false, SkinState::Normal},  {true, false, false, SkinState::MouseOver},
        {true, true, false, SkinState::ClickDown}, {false, true, false, SkinState::ClickDown},
        {true, false, true, SkinState::Gray},      {true, true, true, SkinState::Gray},
    };
    for (const Live& row : live) {
        SCOPED_TRACE(testing::Message() << "hover " << row.hover << " press " << row.press
                                        << " disable " << row.disable);
        delete button_;
        button_ = new SkinButton(&panel_);
        button_->setGeometry(20, 30, 32, 32);
        button_->show();
        Skin(button_);
        ParkCursor();
        if (row.hover)
            MoveInto();
        if (row.press)
            Press();
        if (row.disable)
            button_->setEnabled(false);
        EXPECT_EQ(button_->FaceState(), row.expected);
        EXPECT_EQ(Shown(), Face(row.expected));
    }
}

TEST_F(ButtonExTest, DisabledButtonShowsGrayUnderTheCursorAndWhileHeld) {
    Skin(button_);
    MoveInto();
    Press();
    ASSERT_EQ(Shown(), Face(SkinState::ClickDown));
    button_->setEnabled(false);
    EXPECT_EQ(Shown(), Face(SkinState::Gray));
    // Mouse input to a disabled button changes nothing.
    MoveInto();
    Press();
    EXPECT_EQ(Shown(), Face(SkinState::Gray));
    button_->OnTimer(SkinButton::kHoverTimer); // the cursor is still inside
    EXPECT_EQ(Shown(), Face(SkinState::Gray));
    // The press that was cut off by disabling leaves no ClickDown behind.
    button_->setEnabled(true);
    EXPECT_FALSE(button_->Pressed());
    EXPECT_EQ(Shown(), Face(SkinState::MouseOver));
}

TEST_F(ButtonExTest, HoverEndsAtTheFirstTickWithTheCursorOutside) {
    Skin(button_);
    EXPECT_FALSE(button_->HoverTimerActive());
    MoveInto();
    EXPECT_TRUE(button_->Hover());
    EXPECT_TRUE(button_->HoverTimerActive());
    EXPECT_EQ(Shown(), Face(SkinState::MouseOver));

    // A tick while the cursor rests inside keeps the hover face.
    button_->OnTimer(SkinButton::kHoverTimer);
    EXPECT_TRUE(button_->Hover());
    // The cursor leaves and no mouse message reaches the button: the next
    // tick ends hover and stops the timer.
    ParkCursor();
    button_->OnTimer(SkinButton::kHoverTimer);
    EXPECT_FALSE(button_->Hover());
    EXPECT_FALSE(button_->HoverTimerActive());
    EXPECT_EQ(Shown(), Face(SkinState::Normal));

    // The real 100 ms timer does the same on its own.
    MoveInto();
    ParkCursor();
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return !button_->Hover(); }));
    EXPECT_EQ(Shown(), Face(SkinState::Normal));
}

TEST_F(ButtonExTest, ClickEmitsClickedAndSendsTheCommandToTheParent) {
    Skin(button_);
    int clicked = 0;
    QObject::connect(button_, &QAbstractButton::clicked, [&] { ++clicked; });

    MoveInto();
    Press();
    EXPECT_TRUE(button_->Pressed());
    Release();
    EXPECT_FALSE(button_->Pressed());
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(panel_.commands, std::vector<int>{1035});
    EXPECT_EQ(Shown(), Face(SkinState::MouseOver)); // released, still under the cursor

    // Released away from the button: no click, and the face lets go.
    Press();
    Release(QPoint(120, 16));
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(panel_.commands.size(), 1u);
    EXPECT_FALSE(button_->Pressed());
    EXPECT_NE(button_->FaceState(), SkinState::ClickDown);

    // The right button is no press at all.
    Mouse(QEvent::MouseButtonPress, {16, 16}, Qt::RightButton, Qt::RightButton);
    EXPECT_FALSE(button_->Pressed());
    Mouse(QEvent::MouseButtonRelease, {16, 16}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(clicked, 1);
}

TEST_F(ButtonExTest, BiggerBitmapIsCutAtTheButtonSizeUnscaled) {
    QImage big(48, 40, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixelColor(x, y, QColor(x * 5, y * 6, 90));
    const std::string path = folder_.Path("Big_Normal.bmp").string();
    ASSERT_TRUE(big.save(QString::fromStdString(path), "BMP"));
    button_->SetSkinBitmaps(path.c_str(), path.c_str(), path.c_str(), path.c_str());
    EXPECT_EQ(button_->size(), QSize(32, 32));
    EXPECT_EQ(button_->Bitmap(SkinState::Normal).size(), QSize(48, 40));

    const QImage shown = button_->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(32, 32));
    for (const QPoint p : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        EXPECT_EQ(shown.pixelColor(p), big.pixelColor(p)) << p.x() << "," << p.y();
}

TEST_F(ButtonExTest, MissingBitmapDrawsTheTextFaceForThatState) {
    const std::string missing = folder_.Path("Cricle_Gray.bmp").string();
    Skin(button_, missing.c_str());
    EXPECT_TRUE(button_->BitmapMode());
    EXPECT_TRUE(button_->Bitmap(SkinState::Gray).isNull());
    EXPECT_EQ(Shown(), Face(SkinState::Normal));
    button_->setEnabled(false);
    const QImage shown = button_->grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 0), SkinButton::kOuterFrame);

    // Nothing on disk at all: every state is a text face, nothing breaks.
    button_->setEnabled(true);
    const std::string none = folder_.Path("none.bmp").string();
    button_->SetSkinBitmaps(none.c_str(), none.c_str(), none.c_str(), none.c_str());
    MoveInto();
    Press();
    EXPECT_EQ(button_->grab().toImage().pixelColor(0, 0), SkinButton::kOuterFrame);
    Release();
}

TEST_F(ButtonExTest, TextModeFramesAndCentresTheText) {
    Skin(button_);
    ASSERT_TRUE(button_->BitmapMode());
    // Without the click-down file the button is a text button again.
    const std::string normal = File(0), over = File(1);
    button_->SetSkinBitmaps(normal.c_str(), over.c_str(), nullptr, nullptr);
    EXPECT_FALSE(button_->BitmapMode());
    button_->setGeometry(20, 30, 90, 40);
    const int w = 90, h = 40;

    struct Row {
        const char* what;
        bool hover, press, is_default, flat;
        QPoint pixel;
        QColor expected; // invalid: anything but the frame colours
    };
    const QColor none;
    const Row rows[] = {
        {"outer frame", false, false, false, false, {0, 20}, SkinButton::kOuterFrame},
        {"outer frame bottom", false, false, false, false, {45, h - 1}, SkinButton::kOuterFrame},
        {"inner frame left", false, false, false, false, {2, 20}, SkinButton::kInnerFrame},
        {"inner frame bottom", false, false, false, false, {45, h - 3}, SkinButton::kInnerFrame},
        {"inner frame right", false, false, false, false, {w - 3, 20}, SkinButton::kInnerFrame},
        {"unpressed: no inset top", false, false, false, false, {45, 2}, none},
        {"pressed: inner top 2 down", true, true, false, false, {45, 2}, SkinButton::kInnerFrame},
        {"hover: same frames", true, false, false, false, {2, 20}, SkinButton::kInnerFrame},
        {"default outline", false, false, true, false, {45, 1}, SkinButton::kDefaultFrame},
        {"default outline, flat", false, false, true, true, {45, 1}, SkinButton::kDefaultFrame},
        {"no default outline in hover", true, false, true, false, {45, 1}, none},
        {"flat: no outer frame", false, false, false, true, {0, 20}, none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ParkCursor();
        button_->OnTimer(SkinButton::kHoverTimer);
        button_->setDefault(row.is_default);
        button_->setFlat(row.flat);
        if (row.hover)
            MoveInto();
        if (row.press)
            Press();
        const QColor got = button_->grab().toImage().pixelColor(row.pixel);
        if (row.expected.isValid()) {
            EXPECT_EQ(got, row.expected);
        } else {
            EXPECT_NE(got, SkinButton::kOuterFrame);
            EXPECT_NE(got, SkinButton::kInnerFrame);
            EXPECT_NE(got, SkinButton::kDefaultFrame);
        }
        if (row.press)
            Release(QPoint(200, 200));
    }

    // "Button1" on one line in the middle, in the text colour; grey when
    // disabled.
    button_->setDefault(false);
    button_->setFlat(true);
    auto text_box = [&](const QColor& ink) {
        const QImage shown = button_->grab().toImage();
        QRect box;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (shown.pixelColor(x, y) == ink)
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const QColor ink = button_->palette().color(QPalette::Active, QPalette::ButtonText);
    const QRect box = text_box(ink);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_NEAR(box.center().x(), w / 2, 3);
    EXPECT_NEAR(box.center().y(), h / 2, 3);
    EXPECT_LT(box.height(), h / 2);
    button_->setEnabled(false);
    EXPECT_TRUE(text_box(ink).isEmpty());
    EXPECT_FALSE(
        text_box(button_->palette().color(QPalette::Disabled, QPalette::ButtonText)).isEmpty());
}

TEST_F(ButtonExTest, ToolTipIsCreatedOnceAndShowsTheLatestTextAfterItsDelay) {
    EXPECT_FALSE(button_->HasToolTip());
    button_->SetToolTipText(QStringLiteral("Start Record"));
    EXPECT_TRUE(button_->HasToolTip());
    button_->SetToolTipText(QStringLiteral("Stop Record"));
    EXPECT_EQ(button_->ToolTipText(), QStringLiteral("Stop Record"));
    EXPECT_EQ(button_->toolTip(), QStringLiteral("Stop Record"));

    MoveInto();
    EXPECT_TRUE(button_->ToolTipPending());
    EXPECT_FALSE(QToolTip::isVisible());
    EXPECT_TRUE(testsupport::ProcessEventsUntil([] { return QToolTip::isVisible(); }));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Stop Record"));
    // A press takes the tip away.
    Press();
    EXPECT_FALSE(button_->ToolTipPending());
    Release();
    EXPECT_TRUE(testsupport::ProcessEventsUntil([] { return !QToolTip::isVisible(); }));
}

} // namespace
