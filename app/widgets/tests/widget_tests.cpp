// The status banner, the about box and the edit control, headless.
#include "PlainLineEdit.h"
#include "common/DlgItem.h"
#include "testsupport/gui_support.h"
#include "widgets/AboutBox.h"
#include "widgets/BannerWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>

#include <string>

namespace {

class WidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }
};

TEST_F(WidgetTest, BannerWindowIsABorderlessBlueBannerOfTheTemplateSize) {
    BannerWindow banner;
    EXPECT_FALSE(banner.isVisible()); // created hidden
    EXPECT_TRUE(banner.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(banner.parentWidget(), nullptr);
    // 278 x 32 dialog units.
    EXPECT_EQ(banner.size(), QSize(417, 52));
    EXPECT_STREQ(banner.InfoText(), "");
    EXPECT_EQ(banner.TextFont().pixelSize(), 48);
    EXPECT_EQ(banner.TextFont().weight(), QFont::Bold);
    EXPECT_EQ(banner.TextFont().family(), "Microsoft Sans Serif");
    EXPECT_FALSE(banner.TextFont().italic());

    ASSERT_EQ(banner.SetInfoText("Negative"), 0);
    const QImage image = banner.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 0, 250));
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() - 2), QColor(0, 0, 250));
    // The text is white and centred: some white pixel near the middle row.
    int white = 0;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixelColor(x, image.height() / 2) == QColor(255, 255, 255))
            ++white;
    }
    EXPECT_GT(white, 0);
    EXPECT_EQ(BannerWindow::kBackground.rgb() & 0xFFFFFF, 0x0000FAu); // COLORREF 0xFA0000
}

TEST_F(WidgetTest, BannerWindowDrawsATextOnceWhateverItsCase) {
    BannerWindow banner;
    EXPECT_EQ(banner.SetInfoText(nullptr), -1);
    EXPECT_EQ(banner.SetInfoText("Negative"), 0);
    EXPECT_EQ(banner.SetInfoText("Negative"), 0);
    EXPECT_EQ(banner.SetInfoText("NEGATIVE"), 0);
    EXPECT_EQ(banner.DrawCount(), 1);
    EXPECT_STREQ(banner.InfoText(), "Negative");
    EXPECT_EQ(banner.SetInfoText("Positive"), 0);
    EXPECT_EQ(banner.DrawCount(), 2);
    // Enter does not close it.
    banner.show();
    banner.accept();
    EXPECT_TRUE(banner.isVisible());
}

TEST_F(WidgetTest, BannerWindowCutsAnOverLongTextAtAWholeCharacter) {
    BannerWindow banner;
    const std::string ascii(5000, 'x');
    EXPECT_EQ(banner.SetInfoText(ascii.c_str()), 0);
    EXPECT_EQ(std::string(banner.InfoText()), std::string(1023, 'x'));
    // 1022 ASCII bytes and a two-byte character across the limit: the
    // character goes whole.
    std::string split(1022, 'y');
    split.append("\xC3\xA4zz");
    EXPECT_EQ(banner.SetInfoText(split.c_str()), 0);
    EXPECT_EQ(std::string(banner.InfoText()), std::string(1022, 'y'));
}

TEST_F(WidgetTest, EditExOffersNoContextMenuAndKeepsTheCaret) {
    QWidget parent;
    bool parent_asked = false;
    parent.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&parent, &QWidget::customContextMenuRequested,
                     [&](const QPoint&) { parent_asked = true; });
    auto* edit = new PlainLineEdit(&parent);
    edit->setText("hello world");
    edit->resize(200, 24);
    parent.show();
    edit->setCursorPosition(0);

    const QPointF end(edit->width() - 4, edit->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, end, edit->mapToGlobal(end), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, end, edit->mapToGlobal(end), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &release);
    // A stock line edit would run its menu modally here and never return.
    QContextMenuEvent menu(QContextMenuEvent::Mouse, end.toPoint(),
                           edit->mapToGlobal(end.toPoint()));
    QApplication::sendEvent(edit, &menu);
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(parent_asked);

    // The left button still places the caret.
    QMouseEvent left(QEvent::MouseButtonPress, end, edit->mapToGlobal(end), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &left);
    EXPECT_GT(edit->cursorPosition(), 0);
}

TEST_F(WidgetTest, AboutBoxIsModelessAndDeletesItselfOnOk) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::red);
    QPointer<AboutBox> about = new AboutBox(QIcon(pixmap), nullptr);
    about->show();
    EXPECT_FALSE(about->isModal());
    auto* icon = qobject_cast<QLabel*>(GetDlgItem(about, AboutBox::kIconId));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(icon->pixmap().isNull());
    ASSERT_NE(GetDlgItem(about, AboutBox::kVersionId), nullptr);
    ASSERT_NE(GetDlgItem(about, AboutBox::kTextId), nullptr);
    about->accept();
    EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return about.isNull(); }));
}

} // namespace
