#include "widgets/SkinSplitter.h"

#include "settings/IniStore.h"

#include <QPalette>

SkinSplitter::SkinSplitter(IniStore* ini) : ini_(ini) {}

SkinSplitter::~SkinSplitter() {
    if (side_by_side_ && ini_ != nullptr) {
        const std::u16string section = Section().toStdU16String();
        ini_->WriteInt(section.c_str(), u"VertSplitPos", first_rect_.right() + 1, 10);
    }
}

QString SkinSplitter::Section() const {
    return QStringLiteral("splt\\init%1").arg(id_);
}

bool SkinSplitter::CreateSplitter(int style, QWidget* parent, QWidget* first, QWidget* second,
                                  int id, const QRect& rect, int first_min, int second_min) {
    setParent(parent);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::lightGray);
    setPalette(palette);
    setCursor(Qt::ArrowCursor);
    setGeometry(rect);
    first_ = first;
    second_ = second;
    id_ = id;
    first_min_ = first_min;
    second_min_ = second_min;
    for (QWidget* pane : {first_, second_}) {
        if (pane != nullptr)
            pane->setParent(this);
    }
    side_by_side_ = (style & kSideBySide) != 0;
    if (side_by_side_) {
        if (ini_ != nullptr) {
            const std::u16string section = Section().toStdU16String();
            split_pos_ = static_cast<int>(
                ini_->GetUInt(section.c_str(), u"VertSplitPos", kDefaultSplitPos, 10));
        }
        LayoutAt(split_pos_);
    }
    show();
    for (QWidget* pane : {first_, second_}) {
        if (pane != nullptr)
            pane->show();
    }
    return true;
}

void SkinSplitter::LayoutAt(int x) {
    const QRect client = rect();
    bar_rect_ =
        QRect(QPoint(x - bar_width_, client.top()), QPoint(x + bar_width_, client.bottom()));
    first_rect_ =
        QRect(QPoint(client.left(), client.top()), QPoint(x - bar_width_ / 2 - 1, client.bottom()));
    second_rect_ = QRect(QPoint(first_rect_.right() + 1 + bar_width_, client.top()),
                         QPoint(client.right(), client.bottom()));
    split_pos_ = x;
    if (first_ != nullptr)
        first_->setGeometry(first_rect_);
    if (second_ != nullptr)
        second_->setGeometry(second_rect_);
}

void SkinSplitter::Relayout() {
    if (!side_by_side_)
        return;
    if (second_hidden_) {
        first_rect_ = rect();
        if (first_ != nullptr)
            first_->setGeometry(first_rect_);
        return;
    }
    if (first_hidden_) {
        second_rect_ = rect();
        if (second_ != nullptr)
            second_->setGeometry(second_rect_);
        return;
    }
    // The second pane keeps exactly its minimum width, whatever the stored
    // position said.
    LayoutAt(width() - second_min_);
}

void SkinSplitter::HideRightPane() {
    if (!side_by_side_ || second_hidden_)
        return;
    second_hidden_ = true;
    bar_rect_ = QRect();
    if (second_ != nullptr)
        second_->hide();
    Relayout();
}

void SkinSplitter::ShowRightPane() {
    if (!side_by_side_)
        return;
    second_hidden_ = false;
    LayoutAt(first_rect_.right() + 1);
    if (second_ != nullptr)
        second_->show();
    Relayout();
}

void SkinSplitter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}
