// The main window's answers to the camera: open, play and stop, attach and
// detach, device changes and choice, capture-format options, recording, and
// failures the capture graphs report. The session does the camera's part; these keep
// the window's widgets (view, banner, status timer, panes) in step.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "common/AccessText.h"
#include "common/AppTrace.h"
#include "common/CommandIds.h"
#include "common/LangText.h"
#include "platform/capture_error.h"
#include "platform/device_access.h"
#include "platform/system.h"
#include "view/VideoView.h"
#include "widgets/CommandPanel.h"
#include "widgets/GalleryStrip.h"
#include "widgets/MessageBox.h"
#include "widgets/RightPanel.h"
#include "window/Application.h"

#include <utility>

namespace {

// Why the chosen family's camera could not be opened although it is plugged
// in (no permission on its node, another program holds it); false when
// nothing is known against it. The debug text goes to the trace.
bool RefusedCameraText(DeviceFamily family, HLANGCTX lang, QString* user_text) {
    platform::DeviceAccessError error;
    const bool rvx = family == DeviceFamily::kRVX;
    if (family == DeviceFamily::kNone ||
        !platform::GetDeviceAccessError(rvx ? platform::kRvxVendorId : platform::kQ5VendorId,
                                        rvx ? platform::kRvxProductId : platform::kQ5ProductId,
                                        &error))
        return false;
    AppTracer().Trace(L"%s(): %hs", "TovekCameraDlg::RefusedCameraText", error.debug_text.c_str());
    *user_text = AccessFaultText(error, lang);
    return true;
}

} // namespace

void MainWindow::OpenCamera(bool initial) {
    const CameraSession::OpenResult result = session_->Open();
    if (result == CameraSession::OpenResult::kAttached)
        OnVideoAttach();
    else if (result == CameraSession::OpenResult::kDetached)
        OnVideoDetach();
    if ((result == CameraSession::OpenResult::kDetached ||
         result == CameraSession::OpenResult::kFailed) &&
        RefusedCameraText(session_->Family(), lang_, &message_.stream_error))
        Refresh();
    if (initial && result != CameraSession::OpenResult::kNoCamera) {
        banner_.Replace();
        StartStatusTimer();
    }
}

// A Q5 camera opened in the background: its attach comes as a stream event,
// and a camera that did not open sends nothing, as before. The open of a
// Play runs the picture, or tells why it could not.
void MainWindow::OnCameraOpened(uint64_t ticket) {
    switch (session_->FinishOpen(ticket)) {
    case CameraSession::OpenResult::kFailed:
        RefusedCameraText(session_->Family(), lang_, &message_.stream_error);
        break;
    case CameraSession::OpenResult::kPlaying:
        OnPictureRunning();
        break;
    case CameraSession::OpenResult::kPlayFailed:
        if (!RefusedCameraText(session_->Family(), lang_, &message_.stream_error))
            message_.stream_error = LangText(lang_, platform::kCameraNotOpenedText);
        break;
    case CameraSession::OpenResult::kArrived:
        OnVideoAttach();
        break;
    case CameraSession::OpenResult::kArrivalFailed:
        OnVideoDetach();
        RefusedCameraText(session_->Family(), lang_, &message_.stream_error);
        break;
    default:
        break;
    }
    Refresh();
}

void MainWindow::OnVideoAttach() {
    TRACE_DLG("OnVideoAttach");
    session_->SetAttached(true);
    layout_->GetRightPanel()->EnablePanel(0);
    const bool returned = session_->Replug().TakeReturn();
    if (session_->TakeAutoPlay())
        OnPlay(cmd::kPlay);
    else if (returned && app_.Settings().resume_after_replug)
        ResumeReturnedCamera();
    Refresh();
}

void MainWindow::ResumeReturnedCamera() {
    const replug::ReplugMemory& memory = session_->Replug();
    const bool record = memory.RecordWanted() && app_.Settings().resume_recording;
    if (!memory.PlayWanted()) {
        session_->RestorePictureState();
        return;
    }
    // Once the picture runs: its open restarts the translation's counters.
    resume_on_run_ = record;
    OnPlay(cmd::kPlay);
}

void MainWindow::OnVideoDetach() {
    LeaveFullScreen();
    // First: a camera that is gone is not waited for to settle.
    session_->SetAttached(false);
    StopPicture();
    TRACE_DLG("OnVideoDetach");
    session_->Replug().OnRemoved();
    message_.stream_error.clear(); // the device state says it all now
    session_->ClearFrame();
    panes_->SetFrame(0, 0, 0);
    Refresh();
}

void MainWindow::OnVideoStop() {
    TRACE_DLG("OnVideoStop");
    StopStatusTimer();
    session_->OnVideoStopped();
    banner_.Destroy();
    Refresh();
    view_->update();
    panes_->SetFrame(0, 0, 0);
}

void MainWindow::OnStreamError() {
    std::string user_text;
    std::string debug_text;
    if (session_->TakeStreamError(&user_text, &debug_text))
        AppTracer().Trace(L"%s(): %hs", "TovekCameraDlg::OnStreamError", debug_text.c_str());
    message_.stream_error =
        LangText(lang_, user_text.empty() ? QStringLiteral("The camera stopped sending pictures.")
                                          : QString::fromStdString(user_text));
    if (session_->Playing())
        OnVideoStop();
    Refresh();
}

