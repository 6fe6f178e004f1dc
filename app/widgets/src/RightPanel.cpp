#include "widgets/RightPanel.h"

#include <QPalette>

RightPanel::RightPanel(QWidget* main_window) : QWidget(main_window) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setCursor(Qt::ForbiddenCursor);
}

void RightPanel::SetHostedPanel(QWidget* panel, std::function<void(int)> enable) {
    if (panel_ != nullptr && panel_ != panel)
        delete panel_;
    panel_ = panel;
    enable_ = std::move(enable);
    if (panel_ != nullptr) {
        panel_->setParent(this);
        panel_->setGeometry(rect());
        panel_->show();
    }
}

void RightPanel::EnablePanel(int enable) {
    if (panel_ != nullptr && enable_)
        enable_(enable);
}

void RightPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (panel_ == nullptr)
        return;
    panel_->hide();
    panel_->show();
    panel_->setGeometry(rect());
}
