#include "widgets/BannerWindow.h"

#include "common/DlgItem.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstring>
#include <strings.h>

const QColor BannerWindow::kBackground = QColor(0, 0, 250);
const QColor BannerWindow::kTextColour = QColor(255, 255, 255);

BannerWindow::BannerWindow() : QDialog(nullptr, Qt::Tool | Qt::FramelessWindowHint) {
    SetDialogId(this, kTemplateId);
    setAttribute(Qt::WA_ShowWithoutActivating); // the main window keeps the keyboard
    setFixedSize(DluToPixelsX(kWidthDlu), DluToPixelsY(kHeightDlu));
    // The whole banner is blue, also where no text is drawn.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    palette.setColor(QPalette::WindowText, kTextColour);
    setPalette(palette);
    setAutoFillBackground(true);

    font_.setFamily(QStringLiteral("Microsoft Sans Serif"));
    font_.setPixelSize(48);
    font_.setWeight(QFont::Bold);
    font_.setItalic(false);
    font_.setUnderline(false);
    font_.setStrikeOut(false);
}

int BannerWindow::SetInfoText(const char* text) {
    if (text == nullptr)
        return -1;
    if (strcasecmp(text, text_) == 0)
        return 0;
    size_t length = strnlen(text, kTextBytes);
    if (length >= kTextBytes) {
        // Too long: keep what fits without splitting a UTF-8 character.
        length = kTextBytes - 1;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(text_, text, length);
    text_[length] = '\0';
    ++draw_count_;
    // Shown at once: the poll that sets it runs on the user-interface thread.
    if (isVisible())
        repaint();
    else
        update();
    return 0;
}

void BannerWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setFont(font_);
    painter.setPen(kTextColour);
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignVCenter, QString::fromUtf8(text_));
}
