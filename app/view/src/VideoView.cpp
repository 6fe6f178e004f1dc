#include "view/VideoView.h"

#include "DirectSurface.h"

#include "platform/install_layout.h"
#include "platform/system.h"
#include "view/Rotation.h"
#include "view/ShowEffectPainter.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// Shown while no picture is, where the skin's bitmap does not reach.
const QColor kBackgroundColor(Qt::white);

QString DefaultBackgroundPath() {
    return QString::fromStdString(platform::DataFolder()) +
           QStringLiteral("Skin/BackGround/Main.bmp");
}

constexpr int kReportPeriodMs = 1000;

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A frame whose pixels the view owns: a copy of pixels that live only during
// a call.
struct CopiedFrame final : VideoFrame {
    std::vector<uint8_t> bytes;
};

} // namespace

VideoView::VideoView(QWidget* parent) : QWidget(parent), main_window_(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::ArrowCursor);
    LoadBackground(DefaultBackgroundPath());
    if (view::DirectSurface::Available())
        direct_ = new view::DirectSurface(this);
    report_ = view::FrameReport::FromEnvironment();
    if (report_) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this,
                [this] { report_->WriteLine(presenter_, DirectCount()); });
        timer->start(kReportPeriodMs);
    }
}

VideoView::~VideoView() = default;

// ---- geometry and zoom ---------------------------------------------------------

void VideoView::SetImageSize(int width, int height) {
    image_width_ = width;
    image_height_ = height;
}

void VideoView::CalcDisplayRect(int available_width, int available_height) {
    const view::PictureSize shown =
        view::RotateSize(image_width_, image_height_, shown_.quarter_turns);
    display_rect_ = view::CalcDisplayRect(available_width, available_height, shown.width,
                                          shown.height, zoom_mode_);
    if (image_width_ <= 0 || image_height_ <= 0)
        return;
    if (on_display_rect_)
        on_display_rect_(display_rect_);
    if (on_shown_pixels_) {
        const view::ShownPixels shown =
            view::PixelsShown(display_rect_, shown_.quarter_turns, devicePixelRatioF());
        on_shown_pixels_(shown.width, shown.height);
    }
    update();
}

void VideoView::SetQuarterTurns(int turns) {
    const int normal = view::NormalQuarterTurns(turns);
    if (normal == shown_.quarter_turns)
        return;
    shown_.quarter_turns = normal;
    CalcDisplayRect(width(), height());
    ClientToImage();
    update();
}

void VideoView::SetFrozenMark(const QString& text) {
    if (text == shown_.frozen_mark)
        return;
    shown_.frozen_mark = text;
    update();
}

bool VideoView::SetZoomCommand(uint32_t command) {
    const int mode = view::ZoomModeFromCommand(command);
    if (mode < 0)
        return false;
    zoom_mode_ = mode;
    CalcDisplayRect(width(), height());
    if (on_zoom_mode_)
        on_zoom_mode_(zoom_mode_);
    update();
    return true;
}

bool VideoView::Playing() const {
    return playing_ ? playing_() : HasFrame();
}

bool VideoView::OnCommand(uint32_t command) {
    if (command == cmd::kFullScreen) {
        ToggleFullScreen();
        return true;
    }
    return SetZoomCommand(command);
}

// ---- full screen ---------------------------------------------------------------

void VideoView::ToggleFullScreen() {
    full_screen_ = !full_screen_;
    if (full_screen_) {
        saved_parent_ = parentWidget();
        saved_geometry_ = geometry();
        // Same parent, now a window of its own: the parent's layout keeps the
        // view's place and skips it while it is a window.
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        showFullScreen();
        raise();
        activateWindow();
        setFocus(Qt::OtherFocusReason);
        if (on_full_screen_)
            on_full_screen_(true);
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        setWindowFlags(Qt::Widget);
        if (saved_parent_ && parentWidget() != saved_parent_)
            setParent(saved_parent_);
        setGeometry(saved_geometry_);
        show();
        if (on_full_screen_)
            on_full_screen_(false);
        if (on_layout_)
            on_layout_();
    }
    // The size change reaches resizeEvent, so the rectangle follows.
}

