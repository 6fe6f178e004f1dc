#include "widgets/ColorSwatch.h"

#include <QColorDialog>
#include <QMouseEvent>
#include <QPainter>

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::SetColor(COLORREF color) {
    color_ = color;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorOf(color_));
}

void ColorSwatch::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    // The handler may run a modal picker: nothing of this object is used
    // after it.
    if (click && on_click_)
        on_click_();
}

QColor ColorOf(COLORREF color) {
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

COLORREF ColorRefOf(const QColor& color) {
    return RGB(static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
               static_cast<uint8_t>(color.blue()));
}

std::optional<COLORREF> PickColorWithDialog(QWidget* owner, COLORREF initial) {
    const QColor picked = QColorDialog::getColor(ColorOf(initial), owner);
    if (!picked.isValid())
        return std::nullopt;
    return ColorRefOf(picked);
}
