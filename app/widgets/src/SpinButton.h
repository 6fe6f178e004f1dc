// SpinButton: the up-down control beside a number box. It keeps its
// position within a range and shows it in its buddy box as a decimal
// integer. Each step first reads the buddy (so a number typed there is where
// the step starts; a text that is no number leaves the position as it was),
// then moves one up or down, clamped to the range, writes the buddy and
// tells the owner. The Up and Down keys in the buddy step too.
//
// Threads: the user-interface thread only. Lifetime: a child of the same
// dialog as its buddy, which it does not own.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;
class QToolButton;

class SpinButton : public QWidget {
public:
    // Told the new position after every step.
    using ChangeHandler = std::function<void(int32_t position)>;

    explicit SpinButton(QWidget* parent = nullptr);

    // Attaches the buddy (not owned) and takes its number as the position.
    void SetBuddy(QLineEdit* buddy);
    // Clamps the position into [min, max].
    void SetRange(int32_t min, int32_t max);
    void SetChangeHandler(ChangeHandler handler) { on_change_ = std::move(handler); }

    // Stops a step goes to instead of one more or less, in rising order:
    // the next stop above (below) the position, or the range's end beyond
    // the last. Empty: steps of one.
    void SetStops(std::vector<int32_t> stops) { stops_ = std::move(stops); }

    // One step: +1 up, -1 down.
    void Step(int direction);

    int32_t Position() const { return position_; }
    int32_t Minimum() const { return min_; }
    int32_t Maximum() const { return max_; }
    QLineEdit* Buddy() const { return buddy_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The buddy's number, when it holds one, becomes the position.
    void ReadBuddy();

    QLineEdit* buddy_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int32_t min_ = 0;
    int32_t max_ = 100;
    int32_t position_ = 0;
    ChangeHandler on_change_;
    std::vector<int32_t> stops_;
};

// Reads text as a dialog box's integer: blanks or tabs around an optionally
// signed run of decimal digits, nothing else. A value beyond 32 bits is
// clamped to the nearest 32-bit limit, so range checks reject it. False, with
// *value unchanged, for any other text.
bool ParseBoxInteger(const QString& text, int32_t* value);
