// VideoView: the child window that shows the live picture. The capture
// library hands it composited frames on its streaming thread (VideoWindow);
// the view keeps the newest one as it was handed over (no copy) and paints it
// on the user-interface thread, scaled into the destination rectangle the
// library was given; a frame it had no time to paint is dropped.
//
// The view owns the zoom mode and computes the display rectangle for it,
// which reaches the capture library through the display-rectangle handler
// (the main window connects it to the camera's Refresh). It switches itself
// to full screen and back, paints the skin background while no picture is
// shown, and maps the mouse to image pixels for the annotation editor.
#pragma once

#include "platform/media.h"
#include "platform/wintypes.h"
#include "view/CaptureShow.h"
#include "view/FramePainter.h"
#include "view/FramePresenter.h"
#include "view/FrameReport.h"
#include "view/PageShow.h"
#include "view/ShowEffectRules.h"
#include "view/ShownFrame.h"
#include "view/VideoGeometry.h"
#include "view/ViewCursors.h"
#include "view/ViewMouseInput.h"

#include <QEvent>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QMenu;
class QPainter;

namespace view {
class DirectSurface;
}

class VideoView : public QWidget, public VideoWindow {
public:
    // Posted to the main window on every mouse move over the view; the main
    // window then reads ImagePoint().
    static constexpr QEvent::Type kViewPositionEvent = static_cast<QEvent::Type>(msg::kMouseMove);

    explicit VideoView(QWidget* parent = nullptr);
    ~VideoView() override;

    VIDEO_WINDOW Handle() { return this; }

    // ---- picture geometry ----
    // The camera's frame size; 1280 x 1024 until the main window sets it.
    void SetImageSize(int width, int height);
    int ImageWidth() const { return image_width_; }
    int ImageHeight() const { return image_height_; }
    // Fills the display rectangle for an available size, the image size and
    // the zoom mode, and reports it to the display-rectangle handler. An image
    // size with a zero dimension gives an all-zero rectangle and no report.
    void CalcDisplayRect(int available_width, int available_height);
    RECT DisplayRect() const { return display_rect_; }
    // Called with each new display rectangle (user-interface thread).
    void SetDisplayRectHandler(std::function<void(const RECT&)> handler) {
        on_display_rect_ = std::move(handler);
    }

    // Called with each new display rectangle after the display-rectangle
    // handler: the pixels of the camera's picture it shows (PixelsShown),
    // which is all the decoder need make.
    void SetShownPixelsHandler(std::function<void(int width, int height)> handler) {
        on_shown_pixels_ = std::move(handler);
    }

    // ---- turn and hold ----
    // Clockwise quarter turns of the shown picture (taken modulo 4): the
    // zoom modes fit the turned size, the mouse maps through the turn back
    // to the camera's pixels, and the paint turns each frame.
    void SetQuarterTurns(int turns);
    int QuarterTurns() const { return shown_.quarter_turns; }
    // A presentation's blank screen: the view paints black while the camera,
    // a recording and the snapshots go on as before.
    void SetBlanked(bool blanked);
    bool Blanked() const { return blanked_; }
    // The spotlight or curtain painted over the picture (never into a frame).
    // A kind starts afresh; kNone ends it. While one is on, the left button
    // and the wheel work it instead of the annotation editor.
    void SetShowEffect(view::ShowEffectKind kind);
    const view::ShowEffectState& ShowEffect() const { return effect_; }
    // The mark painted over the picture while it is held; empty while live.
    void SetFrozenMark(const QString& text);
    QString FrozenMark() const { return shown_.frozen_mark; }
    // Captures shown instead of, or beside, the live picture (CaptureShow.h);
    // an empty show goes back to live.
    void SetCaptureShow(view::CaptureShow show);
    const view::CaptureShow& CaptureShown() const { return capture_show_; }
    // Page mode and the document filter (PageShow.h): the view paints what
    // mode makes of each frame, and its corner handles take the left button.
    // Not owned; it must outlive the view or be replaced first.
    void SetPageMode(page::PageMode* mode) { page_show_.SetMode(mode); }
    const view::PageShow& PageShown() const { return page_show_; }
    // The view point where image pixel image_point shows (the first view
    // pixel that maps back to it), through the turn.
    view::POINT ImageToClient(const view::POINT& image_point) const;

    // ---- zoom ----
    int ZoomMode() const { return zoom_mode_; }
    // Commands 32778 to 32782: sets the mode, recomputes the rectangle for the
    // view's size, reports the mode to the zoom-mode handler (which stores the
    // setting) and repaints. Any other command is ignored (false).
    bool SetZoomCommand(uint32_t command);
    void SetZoomModeHandler(std::function<void(int)> handler) {
        on_zoom_mode_ = std::move(handler);
    }

    // ---- full screen ----
    // Command 32777. Entering makes the view a full-screen top-level window;
    // leaving puts it back into its parent at its former geometry and calls
    // the layout handler so the main window lays out its panels again.
    void ToggleFullScreen();
    bool IsFullScreen() const { return full_screen_; }
    void SetLayoutHandler(std::function<void()> handler) { on_layout_ = std::move(handler); }
    // Told after entering (true) and leaving (false) full screen, before the
    // layout handler; the main window moves its status banner with it.
    void SetFullScreenHandler(std::function<void(bool)> handler) {
        on_full_screen_ = std::move(handler);
    }

