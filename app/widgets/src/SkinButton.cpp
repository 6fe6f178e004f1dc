#include "widgets/SkinButton.h"

#include "common/DlgItem.h"
#include "platform/install_layout.h"
#include "platform/system.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QTimerEvent>
#include <QToolTip>

namespace {

// Outlines the pixels of r's edge, one pixel wide (r in Qt's inclusive
// convention: right() and bottom() are the last pixels).
void FrameRect(QPainter& painter, const QRect& r, const QColor& colour) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
}

bool Given(const char* path) {
    return path != nullptr && path[0] != '\0';
}

QImage LoadSkinBitmap(const char* path) {
    if (!Given(path))
        return QImage();
    const QImage image(QString::fromUtf8(path));
    return image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

SkinState ChooseSkinState(const ButtonLook& look) {
    if (look.disabled)
        return SkinState::Gray;
    if (look.selected || look.pressed)
        return SkinState::ClickDown;
    if (look.hover)
        return SkinState::MouseOver;
    return SkinState::Normal;
}

std::string SkinFolder() {
    return platform::DataFolder() + "Skin";
}

QEvent::Type ButtonCommandEvent::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// ---- tooltip -------------------------------------------------------------------

// The tooltip control of one button: shows its text once the cursor has
// rested on the button for kToolTipDelayMs. It sees every event of the button
// before the button handles it (SkinButton::event), so it follows the mouse.
class SkinButton::ToolTip {
public:
    explicit ToolTip(SkinButton* owner) : owner_(owner) {}
    ~ToolTip() { Hide(); }
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    void SetText(const QString& text) { text_ = text; }
    const QString& Text() const { return text_; }
    bool Pending() const { return delay_.isActive(); }
    bool OwnsTimer(int id) const { return id == delay_.timerId(); }

    void Relay(const QEvent* event) {
        switch (event->type()) {
        case QEvent::MouseMove:
            // The delay counts from the last movement, as the cursor rests.
            if (!Showing())
                delay_.start(kToolTipDelayMs, owner_);
            break;
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Hide:
        case QEvent::EnabledChange:
            delay_.stop();
            Hide();
            break;
        default:
            break;
        }
    }

    void OnDelay() {
        delay_.stop();
        const QPoint cursor = QCursor::pos();
        if (text_.isEmpty() || !owner_->isVisible() || !owner_->CursorInside(cursor))
            return;
        // With the button's rectangle the tip goes away when the cursor leaves.
        QToolTip::showText(cursor, text_, owner_, owner_->rect());
        shown_ = true;
    }

private:
    bool Showing() const { return shown_ && QToolTip::isVisible(); }
    void Hide() {
        if (shown_ && QToolTip::isVisible() && QToolTip::text() == text_)
            QToolTip::hideText();
        shown_ = false;
    }

    SkinButton* owner_;
    QString text_;
    QBasicTimer delay_;
    bool shown_ = false; // this tooltip put the current tip on screen
};

// ---- button --------------------------------------------------------------------

const QColor SkinButton::kOuterFrame(35, 96, 177);
const QColor SkinButton::kInnerFrame(186, 244, 255);
const QColor SkinButton::kDefaultFrame(250, 150, 50);

SkinButton::SkinButton(QWidget* parent) : SkinButton(QString(), parent) {}

SkinButton::SkinButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    // Hover starts with a mouse move, which needs tracking without a button.
    setMouseTracking(true);
    // Nothing is erased before painting: the parent shows through wherever a
    // face leaves pixels undrawn, and a bitmap face covers the rest.
    setAutoFillBackground(false);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (QWidget* parent = parentWidget()) {
            ButtonCommandEvent command(GetDlgCtrlId(this));
            QApplication::sendEvent(parent, &command);
        }
    });
}

SkinButton::~SkinButton() = default;

void SkinButton::SetSkinBitmaps(const char* normal, const char* mouse_over, const char* click_down,
                                const char* gray) {
    if (!Given(normal) || !Given(mouse_over) || !Given(click_down)) {
        bitmap_mode_ = false;
        return;
    }
    const char* paths[kSkinStates] = {normal, mouse_over, click_down, gray};
    for (int i = 0; i < kSkinStates; ++i)
        bitmaps_[i] = LoadSkinBitmap(paths[i]);
    bitmap_mode_ = true;
}

