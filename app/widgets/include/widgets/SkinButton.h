// SkinButton: the skinned push button of every panel and dialog. It shows one
// of four bitmaps from the skin folder, chosen by its state (Normal,
// MouseOver, ClickDown, Gray), or, without bitmaps, a framed text button; it
// carries a tooltip that appears after 500 ms.
//
// Skin files live in group folders below SkinFolder(): "LeftDlg", "Control",
// "Graphic", "Setting" and "BackGround". A button's files are its name, an
// underscore, the state and ".bmp" ("Control/ZoomIn_MouseOver.bmp"); a
// toggle has "Normal1", "MouseOver1", "Normal2", "MouseOver2" instead, and its
// owner decides which file goes into which slot. Names are used as written,
// "Atuo" and "Cricle" included.
//
// Threads: the user-interface thread only, like every widget.
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QEvent>
#include <QImage>
#include <QPushButton>
#include <QString>

#include <memory>
#include <string>

// The four state bitmaps, in slot order.
enum class SkinState { Normal = 0, MouseOver = 1, ClickDown = 2, Gray = 3 };
inline constexpr int kSkinStates = 4;

// What the drawing rule looks at: the item state the toolkit reports and the
// button's own flags.
struct ButtonLook {
    bool disabled = false; // the button is disabled (grayed)
    bool selected = false; // the toolkit shows it held down
    bool pressed = false;  // the left button went down on it and is not up yet
    bool hover = false;    // the cursor is over it
};

// Gray, when disabled; else ClickDown, when selected or pressed; else
// MouseOver, when hovered; else Normal.
SkinState ChooseSkinState(const ButtonLook& look);

// The skin folder: the program's data folder (its own folder in a build,
// the share folder when installed) followed by "Skin", without a
// trailing separator ("/opt/tovek/Skin"). Panels append "/<group>/<file>".
std::string SkinFolder();

// Sent synchronously to the button's parent on every click, like the command
// a push button sends: carries the button's control id (GetDlgCtrlId). A
// parent that dispatches its buttons by id handles it in event(); the
// button's clicked() signal is emitted as well.
class ButtonCommandEvent : public QEvent {
public:
    static QEvent::Type Type();
    explicit ButtonCommandEvent(int id) : QEvent(Type()), id(id) {}
    const int id;
};

class SkinButton : public QPushButton {
public:
    static constexpr int kHoverTimer = 1;       // the timer that ends hover
    static constexpr int kHoverPeriodMs = 100;  // its period
    static constexpr int kToolTipDelayMs = 500; // cursor at rest until the tip shows
    static const QColor kOuterFrame;            // RGB(35, 96, 177), text mode
    static const QColor kInnerFrame;            // RGB(186, 244, 255), text mode
    static const QColor kDefaultFrame;          // RGB(250, 150, 50), the default button

    explicit SkinButton(QWidget* parent = nullptr);
    explicit SkinButton(const QString& text, QWidget* parent = nullptr);
    ~SkinButton() override;

    // Paths of the four state bitmaps (UTF-8); nullptr or "" is absent. With
    // the first three given, all four are loaded anew at their own size and
    // the button draws bitmaps; a file that is missing or unreadable leaves
    // its state without a picture, and that state is drawn as a text button.
    // With any of the first three absent the button draws as a text button.
    // Callers repaint afterwards (update()); toggles call it on every face
    // change.
    void SetSkinBitmaps(const char* normal, const char* mouse_over, const char* click_down,
                        const char* gray);

    // Creates the tooltip on first use and makes text its tip; a later call
    // replaces the text and keeps the one tooltip.
    void SetToolTipText(const QString& text);

    // Timer handler: on kHoverTimer, reads the cursor and ends hover when it
    // lies outside the button. Public so that tests step it.
    void OnTimer(int id);

    bool Hover() const { return hover_; }
    bool Pressed() const { return pressed_; }
    bool BitmapMode() const { return bitmap_mode_; }
    bool HoverTimerActive() const { return hover_timer_.isActive(); }
    const QImage& Bitmap(SkinState state) const { return bitmaps_[static_cast<int>(state)]; }
    // The state the next paint draws.
    SkinState FaceState() const { return ChooseSkinState(CurrentLook()); }
    bool HasToolTip() const { return tooltip_ != nullptr; }
    // The tooltip control's text; empty before SetToolTipText.
    QString ToolTipText() const;
    bool ToolTipPending() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    class ToolTip;

    ButtonLook CurrentLook() const;
    bool CursorInside(const QPoint& global) const;
    void DrawTextFace(QPainter& painter, const ButtonLook& look);

    bool hover_ = false;
    bool pressed_ = false;
    bool bitmap_mode_ = false;
    QImage bitmaps_[kSkinStates];      // Normal, MouseOver, ClickDown, Gray; null when not loaded
    QBasicTimer hover_timer_;          // kHoverTimer, runs while hover_ is set
    std::unique_ptr<ToolTip> tooltip_; // created by the first SetToolTipText
};
