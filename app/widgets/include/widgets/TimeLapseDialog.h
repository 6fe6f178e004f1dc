// The time-lapse dialog: seconds between pictures, pictures or a video, and
// the video's playback rate. Modal; the main window opens it from "Start
// Time-lapse..." and starts the run with what it returns.
#pragma once

#include "capture/TimeLapse.h"
#include "language/language.h"

#include <QDialog>

class QDialogButtonBox;
class QRadioButton;
class QSpinBox;

struct TimeLapseChoice {
    int32_t interval_s = timelapse::kDefaultIntervalS;
    timelapse::Target target = timelapse::Target::kImages;
    int32_t rate = timelapse::kDefaultRate;
};

class TimeLapseDialog : public QDialog {
public:
    TimeLapseDialog(const TimeLapseChoice& choice, HLANGCTX lang, QWidget* parent);

    // What the controls hold now.
    TimeLapseChoice Choice() const;

    QSpinBox* IntervalBox() const { return interval_; }
    QSpinBox* RateBox() const { return rate_; }
    QRadioButton* PicturesButton() const { return pictures_; }
    QRadioButton* VideoButton() const { return video_; }
    QDialogButtonBox* Buttons() const { return buttons_; }

private:
    QSpinBox* interval_ = nullptr;
    QRadioButton* pictures_ = nullptr;
    QRadioButton* video_ = nullptr;
    QSpinBox* rate_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};
