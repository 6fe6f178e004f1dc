// ControlToolBar: the camera control tool bar in the column at the main
// window's left edge: sixteen 32 x 32 skinned buttons in two columns.
//
//   motion (Zoom In, Zoom Out, Focus Far, Focus Near): one start key per
//     press and one stop key per release, however long the button is held,
//     polled by the motion timer (1 ms, 300 ms after a start); a zoom's stop
//     is followed 20 ms later by the key that closes the zoom;
//   auto-repeat (Bright, Sharp, Red, Blue, more and less): sent at once and
//     every 300 ms while held, decided by the auto-repeat worker;
//   click (Auto, Mirror, Mono/Color, Neg): one key per click.
//
// Every key goes out through SendControlKey, which hands the control code to
// the host's sender: the camera session's translation with its command
// counters, shared with the Control menu and the keyboard.
//
// Threads: everything runs on the user-interface thread, except the
// auto-repeat worker. The worker only reads which buttons are held (an
// atomic the user-interface thread keeps), decides with AutoRepeatRule on
// the replaceable clock and posts the key to the bar; the bar sends it on
// the user-interface thread. The destructor stops and joins the worker
// before any child goes.
#pragma once

#include "platform/system.h"
#include "widgets/AutoRepeat.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class SkinButton;
class QLabel;

class ControlToolBar : public QWidget {
public:
    static constexpr int kTemplateId = 134;
    static constexpr int kButtonCount = 16;
    static constexpr int kButtonSize = 32;
    static constexpr int kMotionTimer = 2;
    static constexpr int kMotionPollMs = 1;   // while no motion has started
    static constexpr int kMotionHoldMs = 300; // the next poll after a start
    static constexpr uint32_t kAfterZoomMs = 20;
    // The auto-repeat worker's poll while no button is held (a press wakes it).
    static constexpr uint32_t kIdleRepeatPollMs = 50;

    static constexpr int kZoomInId = 1016;
    static constexpr int kZoomOutId = 1017;
    static constexpr int kFocusFarId = 1018;
    static constexpr int kFocusNearId = 1019;
    static constexpr int kBrightMoreId = 1020;
    static constexpr int kBrightLessId = 1021;
    static constexpr int kAutoId = 1022;
    static constexpr int kMirrorId = 1023;
    static constexpr int kRedMoreId = 1024;
    static constexpr int kRedLessId = 1025;
    static constexpr int kBlueMoreId = 1026;
    static constexpr int kBlueLessId = 1027;
    static constexpr int kColorId = 1028;
    static constexpr int kNegId = 1029;
    static constexpr int kSharpMoreId = 1030;
    static constexpr int kSharpLessId = 1031;
    static constexpr int kFirstLabelId = 1033; // hidden labels 1033 to 1038

    // Button 1016's place in the bar: the two columns stand at x and x + 60,
    // the first row at y + 15.
    static constexpr int kOriginX = 23;
    static constexpr int kOriginY = 0;

    // Sends one control code (0xA4 to 0xB5) to the open camera; its result
    // is the session's (0 sent, -1 no camera).
    using ControlKeySender = std::function<int(int code)>;

    explicit ControlToolBar(QWidget* parent = nullptr);
    ~ControlToolBar() override;
    ControlToolBar(const ControlToolBar&) = delete;
    ControlToolBar& operator=(const ControlToolBar&) = delete;

    // Null (the default) drops every key.
    void SetControlKeySender(ControlKeySender sender) { sender_ = std::move(sender); }

    // key is a button's key (-92 to -75) or its control code (0xA4 to
    // 0xB5): both name the same code. -1 when no sender is set.
    int SendControlKey(int key);

    // All sixteen together.
    void EnableButtons(bool enable);

    // Timer handler: on kMotionTimer, starts and stops the motions of the
    // held and released motion buttons; stops the timer while nothing is
    // held and no motion runs (a press starts it again). Public so that
    // tests step it.
    void OnTimer(int id);

    SkinButton* Button(int id) const;
    QLabel* Label(int id) const;
    // The start key went out and the stop is still due.
    bool MotionPending(int id) const;
    // The motion timer's period; 0 while it is stopped.
    int MotionTimerInterval() const;
    // Polls the auto-repeat worker has finished (tests wait on it).
    uint64_t RepeatPolls() const { return repeat_polls_.load(); }
    bool HasBackground() const { return !background_.isNull(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateButtons();
    void CreateLabels();
    void StartWorker();
    void StopWorker();
    void WorkerLoop();
    // Copies the held flags of the auto-repeat buttons for the worker.
    void SyncHeld();
    // A press: the motion timer polls again (every kMotionPollMs).
    void WakeMotionTimer();

    ControlKeySender sender_;
    QImage background_; // "BackGround/Top1.bmp"; null when missing
    std::array<SkinButton*, kButtonCount> buttons_{};
    std::array<QLabel*, 6> labels_{};
    std::array<bool, 4> motion_{}; // in the poll order: zoom in, zoom out, focus near, focus far
    QTimer motion_timer_;          // kMotionTimer

    // Bit i: auto-repeat button i + 1 is held. Written by the user-interface
    // thread, read by the worker.
    std::atomic<uint32_t> held_{0};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> repeat_polls_{0};
    platform::AutoResetEvent wake_; // ends the worker's wait at once on stop
    toolbar::AutoRepeatRule rule_;  // the worker's alone
    std::thread worker_;
};
