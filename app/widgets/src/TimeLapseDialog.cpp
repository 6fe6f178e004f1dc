#include "widgets/TimeLapseDialog.h"

#include "common/LangText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

TimeLapseDialog::TimeLapseDialog(const TimeLapseChoice& choice, HLANGCTX lang, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(LangText(lang, "Time-lapse"));
    auto* form = new QFormLayout;
    interval_ = new QSpinBox(this);
    interval_->setRange(static_cast<int>(timelapse::kMinIntervalS),
                        static_cast<int>(timelapse::kMaxIntervalS));
    interval_->setSuffix(QStringLiteral(" s"));
    interval_->setValue(choice.interval_s);
    form->addRow(LangText(lang, "One picture every:"), interval_);

    pictures_ = new QRadioButton(LangText(lang, "Pictures in the Images folder"), this);
    video_ = new QRadioButton(LangText(lang, "One video in the Videos folder"), this);
    (choice.target == timelapse::Target::kVideo ? video_ : pictures_)->setChecked(true);
    form->addRow(LangText(lang, "Save as:"), pictures_);
    form->addRow(QString(), video_);

    rate_ = new QSpinBox(this);
    rate_->setRange(timelapse::kMinRate, timelapse::kMaxRate);
    rate_->setSuffix(QLatin1Char(' ') + LangText(lang, "pictures per second"));
    rate_->setValue(choice.rate);
    rate_->setEnabled(video_->isChecked());
    form->addRow(LangText(lang, "Video plays at:"), rate_);
    // The rate only means something for a video.
    connect(video_, &QRadioButton::toggled, rate_, &QWidget::setEnabled);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(LangText(lang, "Start"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(LangText(lang, "Cancel"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons_);
}

TimeLapseChoice TimeLapseDialog::Choice() const {
    TimeLapseChoice choice;
    choice.interval_s = interval_->value();
    choice.target = video_->isChecked() ? timelapse::Target::kVideo : timelapse::Target::kImages;
    choice.rate = rate_->value();
    return choice;
}
