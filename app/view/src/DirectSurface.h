// A native child of the video view that shows frames straight from the
// blocks the renderer decodes into, through the X server
// (platform/shm_presenter.h): the server reads the pixels itself, so the
// view's thread copies none into the window's buffer. The view shows it
// over the picture's rectangle only while it paints nothing but the frame,
// one to one, and hides it otherwise (the view then paints as before).
// Mouse events pass through to the view.
//
// User-interface thread only.
#pragma once

#include "platform/media.h"
#include "platform/shm_presenter.h"

#include <QWidget>

#include <memory>

namespace view {

class DirectSurface : public QWidget {
public:
    explicit DirectSurface(QWidget* view);
    ~DirectSurface() override;

    // Whether frames can go this way in this program at all: the X
    // platform, and TOVEK_DIRECT_SHOW not "0".
    static bool Available();

    // Covers target (the view's coordinates) and shows frame there, one to
    // one; false when it cannot (a frame of another size or not in a
    // shared block, or the server refused): the caller paints it instead.
    bool Show(const SharedVideoFrame& frame, const QRect& target);
    // Whether the surface may cover target (the view's coordinates): it is
    // a window of its own, so nothing clips it to the view, and it would
    // hide the widgets over the picture (the view's other children, and its
    // siblings where they overlap it).
    bool Unobstructed(const QRect& target) const;
    // Hides the surface and lets go of its frames.
    void Withdraw();
    // Frames shown this way since construction.
    uint64_t Shown() const { return shown_; }

protected:
    QPaintEngine* paintEngine() const override { return nullptr; }
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool Put();

    std::unique_ptr<platform::ShmPresenter> presenter_;
    SharedVideoFrame frame_; // the one shown, put again on expose
    bool refused_ = false;   // the server path failed here: never again
    uint64_t shown_ = 0;
};

} // namespace view
