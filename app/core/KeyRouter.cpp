#include "KeyRouter.h"

#include "AppTrace.h"
#include "CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

// Ctrl + key, on release: the command it stands for, and whether it moves the
// optics (allowed only where the family lets keys do that).
struct ControlShortcut {
    int key;
    uint32_t id;
    bool optics;
};
constexpr ControlShortcut kControlShortcuts[] = {
    {Qt::Key_B, 36799, false}, {Qt::Key_L, 36800, false}, {Qt::Key_U, 36803, false},
    {Qt::Key_M, 36804, false}, {Qt::Key_K, 36805, false}, {Qt::Key_G, 36806, false},
    {Qt::Key_I, 36797, true},  {Qt::Key_O, 36798, true},  {Qt::Key_R, 36801, true},
    {Qt::Key_N, 36802, true},
};

bool IsStrictAncestor(const QObject* ancestor, const QObject* object) {
    for (const QObject* o = object ? object->parent() : nullptr; o != nullptr; o = o->parent()) {
        if (o == ancestor)
            return true;
    }
    return false;
}

} // namespace

CKeyRouter::CKeyRouter(QWidget* window, KeyActions* actions)
    : QObject(window), window_(window), actions_(actions) {
    qApp->installEventFilter(this);
}

CKeyRouter::~CKeyRouter() {
    qApp->removeEventFilter(this);
}

bool CKeyRouter::eventFilter(QObject* watched, QEvent* event) {
    return PreTranslateMessage(watched, event);
}

bool CKeyRouter::OwnsTarget(const QObject* target) const {
    const auto* widget = qobject_cast<const QWidget*>(target);
    if (widget == nullptr)
        return false;
    const QWidget* top = widget->window();
    if (top == window_)
        return true;
    // The full-screen view is a plain window parented to ours; dialogs and
    // popups (menus) keep their keys.
    return top->windowType() == Qt::Window && IsStrictAncestor(window_, top);
}

bool CKeyRouter::FirstDelivery(QObject* target, QEvent* event) {
    if (event == last_event_ && last_target_ && IsStrictAncestor(target, last_target_)) {
        last_target_ = target;
        return false;
    }
    last_event_ = event;
    last_target_ = target;
    return true;
}

bool CKeyRouter::PreTranslateMessage(QObject* target, QEvent* event) {
    switch (event->type()) {
    case QEvent::Shortcut: {
        // Play, Stop, Capture and the Control menu answer Ctrl + key on its
        // release, under the rules here; their menu shortcuts only label the
        // items.
        const auto* action = qobject_cast<const QAction*>(target);
        if (action == nullptr || !IsStrictAncestor(window_, action))
            return false;
        bool ok = false;
        const uint32_t id = action->data().toUInt(&ok);
        return ok && (id == cmd::kPlay || id == cmd::kStop || id == cmd::kCapture ||
                      (id >= cmd::kControlFirst && id <= cmd::kControlLast));
    }
    case QEvent::KeyRelease: {
        if (!OwnsTarget(target) || !FirstDelivery(target, event))
            return false;
        TOVEK_TRACE_HANDLER("TovekCameraDlg", "PreTranslateMessage");
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (key.key() == Qt::Key_Escape)
            return true;
        if (!key.isAutoRepeat() && (key.modifiers() & Qt::ControlModifier))
            OnControlKeyRelease(key);
        return false;
    }
    case QEvent::KeyPress: {
        if (!OwnsTarget(target))
            return false;
        const auto& key = static_cast<const QKeyEvent&>(*event);
        switch (key.key()) {
        case Qt::Key_Escape:
            actions_->LeaveFullScreen();
            return true;
        case Qt::Key_Left:
            actions_->NudgeSelection(-1, 0);
            return true;
        case Qt::Key_Up:
            actions_->NudgeSelection(0, -1);
            return true;
        case Qt::Key_Right:
            actions_->NudgeSelection(1, 0);
            return true;
        case Qt::Key_Down:
            actions_->NudgeSelection(0, 1);
            return true;
        case Qt::Key_Delete:
            actions_->DeleteSelection();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void CKeyRouter::OnControlKeyRelease(const QKeyEvent& key) {
    if (!actions_->KeyAttached())
        return;
    const bool playing = actions_->KeyPlaying();
    for (const ControlShortcut& shortcut : kControlShortcuts) {
        if (shortcut.key != key.key())
            continue;
        if (playing && (!shortcut.optics || actions_->KeysMoveOptics()))
            actions_->KeyCommand(shortcut.id);
        return;
    }
    switch (key.key()) {
    case Qt::Key_E:
        if (playing)
            actions_->KeyCommand(cmd::kCapture);
        break;
    case Qt::Key_P:
        if (!playing)
            actions_->KeyCommand(cmd::kPlay);
        break;
    case Qt::Key_T:
        if (playing) {
            actions_->KeyCommand(cmd::kStop);
            actions_->LeaveFullScreen();
        }
        break;
    default:
        break;
    }
}