    // ---- commands and state from the main window ----
    // Handles 32777 and 32778 to 32782; false for any other command.
    bool OnCommand(uint32_t command);
    // Whether the camera plays; without a query the view plays while it holds
    // a frame. Zoom and full-screen commands of the context menu and the
    // double-click need a playing camera.
    void SetPlayingQuery(std::function<bool()> query) { playing_ = std::move(query); }
    bool Playing() const;
    // Receiver of kViewPositionEvent; the parent at construction.
    void SetMainWindow(QObject* main_window) { main_window_ = main_window; }

    // ---- mouse ----
    // The annotation editor (not owned; it must outlive the view or be
    // replaced first). It hears the left button and the moves only while
    // the camera plays and no spotlight or curtain is on; while stopped the
    // view shows the arrow.
    void SetMouseInput(ViewMouseInput* input) { mouse_input_ = input; }
    // The cursor kind now shown (0 arrow ... 8).
    int PointerShown() const { return pointer_kind_; }
    // Arrow keys from the main window (as seen on screen); forwarded to the
    // annotation editor turned back to the camera's picture.
    void NudgeSelection(int dx, int dy);
    // Maps the mouse point to the image point; false (image point kept) when
    // the mouse point lies outside the picture.
    bool ClientToImage();
    view::POINT MousePoint() const { return mouse_point_; }
    view::POINT ImagePoint() const { return image_point_; }

    // ---- background ----
    // The skin background; a missing or unreadable file leaves a plain white
    // background. The default is "Skin/BackGround/Main.bmp" of the program
    // folder. While stopped the view paints it, never a stale frame, and
    // when it drops a frame it still held it calls the stopped handler (the
    // main window has the camera hide its video: Refresh(0, 0, 1, 1)).
    void LoadBackground(const QString& path);
    bool HasBackground() const { return !background_.isNull(); }
    void SetStoppedHandler(std::function<void()> handler) { on_stopped_ = std::move(handler); }

    // The context menu with its items updated for the current state (tests
    // and the right button).
    QMenu* ContextMenu();

    // ---- frames ----
    // Frames presented since construction (any thread).
    uint64_t FrameCount() const { return presenter_.Presented(); }
    // Frames painted, and frames replaced before a paint showed them.
    uint64_t PaintedCount() const { return presenter_.Painted(); }
    uint64_t DroppedCount() const { return presenter_.Dropped(); }
    // Frames the display server drew straight from their blocks, the
    // view's thread copying none (DirectSurface.h).
    uint64_t DirectCount() const;
    // True while a frame is kept for painting.
    bool HasFrame() const;
    // A copy of the frame kept for painting (null when none).
    QImage LatestFrame() const;
    // The same turned as it is shown.
    QImage ShownFrame() const;

    // VideoWindow, on the library's streaming thread. PresentFrame copies
    // the pixels (for callers whose pixels do not outlive the call);
    // PresentSharedFrame keeps the frame itself.
    void PresentFrame(const uint8_t* pixels, int width, int height, int stride,
                      const RECT& destination) override;
    void PresentSharedFrame(const SharedVideoFrame& frame, const RECT& destination) override;
    void ClearVideo() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateContextMenu();
    void SetMousePoint(const QPoint& position);
    void ShowPointer(int kind);
    void PostPosition();
    // Whether the frame may go straight to the display server: the view
    // would paint nothing but it, one to one, with nothing over it.
    bool DirectAllowed(const view::FramePresenter::Painting& painting) const;
    // Shows the newest frame that way; false when the view must paint it.
    bool ShowDirect();
    // Paints frame into destination; false when there is nothing to show.
    bool PaintFrame(QPainter& painter, const view::FramePresenter::Painting& painting);
    void PaintBackground(QPainter& painter);
    // Where the spotlight and curtain lie: the picture as far as it shows.
    RECT EffectArea() const;

    view::FramePresenter presenter_; // its own lock: any thread
    // The frame report when TOVEK_FRAME_REPORT asks for one; written from a
    // timer of the user-interface thread.
    std::unique_ptr<view::FrameReport> report_;

    // The rest belongs to the user-interface thread.
    int image_width_ = 1280;
    int image_height_ = 1024;
    int zoom_mode_ = view::kFitWindow;
    view::ShownState shown_;
    RECT display_rect_{};
    bool full_screen_ = false;
    bool blanked_ = false;
    view::ShowEffectState effect_;
    view::CaptureShow capture_show_;
    view::PageShow page_show_;
    QPointer<QWidget> saved_parent_;
    QRect saved_geometry_; // in the parent, before full screen
    view::POINT mouse_point_{};
    view::POINT image_point_{};
    QImage background_;
    view::FramePainter frame_painter_;
    view::DirectSurface* direct_ = nullptr; // a child; null off the X platform
    std::unique_ptr<QMenu> context_menu_;
    QPointer<QObject> main_window_;
    ViewMouseInput* mouse_input_ = nullptr; // not owned
    view::ViewCursors cursors_;
    int pointer_kind_ = 0;
    std::function<void(const RECT&)> on_display_rect_;
    std::function<void(int, int)> on_shown_pixels_;
    std::function<void(int)> on_zoom_mode_;
    std::function<void()> on_layout_;
    std::function<void(bool)> on_full_screen_;
    std::function<void()> on_stopped_;
    std::function<bool()> playing_;
};
