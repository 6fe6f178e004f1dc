#include "window/KeyRouter.h"

#include "common/AppTrace.h"
#include "common/CommandIds.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
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

// A presenter remote's key: the command it runs, or when that is not
// enabled the other one (0: none).
struct PresenterKey {
    int key;
    uint32_t first;
    uint32_t otherwise;
    bool shift_too; // some remotes send it with Shift
};
constexpr PresenterKey kPresenterKeys[] = {
    {Qt::Key_PageDown, cmd::kCapture, 0, false},
    {Qt::Key_PageUp, cmd::kStopRecord, cmd::kStartRecord, false},
    // Blank, as in a presentation; a stopped picture plays.
    {Qt::Key_B, cmd::kBlank, cmd::kPlay, false},
    {Qt::Key_Period, cmd::kBlank, cmd::kPlay, false},
    {Qt::Key_F5, cmd::kFullScreen, 0, true},
};

// The graphic panel's tools, by the letter of their name.
struct ToolKey {
    int key;
    annotation::DrawTool tool;
};
constexpr ToolKey kToolKeys[] = {
    {Qt::Key_S, annotation::DrawTool::kSelect},    {Qt::Key_L, annotation::DrawTool::kLine},
    {Qt::Key_R, annotation::DrawTool::kRectangle}, {Qt::Key_O, annotation::DrawTool::kCircle},
    {Qt::Key_C, annotation::DrawTool::kCurve},     {Qt::Key_T, annotation::DrawTool::kText},
    {Qt::Key_A, annotation::DrawTool::kArrow},     {Qt::Key_H, annotation::DrawTool::kHighlighter},
    {Qt::Key_E, annotation::DrawTool::kEraser},
};

// The view's own items, on release with exactly these modifiers.
struct ViewKey {
    int key;
    Qt::KeyboardModifier modifier;
    uint32_t id;
};
constexpr ViewKey kViewKeys[] = {
    {Qt::Key_F, Qt::ControlModifier, cmd::kFreeze},
    {Qt::Key_F8, Qt::NoModifier, cmd::kRotateRight},
    {Qt::Key_F7, Qt::NoModifier, cmd::kRotateLeft},
    {Qt::Key_F6, Qt::NoModifier, cmd::kPageMode},
    {Qt::Key_F6, Qt::ShiftModifier, cmd::kDocumentFilter},
};

bool IsViewCommand(uint32_t id) {
    for (const ViewKey& key : kViewKeys)
        if (key.id == id)
            return true;
    return false;
}

// Widgets that take typed text keep every key.
bool TakesText(const QObject* target) {
    return qobject_cast<const QLineEdit*>(target) != nullptr ||
           qobject_cast<const QTextEdit*>(target) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(target) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(target) != nullptr;
}

bool IsStrictAncestor(const QObject* ancestor, const QObject* object) {
    for (const QObject* o = object ? object->parent() : nullptr; o != nullptr; o = o->parent()) {
        if (o == ancestor)
            return true;
    }
    return false;
}

} // namespace

KeyRouter::KeyRouter(QWidget* window, KeyActions* actions)
    : QObject(window), window_(window), actions_(actions) {
    qApp->installEventFilter(this);
}

KeyRouter::~KeyRouter() {
    qApp->removeEventFilter(this);
}

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
    return PreTranslateMessage(watched, event);
}

bool KeyRouter::OwnsTarget(const QObject* target) const {
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

bool KeyRouter::FirstDelivery(QObject* target, QEvent* event) {
    if (event == last_event_ && last_target_ && IsStrictAncestor(target, last_target_)) {
        last_target_ = target;
        return false;
    }
    last_event_ = event;
    last_target_ = target;
    return true;
}

bool KeyRouter::PreTranslateMessage(QObject* target, QEvent* event) {
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
                      (id >= cmd::kControlFirst && id <= cmd::kControlLast) || IsViewCommand(id));
    }
    case QEvent::KeyRelease: {
        if (!OwnsTarget(target) || !FirstDelivery(target, event))
            return false;
        TOVEK_TRACE_HANDLER("TovekCameraDlg", "PreTranslateMessage");
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (key.key() == Qt::Key_Escape)
            return true;
        const Qt::KeyboardModifiers modifiers = ChordModifiers(key);
        if (OnViewKeyRelease(target, key, modifiers))
            return true;
        if (!key.isAutoRepeat() && (modifiers & Qt::ControlModifier))
            OnControlKeyRelease(key);
        return false;
    }
    case QEvent::ShortcutOverride: {
        // A press that matches a menu shortcut reaches us only as this.
        if (!OwnsTarget(target))
            return false;
        auto& key = static_cast<QKeyEvent&>(*event);
        NotePress(key);
        // While a text is typed, its letters are letters, whatever menu
        // item they would otherwise trigger.
        if (actions_->TypingText() && !TakesText(target) &&
            !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            key.accept();
        return false;
    }
    case QEvent::KeyPress: {
        if (!OwnsTarget(target))
            return false;
        const auto& key = static_cast<const QKeyEvent&>(*event);
        NotePress(key);
        if (actions_->TypingText() && !TakesText(target) && OnTextKey(key))
            return true;
        switch (key.key()) {
        case Qt::Key_Escape:
            // One step back at a time: the spotlight or curtain first.
            if (!actions_->EndShowEffect())
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
            return FirstDelivery(target, event) &&
                   (OnEditKey(target, key) || OnToolKey(target, key) ||
                    OnPresenterKey(target, key));
        }
    }
    default:
        return false;
    }
}

