#include "PaintCounter.h"

#include <QCoreApplication>
#include <QEvent>

namespace view {

PaintCounter::PaintCounter() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

PaintCounter::~PaintCounter() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool PaintCounter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint)
        ++paints_[watched->metaObject()->className()];
    return false;
}

std::string PaintCounter::TakeText() {
    std::string text;
    for (const auto& [name, count] : paints_) {
        if (!text.empty())
            text += ',';
        text += name + ':' + std::to_string(count);
    }
    paints_.clear();
    return text.empty() ? "-" : text;
}

} // namespace view
