#include "widgets/CommandPanel.h"

#include "SkinPaint.h"
#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "common/WindowMessage.h"
#include "widgets/CommandPanelHost.h"
#include "widgets/SkinButton.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QTimerEvent>

namespace {

constexpr char kGroup[] = "LeftDlg";

// The four state slots of a face, files of "LeftDlg" without ".bmp", and
// its tooltip.
struct Face {
    const char* normal;
    const char* mouse_over;
    const char* click_down;
    const char* gray;
    const char* tooltip;
};

constexpr Face kCaptureFace = {"Capture_Normal", "Capture_MouseOver", "Capture_Normal",
                               "Capture_Gray", "Capture"};
constexpr Face kRecordFaces[2] = {
    {"Record_Normal1", "Record_MouseOver1", "Record_ClickDown", "Record_Gray", "Start Record"},
    {"Record_Normal2", "Record_MouseOver2", "Record_ClickDown", "Record_Gray", "Stop Record"},
};
// A pressed Control or Graphic button already shows its other face.
constexpr Face kControlFaces[2] = {
    {"Control_Normal1", "Control_MouseOver1", "Control_Normal2", "Control_Gray", "Control"},
    {"Control_Normal2", "Control_MouseOver2", "Control_Normal1", "Control_Gray", "Control"},
};
constexpr Face kGraphicFaces[2] = {
    {"Graphic_Normal1", "Graphic_MouseOver1", "Graphic_Normal2", "Graphic_Gray", "Graphic"},
    {"Graphic_Normal2", "Graphic_MouseOver2", "Graphic_Normal1", "Graphic_Gray", "Graphic"},
};
constexpr Face kSettingFace = {"Setting_Normal1", "Setting_Normal2", "Setting_ClickDown",
                               "Setting_Gray", "Setting"};

// Reloads the button's bitmaps from disk and sets its tooltip again, in the
// host's language.
void GiveFace(SkinButton* button, const Face& face, HLANGCTX lang) {
    SetSkinFaces(button, kGroup, face.normal, face.mouse_over, face.click_down, face.gray);
    SetLangTip(lang, button, QString::fromLatin1(face.tooltip));
}

const Face& FaceOf(const Face (&faces)[2], int face) {
    return faces[face == 2 ? 1 : 0];
}

} // namespace

CommandPanel::CommandPanel(QWidget* main_window, CommandPanelHost* host)
    : QWidget(main_window), main_window_(main_window), host_(host),
      background_(LoadSkinImage("BackGround/Left.bmp")) {
    SetDialogId(this, kTemplateId);
    // 187 x 276 dialog units until the main window lays it out.
    resize(DluToPixelsX(187), DluToPixelsY(276));

    const struct {
        int id;
        int x;
        SkinButton** member;
    } buttons[] = {
        {kCaptureId, 30, &capture_},  {kRecordId, 110, &record_},   {kControlId, 190, &control_},
        {kGraphicId, 270, &graphic_}, {kSettingId, 350, &setting_},
    };
    for (const auto& b : buttons) {
        auto* button = new SkinButton(this);
        SetDlgCtrlId(button, b.id);
        button->setGeometry(b.x, 5, kButtonSize, kButtonSize);
        button->setFocusPolicy(Qt::NoFocus);
        button->hide();
        *b.member = button;
    }
    logo_ = new QLabel(this);
    SetDlgCtrlId(logo_, kLogoId);
    logo_->setGeometry(width() - kLogoRightOffset, 5, kLogoWidth, kLogoHeight);
    logo_->setPixmap(QPixmap::fromImage(LoadSkinImage("LeftDlg/Logo.bmp")));
    logo_->hide();

    GiveFace(capture_, kCaptureFace, Language());
    ResetFaces();
    record_poll_.start(kRecordPollMs, this);
}

CommandPanel::~CommandPanel() {
    record_poll_.stop();
}

SkinButton* CommandPanel::Button(int id) const {
    for (SkinButton* button : {capture_, record_, control_, graphic_, setting_}) {
        if (GetDlgCtrlId(button) == id)
            return button;
    }
    return nullptr;
}

bool CommandPanel::HostRecording() const {
    return host_ != nullptr && host_->IsRecording();
}

void CommandPanel::EnableCommands(bool enable) {
    for (SkinButton* button : {capture_, control_, graphic_, record_})
        button->setEnabled(enable);
    setting_->setEnabled(enable && !HostRecording());
}

void CommandPanel::ResetFaces() {
    SetRecordFace(1);
    SetControlFace(1);
    SetSettingFace();
    SetGraphicFace(1);
    control_state_ = 0;
    graphic_state_ = 0;
}

