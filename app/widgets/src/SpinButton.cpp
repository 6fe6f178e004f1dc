#include "SpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 60;

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(kRepeatDelayMs);
    button->setAutoRepeatInterval(kRepeatIntervalMs);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace

bool ParseBoxInteger(const QString& text, int32_t* value) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    const qsizetype first_digit = i;
    // Past 2^31 the value is clamped anyway: stop accumulating there.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        magnitude = std::min(kLimit, magnitude * 10 + (text[i].unicode() - u'0'));
        ++i;
    }
    if (i == first_digit)
        return false;
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    const int64_t signed_value = negative ? -magnitude : magnitude;
    *value = static_cast<int32_t>(std::clamp<int64_t>(
        signed_value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    return true;
}

SpinButton::SpinButton(QWidget* parent) : QWidget(parent) {
    up_ = MakeArrow(this, Qt::UpArrow);
    down_ = MakeArrow(this, Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void SpinButton::SetBuddy(QLineEdit* buddy) {
    if (buddy_ != nullptr)
        buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (buddy_ != nullptr)
        buddy_->installEventFilter(this);
    ReadBuddy();
}

void SpinButton::SetRange(int32_t min, int32_t max) {
    min_ = std::min(min, max);
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void SpinButton::ReadBuddy() {
    int32_t value = 0;
    if (buddy_ != nullptr && ParseBoxInteger(buddy_->text(), &value))
        position_ = value;
}

void SpinButton::Step(int direction) {
    if (!isEnabled())
        return;
    ReadBuddy();
    int64_t next = int64_t{position_} + (direction > 0 ? 1 : -1);
    if (!stops_.empty()) {
        next = direction > 0 ? max_ : min_;
        if (direction > 0) {
            const auto above = std::upper_bound(stops_.begin(), stops_.end(), position_);
            if (above != stops_.end())
                next = *above;
        } else {
            const auto below = std::lower_bound(stops_.begin(), stops_.end(), position_);
            if (below != stops_.begin())
                next = *std::prev(below);
        }
    }
    position_ = static_cast<int32_t>(std::clamp<int64_t>(next, min_, max_));
    if (buddy_ != nullptr)
        buddy_->setText(QString::number(position_));
    if (on_change_)
        on_change_(position_);
}

void SpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

bool SpinButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
