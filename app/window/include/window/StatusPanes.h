// The main window's status bar: five panes, in order
//   129   (the rest)  the message pane, rules below
//   36815 150         empty
//   133   70          "%d,%d": the mouse position in picture pixels
//   130   200         "Frame: [WxH] k,bbbBytes" with the looked-up words
//   131   60          the clock through format string 131
// The message pane shows, first that applies: a snapshot's outcome for five
// seconds; a failed recording start for five seconds; the running
// recording; a start-up notice for five seconds; a capture failure kept since the picture last
// started; the device state (strings 103, 104, 105).
#pragma once

#include "language/language.h"

#include <QString>

#include <cstdint>

class QLabel;
class QStatusBar;
class QWidget;

// What the message pane reads.
struct MessagePaneState {
    uint32_t now = 0; // tick count
    bool snapshot_taken = false;
    uint32_t snapshot_tick = 0;
    int32_t snapshot_result = 1;
    QString picture_path;
    int32_t recording_result = 0; // 0 idle, 1 recording, 2 creation failed, 3 no space
    uint32_t recording_tick = 0;  // start of the recording, or of the failed start
    bool recording = false;
    int32_t megabytes = 0;
    QString video_path;
    QString stream_error; // empty when none is kept
    // What start-up repaired or ignored (a recording left unfinished, a
    // settings file it could not read whole), shown for kMessageMs.
    QString notice;
    uint32_t notice_tick = 0;
    bool attached = false;
    bool playing = false;
    bool starting = false; // a Play under way: the camera settles or opens
};

class StatusPanes {
public:
    static constexpr uint32_t kMessageMs = 5000;
    static constexpr int kPaneIds[] = {129, 36815, 133, 130, 131};
    static constexpr int kPaneWidths[] = {0, 150, 70, 200, 60}; // 0: stretches

    StatusPanes(QWidget* parent, HLANGCTX lang);

    QStatusBar* Bar() const { return bar_; }
    // The pane of id (kPaneIds), or nullptr.
    QLabel* Pane(int id) const;

    // Also brings the frame pane up to date (the main window's idle refresh
    // calls this a few times a second).
    void SetMessage(const MessagePaneState& state);
    QString MessageText() const;
    void SetMouse(int x, int y);
    // The frame pane for a frame of width x height and length bytes. Called
    // for every frame: a new size shows at once, a new length only with the
    // next SetMessage, so that the status bar (and what lies under its
    // labels) repaints a few times a second rather than with every frame.
    // The facts the pane shows again bring its words up to date.
    void SetFrame(int width, int height, int32_t length);
    // What the frame pane shows.
    QString FrameText() const;
    // hh:mm:ss through format string 131.
    void SetClock(const QString& time);
    // The second pane, empty unless a time-lapse runs or ended by itself.
    void SetTimeLapse(const QString& text);
    QString TimeLapseText() const;

    // The texts themselves, for the rules and their tests.
    static QString MessageText(const MessagePaneState& state, HLANGCTX lang);
    static QString FrameText(int width, int height, int32_t length, HLANGCTX lang);

private:
    struct FrameFacts {
        int width = 0;
        int height = 0;
        int32_t length = 0;
        bool operator==(const FrameFacts&) const = default;
    };
    void ShowFrame();

    const HLANGCTX lang_;
    FrameFacts frame_;       // the newest frame's
    FrameFacts frame_shown_; // what the frame pane shows
    QStatusBar* bar_ = nullptr;
    QLabel* panes_[5] = {};
};