void CommandPanel::SetRecordFace(int face) {
    GiveFace(record_, FaceOf(kRecordFaces, face), Language());
}

void CommandPanel::SetControlFace(int face) {
    GiveFace(control_, FaceOf(kControlFaces, face), Language());
}

void CommandPanel::SetGraphicFace(int face) {
    GiveFace(graphic_, FaceOf(kGraphicFaces, face), Language());
}

HLANGCTX CommandPanel::Language() const {
    return host_ != nullptr ? host_->Language() : nullptr;
}

void CommandPanel::SetSettingFace() {
    GiveFace(setting_, kSettingFace, Language());
}

// ---- messages to the main window -------------------------------------------------

void CommandPanel::SendToMainWindow(int message) {
    if (main_window_ == nullptr)
        return;
    // Synchronous, so that what the handler did is seen right after.
    WindowMessage event(message, 0, 0);
    QApplication::sendEvent(main_window_, &event);
}

void CommandPanel::SendResizeNotification() {
    if (main_window_ == nullptr)
        return;
    QResizeEvent event(main_window_->size(), main_window_->size());
    QApplication::sendEvent(main_window_, &event);
}

// ---- clicks ----------------------------------------------------------------------

bool CommandPanel::event(QEvent* event) {
    if (event->type() != ButtonCommandEvent::Type())
        return QWidget::event(event);
    switch (static_cast<ButtonCommandEvent*>(event)->id) {
    case kCaptureId:
        OnCapture();
        break;
    case kRecordId:
        OnRecord();
        break;
    case kControlId:
        OnControl();
        break;
    case kGraphicId:
        OnGraphic();
        break;
    case kSettingId:
        OnSetting();
        break;
    default:
        break;
    }
    return true;
}

void CommandPanel::OnCapture() {
    SendToMainWindow(msg::kCapture);
}

void CommandPanel::OnRecord() {
    // Each click is chosen by the flag at its moment; the face follows the
    // click whatever the outcome, and the poll corrects it later.
    if (HostRecording()) {
        SendToMainWindow(msg::kStopRecord);
        SetRecordFace(1);
    } else {
        SendToMainWindow(msg::kStartRecord);
        SetRecordFace(2);
    }
    record_->update();
    recording_seen_ = HostRecording();
}

void CommandPanel::OnControl() {
    if (control_state_ == 1) {
        control_state_ = 0;
        if (host_ != nullptr)
            host_->SetToolBarShown(false);
        SetControlFace(1);
    } else {
        if (host_ != nullptr)
            host_->SetToolBarShown(true);
        SetControlFace(2);
        control_state_ = 1;
    }
    SendResizeNotification();
    control_->update();
}

void CommandPanel::OnGraphic() {
    if (graphic_state_ == 1) {
        graphic_state_ = 0;
        // Setting keeps its rule: never enabled while recording.
        EnableCommands(true);
        if (host_ != nullptr)
            host_->SetAnnotationMode(CommandPanelHost::kAnnotationOff);
        SetGraphicFace(1);
    } else {
        if (host_ != nullptr)
            host_->SetAnnotationMode(CommandPanelHost::kAnnotationOn);
        SetGraphicFace(2);
        graphic_state_ = 1;
    }
    graphic_->update();
}

void CommandPanel::OnSetting() {
    if (host_ != nullptr)
        host_->OpenSettingDialog();
}

// ---- timer, painting, size ---------------------------------------------------------

void CommandPanel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == record_poll_.timerId()) {
        OnTimer(kRecordPollTimer);
        return;
    }
    QWidget::timerEvent(event);
}

void CommandPanel::OnTimer(int id) {
    if (id != kRecordPollTimer)
        return;
    const bool recording = HostRecording();
    SetRecordFace(recording ? 2 : 1);
    if (recording != recording_seen_)
        record_->update();
    recording_seen_ = recording;
}

void CommandPanel::paintEvent(QPaintEvent*) {
    {
        QPainter painter(this);
        PaintCentredBand(painter, background_, size(), palette().color(QPalette::Window));
    }
    if (!first_paint_)
        return;
    first_paint_ = false;
    for (SkinButton* button : {capture_, record_, control_, graphic_, setting_})
        button->show();
    if (host_ != nullptr && host_->ShowLogo())
        logo_->show();
}

void CommandPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    logo_->setGeometry(width() - kLogoRightOffset, 10, kLogoWidth, kLogoHeight);
    logo_->update();
}
