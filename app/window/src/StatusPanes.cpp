#include "window/StatusPanes.h"

#include "capture/Snapshot.h"
#include "common/CommandIds.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "common/StringTable.h"
#include "record/RecordingStatus.h"

#include <QLabel>
#include <QStatusBar>

#include <iterator>

namespace {

// A fixed pane takes a text it cannot hold whole by growing to fit it, once:
// its width is the least it has, and a cut text tells the user nothing.
void SetFixedPaneText(QLabel* pane, const QString& text) {
    if (pane->text() == text)
        return;
    pane->setText(text);
    const int needed = pane->sizeHint().width(); // the text with the label's frame and indent
    if (needed > pane->width())
        pane->setFixedWidth(needed);
}

} // namespace

StatusPanes::StatusPanes(QWidget* parent, HLANGCTX lang) : lang_(lang) {
    bar_ = new QStatusBar(parent);
    bar_->setSizeGripEnabled(false);
    for (size_t i = 0; i < std::size(kPaneIds); ++i) {
        panes_[i] = new QLabel(bar_);
        SetDlgCtrlId(panes_[i], kPaneIds[i]);
        SetFixedText(panes_[i]);
        // Opaque: a new text repaints the label alone, not the bar and the
        // window beneath it as well.
        panes_[i]->setAutoFillBackground(true);
        if (kPaneWidths[i] == 0) {
            bar_->addWidget(panes_[i], 1);
        } else {
            // Fixed both ways, a pane's new text (the frame's bytes, the
            // clock, the mouse) repaints the pane alone: a label that may
            // change size asks the whole bar to lay out and repaint.
            panes_[i]->setFixedSize(kPaneWidths[i], panes_[i]->fontMetrics().height());
            bar_->addPermanentWidget(panes_[i]);
        }
    }
    ShowFrame();
}

QLabel* StatusPanes::Pane(int id) const {
    for (size_t i = 0; i < std::size(kPaneIds); ++i) {
        if (kPaneIds[i] == id)
            return panes_[i];
    }
    return nullptr;
}

void StatusPanes::SetMessage(const MessagePaneState& state) {
    const QString text = MessageText(state, lang_);
    if (Pane(129)->text() != text)
        Pane(129)->setText(text);
    if (!(frame_ == frame_shown_))
        ShowFrame();
}

QString StatusPanes::MessageText() const {
    return Pane(129)->text();
}

void StatusPanes::SetMouse(int x, int y) {
    SetFixedPaneText(Pane(133), QStringLiteral("%1,%2").arg(x).arg(y));
}

void StatusPanes::SetFrame(int width, int height, int32_t length) {
    frame_ = FrameFacts{width, height, length};
    // The same facts again come from a language switch: the words change.
    if (width != frame_shown_.width || height != frame_shown_.height || frame_ == frame_shown_)
        ShowFrame();
}

void StatusPanes::ShowFrame() {
    SetFixedPaneText(Pane(130), FrameText(frame_.width, frame_.height, frame_.length, lang_));
    frame_shown_ = frame_;
}

QString StatusPanes::FrameText() const {
    return Pane(130)->text();
}

void StatusPanes::SetClock(const QString& time) {
    SetFixedPaneText(Pane(131),
                     LoadText(lang_, ids::kStrClockFormat).replace(QStringLiteral("%s"), time));
}

void StatusPanes::SetTimeLapse(const QString& text) {
    SetFixedPaneText(Pane(36815), text);
}

QString StatusPanes::TimeLapseText() const {
    return Pane(36815)->text();
}

QString StatusPanes::FrameText(int width, int height, int32_t length, HLANGCTX lang) {
    return QStringLiteral("%1: [%2x%3] %4,%5%6")
        .arg(LoadTextByKey(lang, "2", QStringLiteral("Frame")))
        .arg(width)
        .arg(height)
        .arg(length / 1000)
        .arg(length % 1000, 3, 10, QLatin1Char('0'))
        .arg(LoadTextByKey(lang, "3", QStringLiteral("Bytes")));
}

namespace {

constexpr char kRecordingPattern[] = "Recording... Time: %02u:%02u:%02u; Size:%dMB; Path:";

// The recorder's English pane text in the current language: its two failure
// texts by their words, the running recording by the pattern's.
QString TranslatedRecordingText(const std::string& english, const MessagePaneState& s,
                                HLANGCTX lang) {
    const QString pattern = QString::fromLatin1(kRecordingPattern);
    const QString text = QString::fromStdString(english);
    if (!text.startsWith(pattern.left(pattern.indexOf(QLatin1Char('%')))))
        return LangText(lang, text);
    const uint32_t seconds = (s.now - s.recording_tick) / 1000;
    auto two = [](uint32_t n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return LangFormat(LangText(lang, pattern), {two(seconds / 3600), two(seconds / 60 % 60),
                                                two(seconds % 60), QString::number(s.megabytes)}) +
           s.video_path;
}

} // namespace

QString StatusPanes::MessageText(const MessagePaneState& s, HLANGCTX lang) {
    if (s.snapshot_taken && s.now - s.snapshot_tick < kMessageMs) {
        if (s.snapshot_result == snapshot::kSaved)
            // The file trims blanks off its texts, so the space stays here.
            return LangText(lang, "Save a picture to:") + QLatin1Char(' ') + s.picture_path;
        if (s.snapshot_result == snapshot::kNoSpace)
            return LangText(lang, "Image capture failed! Not enough space on disk!");
        return LangText(lang, "Image capture failed! Unknown reason!");
    }
    const std::string recording =
        record::PaneText(s.recording_result, s.recording, s.recording_tick, s.now, s.megabytes,
                         s.video_path.toStdString());
    if (!recording.empty())
        return TranslatedRecordingText(recording, s, lang);
    if (!s.notice.isEmpty() && s.now - s.notice_tick < kMessageMs)
        return s.notice;
    if (!s.stream_error.isEmpty())
        return s.stream_error;
    if (s.playing)
        return LoadText(lang, ids::kStrPlaying);
    if (s.starting)
        return LangText(lang, "Starting the picture...");
    return LoadText(lang, s.attached ? ids::kStrAttached : ids::kStrDetached);
}
