// PlainLineEdit: a one-line edit control without a context menu; a right-button
// press neither opens a menu nor moves the caret.
#pragma once

#include <QLineEdit>

class PlainLineEdit : public QLineEdit {
public:
    explicit PlainLineEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};
