// Whether the live picture can be seen at all: not while its window is
// minimised, hidden or not exposed (fully covered where the platform says
// so), nor while the view itself is hidden or has nothing visible. Each
// change is handed to a callback (the camera session's switch, so that no
// picture is decoded for nobody); the object lives as the view's child and
// says "wanted" again when it goes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <QWindow>

#include <functional>

class PixelDemand final : public QObject {
public:
    PixelDemand(QWidget* view, std::function<void(bool wanted)> tell);
    ~PixelDemand() override;

    bool Wanted() const { return wanted_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Watches the view's top-level widget and its native window, which
    // change when the view goes to full screen and back.
    void Watch();
    void Update();
    // Where the view or its children show on screen.
    QRegion ShownRegion() const;

    QWidget* view_; // the parent
    QPointer<QWidget> top_;
    QPointer<QWindow> window_;
    std::function<void(bool)> tell_;
    bool wanted_ = true;
    bool exposed_once_ = false; // of window_
};
