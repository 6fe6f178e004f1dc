// The capture and record settings dialog, headless: the recordable length
// from a stand-in free-space measurement, the sound lists and their
// selection, browsing with a stand-in folder picker, and Save into the
// settings and the INI file.
#include "platform/system.h"
#include "testsupport/gui_support.h"
#include "widgets/SettingsDialog.h"
#include "widgets/SkinButton.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

bool g_free_known = true;
uint64_t g_free_bytes = 0;
std::string g_free_folder;

bool FakeFreeBytes(const std::string& folder, uint64_t* free_bytes) {
    g_free_folder = folder;
    *free_bytes = g_free_bytes;
    return g_free_known;
}

// What the audio library offers: "MPEG Layer-3" and "Microsoft ADPCM"
// connect but are left out by name, "Odd" does not connect.
record::AudioChoices g_choices;
const record::AudioChoices kTwoSources = {{"simulated", "line in"},
                                          {"MPEG Layer-3", "Microsoft ADPCM", "PCM", "Odd", "Wave"},
                                          {{"PCM", 2}, {"Wave", 4}},
                                          3};

std::vector<std::string> Entries(const QComboBox* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(list->itemText(i).toStdString());
    return entries;
}

class SettingDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::App(); }

    void SetUp() override {
        platform::SetFreeBytesFunction(FakeFreeBytes);
        g_free_known = true;
        g_free_bytes = 0;
        g_choices = kTwoSources;
        settings_.capture_path = u"/pictures/";
        settings_.record_path = u"/videos/";
        settings_.audio_index = 1;
        settings_.encoder_index = 1;
        settings_.caption = u"Lumivue";
    }
    void TearDown() override { platform::SetFreeBytesFunction(nullptr); }

    std::unique_ptr<SettingsDialog> Create() {
        SettingDialogContext context;
        context.ini = &ini_;
        context.settings = &settings_;
        context.documents_folder = u"/home/user/Documents";
        context.audio_choices = &choices_;
        context.list_audio = [] { return g_choices; };
        auto dialog = std::make_unique<SettingsDialog>(std::move(context), &window_);
        dialog->SetFolderPicker([this](QWidget*, const QString& title) {
            titles_.push_back(title.toStdString());
            return picked_;
        });
        dialog->SetNotifier(
            [this](QWidget*, const QString& text) { notices_.push_back(text.toStdString()); });
        return dialog;
    }
    std::string Ini(const char16_t* key) const {
        char16_t text[512];
        const uint32_t n = ini_.GetString(settings::kSectionApp, key, text, 512, u"<missing>");
        return platform::Utf16ToUtf8(std::u16string(text, n));
    }

    testsupport::ProgramFolder folder_;
    IniStore ini_{folder_.Ini().c_str()};
    settings::AppSettings settings_;
    std::optional<record::AudioChoices> choices_;
    QWidget window_;
    QString picked_;
    std::vector<std::string> titles_;
    std::vector<std::string> notices_;
};

TEST_F(SettingDialogTest, OpensModelessWithTheStoredFoldersAndCancelHides) {
    auto dialog = Create();
    EXPECT_FALSE(dialog->isVisible()); // created hidden
    EXPECT_EQ(dialog->windowTitle(), "Capture and record setting");
    EXPECT_EQ(dialog->size(), QSize(456, 388)); // 304 x 239 dialog units
    EXPECT_EQ(dialog->GetSkinButton(1)->geometry(), QRect(381, 334, 38, 38));
    EXPECT_EQ(dialog->GetSkinButton(1)->ToolTipText(), "Save parameter");
    dialog->Open();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->PictureFolderEdit()->text(), "/pictures/");
    EXPECT_EQ(dialog->VideoFolderEdit()->text(), "/videos/");
    // No such folder yet: measured where the first recording will make it.
    EXPECT_EQ(g_free_folder, "/");
    dialog->reject(); // Cancel and Esc hide it; nothing is written
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Ini(settings::kCapturePath), "<missing>");
}

