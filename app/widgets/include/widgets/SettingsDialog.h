// SettingsDialog: the modeless dialog "Capture and record setting" (template
// 132): the folders for pictures and videos, the sound source and the audio
// compressor for recording, whether recordings show the picture as shown,
// and how long a video still fits on the video folder's file system. Save copies the choices into
// the application's settings and writes them to the INI file, then hides the dialog; Cancel (Esc,
// the close button) hides it. Nothing is written before Save.
//
// Creating the dialog lists the sound sources and compressors once
// (ListAudioChoices connects every compressor, so it takes a moment) and
// replaces the application's lists with them.
//
// Threads: the user-interface thread only. Lifetime: a child of the main
// window, which deletes a hidden one when it opens the dialog again; the
// settings, the INI store and the audio lists of the context must outlive it.
#pragma once

#include "language/language.h"
#include "record/AudioChoices.h"
#include "settings/AppSettings.h"
#include "settings/IniStore.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class SkinButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the dialog reads and writes of the application.
struct SettingDialogContext {
    IniStore* ini = nullptr;                   // Save writes here
    settings::AppSettings* settings = nullptr; // read when opened, updated by Save
    std::u16string documents_folder;           // stored for an empty folder
    std::optional<record::AudioChoices>* audio_choices = nullptr; // replaced at creation
    HLANGCTX lang = nullptr;                                      // may be null
    // Lists the sound sources and compressors; empty: record::ListAudioChoices.
    std::function<record::AudioChoices()> list_audio;
};

class SettingsDialog : public QDialog {
public:
    static constexpr int kTemplateId = 132;
    static constexpr int kCapturePictureId = 1042;
    static constexpr int kPictureLabelId = 1012;
    static constexpr int kPictureFolderId = 1007;
    static constexpr int kBrowsePictureId = 1011;
    static constexpr int kRecordPictureId = 1043;
    static constexpr int kVideoLabelId = 1014;
    static constexpr int kVideoFolderId = 1008;
    static constexpr int kBrowseVideoId = 1013;
    static constexpr int kAudioLabelId = 1054;
    static constexpr int kAudioListId = 1051;
    static constexpr int kCompressorLabelId = 1055;
    static constexpr int kCompressorListId = 1053;
    static constexpr int kLengthLabelId = 1047;
    static constexpr int kLengthId = 1046;
    static constexpr int kSmoothId = 1010;
    // Options of this program's own, off by default.
    static constexpr int kResumeReplugId = 1060;
    static constexpr int kResumeRecordingId = 1061;
    static constexpr int kRecordAsShownId = 1062;
    static constexpr int kSaveId = 1;
    static constexpr int kCancelId = 2;
    static constexpr int kMaxFolderChars = 300; // what the folder edits hold
    static constexpr int kSkinButtonSize = 38;
    static constexpr uint64_t kKilobytesPerSecond = 4550; // of recorded video

    // Returns the folder the user chose, or an empty text when cancelled.
    using FolderPicker = std::function<QString(QWidget* owner, const QString& title)>;
    // Tells the user why a choice was refused.
    using Notifier = std::function<void(QWidget* owner, const QString& text)>;

    // Builds the dialog hidden, centred on main_window, translated, with the
    // lists filled and their entries selected from the stored indices.
    SettingsDialog(SettingDialogContext context, QWidget* main_window);
    ~SettingsDialog() override;

    // The main window's opening: the stored folders and smooth flag into the
    // controls, the recordable length of the video folder, the list entries
    // from the stored indices; then shown, without blocking.
    void Open();

    // "%02dH:%02dM:%02dS" into control 1046 from the free space of the file
    // system holding folder; unchanged when it cannot be measured.
    void ShowRecordableLength(const QString& folder);

    // Tests replace the folder picker (QFileDialog by default) and the
    // message (a QMessageBox by default).
    void SetFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }
    void SetNotifier(Notifier notifier) { notifier_ = std::move(notifier); }

    // Control handlers, public so that tests drive them.
    void OnBrowse(int id);
    void OnSave();

    // The selected compressor's position in the library's encoder list (its
    // list item's data value), kept in memory only; -1 for "None".
    int32_t SelectedCompressorPosition() const { return compressor_position_; }

    QLineEdit* PictureFolderEdit() const { return picture_edit_; }
    QLineEdit* VideoFolderEdit() const { return video_edit_; }
    QLineEdit* LengthEdit() const { return length_edit_; }
    QComboBox* AudioList() const { return audio_list_; }
    QComboBox* CompressorList() const { return compressor_list_; }
    QCheckBox* SmoothCheck() const { return smooth_check_; }
    QCheckBox* ResumeReplugCheck() const { return resume_replug_check_; }
    QCheckBox* ResumeRecordingCheck() const { return resume_recording_check_; }
    QCheckBox* RecordAsShownCheck() const { return record_as_shown_check_; }
    SkinButton* GetSkinButton(int id) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    void SkinButtons();
    void FillAudioLists();
    // Selects the list entries from the stored audio and encoder indices.
    void SelectListEntries();
    // Fields into the controls (false) or back (true), like UpdateData.
    void UpdateData(bool save);
    QString DocumentsFolder() const;

    SettingDialogContext context_;
    FolderPicker picker_;
    Notifier notifier_;
    QImage background_;            // "BackGround/Setting.bmp"; null when missing
    bool pictures_pending_ = true; // the two pictures get their bitmaps at the first paint
    int source_count_ = 0;
    int compressor_count_ = 0; // the remembered count: encoders less those left out by name
    QString picture_folder_;
    QString video_folder_;
    bool smooth_ = false;
    bool resume_replug_ = false;
    bool resume_recording_ = false;
    bool record_as_shown_ = false;
    int32_t compressor_position_ = -1;

    QLabel* capture_picture_ = nullptr;
    QLabel* record_picture_ = nullptr;
    QLineEdit* picture_edit_ = nullptr;
    QLineEdit* video_edit_ = nullptr;
    QLineEdit* length_edit_ = nullptr;
    QComboBox* audio_list_ = nullptr;
    QComboBox* compressor_list_ = nullptr;
    QCheckBox* smooth_check_ = nullptr;
    QCheckBox* resume_replug_check_ = nullptr;
    QCheckBox* resume_recording_check_ = nullptr;
    QCheckBox* record_as_shown_check_ = nullptr;
    SkinButton* browse_picture_ = nullptr;
    SkinButton* browse_video_ = nullptr;
    SkinButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
