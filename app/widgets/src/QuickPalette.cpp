#include "widgets/QuickPalette.h"

#include "annotation/PaletteRules.h"
#include "common/DlgItem.h"
#include "widgets/ColorSwatch.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kSwatch = 16;
constexpr int kGap = 5;
constexpr int kWidthButtonW = 24;
constexpr int kWidthButtonH = 18;
constexpr int kFrame = 2;

} // namespace

// A button that shows its width as a line of that thickness.
class QuickPalette::WidthButton : public QWidget {
public:
    WidthButton(int index, QuickPalette* owner) : QWidget(owner), index_(index), owner_(owner) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        const int thickness = 2 + 3 * index_;
        painter.fillRect(QRect(4, (height() - thickness) / 2, width() - 8, thickness), Qt::black);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            owner_->ChooseWidth(index_);
    }

private:
    const int index_;
    QuickPalette* const owner_;
};

QuickPalette::QuickPalette(QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < annotation::kPaletteColorCount; ++i) {
        auto* swatch = new ColorSwatch(this);
        SetDlgCtrlId(swatch, kFirstColorId + i);
        swatch->SetColor(annotation::kPaletteColors[i]);
        swatch->SetClickHandler([this, i] { ChooseColor(i); });
        swatches_.push_back(swatch);
    }
    for (int i = 0; i < annotation::kPaletteWidthCount; ++i) {
        auto* button = new WidthButton(i, this);
        SetDlgCtrlId(button, kFirstWidthId + i);
        widths_.push_back(button);
    }
}

int QuickPalette::Place(int x, int y) {
    const int step = kSwatch + kGap;
    for (size_t i = 0; i < swatches_.size(); ++i) {
        const int column = static_cast<int>(i % 4), row = static_cast<int>(i / 4);
        swatches_[i]->setGeometry(kFrame + column * step, kFrame + row * step, kSwatch, kSwatch);
    }
    const int widths_top = kFrame + 2 * step + kGap;
    for (size_t i = 0; i < widths_.size(); ++i)
        widths_[i]->setGeometry(kFrame + static_cast<int>(i) * (kWidthButtonW + kGap + 2),
                                widths_top, kWidthButtonW, kWidthButtonH);
    const int height = widths_top + kWidthButtonH + kFrame;
    setGeometry(x - kFrame, y - kFrame, 4 * step + kFrame, height);
    return height;
}

void QuickPalette::ChooseColor(int index) {
    if (index < 0 || index >= annotation::kPaletteColorCount)
        return;
    chosen_color_ = index;
    update();
    if (on_color_)
        on_color_(annotation::kPaletteColors[index]);
}

void QuickPalette::ChooseWidth(int index) {
    if (index < 0 || index >= annotation::kPaletteWidthCount)
        return;
    chosen_width_ = index;
    update();
    if (on_width_)
        on_width_(index);
}

void QuickPalette::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(QColor(35, 96, 177), kFrame));
    painter.setBrush(Qt::NoBrush);
    // The chosen swatch and width, framed; black and white swatches get a
    // thin grey edge so that they show on the panel.
    for (size_t i = 0; i < swatches_.size(); ++i) {
        const QRect r = swatches_[i]->geometry();
        if (static_cast<int>(i) == chosen_color_) {
            painter.drawRect(r.adjusted(-kFrame + 1, -kFrame + 1, kFrame - 1, kFrame - 1));
            continue;
        }
        painter.save();
        painter.setPen(QColor(150, 150, 150));
        painter.drawRect(r.adjusted(-1, -1, 0, 0));
        painter.restore();
    }
    if (chosen_width_ >= 0) {
        const QRect r = widths_[static_cast<size_t>(chosen_width_)]->geometry();
        painter.drawRect(r.adjusted(-kFrame + 1, -kFrame + 1, kFrame - 1, kFrame - 1));
    }
}