TEST_F(SettingDialogTest, RecordableLengthFromTheFreeSpace) {
    auto dialog = Create();
    struct Row {
        bool known;
        uint64_t free_bytes;
        const char* shown;
    };
    const Row rows[] = {
        {true, 45500ull * 1024, "00H:00M:10S"},
        {true, 0, "00H:00M:00S"},
        {true, 45500ull * 1024 - 1, "00H:00M:09S"},
        {true, 4550ull * 1024 * (3600 * 123 + 60 * 4 + 5), "123H:04M:05S"},
        {false, 4550ull * 1024 * 7, "123H:04M:05S"}, // unmeasurable: unchanged
    };
    for (const Row& row : rows) {
        g_free_known = row.known;
        g_free_bytes = row.free_bytes;
        dialog->ShowRecordableLength(QStringLiteral("/videos/"));
        EXPECT_EQ(dialog->LengthEdit()->text(), row.shown) << row.free_bytes;
    }
}

TEST_F(SettingDialogTest, ListsUsableCompressorsOnlyAndReplacesTheApplicationsLists) {
    auto dialog = Create();
    EXPECT_EQ(Entries(dialog->AudioList()),
              (std::vector<std::string>{"None", "simulated", "line in"}));
    EXPECT_EQ(Entries(dialog->CompressorList()), (std::vector<std::string>{"PCM", "Wave"}));
    ASSERT_TRUE(choices_.has_value());
    EXPECT_EQ(choices_->encoders.size(), 5u);           // every encoder, for the recorder
    EXPECT_EQ(dialog->SelectedCompressorPosition(), 4); // "Wave" is encoder 4

    // No usable compressor, or no source at all: "None", indices back to 0.
    const record::AudioChoices poor[] = {{{"simulated"}, {"MPEG Layer-3"}, {}, 0}, {}};
    for (const record::AudioChoices& offered : poor) {
        g_choices = offered;
        settings_.audio_index = 1;
        settings_.encoder_index = 1;
        auto poor_dialog = Create();
        EXPECT_EQ(Entries(poor_dialog->CompressorList()), (std::vector<std::string>{"None"}));
        EXPECT_EQ(poor_dialog->AudioList()->currentIndex(), 0);
        EXPECT_FALSE(poor_dialog->CompressorList()->isEnabled());
        EXPECT_EQ(settings_.audio_index, 0);
        EXPECT_EQ(settings_.encoder_index, 0);
        EXPECT_EQ(poor_dialog->SelectedCompressorPosition(), -1);
    }
    EXPECT_EQ(Ini(settings::kAudioIndex), "<missing>"); // only Save writes
}

TEST_F(SettingDialogTest, StoredIndicesSelectTheEntries) {
    struct Row {
        int32_t audio, encoder;
        int source_entry;
        bool compressors_enabled;
        int compressor_entry;
    };
    const Row rows[] = {
        {0, 0, 0, false, 0},  {1, 0, 1, true, 0},
        {2, 1, 2, true, 1},   {3, 1, 0, false, 1}, // past the sources: "None"
        {-1, 0, 0, false, 0}, {1, -1, 1, true, 0},
        {1, 2, 1, true, 0}, // below the remembered count, past the list
        {1, 3, 1, true, 0}, // at the remembered count
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.audio << "," << row.encoder);
        settings_.audio_index = row.audio;
        settings_.encoder_index = row.encoder;
        auto dialog = Create();
        dialog->Open();
        EXPECT_EQ(dialog->AudioList()->currentIndex(), row.source_entry);
        EXPECT_EQ(dialog->CompressorList()->isEnabled(), row.compressors_enabled);
        EXPECT_EQ(dialog->CompressorList()->currentIndex(), row.compressor_entry);
    }
    // Choosing "None" disables the compressors at once; a source enables them.
    auto dialog = Create();
    dialog->AudioList()->setCurrentIndex(0);
    EXPECT_FALSE(dialog->CompressorList()->isEnabled());
    dialog->AudioList()->setCurrentIndex(2);
    EXPECT_TRUE(dialog->CompressorList()->isEnabled());
}

TEST_F(SettingDialogTest, SaveStoresTheChoicesAndTheDocumentsFolderForAnEmptyOne) {
    auto dialog = Create();
    dialog->Open();
    dialog->PictureFolderEdit()->clear();
    // Typed without its separator: stored with it, or the next start drops it.
    dialog->VideoFolderEdit()->setText(QStringLiteral("/media/usb"));
    dialog->SmoothCheck()->setChecked(true);
    dialog->AudioList()->setCurrentIndex(2);
    dialog->CompressorList()->setCurrentIndex(0);
    dialog->GetSkinButton(SettingsDialog::kSaveId)->click();

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings_.capture_path, u"/home/user/Documents");
    EXPECT_EQ(settings_.record_path, u"/media/usb/");
    EXPECT_TRUE(settings_.smooth);
    EXPECT_EQ(settings_.audio_index, 2);
    EXPECT_EQ(settings_.encoder_index, 0);
    EXPECT_EQ(dialog->SelectedCompressorPosition(), 2); // "PCM"
    EXPECT_EQ(Ini(settings::kCapturePath), "/home/user/Documents");
    EXPECT_EQ(Ini(settings::kRecordPath), "/media/usb/");
    EXPECT_EQ(Ini(settings::kSmooth), "1");
    EXPECT_EQ(Ini(settings::kAudioIndex), "2");
    EXPECT_EQ(Ini(settings::kEncoderIndex), "0");
}

