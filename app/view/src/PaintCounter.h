// Counts the paint events of every widget by its class while it lives, so
// that a report can say which widgets repaint how often (a status text that
// changes every frame repaints its label and whatever lies under it).
//
// User-interface thread only: it filters the application's events.
#pragma once

#include <QObject>

#include <map>
#include <string>

namespace view {

class PaintCounter : public QObject {
public:
    // Starts counting at once; stops when destroyed.
    PaintCounter();
    ~PaintCounter() override;

    // "Class:count,..." since the last call, in class-name order, or "-"
    // when nothing painted; the counts start afresh.
    std::string TakeText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<std::string, long> paints_; // by class name, since the last TakeText
};

} // namespace view