void MainWindow::OnDeviceChangeMessage(uint32_t event, const DEV_BROADCAST_HDR* header) {
    // An arrival is judged on the opener's thread: OnCameraOpened.
    if (session_->OnDeviceChangeMessage(event, header) == CameraSession::DeviceChange::kRemoved) {
        OnVideoStop();
        OnVideoDetach();
    }
}

void MainWindow::OnSnapshotMessage(const snapshot::Outcome& outcome) {
    message_.snapshot_taken = true;
    message_.snapshot_tick = platform::GetTickCount();
    message_.snapshot_result = outcome.result;
    app_.snapshot_result = outcome.result;
    if (outcome.result == snapshot::kSaved) {
        message_.picture_path = QString::fromStdString(outcome.path);
        gallery_->AddSnapshot(outcome.path);
    }
    captures_.Add(outcome);
    Refresh();
    if (outcome.create_failed)
        MessageBox(this, LangText(lang_, "Create file failed!"), app_.Caption(),
                   msgbox::kOk | msgbox::kIconExclamation);
}

void MainWindow::OnPlay(uint32_t) {
    TRACE_DLG("OnMenuFilePlay");
    EndCaptureShow();
    message_.stream_error.clear();
    command_panel_->ResetFaces();
    annotations_.ClearAll();
    layout_->GetRightPanel()->EnablePanel(1);
    // The picture runs once the camera has settled and opened again
    // (OnCameraOpened); the window goes on meanwhile.
    session_->Play(view_->Handle(), view_->width(), view_->height());
    Refresh();
}

void MainWindow::OnPictureRunning() {
    TRACE_DLG("OnPictureRunning");
    session_->Replug().SetPlayWanted(true);
    if (const std::optional<bool> record = std::exchange(resume_on_run_, std::nullopt)) {
        session_->RestorePictureState();
        if (*record)
            OnStartRecord(cmd::kStartRecord);
    }
    banner_.Replace();
    StartStatusTimer();
    annotations_.SetFrameSize(session_->FrameWidth(), session_->FrameHeight());
    view_->SetImageSize(session_->FrameWidth(), session_->FrameHeight());
    // The rectangle follows once the commands queued before it are done.
    QMetaObject::invokeMethod(
        view_, [view = view_] { view->CalcDisplayRect(view->width(), view->height()); },
        Qt::QueuedConnection);
    Refresh();
}

void MainWindow::OnStop(uint32_t) {
    // The user's stop: a camera plugged back later stays stopped.
    session_->Replug().SetPlayWanted(false);
    session_->Replug().SetRecordWanted(false);
    StopPicture();
}

void MainWindow::StopPicture() {
    TRACE_DLG("OnMenuFileStop");
    resume_on_run_.reset();
    command_panel_->ResetFaces();
    annotations_.Stop();
    view_->update();
    session_->Stop();
    view_->update();
    StopStatusTimer();
    banner_.Destroy();
    Refresh();
    panes_->SetFrame(0, 0, 0);
    layout_->SetToolBarShown(false);
    Layout();
}

void MainWindow::OnOptions(uint32_t) {
    if (session_->Family() != DeviceFamily::kRVX || !session_->Camera())
        return;
    const QString caption = LangText(lang_, "System prompt");
    if (session_->Recording()) {
        MessageBox(this, LangText(lang_, "It is recording now,Stop recording,please !\t"), caption,
                   msgbox::kOk | msgbox::kIconExclamation);
        return;
    }
    if (session_->ChooseCaptureFormat(nullptr, view_->Handle(), view_->width(), view_->height()) <
        0) {
        MessageBox(this, LangText(lang_, "Get video capture pin failed !\t"), caption,
                   msgbox::kOk | msgbox::kIconExclamation);
        return;
    }
    annotations_.SetFrameSize(session_->FrameWidth(), session_->FrameHeight());
    view_->SetImageSize(session_->FrameWidth(), session_->FrameHeight());
    view_->CalcDisplayRect(view_->width(), view_->height());
}

void MainWindow::OnDevice(uint32_t id) {
    // An id without a menu item chooses nothing: the open camera stays.
    const int index = static_cast<int>(id - cmd::kDeviceFirst);
    if (index >= menu_->DeviceItems())
        return;
    session_->Teardown();
    OnVideoDetach();
    // A device chosen from the menu waits for the user's Play.
    session_->CancelAutoPlay();
    menu_->CheckDevice(id);
    app_.Ini()->WriteInt(settings::kSectionApp, settings::kDeviceSelect, static_cast<int32_t>(id),
                         10);
    session_->Choose(index);
    OpenCamera(false);
    Refresh();
}

void MainWindow::OnStartRecord(uint32_t) {
    TRACE_DLG("OnStartRecord");
    if (!session_->Playing())
        return;
    const settings::AppSettings& s = app_.Settings();
    record::AudioNames audio;
    if (s.audio_index != 0) {
        if (!app_.audio_choices)
            app_.audio_choices = TakeAudioChoices();
        audio = record::ChosenAudio(*app_.audio_choices, s.audio_index, s.encoder_index);
    }
    app_.recording_result =
        session_->StartRecording(s.record_path, s.audio_index, audio, s.record_as_shown);
    if (app_.recording_result == record::kRecording)
        session_->Replug().SetRecordWanted(true);
    Refresh();
}

void MainWindow::OnStopRecord(uint32_t) {
    TRACE_DLG("OnStopRecord");
    session_->Replug().SetRecordWanted(false);
    session_->StopRecording();
    Refresh();
}
