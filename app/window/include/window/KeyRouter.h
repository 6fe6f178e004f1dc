// The main window's key pre-translation: sees every key event of the main
// window and of its full-screen view before they are dispatched, once per
// key (Qt hands an ignored key event on to each parent in turn; the router
// acts on the first delivery only).
//
//   release with Ctrl held: B L U M K G (as the Control menu), I O R N (the
//     same, where the family lets keys move the optics), E capture, P play,
//     T stop and leave full screen; then normal dispatch. Esc's release is
//     consumed.
//   release, the view's own items (not in a text field): Ctrl+F Freeze, F8
//     Rotate Right, F7 Rotate Left, each as its menu item would, only while
//     that is enabled; consumed. On release, and not by their menu
//     shortcuts, so that they work the same in the full-screen view.
//   press, while a text is typed (not in a text field): characters,
//     Enter and Backspace write into it, Esc ends it; other keys without
//     Ctrl or Alt are consumed, function keys excepted; a Ctrl or Alt
//     chord ends the text and goes on.
//   press, the tool keys (no modifier, not in a text field, the picture
//     playing and the graphic panel shown): S select, L line, R rectangle,
//     O ellipse, C curve, T text, A arrow, H highlighter, E eraser.
//   press: Esc ends the spotlight or curtain, else leaves full screen; it
//     is consumed, so it never closes the window; the arrows nudge and
//     Delete deletes the annotation selection;
//     Enter is consumed (Ctrl+Shift+Enter reaches Full Screen through its
//     menu shortcut).
//   press, the keys a presenter remote sends (no other key of the window
//     uses them; without Ctrl or Alt, not in a text field): Page Down
//     Capture; Page Up Stop Record while recording, else Start Record; B and
//     '.' (a remote's "black screen") Blank Screen while playing (the
//     shown picture black and back), else Play; F5 and Shift+F5 (a remote's "start
//     show") Full Screen. Each runs as its menu item would, only while that
//     is enabled; consumed.
//
// Dialogs and other top-level windows of the program keep their keys: their
// editing keys and default buttons are theirs.
#pragma once

#include "annotation/TextRules.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <string>

class QKeyEvent;
class QWidget;

// What the keys do; implemented by the main window. User-interface thread.
class KeyActions {
public:
    virtual bool KeyAttached() const = 0;
    virtual bool KeyPlaying() const = 0;
    // Ctrl+I, O, R and N move zoom and focus.
    virtual bool KeysMoveOptics() const = 0;
    // Runs the handler of command id (play, stop, capture, Control items).
    virtual void KeyCommand(uint32_t id) = 0;
    // Runs command id as its menu item would: only while the item is
    // enabled. True when it ran.
    virtual bool KeyMenuCommand(uint32_t id) = 0;
    virtual void LeaveFullScreen() = 0;
    // Ends the captures shown (back to live), else the spotlight or curtain;
    // false when none was on.
    virtual bool EndShowEffect() = 0;
    virtual void NudgeSelection(int dx, int dy) = 0;
    virtual void DeleteSelection() = 0;
    // The text being typed, if any.
    virtual bool TypingText() const = 0;
    virtual void TypeText(annotation::TextKey key, const std::string& utf8) = 0;
    virtual void FinishText() = 0;
    // Chooses the tool of a tool key; false when tool keys do nothing now.
    virtual bool KeyTool(annotation::DrawTool tool) = 0;

protected:
    ~KeyActions() = default;
};

class KeyRouter : public QObject {
public:
    // Watches the whole application for window's keys; removed again when
    // the router is destroyed.
    KeyRouter(QWidget* window, KeyActions* actions);
    ~KeyRouter() override;

    // True when the event is consumed. Public for the window's own filter
    // and for tests.
    bool PreTranslateMessage(QObject* target, QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether target belongs to the main window or its full-screen view (a
    // window of its own, but parented to ours), and not to a dialog.
    bool OwnsTarget(const QObject* target) const;
    // False for the second and later deliveries of one key event to the
    // parents of its first receiver.
    bool FirstDelivery(QObject* target, QEvent* event);
    // The modifiers a released key counts with: those held at its release
    // and, for the key pressed last, those held at its press. Fast typing
    // and key senders (xdotool key ctrl+f) lift Ctrl before the letter.
    Qt::KeyboardModifiers ChordModifiers(const QKeyEvent& release) const;
    void NotePress(const QKeyEvent& press);
    void OnControlKeyRelease(const QKeyEvent& key);
    // True when key is one of the view's own keys (and so consumed).
    bool OnViewKeyRelease(const QObject* target, const QKeyEvent& key,
                          Qt::KeyboardModifiers modifiers);
    // True when key is one of the Edit menu's: Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z
    // or Ctrl+H (and so consumed).
    bool OnEditKey(const QObject* target, const QKeyEvent& key);
    // True when key went into the text being typed (and so is consumed).
    bool OnTextKey(const QKeyEvent& key);
    // True when key is a tool key that chose its tool.
    bool OnToolKey(const QObject* target, const QKeyEvent& key);
    // True when key is a presenter remote's key (and so consumed).
    bool OnPresenterKey(const QObject* target, const QKeyEvent& key);

    QWidget* const window_;
    KeyActions* const actions_;
    // The key event seen last and where; the same event reaching a parent of
    // that receiver is its propagation.
    const QEvent* last_event_ = nullptr;
    QPointer<QObject> last_target_;
    // The last key pressed in our windows and the modifiers held then (UI
    // thread only).
    int pressed_key_ = 0;
    Qt::KeyboardModifiers pressed_modifiers_;
};
