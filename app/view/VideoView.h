// CVideoView: the child window that shows the live picture. The capture
// library hands it composited frames on its streaming thread (VideoWindow);
// the view keeps the latest one and paints it on the user-interface thread
// into the destination rectangle the library was given.
//
// The display rectangle is computed for the image size in one mode for now:
// the whole picture fitted into the view with its aspect ratio kept and
// centred. It reaches the capture library through the display-rectangle
// handler, which the main window connects to the camera's Refresh.
#pragma once

#include "platform/media.h"
#include "platform/wintypes.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class CVideoView : public QWidget, public VideoWindow {
public:
    explicit CVideoView(QWidget* parent = nullptr);
    ~CVideoView() override;

    VIDEO_WINDOW Handle() { return this; }

    // The camera's frame size; 1280 x 1024 until the main window sets it.
    void SetImageSize(int width, int height);
    // Fills the display rectangle for an available size and the image size
    // and reports it to the display-rectangle handler. An image size with a
    // zero dimension gives an empty rectangle and no report.
    void CalcDisplayRect(int available_width, int available_height);
    RECT DisplayRect() const { return display_rect_; }
    // Called with each new display rectangle (user-interface thread).
    void SetDisplayRectHandler(std::function<void(const RECT&)> handler) {
        on_display_rect_ = std::move(handler);
    }

    // Frames presented since construction (any thread).
    uint64_t FrameCount() const { return frames_.load(); }
    // True while a frame is kept for painting.
    bool HasFrame() const;
    // A copy of the frame kept for painting (null when none).
    QImage LatestFrame() const;

    // VideoWindow, on the library's streaming thread.
    void PresentFrame(const uint8_t* pixels, int width, int height, int stride,
                      const RECT& destination) override;
    void ClearVideo() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    mutable std::mutex frame_lock_; // guards frame_ and destination_
    QImage frame_;                  // latest frame, deep copy
    RECT destination_{};            // where frame_ goes, view coordinates
    std::atomic<uint64_t> frames_{0};

    int image_width_ = 1280; // user-interface thread only
    int image_height_ = 1024;
    RECT display_rect_{};
    std::function<void(const RECT&)> on_display_rect_;
};
