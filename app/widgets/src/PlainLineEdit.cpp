#include "PlainLineEdit.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

void PlainLineEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void PlainLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void PlainLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    // Accepted, so that no parent offers its own menu instead.
    event->accept();
}
