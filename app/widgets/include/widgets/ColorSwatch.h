// ColorSwatch: a notifying static control that shows one colour: its whole
// client area is filled with it. A click (left button pressed and released
// over it) tells the owner, which usually runs the colour picker. A
// disabled swatch still shows its colour but takes no clicks.
//
// Threads: the user-interface thread only.
#pragma once

#include "platform/wintypes.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class ColorSwatch : public QWidget {
public:
    explicit ColorSwatch(QWidget* parent = nullptr);

    void SetColor(COLORREF color);
    COLORREF Color() const { return color_; }
    void SetClickHandler(std::function<void()> handler) { on_click_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    COLORREF color_ = 0;
    bool pressed_ = false; // the left button went down here and is not up yet
    std::function<void()> on_click_;
};

QColor ColorOf(COLORREF color);
COLORREF ColorRefOf(const QColor& color);

// The colour picker of the graphic dialogs: the colour chosen, or nothing
// when the user cancelled. initial is the colour the picker starts at.
using ColorPicker = std::function<std::optional<COLORREF>(QWidget* owner, COLORREF initial)>;

// The standard colour dialog (QColorDialog), modal, no options.
std::optional<COLORREF> PickColorWithDialog(QWidget* owner, COLORREF initial);
