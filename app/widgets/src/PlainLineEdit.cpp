#include "PlainLineEdit.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

void CEditEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void CEditEx::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CEditEx::contextMenuEvent(QContextMenuEvent* event) {
    // Accepted, so that no parent offers its own menu instead.
    event->accept();
}
