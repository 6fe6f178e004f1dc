// CommandPanel: the command panel across the top of the main window, with
// the five big buttons Capture, Record, Control, Graphic and Setting (the
// middle three are toggles with two faces) and the logo. Clicks become the
// main window's messages 2029 to 2031 (sent synchronously, as
// WindowMessage with both parameters 0), a resize notification (a
// QResizeEvent at the window's own size) and calls of CommandPanelHost; a
// five-second poll keeps the Record face in step with recordings started or
// stopped elsewhere.
//
// The buttons and the logo stay hidden until the first paint.
//
// Threads: the user-interface thread only. Lifetime: a child of the main
// window, which must outlive it together with the host.
#pragma once

#include "language/language.h"

#include <QBasicTimer>
#include <QImage>
#include <QWidget>

class SkinButton;
class CommandPanelHost;
class QLabel;

class CommandPanel : public QWidget {
public:
    static constexpr int kTemplateId = 133;
    static constexpr int kCaptureId = 1035;
    static constexpr int kRecordId = 1049;
    static constexpr int kControlId = 1036;
    static constexpr int kGraphicId = 1109;
    static constexpr int kSettingId = 1041;
    static constexpr int kLogoId = 1037;
    static constexpr int kButtonSize = 64;
    static constexpr int kLogoWidth = 128;
    static constexpr int kLogoHeight = 64;
    static constexpr int kLogoRightOffset = 172; // logo x = panel width - this
    static constexpr int kRecordPollTimer = 1;
    static constexpr int kRecordPollMs = 5000;

    // main_window is the parent and receives the messages; host answers for
    // it. Either may be null (then clicks that need it do nothing of theirs).
    CommandPanel(QWidget* main_window, CommandPanelHost* host);
    ~CommandPanel() override;

    // Capture, Record, Control and Graphic follow enable; Setting is enabled
    // only when enabling while no recording runs.
    void EnableCommands(bool enable);
    // Face 1 for Record, Control and Graphic, Setting's face, both toggles
    // back to 0. Tells the main window nothing and does not repaint.
    void ResetFaces();

    // Timer handler: on kRecordPollTimer, the Record face follows the
    // recording flag. Public so that tests step it.
    void OnTimer(int id);

    SkinButton* Button(int id) const;
    QLabel* Logo() const { return logo_; }
    int ControlState() const { return control_state_; }
    int GraphicState() const { return graphic_state_; }
    bool RecordingSeen() const { return recording_seen_; }
    bool RecordPollActive() const { return record_poll_.isActive(); }
    bool HasBackground() const { return !background_.isNull(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnCapture();
    void OnRecord();
    void OnControl();
    void OnGraphic();
    void OnSetting();

    // face is 1 or 2.
    HLANGCTX Language() const;
    void SetRecordFace(int face);
    void SetControlFace(int face);
    void SetGraphicFace(int face);
    void SetSettingFace();

    void SendToMainWindow(int message);
    void SendResizeNotification();
    bool HostRecording() const;

    QWidget* const main_window_;
    CommandPanelHost* const host_;
    QImage background_; // "BackGround/Left.bmp"; null when missing
    bool first_paint_ = true;
    int control_state_ = 0; // 0: face 1 (bar hidden), 1: face 2
    int graphic_state_ = 0; // 0: face 1 (annotation off), 1: face 2
    bool recording_seen_ = false;
    SkinButton* capture_ = nullptr;
    SkinButton* record_ = nullptr;
    SkinButton* control_ = nullptr;
    SkinButton* graphic_ = nullptr;
    SkinButton* setting_ = nullptr;
    QLabel* logo_ = nullptr;
    QBasicTimer record_poll_; // kRecordPollTimer
};