void KeyRouter::NotePress(const QKeyEvent& press) {
    if (press.isAutoRepeat())
        return;
    pressed_key_ = press.key();
    pressed_modifiers_ = press.modifiers();
}

Qt::KeyboardModifiers KeyRouter::ChordModifiers(const QKeyEvent& release) const {
    Qt::KeyboardModifiers modifiers = release.modifiers();
    if (release.key() == pressed_key_)
        modifiers |= pressed_modifiers_;
    return modifiers & ~Qt::KeypadModifier;
}

void KeyRouter::OnControlKeyRelease(const QKeyEvent& key) {
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

bool KeyRouter::OnViewKeyRelease(const QObject* target, const QKeyEvent& key,
                                 Qt::KeyboardModifiers modifiers) {
    for (const ViewKey& view_key : kViewKeys) {
        if (view_key.key != key.key() || modifiers != view_key.modifier || TakesText(target))
            continue;
        if (!key.isAutoRepeat())
            actions_->KeyMenuCommand(view_key.id);
        return true;
    }
    return false;
}

bool KeyRouter::OnEditKey(const QObject* target, const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = modifiers == Qt::ControlModifier;
    uint32_t id = 0;
    if (key.key() == Qt::Key_Z && ctrl)
        id = cmd::kUndo;
    else if ((key.key() == Qt::Key_Y && ctrl) ||
             (key.key() == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier)))
        id = cmd::kRedo;
    else if (key.key() == Qt::Key_H && ctrl)
        id = cmd::kHideAnnotations;
    else if (key.key() == Qt::Key_C && modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        id = cmd::kCopyText;
    // A text field takes back its own typing.
    if (id == 0 || TakesText(target))
        return false;
    // Undo and redo repeat while held, as in any editor; hiding does not.
    if ((id != cmd::kHideAnnotations && id != cmd::kCopyText) || !key.isAutoRepeat())
        actions_->KeyMenuCommand(id);
    return true;
}

bool KeyRouter::OnTextKey(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const Qt::KeyboardModifiers ctrl_alt = Qt::ControlModifier | Qt::AltModifier;
    // Some keyboards send AltGr's characters (@, the euro sign) as Ctrl+Alt.
    const bool alt_gr =
        (modifiers & ctrl_alt) == ctrl_alt && !key.text().isEmpty() && key.text().at(0).isPrint();
    if ((modifiers & ctrl_alt) && !alt_gr) {
        // Ctrl+Z and the like act on the finished text.
        actions_->FinishText();
        return false;
    }
    switch (key.key()) {
    case Qt::Key_Escape:
        actions_->FinishText();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        actions_->TypeText(annotation::TextKey::kNewLine, {});
        return true;
    case Qt::Key_Backspace:
        actions_->TypeText(annotation::TextKey::kBackspace, {});
        return true;
    default:
        break;
    }
    const QString text = key.text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        const QByteArray utf8 = text.toUtf8();
        actions_->TypeText(annotation::TextKey::kCharacters,
                           std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
        return true;
    }
    // Function keys keep their menu items (F5 full screen, F7 and F8 turn);
    // arrows and Delete would edit the shapes under the text.
    return key.key() < Qt::Key_F1 || key.key() > Qt::Key_F35;
}

bool KeyRouter::OnToolKey(const QObject* target, const QKeyEvent& key) {
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || TakesText(target))
        return false;
    for (const ToolKey& tool_key : kToolKeys) {
        if (tool_key.key == key.key())
            return actions_->KeyTool(tool_key.tool);
    }
    return false;
}

bool KeyRouter::OnPresenterKey(const QObject* target, const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    for (const PresenterKey& presenter : kPresenterKeys) {
        if (presenter.key != key.key())
            continue;
        const bool allowed =
            modifiers == Qt::NoModifier || (presenter.shift_too && modifiers == Qt::ShiftModifier);
        if (!allowed || TakesText(target))
            return false;
        if (key.isAutoRepeat())
            return true;
        if (!actions_->KeyMenuCommand(presenter.first) && presenter.otherwise != 0)
            actions_->KeyMenuCommand(presenter.otherwise);
        return true;
    }
    return false;
}
