// The main window's time-lapse: the dialog, the start and stop commands, and
// the count in the status bar's second pane. The session feeds the run with
// the camera's frames; these keep the window in step.
#include "window/MainWindow.h"

#include "WindowTrace.h"
#include "common/AppTrace.h"
#include "common/LangText.h"
#include "widgets/MessageBox.h"
#include "widgets/TimeLapseDialog.h"
#include "window/Application.h"
#include "window/StatusPanes.h"

namespace {

QString CountText(HLANGCTX lang, uint32_t count) {
    return LangFormat(LangText(lang, "Time-lapse: %d pictures"), {QString::number(count)});
}

} // namespace

void MainWindow::OnStartTimeLapse(uint32_t) {
    TRACE_DLG("OnStartTimeLapse");
    if (!session_->Playing())
        return;
    settings::AppSettings& s = app_.Settings();
    TimeLapseChoice choice;
    choice.interval_s = s.timelapse_interval_s;
    choice.target =
        s.timelapse_target == 1 ? timelapse::Target::kVideo : timelapse::Target::kImages;
    choice.rate = s.timelapse_rate;
    TimeLapseDialog dialog(choice, lang_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    choice = dialog.Choice();
    s.timelapse_interval_s = choice.interval_s;
    s.timelapse_target = choice.target == timelapse::Target::kVideo ? 1 : 0;
    s.timelapse_rate = choice.rate;
    using namespace settings;
    app_.Ini()->WriteInt(kSectionApp, kTimeLapseInterval, s.timelapse_interval_s, 10);
    app_.Ini()->WriteInt(kSectionApp, kTimeLapseTarget, s.timelapse_target, 10);
    app_.Ini()->WriteInt(kSectionApp, kTimeLapseRate, s.timelapse_rate, 10);
    StartTimeLapse(choice);
}

int32_t MainWindow::StartTimeLapse(const TimeLapseChoice& choice) {
    timelapse::Params params;
    params.interval_s = static_cast<uint32_t>(std::max(choice.interval_s, 1));
    params.target = choice.target;
    params.rate = choice.rate;
    params.capture_path = app_.Settings().capture_path;
    params.record_path = app_.Settings().record_path;
    params.width = session_->FrameWidth();
    params.height = session_->FrameHeight();
    const int32_t result = session_->GetTimeLapse().Start(params);
    if (result == timelapse::kOk) {
        panes_->SetTimeLapse(CountText(lang_, 0));
    } else {
        panes_->SetTimeLapse(QString());
        MessageBox(this,
                   result == timelapse::kNoSpace
                       ? LangText(lang_, "Time-lapse failed! Not enough space on disk!")
                       : LangText(lang_, "Create file failed!"),
                   app_.Caption(), msgbox::kOk | msgbox::kIconExclamation);
    }
    Refresh();
    return result;
}

void MainWindow::OnStopTimeLapse(uint32_t) {
    TRACE_DLG("OnStopTimeLapse");
    session_->GetTimeLapse().Stop();
    panes_->SetTimeLapse(QString());
    Refresh();
}

void MainWindow::OnTimeLapseMessage(uint32_t count, int32_t result) {
    if (result == timelapse::kOk) {
        // A count posted before a stop must not bring the text back.
        if (session_->GetTimeLapse().Running())
            panes_->SetTimeLapse(CountText(lang_, count));
    } else {
        panes_->SetTimeLapse(result == timelapse::kNoSpace
                                 ? LangText(lang_, "Time-lapse stopped! Not enough space on disk!")
                                 : LangText(lang_, "Time-lapse stopped! Unknown reason!"));
    }
    Refresh();
}