// ---- mouse ---------------------------------------------------------------------

void VideoView::NudgeSelection(int dx, int dy) {
    if (dx < -1 || dx > 1 || dy < -1 || dy > 1)
        return;
    const view::POINT step = view::UnrotateStep({dx, dy}, shown_.quarter_turns);
    if (mouse_input_)
        mouse_input_->NudgeSelection(step.x, step.y);
}

bool VideoView::ClientToImage() {
    // The flattened page fills the view: its pixels map through the page.
    if (page_show_.Flattening())
        return page_show_.CameraPoint(QPoint(mouse_point_.x, mouse_point_.y), image_width_,
                                      image_height_, &image_point_);
    const int turns = shown_.quarter_turns;
    const view::PictureSize shown = view::RotateSize(image_width_, image_height_, turns);
    view::POINT turned{};
    if (!view::ClientToImage(display_rect_, shown.width, shown.height, mouse_point_, &turned))
        return false;
    image_point_ = view::UnrotatePoint(turned, image_width_, image_height_, turns);
    return true;
}

view::POINT VideoView::ImageToClient(const view::POINT& image_point) const {
    const int turns = shown_.quarter_turns;
    const view::PictureSize shown = view::RotateSize(image_width_, image_height_, turns);
    const view::POINT clamped{std::clamp<LONG>(image_point.x, 0, std::max(image_width_ - 1, 0)),
                              std::clamp<LONG>(image_point.y, 0, std::max(image_height_ - 1, 0))};
    return view::ImageToClient(display_rect_, shown.width, shown.height,
                               view::RotatePoint(clamped, image_width_, image_height_, turns));
}

void VideoView::SetMousePoint(const QPoint& position) {
    mouse_point_ = view::POINT{position.x(), position.y()};
    ClientToImage();
}

void VideoView::PostPosition() {
    if (main_window_)
        QCoreApplication::postEvent(main_window_, new QEvent(kViewPositionEvent));
}

void VideoView::ShowPointer(int kind) {
    if (kind < 0 || kind >= view::kCursorKindCount)
        kind = 0;
    if (kind == pointer_kind_)
        return;
    pointer_kind_ = kind;
    setCursor(cursors_.ForKind(kind));
}

void VideoView::mousePressEvent(QMouseEvent* event) {
    SetMousePoint(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (!Playing())
            ShowPointer(0);
        else if (effect_.kind != view::ShowEffectKind::kNone)
            view::EffectPress(effect_, EffectArea(), mouse_point_);
        else if (page_show_.Press(event->position().toPoint()))
            update();
        else if (mouse_input_ && !capture_show_.Active() && !page_show_.Flattening())
            mouse_input_->OnImageMouseDown(image_point_);
    } else if (event->button() == Qt::RightButton) {
        if (mouse_input_ == nullptr || mouse_input_->SelectToolActive()) {
            QMenu* menu = ContextMenu();
            if (QAction* chosen = menu->exec(event->globalPosition().toPoint()))
                OnCommand(chosen->data().toUInt());
        }
    }
    QWidget::mousePressEvent(event);
}

void VideoView::mouseMoveEvent(QMouseEvent* event) {
    SetMousePoint(event->position().toPoint());
    PostPosition();
    if (!Playing()) {
        ShowPointer(0);
        return;
    }
    if (effect_.kind != view::ShowEffectKind::kNone) {
        if (!(event->buttons() & Qt::LeftButton))
            view::EffectRelease(effect_); // a release that went elsewhere
        if (view::EffectMove(effect_, EffectArea(), mouse_point_))
            update();
        ShowPointer(view::EffectPointer(effect_, EffectArea(), mouse_point_));
        return;
    }
    if (page_show_.Dragging()) {
        if (page_show_.Move(event->position().toPoint()))
            update();
        return;
    }
    // Captures shown in panes, or the page flattened: the picture's pixels
    // are elsewhere on the view, so nothing is drawn until the view shows
    // the camera's picture again.
    if (mouse_input_ == nullptr || capture_show_.Active() || page_show_.Flattening()) {
        ShowPointer(0);
        return;
    }
    mouse_input_->OnImageMouseMove(image_point_, (event->buttons() & Qt::LeftButton) != 0);
    // Over the picture only; -1 while a drawing or a group drag goes on.
    const int kind = mouse_input_->PointerKind();
    if (kind >= 0 && view::PointInRect(display_rect_, mouse_point_))
        ShowPointer(kind);
}