TEST_F(SettingDialogTest, OwnOptionsAreOffUntilSavedAndResumingRecordingNeedsReplug) {
    auto dialog = Create();
    dialog->Open();
    EXPECT_FALSE(dialog->ResumeReplugCheck()->isChecked());
    EXPECT_FALSE(dialog->ResumeRecordingCheck()->isChecked());
    EXPECT_FALSE(dialog->ResumeRecordingCheck()->isEnabled());
    EXPECT_FALSE(dialog->RecordAsShownCheck()->isChecked());
    dialog->ResumeReplugCheck()->setChecked(true);
    EXPECT_TRUE(dialog->ResumeRecordingCheck()->isEnabled());
    dialog->ResumeRecordingCheck()->setChecked(true);
    dialog->RecordAsShownCheck()->setChecked(true);
    EXPECT_FALSE(settings_.resume_after_replug); // nothing before Save
    dialog->GetSkinButton(SettingsDialog::kSaveId)->click();
    EXPECT_TRUE(settings_.resume_after_replug);
    EXPECT_TRUE(settings_.resume_recording);
    EXPECT_TRUE(settings_.record_as_shown);
    EXPECT_EQ(Ini(settings::kResumeAfterReplug), "1");
    EXPECT_EQ(Ini(settings::kResumeRecording), "1");
    EXPECT_EQ(Ini(settings::kRecordAsShown), "1");
    // Opened again: the boxes show what was saved.
    dialog->Open();
    EXPECT_TRUE(dialog->ResumeReplugCheck()->isChecked());
    EXPECT_TRUE(dialog->ResumeRecordingCheck()->isEnabled());
    EXPECT_TRUE(dialog->RecordAsShownCheck()->isChecked());
}

TEST_F(SettingDialogTest, BrowseTakesTheChosenFolderWithItsSeparator) {
    auto dialog = Create();
    dialog->Open();
    struct Row {
        int button;
        const char* picked;
        const char* picture; // the edits afterwards
        const char* video;
    };
    const Row rows[] = {
        {SettingsDialog::kBrowsePictureId, "/data/pictures", "/data/pictures/", "/videos/"},
        {SettingsDialog::kBrowseVideoId, "/data/videos/", "/data/pictures/", "/data/videos/"},
        {SettingsDialog::kBrowseVideoId, "", "/data/pictures/", "/data/videos/"}, // cancelled
    };
    g_free_bytes = 4550ull * 1024 * 61;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.picked);
        picked_ = QString::fromLatin1(row.picked);
        dialog->OnBrowse(row.button);
        EXPECT_EQ(dialog->PictureFolderEdit()->text(), row.picture);
        EXPECT_EQ(dialog->VideoFolderEdit()->text(), row.video);
    }
    EXPECT_EQ(titles_,
              (std::vector<std::string>{"Select the captrue path", "Select the record path",
                                        "Select the record path"}));
    EXPECT_EQ(g_free_folder, "/");
    EXPECT_EQ(dialog->LengthEdit()->text(), "00H:01M:01S");

    // Browsing puts the stored values back: unsaved typing is replaced.
    dialog->VideoFolderEdit()->setText(QStringLiteral("/typed"));
    picked_ = QStringLiteral("/elsewhere");
    dialog->OnBrowse(SettingsDialog::kBrowsePictureId);
    EXPECT_EQ(dialog->VideoFolderEdit()->text(), "/data/videos/");

    // A folder longer than the edit holds is refused, not cut.
    picked_ = QStringLiteral("/") + QString(SettingsDialog::kMaxFolderChars, QLatin1Char('d'));
    dialog->OnBrowse(SettingsDialog::kBrowsePictureId);
    EXPECT_EQ(dialog->PictureFolderEdit()->text(), "/elsewhere/");
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_EQ(Ini(settings::kCapturePath), "<missing>");
}

} // namespace
