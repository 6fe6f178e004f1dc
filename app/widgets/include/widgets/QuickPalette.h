// QuickPalette: the tool panel's eight colour swatches and three widths. A
// click chooses (the owner's handlers apply the choice); the palette frames
// the colour and width chosen last, so the teacher sees what the next shape
// gets.
//
// Threads: the user-interface thread only.
#pragma once

#include "platform/wintypes.h"

#include <QWidget>

#include <functional>
#include <vector>

class ColorSwatch;

class QuickPalette : public QWidget {
public:
    // Control ids: colours kFirstColorId + 0..7, widths kFirstWidthId + 0..2.
    static constexpr int kFirstColorId = 1170;
    static constexpr int kFirstWidthId = 1180;

    explicit QuickPalette(QWidget* parent = nullptr);

    void SetColorHandler(std::function<void(COLORREF)> handler) { on_color_ = std::move(handler); }
    void SetWidthHandler(std::function<void(int index)> handler) { on_width_ = std::move(handler); }
    // Places the swatches from (x, y) in pixels, four to a row, then the
    // widths in a row below; returns the height used.
    int Place(int x, int y);

    // As a click on colour index (0..7) or width index (0..2) does.
    void ChooseColor(int index);
    void ChooseWidth(int index);
    int ChosenColor() const { return chosen_color_; }
    int ChosenWidth() const { return chosen_width_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class WidthButton;

    std::vector<ColorSwatch*> swatches_;
    std::vector<QWidget*> widths_;
    std::function<void(COLORREF)> on_color_;
    std::function<void(int)> on_width_;
    int chosen_color_ = -1; // none yet: the defaults hold
    int chosen_width_ = -1;
};