void SkinButton::SetToolTipText(const QString& text) {
    if (!tooltip_)
        tooltip_ = std::make_unique<ToolTip>(this);
    tooltip_->SetText(text);
    // Kept as the widget's tip too, so that it can be read like any other;
    // Qt's own tip event is swallowed in event().
    setToolTip(text);
}

QString SkinButton::ToolTipText() const {
    return tooltip_ ? tooltip_->Text() : QString();
}

bool SkinButton::ToolTipPending() const {
    return tooltip_ && tooltip_->Pending();
}

bool SkinButton::event(QEvent* event) {
    if (tooltip_)
        tooltip_->Relay(event);
    // A press that can no longer end in a release here must not leave the
    // ClickDown face behind: a disabled or hidden button gets no release.
    if ((event->type() == QEvent::EnabledChange && !isEnabled()) || event->type() == QEvent::Hide)
        pressed_ = false;
    // A tooltip set as the widget's (a language switch does) is ours too.
    if (event->type() == QEvent::ToolTipChange) {
        if (!tooltip_)
            tooltip_ = std::make_unique<ToolTip>(this);
        if (tooltip_->Text() != toolTip())
            tooltip_->SetText(toolTip());
    }
    if (event->type() == QEvent::ToolTip && tooltip_) {
        event->accept(); // shown by our own tooltip, with its own delay
        return true;
    }
    return QPushButton::event(event);
}

ButtonLook SkinButton::CurrentLook() const {
    ButtonLook look;
    look.disabled = !isEnabled();
    look.selected = isDown() || isChecked(); // a chosen tool stays held down
    look.pressed = pressed_;
    look.hover = hover_;
    return look;
}

bool SkinButton::CursorInside(const QPoint& global) const {
    return QRect(mapToGlobal(QPoint(0, 0)), size()).contains(global);
}

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
    if (!hover_ && CursorInside(event->globalPosition().toPoint())) {
        hover_ = true;
        hover_timer_.start(kHoverPeriodMs, this);
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QPushButton::mousePressEvent(event);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = false;
        update();
    }
    // May emit clicked(), whose receivers may delete this button: nothing of
    // the button is touched afterwards.
    QPushButton::mouseReleaseEvent(event);
}

void SkinButton::timerEvent(QTimerEvent* event) {
    if (tooltip_ && tooltip_->OwnsTimer(event->timerId())) {
        tooltip_->OnDelay();
        return;
    }
    if (event->timerId() == hover_timer_.timerId()) {
        OnTimer(kHoverTimer);
        return;
    }
    QPushButton::timerEvent(event);
}

void SkinButton::OnTimer(int id) {
    if (id != kHoverTimer)
        return;
    // Ends hover even when no mouse message reaches the button any more.
    if (!CursorInside(QCursor::pos())) {
        hover_ = false;
        hover_timer_.stop();
        update();
    }
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ButtonLook look = CurrentLook();
    if (bitmap_mode_) {
        const QImage& face = bitmaps_[static_cast<int>(ChooseSkinState(look))];
        if (!face.isNull()) {
            // The bitmap's top-left corner at the button's size, unscaled; a
            // bigger bitmap is cut, the button keeps its size.
            const QRect source = QRect(QPoint(0, 0), size()).intersected(face.rect());
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPoint(0, 0), face, source);
            return;
        }
        // A state whose file was missing: the text face keeps the button
        // visible and recognisable.
    }
    DrawTextFace(painter, look);
}

void SkinButton::DrawTextFace(QPainter& painter, const ButtonLook& look) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool is_default = option.features & QStyleOptionButton::DefaultButton;
    const bool held = look.selected || look.pressed;

    const QRect r = rect();
    QRect q = r.adjusted(2, 0, -2, -2);
    const QRect d = r.adjusted(1, 1, -1, -1);
    if (!isFlat()) {
        if (held)
            q.setTop(q.top() + 2);
        FrameRect(painter, q, kInnerFrame);
        FrameRect(painter, r, kOuterFrame);
    }
    if (!held && !look.hover && is_default)
        FrameRect(painter, d, kDefaultFrame);

    // Grey whenever disabled, also for a disabled default button.
    painter.setPen(palette().color(look.disabled ? QPalette::Disabled : QPalette::Active,
                                   QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text());
}
