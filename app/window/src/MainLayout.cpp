#include "window/MainLayout.h"

#include "widgets/RightPanel.h"
#include "widgets/SkinSplitter.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QWidget>

MainLayout::MainLayout(QWidget* window, QMenuBar* menu, QStatusBar* status, IniStore* ini)
    : window_(window), menu_(menu), status_(status), ini_(ini) {
    window_->setMinimumSize(kMinWidth, kMinHeight);
    window_->setMaximumSize(kMaxWidth, kMaxHeight);
}

// The splitter writes its position as it goes; it goes with the window.
MainLayout::~MainLayout() = default;

void MainLayout::Create(QWidget* view, QWidget* command_panel, QWidget* tool_bar) {
    command_panel_ = command_panel;
    tool_bar_ = tool_bar;
    right_panel_ = new RightPanel(window_);
    splitter_ = new SkinSplitter(ini_);
    splitter_->CreateSplitter(SkinSplitter::kSideBySide, window_, view, right_panel_, kSplitterId,
                              QRect(), kFirstPaneMin, kSecondPaneMin);
    splitter_->HideRightPane();
    tool_bar_->hide();
}

QRect MainLayout::ClientRect() const {
    const int top = menu_ != nullptr ? menu_->sizeHint().height() : 0;
    return QRect(0, top, window_->width(), window_->height() - top);
}

void MainLayout::Layout() {
    const QRect client = ClientRect();
    if (menu_ != nullptr)
        menu_->setGeometry(0, 0, window_->width(), client.top());
    const int status_height = status_->sizeHint().height();
    const int status_top = client.bottom() + 1 - status_height;
    const bool gallery = gallery_ != nullptr && gallery_shown_;
    const int bottom = status_top - (gallery ? gallery_height_ : 0);
    if (gallery_ != nullptr) {
        gallery_->setGeometry(QRect(0, bottom, client.width(), gallery_height_));
        gallery_->setVisible(gallery);
    }
    const int top = client.top() + kCommandPanelHeight;
    const int column = tool_bar_shown_ ? kToolBarWidth : 0;

    if (splitter_ != nullptr)
        splitter_->setGeometry(QRect(QPoint(column, top), QPoint(client.right(), bottom - 1)));
    status_->setGeometry(QRect(QPoint(0, status_top), QPoint(client.right(), client.bottom())));
    if (tool_bar_ != nullptr) {
        tool_bar_->setGeometry(QRect(0, top, column, bottom - top));
        tool_bar_->setVisible(tool_bar_shown_);
    }
    if (command_panel_ != nullptr) {
        command_panel_->setGeometry(QRect(0, client.top(), client.width(), kCommandPanelHeight));
        command_panel_->show();
    }
}

void MainLayout::SetAnnotationMode(bool on) {
    if (splitter_ == nullptr)
        return;
    if (on) {
        right_panel_->SetPanelActive(true);
        splitter_->ShowRightPane();
    } else {
        splitter_->HideRightPane();
    }
}
