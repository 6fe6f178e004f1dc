#include "widgets/SettingsDialog.h"

#include "SkinPaint.h"
#include "common/DlgItem.h"
#include "common/LangText.h"
#include "platform/system.h"
#include "widgets/SkinButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr char16_t kNone[] = u"None";
// Characters the localisation library may return for a browse title.
constexpr uint32_t kTitleChars = 1024;

// Places control at its template position, in dialog units.
void Place(QWidget* control, int id, int x, int y, int width, int height) {
    SetDlgCtrlId(control, id);
    control->setGeometry(DluToPixelsX(x), DluToPixelsY(y), DluToPixelsX(width),
                         DluToPixelsY(height));
}

QString TitleOf(HLANGCTX lang, const char16_t* default_title) {
    char16_t text[kTitleChars];
    uint32_t size = kTitleChars;
    LangGetTextByKey(lang, text, &size, "1", default_title);
    return QString::fromUtf16(text, size);
}

QString PickFolder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

} // namespace

SettingsDialog::SettingsDialog(SettingDialogContext context, QWidget* main_window)
    : QDialog(main_window), context_(std::move(context)), picker_(PickFolder),
      background_(LoadSkinImage("BackGround/Setting.bmp")) {
    notifier_ = [this](QWidget* owner, const QString& text) {
        const QString caption = context_.settings != nullptr
                                    ? QString::fromStdU16String(context_.settings->caption)
                                    : QString();
        QMessageBox::warning(owner, caption, text);
    };
    SetDialogId(this, kTemplateId);
    setModal(false);
    setWindowTitle(QStringLiteral("Capture and record setting"));
    setFixedSize(DluToPixelsX(304), DluToPixelsY(239));
    CreateControls();

    if (main_window != nullptr)
        move(main_window->window()->frameGeometry().center() - rect().center());
    if (context_.lang != nullptr)
        LangTranslateDialog(context_.lang, this, kTemplateId);
    SkinButtons();
    FillAudioLists();
    SelectListEntries();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::CreateControls() {
    capture_picture_ = new QLabel(this);
    Place(capture_picture_, kCapturePictureId, 11, 13, 32, 30);
    record_picture_ = new QLabel(this);
    Place(record_picture_, kRecordPictureId, 7, 57, 32, 30);
    for (QLabel* picture : {capture_picture_, record_picture_})
        SetFixedText(picture);

    const struct {
        int id;
        const char* text;
        int x, y, width;
    } labels[] = {
        {kPictureLabelId, "Select a folder to save picture files:", 59, 16, 181},
        {kVideoLabelId, "Select a folder to save video files:", 59, 59, 181},
        {kAudioLabelId, "Audio input (optional):", 9, 114, 94},
        {kCompressorLabelId, "Audio compressors (optional):", 9, 139, 94},
        {kLengthLabelId, "The length of video that can be recorded:", 9, 165, 136},
    };
    for (const auto& l : labels)
        Place(new QLabel(QString::fromLatin1(l.text), this), l.id, l.x, l.y, l.width, 8);

    picture_edit_ = new QLineEdit(this);
    Place(picture_edit_, kPictureFolderId, 59, 31, 181, 14);
    video_edit_ = new QLineEdit(this);
    Place(video_edit_, kVideoFolderId, 59, 74, 181, 14);
    length_edit_ = new QLineEdit(this);
    Place(length_edit_, kLengthId, 147, 163, 93, 14);
    length_edit_->setReadOnly(true);
    for (QLineEdit* edit : {picture_edit_, video_edit_})
        edit->setMaxLength(kMaxFolderChars);
    for (QLineEdit* edit : {picture_edit_, video_edit_, length_edit_})
        SetFixedText(edit); // folders and lengths are data

    audio_list_ = new QComboBox(this);
    Place(audio_list_, kAudioListId, 105, 112, 135, 14);
    compressor_list_ = new QComboBox(this);
    Place(compressor_list_, kCompressorListId, 105, 137, 135, 14);
    // The compressor matters only with a sound source.
    connect(audio_list_, &QComboBox::currentIndexChanged, this,
            [this](int index) { compressor_list_->setEnabled(index != 0); });

    smooth_check_ = new QCheckBox(QStringLiteral("Smooth"), this);
    Place(smooth_check_, kSmoothId, 9, 192, 50, 10);
    smooth_check_->hide();

    resume_replug_check_ =
        new QCheckBox(QStringLiteral("Resume playing when the camera is plugged back"), this);
    Place(resume_replug_check_, kResumeReplugId, 9, 184, 235, 10);
    resume_recording_check_ =
        new QCheckBox(QStringLiteral("Resume an interrupted recording in a new file"), this);
    Place(resume_recording_check_, kResumeRecordingId, 9, 198, 235, 10);
    // Resuming a recording needs the picture to resume first.
    connect(resume_replug_check_, &QCheckBox::toggled, resume_recording_check_,
            &QWidget::setEnabled);
    record_as_shown_check_ =
        new QCheckBox(QStringLiteral("Record the picture as shown (annotations, turn)"), this);
    Place(record_as_shown_check_, kRecordAsShownId, 9, 212, 235, 10);

    browse_picture_ = new SkinButton(this);
    browse_video_ = new SkinButton(this);
    save_ = new SkinButton(QStringLiteral("Save"), this);
    const struct {
        SkinButton* button;
        int id, x, y;
    } buttons[] = {{browse_picture_, kBrowsePictureId, 254, 25},
                   {browse_video_, kBrowseVideoId, 254, 68},
                   {save_, kSaveId, 254, 206}};
    for (const auto& b : buttons) {
        SetDlgCtrlId(b.button, b.id);
        b.button->move(DluToPixelsX(b.x), DluToPixelsY(b.y));
    }
    save_->setDefault(true);
    connect(browse_picture_, &QAbstractButton::clicked, this,
            [this] { OnBrowse(kBrowsePictureId); });
    connect(browse_video_, &QAbstractButton::clicked, this, [this] { OnBrowse(kBrowseVideoId); });
    connect(save_, &QAbstractButton::clicked, this, [this] { OnSave(); });

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    Place(cancel_, kCancelId, 138, 218, 50, 14);
    cancel_->hide();
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::SkinButtons() {
    for (SkinButton* browse : {browse_picture_, browse_video_}) {
        browse->resize(kSkinButtonSize, kSkinButtonSize);
        SetSkinFaces(browse, "Setting", "Browse_Normal", "Browse_MouseOver", "Browse_ClickDown",
                     "Browse_Gray");
        SetLangTip(context_.lang, browse, QStringLiteral("Browse"));
    }
    save_->resize(kSkinButtonSize, kSkinButtonSize);
    SetSkinFaces(save_, "Setting", "Save_Normal", "Save_MouseOver", "Save_ClickDown", "Save_Gray");
    SetLangTip(context_.lang, save_, QStringLiteral("Save parameter"));
}

SkinButton* SettingsDialog::GetSkinButton(int id) const {
    for (SkinButton* button : {browse_picture_, browse_video_, save_}) {
        if (GetDlgCtrlId(button) == id)
            return button;
    }
    return nullptr;
}

// ---- sound sources and compressors --------------------------------------------------

void SettingsDialog::FillAudioLists() {
    audio_list_->addItem(LangText(context_.lang, QString::fromUtf16(kNone)));
    record::AudioChoices choices =
        context_.list_audio ? context_.list_audio() : record::ListAudioChoices();
    source_count_ = static_cast<int>(choices.sources.size());
    compressor_count_ = choices.remembered_count;
    for (const std::string& source : choices.sources)
        audio_list_->addItem(QString::fromStdString(source));
    for (const record::Compressor& compressor : choices.compressors)
        compressor_list_->addItem(QString::fromStdString(compressor.name), compressor.position);
    // No source, or no usable compressor: the lists stay at "None" and so do
    // the stored choices (in memory; only Save writes them).
    if (choices.sources.empty() || choices.compressors.empty()) {
        if (compressor_list_->count() == 0)
            compressor_list_->addItem(LangText(context_.lang, QString::fromUtf16(kNone)));
        if (context_.settings != nullptr) {
            context_.settings->audio_index = 0;
            context_.settings->encoder_index = 0;
        }
    }
    if (context_.audio_choices != nullptr)
        *context_.audio_choices = std::move(choices);
}

void SettingsDialog::SelectListEntries() {
    const int32_t audio = context_.settings != nullptr ? context_.settings->audio_index : 0;
    const int32_t encoder = context_.settings != nullptr ? context_.settings->encoder_index : 0;
    const bool audio_valid = audio >= 0 && audio <= source_count_;
    audio_list_->setCurrentIndex(audio_valid ? audio : 0);
    compressor_list_->setEnabled(audio_valid && audio != 0);
    // Compressors that did not connect count toward the remembered count but
    // have no entry: an index past the list selects the first entry too.
    const bool encoder_valid =
        encoder >= 0 && encoder < compressor_count_ && encoder < compressor_list_->count();
    compressor_list_->setCurrentIndex(encoder_valid ? encoder : 0);
    const QVariant data = compressor_list_->currentData();
    compressor_position_ = data.isValid() ? data.toInt() : -1;
}

// ---- opening, browsing, saving ----------------------------------------------------

void SettingsDialog::Open() {
    if (context_.settings != nullptr) {
        smooth_ = context_.settings->smooth;
        resume_replug_ = context_.settings->resume_after_replug;
        resume_recording_ = context_.settings->resume_recording;
        record_as_shown_ = context_.settings->record_as_shown;
        picture_folder_ = QString::fromStdU16String(context_.settings->capture_path);
        video_folder_ = QString::fromStdU16String(context_.settings->record_path);
    }
    ShowRecordableLength(video_folder_);
    SelectListEntries();
    UpdateData(false);
    show();
}

void SettingsDialog::UpdateData(bool save) {
    if (save) {
        picture_folder_ = picture_edit_->text();
        video_folder_ = video_edit_->text();
        smooth_ = smooth_check_->isChecked();
        resume_replug_ = resume_replug_check_->isChecked();
        resume_recording_ = resume_recording_check_->isChecked();
        record_as_shown_ = record_as_shown_check_->isChecked();
    } else {
        picture_edit_->setText(picture_folder_);
        video_edit_->setText(video_folder_);
        smooth_check_->setChecked(smooth_);
        resume_replug_check_->setChecked(resume_replug_);
        resume_recording_check_->setChecked(resume_recording_);
        resume_recording_check_->setEnabled(resume_replug_);
        record_as_shown_check_->setChecked(record_as_shown_);
    }
}

void SettingsDialog::ShowRecordableLength(const QString& folder) {
    // A folder the first recording will create is measured on the file
    // system that will hold it: its nearest existing parent's.
    std::filesystem::path measured(folder.toStdString());
    std::error_code ec;
    while (!measured.empty() && !std::filesystem::exists(measured, ec) &&
           measured != measured.parent_path())
        measured = measured.parent_path();
    uint64_t free_bytes = 0;
    if (measured.empty() || !platform::GetFreeBytes(measured.string(), &free_bytes))
        return;
    const uint64_t seconds = free_bytes / 1024 / kKilobytesPerSecond;
    char text[64];
    std::snprintf(text, sizeof text, "%02" PRIu64 "H:%02" PRIu64 "M:%02" PRIu64 "S", seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    length_edit_->setText(QString::fromLatin1(text));
    length_edit_->update();
}

void SettingsDialog::OnBrowse(int id) {
    const bool pictures = id == kBrowsePictureId;
    const QString title =
        TitleOf(context_.lang, pictures ? u"Select the captrue path" : u"Select the record path");
    QString folder = picker_ ? picker_(this, title) : QString();
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // The edit would cut a longer path, and the cut path names another folder.
    if (folder.size() > kMaxFolderChars) {
        if (notifier_)
            notifier_(this, LangText(context_.lang,
                                     "The folder path is too long (at most %1 characters): %2")
                                .arg(kMaxFolderChars)
                                .arg(folder));
        return;
    }
    (pictures ? picture_folder_ : video_folder_) = folder;
    UpdateData(false);
    if (!pictures)
        ShowRecordableLength(video_folder_);
    (pictures ? picture_edit_ : video_edit_)->update();
}

QString SettingsDialog::DocumentsFolder() const {
    return QString::fromStdU16String(context_.documents_folder);
}

void SettingsDialog::OnSave() {
    UpdateData(true);
    // A folder typed without its closing separator would not count as a
    // folder at the next start (the settings keep only folders that end in
    // one) and the choice would be lost: store it as Browse does.
    for (QString* folder : {&picture_folder_, &video_folder_}) {
        if (!folder->isEmpty() && !folder->endsWith(QLatin1Char('/')))
            *folder += QLatin1Char('/');
    }
    const int32_t audio = audio_list_->currentIndex();
    const int32_t encoder = compressor_list_->currentIndex();
    const QVariant data = compressor_list_->currentData();
    compressor_position_ = data.isValid() ? data.toInt() : -1;
    if (context_.settings != nullptr) {
        settings::AppSettings& s = *context_.settings;
        s.capture_path =
            (picture_folder_.isEmpty() ? DocumentsFolder() : picture_folder_).toStdU16String();
        s.record_path =
            (video_folder_.isEmpty() ? DocumentsFolder() : video_folder_).toStdU16String();
        s.smooth = smooth_;
        s.resume_after_replug = resume_replug_;
        s.resume_recording = resume_recording_;
        s.record_as_shown = record_as_shown_;
        s.audio_index = audio;
        s.encoder_index = encoder;
        if (context_.ini != nullptr) {
            using namespace settings;
            context_.ini->WriteBool(kSectionApp, kSmooth, s.smooth);
            context_.ini->WriteBool(kSectionApp, kResumeAfterReplug, s.resume_after_replug);
            context_.ini->WriteBool(kSectionApp, kResumeRecording, s.resume_recording);
            context_.ini->WriteBool(kSectionApp, kRecordAsShown, s.record_as_shown);
            context_.ini->WriteString(kSectionApp, kCapturePath, s.capture_path.c_str());
            context_.ini->WriteString(kSectionApp, kRecordPath, s.record_path.c_str());
            context_.ini->WriteInt(kSectionApp, kAudioIndex, s.audio_index, 10);
            context_.ini->WriteInt(kSectionApp, kEncoderIndex, s.encoder_index, 10);
        }
    }
    hide();
}

// ---- painting -------------------------------------------------------------------------

void SettingsDialog::paintEvent(QPaintEvent*) {
    if (pictures_pending_) {
        pictures_pending_ = false;
        capture_picture_->setPixmap(QPixmap::fromImage(LoadSkinImage("Setting/Capture.bmp")));
        record_picture_->setPixmap(QPixmap::fromImage(LoadSkinImage("Setting/Record.bmp")));
    }
    QPainter painter(this);
    PaintCentredBand(painter, background_, size(), palette().color(QPalette::Window));
}
