// What library threads and panels post to the main window (the session's
// events, private messages, commands from the panels), dispatched to the
// handlers on the user-interface thread.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "camera/SessionEvents.h"
#include "common/CommandIds.h"
#include "common/CrossThreadEvent.h"
#include "view/VideoView.h"
#include "widgets/MessageBox.h"
#include "window/Application.h"

bool MainWindow::event(QEvent* e) {
    ReceivedAcrossThreads(e);
    if (e->type() == SnapshotMessage::Type()) {
        OnSnapshotMessage(static_cast<SnapshotMessage*>(e)->outcome);
        return true;
    }
    if (e->type() == CameraOpenedMessage::Type()) {
        OnCameraOpened(static_cast<CameraOpenedMessage*>(e)->ticket);
        return true;
    }
    if (e->type() == DeviceChangeMessage::Type()) {
        auto* m = static_cast<DeviceChangeMessage*>(e);
        OnDeviceChangeMessage(m->event, m->broadcast.Header());
        return true;
    }
    if (e->type() == UserMessage::Type()) {
        auto* m = static_cast<UserMessage*>(e);
        // The warning and the exclamation share their icon.
        MessageBox(this, QString::fromStdString(m->text), app_.Caption(),
                   msgbox::kOk | msgbox::kIconExclamation);
        return true;
    }
    switch (static_cast<int>(e->type())) {
    case msg::kVideoStop:
        if (session_->CurrentRun(static_cast<WindowMessage*>(e)->wparam))
            OnVideoStop();
        return true;
    case msg::kVideoAttach:
        OnVideoAttach();
        return true;
    case msg::kVideoDetach:
        OnVideoDetach();
        return true;
    case msg::kStreamError:
        if (session_->CurrentRun(static_cast<WindowMessage*>(e)->wparam))
            OnStreamError();
        return true;
    case msg::kRecorderChanged:
        // A recording that ended by itself (disk full, a write failure) is
        // not one a returning camera resumes. A stop's file may be finished
        // after the camera came back: that message must not drop the wish.
        if (session_->GetRecorder().EndedItself() && !session_->Recording())
            session_->Replug().SetRecordWanted(false);
        Refresh();
        return true;
    case msg::kTimeLapse: {
        auto* m = static_cast<WindowMessage*>(e);
        OnTimeLapseMessage(m->wparam, m->lparam);
        return true;
    }
    case msg::kMouseMove:
        TRACE_DLG("OnViewMouseMove");
        panes_->SetMouse(view_->ImagePoint().x, view_->ImagePoint().y);
        return true;
    case msg::kFrame: {
        TRACE_DLG("OnPlay1Frame");
        auto* m = static_cast<WindowMessage*>(e);
        panes_->SetFrame(static_cast<int>(m->wparam & 0xFFFF), static_cast<int>(m->wparam >> 16),
                         m->lparam);
        return true;
    }
    case msg::kCapture:
        OnCapture(cmd::kCapture);
        return true;
    case msg::kStartRecord:
        if (session_->Playing())
            OnStartRecord(cmd::kStartRecord);
        return true;
    case msg::kStopRecord:
        OnStopRecord(cmd::kStopRecord);
        return true;
    case msg::kSetting:
        OnSetting(cmd::kSetting);
        return true;
    default:
        return QDialog::event(e);
    }
}
