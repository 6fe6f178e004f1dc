// BannerWindow: the camera status banner, a borderless window (template 149,
// 278 x 32 dialog units) showing one short text in large white letters on
// blue. The main window creates it hidden, gives it the text, centres it over
// the video view and shows or hides it.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

#include <cstddef>

class BannerWindow : public QDialog {
public:
    static constexpr int kTemplateId = 149;
    static constexpr int kWidthDlu = 278;
    static constexpr int kHeightDlu = 32;
    static constexpr size_t kTextBytes = 1024; // the terminator included
    static const QColor kBackground;           // RGB(0, 0, 250), COLORREF 0xFA0000
    static const QColor kTextColour;           // white

    // Without a parent, like a popup: it must stay visible over the full
    // screen view, which is a window of its own.
    BannerWindow();

    // Sets and draws text (UTF-8). -1 for a null text. A text equal to the
    // current one without regard to case changes nothing. A text longer than
    // 1023 bytes is cut at the last whole character that fits.
    int SetInfoText(const char* text);
    const char* InfoText() const { return text_; }
    // Times a new text was accepted and drawn.
    int DrawCount() const { return draw_count_; }
    const QFont& TextFont() const { return font_; }

    // Enter does nothing; the banner is closed only by its owner (or Esc).
    void accept() override {}

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    char text_[kTextBytes] = {};
    QFont font_;
    int draw_count_ = 0;
};