void VideoView::mouseReleaseEvent(QMouseEvent* event) {
    SetMousePoint(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (!Playing())
            ShowPointer(0);
        else if (effect_.kind != view::ShowEffectKind::kNone)
            view::EffectRelease(effect_);
        else if (page_show_.Dragging())
            page_show_.Release();
        else if (mouse_input_ && !capture_show_.Active() && !page_show_.Flattening())
            mouse_input_->OnImageMouseUp(image_point_);
    }
    QWidget::mouseReleaseEvent(event);
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (effect_.kind != view::ShowEffectKind::kNone) {
        mousePressEvent(event); // a quick second grab, not a zoom step
        return;
    }
    mouse_point_ = view::POINT{event->position().toPoint().x(), event->position().toPoint().y()};
    if (event->button() != Qt::LeftButton || !Playing() || capture_show_.Active() ||
        !view::PointInRect(display_rect_, mouse_point_))
        return;
    ClientToImage();
    if (mouse_input_ && mouse_input_->OnImageDoubleClick(image_point_))
        return;
    SetZoomCommand(view::NextZoomCommand(view::ZoomCommandFromMode(zoom_mode_)));
    ClientToImage();
}

void VideoView::wheelEvent(QWheelEvent* event) {
    if (effect_.kind == view::ShowEffectKind::kNone || !Playing()) {
        QWidget::wheelEvent(event);
        return;
    }
    if (view::EffectWheel(effect_, EffectArea(), event->angleDelta().y() / 120.0))
        update();
}

void VideoView::keyPressEvent(QKeyEvent* event) {
    // A full-screen view is a window of its own and gets the keys itself.
    if (full_screen_ && event->key() == Qt::Key_Escape) {
        ToggleFullScreen();
        return;
    }
    QWidget::keyPressEvent(event);
}

void VideoView::closeEvent(QCloseEvent* event) {
    // Closing the full-screen window returns the view to the main window.
    if (full_screen_) {
        ToggleFullScreen();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// ---- context menu --------------------------------------------------------------

QMenu* VideoView::ContextMenu() {
    if (!context_menu_) {
        context_menu_ = std::make_unique<QMenu>(QStringLiteral("ContextMenu"));
        QAction* full = context_menu_->addAction(QStringLiteral("Full Screen\tCtrl+Shift+Enter"));
        full->setData(cmd::kFullScreen);
        full->setCheckable(true);
        context_menu_->addSeparator();
        auto* group = new QActionGroup(context_menu_.get());
        for (int mode = 0; mode < view::kZoomModeCount; ++mode) {
            QAction* item = context_menu_->addAction(QString::fromUtf8(view::ZoomModeText(mode)));
            item->setData(view::ZoomCommandFromMode(mode));
            item->setCheckable(true);
            group->addAction(item);
        }
    }
    UpdateContextMenu();
    return context_menu_.get();
}

void VideoView::UpdateContextMenu() {
    const bool playing = Playing();
    const uint32_t current = view::ZoomCommandFromMode(zoom_mode_);
    for (QAction* item : context_menu_->actions()) {
        if (item->isSeparator())
            continue;
        const uint32_t id = item->data().toUInt();
        item->setEnabled(playing);
        item->setChecked(id == cmd::kFullScreen ? full_screen_ : id == current);
    }
}

// ---- background ----------------------------------------------------------------

void VideoView::LoadBackground(const QString& path) {
    QImage image(path);
    background_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    update();
}

// ---- frames --------------------------------------------------------------------

bool VideoView::HasFrame() const {
    return presenter_.HasFrame();
}

QImage VideoView::LatestFrame() const {
    const SharedVideoFrame frame = presenter_.Frame();
    if (!frame)
        return QImage();
    return QImage(frame->pixels, frame->width, frame->height, frame->stride, QImage::Format_RGB32)
        .copy();
}

QImage VideoView::ShownFrame() const {
    return view::TurnedImage(LatestFrame(), shown_.quarter_turns);
}

void VideoView::PresentFrame(const uint8_t* pixels, int width, int height, int stride,
                             const RECT& destination) {
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        static_cast<int64_t>(stride) < static_cast<int64_t>(width) * 4)
        return;
    auto copy = std::make_shared<CopiedFrame>();
    const size_t row = static_cast<size_t>(width) * 4;
    try {
        copy->bytes.resize(row * static_cast<size_t>(height));
    } catch (const std::bad_alloc&) {
        return; // out of memory: show nothing rather than crash
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(copy->bytes.data() + row * y, pixels + static_cast<size_t>(y) * stride, row);
    copy->pixels = copy->bytes.data();
    copy->width = width;
    copy->height = height;
    copy->stride = static_cast<int>(row);
    PresentSharedFrame(copy, destination);
}

void VideoView::PresentSharedFrame(const SharedVideoFrame& frame, const RECT& destination) {
    if (!frame || frame->pixels == nullptr || frame->width <= 0 || frame->height <= 0 ||
        static_cast<int64_t>(frame->stride) < static_cast<int64_t>(frame->width) * 4)
        return;
    if (presenter_.Present(frame, destination)) {
        // One request at a time: frames that come meanwhile replace each
        // other instead of queueing. A queued call is safe from any thread
        // and is dropped with the view.
        QMetaObject::invokeMethod(
            this,
            [this] {
                presenter_.RepaintTaken();
                if (!ShowDirect())
                    update();
            },
            Qt::QueuedConnection);
    }
}

void VideoView::ClearVideo() {
    presenter_.Clear();
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

void VideoView::PaintBackground(QPainter& painter) {
    painter.fillRect(rect(), kBackgroundColor);
    if (!background_.isNull()) {
        // The middle of the picture, cut to the view's size.
        const QPoint origin((background_.width() - width()) / 2,
                            (background_.height() - height()) / 2);
        painter.drawImage(QPoint(0, 0), background_, QRect(origin, size()));
    }
}

bool VideoView::DirectAllowed(const view::FramePresenter::Painting& painting) const {
    const VideoFrame* frame = painting.frame.get();
    if (direct_ == nullptr || frame == nullptr || frame->shared_fd < 0 || blanked_ ||
        capture_show_.Active() || page_show_.Active() ||
        view::NormalQuarterTurns(shown_.quarter_turns) != 0 || !shown_.frozen_mark.isEmpty() ||
        effect_.kind != view::ShowEffectKind::kNone || !Playing())
        return false;
    const RECT& d = painting.destination;
    const QRect target(d.left, d.top, d.right - d.left, d.bottom - d.top);
    return frame->width == target.width() && frame->height == target.height() &&
           direct_->Unobstructed(target);
}

bool VideoView::ShowDirect() {
    if (direct_ == nullptr)
        return false;
    const int64_t cpu0 = report_ ? ThreadCpuNs() : 0;
    const view::FramePresenter::Painting peeked = presenter_.Peek();
    const RECT& d = peeked.destination;
    if (!DirectAllowed(peeked) ||
        !direct_->Show(peeked.frame, QRect(d.left, d.top, d.right - d.left, d.bottom - d.top)))
        return false;
    const view::FramePresenter::Painting painting = presenter_.TakeForPaint();
    if (report_ && painting.frame) {
        const int64_t captured = painting.frame->capture_ns;
        report_->OnPaint(painting.first, captured >= 0 ? SteadyNs() - captured : -1,
                         ThreadCpuNs() - cpu0, d.right - d.left, d.bottom - d.top);
    }
    return true;
}

uint64_t VideoView::DirectCount() const {
    return direct_ != nullptr ? direct_->Shown() : 0;
}

bool VideoView::PaintFrame(QPainter& painter, const view::FramePresenter::Painting& painting) {
    const VideoFrame* frame = painting.frame.get();
    const RECT& d = painting.destination;
    const int dw = d.right - d.left;
    const int dh = d.bottom - d.top;
    if (frame == nullptr || !IsVisibleDestination(dw, dh))
        return false;
    const QRect target(d.left, d.top, dw, dh);
    // Black only where the picture does not reach.
    const QRegion around = QRegion(rect()) - QRegion(target);
    for (const QRect& part : around)
        painter.fillRect(part, Qt::black);
    // Page mode's corners and handles are in the camera's pixels: a smaller
    // frame decoded before it began is shown as it is.
    if (DirectAllowed(painting) && direct_->Show(painting.frame, target))
        return true;
    const bool camera_size = frame->width == image_width_ && frame->height == image_height_;
    // The page has an aspect of its own. While the whole picture shows, the
    // page is fitted into the whole view (on its side in a turned picture's
    // narrow place it would be small); a picture zoomed beyond the view
    // zooms the page with it.
    const QRect page_area = rect().contains(target) ? rect() : target;
    if (camera_size && page_show_.Paint(painter, *frame, page_area, shown_.quarter_turns))
        return true;
    if (view::NormalQuarterTurns(shown_.quarter_turns) == 0 && shown_.frozen_mark.isEmpty()) {
        frame_painter_.Draw(painter, *frame, target);
    } else {
        // The frame's own pixels, wrapped: no copy, no conversion (B, G, R,
        // X is what RGB32 holds).
        const QImage image(frame->pixels, frame->width, frame->height, frame->stride,
                           QImage::Format_RGB32);
        view::DrawShownFrame(painter, image, target, shown_);
    }
    return true;
}

void VideoView::SetBlanked(bool blanked) {
    if (blanked == blanked_)
        return;
    blanked_ = blanked;
    update();
}

void VideoView::SetShowEffect(view::ShowEffectKind kind) {
    if (kind == effect_.kind)
        return;
    effect_ = view::StartShowEffect(kind);
    ShowPointer(0);
    update();
}

void VideoView::SetCaptureShow(view::CaptureShow show) {
    capture_show_ = std::move(show);
    update();
}

RECT VideoView::EffectArea() const {
    return view::VisibleArea(display_rect_, width(), height());
}

void VideoView::paintEvent(QPaintEvent*) {
    const int64_t cpu0 = report_ ? ThreadCpuNs() : 0;
    QPainter painter(this);
    view::FramePresenter::Painting painting = presenter_.TakeForPaint();
    if (direct_ != nullptr && !DirectAllowed(painting))
        direct_->Withdraw();
    if (blanked_) {
        // The frame is taken all the same, so the presenter goes on.
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (capture_show_.Active()) {
        view::PaintCaptureShow(painter, rect(), capture_show_,
                               Playing() ? painting.frame.get() : nullptr, shown_.quarter_turns);
        return;
    }
    if (painting.frame && !Playing()) {
        // The picture stopped: what is held is stale.
        painting = {};
        presenter_.Clear();
        if (on_stopped_)
            on_stopped_();
    }
    if (!PaintFrame(painter, painting)) {
        PaintBackground(painter);
        return;
    }
    // Over the frame, shapes and all, and on the screen only.
    view::PaintShowEffect(painter, effect_, EffectArea());
    if (report_) {
        const RECT& d = painting.destination;
        const int64_t captured = painting.frame->capture_ns;
        report_->OnPaint(painting.first, captured >= 0 ? SteadyNs() - captured : -1,
                         ThreadCpuNs() - cpu0, d.right - d.left, d.bottom - d.top);
    }
}

void VideoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CalcDisplayRect(width(), height());
    update();
}
