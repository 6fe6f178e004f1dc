#include "platform/profile.h"
#include "platform/system.h"
#include "settings/AppSettings.h"
#include "settings/IniStore.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace settings;

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const RECT& r, std::ostream* os) {
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

constexpr char16_t kProgramFolder[] = u"/opt/tovek/";
constexpr char16_t kDocuments[] = u"/home/user/Documents";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.Path() / "TovekCamera.INI";
        ini_path_ = platform::Utf8ToUtf16(path_.string());
        ini_ = std::make_unique<IniStore>(ini_path_.c_str());
    }
    void Set(const char16_t* section, const char16_t* key, const char16_t* value) {
        ASSERT_TRUE(ini_->WriteString(section, key, value));
    }
    std::u16string Raw(const char16_t* section, const char16_t* key) {
        char16_t buffer[1024];
        platform::GetPrivateProfileStringW(section, key, u"<missing>", buffer, 1024,
                                           ini_path_.c_str());
        return buffer;
    }
    AppSettings Load() { return LoadAppSettings(*ini_, kProgramFolder, kDocuments); }
    std::string FileText() {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    const testsupport::TempFolder dir_{"settings"};
    fs::path path_;
    std::u16string ini_path_;
    std::unique_ptr<IniStore> ini_;
};

TEST_F(SettingsTest, FirstStartUsesDefaultsAndWritesCaptionAndLogo) {
    const AppSettings s = Load();
    EXPECT_FALSE(s.smooth);
    EXPECT_EQ(s.capture_path, kProgramFolder); // the default ends in '/'
    EXPECT_EQ(s.record_path, kProgramFolder);
    EXPECT_EQ(s.audio_index, 0); // the program folder is no number
    EXPECT_EQ(s.encoder_index, 0);
    EXPECT_EQ(s.caption, u"Lumivue");
    EXPECT_FALSE(s.show_logo);
    EXPECT_EQ(s.graphic.line_width, 1);
    EXPECT_EQ(s.graphic.curve_width, 1);
    EXPECT_EQ(s.graphic.line_color, 0u);
    EXPECT_FALSE(s.graphic.rect_fill);
    // Exactly the two keys start-up writes, nothing else.
    EXPECT_EQ(FileText(), "[TovekCamera]\nMessageBoxString=Lumivue\nShowLogo=0\n");
}

TEST_F(SettingsTest, FoldersNeedATrailingSeparator) {
    Set(kSectionApp, kCapturePath, u"/data/pictures");
    Set(kSectionApp, kRecordPath, u"/data/videos/");
    AppSettings s = Load();
    EXPECT_EQ(s.capture_path, kDocuments);
    EXPECT_EQ(s.record_path, u"/data/videos/");
    EXPECT_EQ(Raw(kSectionApp, kCapturePath), u"/data/pictures"); // not written back

    Set(kSectionApp, kCapturePath, u"ab/"); // three characters: enough
    Set(kSectionApp, kRecordPath, u"a/");
    s = Load();
    EXPECT_EQ(s.capture_path, u"ab/");
    EXPECT_EQ(s.record_path, kDocuments);

    Set(kSectionApp, kCapturePath, u"C:\\Images\\"); // a Windows path names no folder here
    EXPECT_EQ(Load().capture_path, kDocuments);
}

TEST_F(SettingsTest, CaptionWithSeparatorOrEmptyIsReplacedAndWritten) {
    for (const char16_t* bad : {u"", u"My\\Camera", u"/opt/tovek/", u"a/b"}) {
        Set(kSectionApp, kMessageBoxString, bad);
        EXPECT_EQ(Load().caption, u"Lumivue");
        EXPECT_EQ(Raw(kSectionApp, kMessageBoxString), u"Lumivue");
    }
    Set(kSectionApp, kMessageBoxString, u"Visualiser 3000");
    EXPECT_EQ(Load().caption, u"Visualiser 3000");
    EXPECT_EQ(Raw(kSectionApp, kMessageBoxString), u"Visualiser 3000");
}

TEST_F(SettingsTest, ShowLogoIsWrittenBackAsZeroOrOne) {
    Set(kSectionApp, kShowLogo, u"Yes");
    EXPECT_TRUE(Load().show_logo);
    EXPECT_EQ(Raw(kSectionApp, kShowLogo), u"1");
    Set(kSectionApp, kShowLogo, u"TRUE");
    EXPECT_TRUE(Load().show_logo);
    Set(kSectionApp, kShowLogo, u"2");
    EXPECT_TRUE(Load().show_logo);
    EXPECT_EQ(Raw(kSectionApp, kShowLogo), u"1");
    Set(kSectionApp, kShowLogo, u"no");
    EXPECT_FALSE(Load().show_logo);
    EXPECT_EQ(Raw(kSectionApp, kShowLogo), u"0");
}

TEST_F(SettingsTest, WidthsOutsideOneToTwentyBecomeOne) {
    Set(kSectionGraphic, kLineWidth, u"0");
    Set(kSectionGraphic, kRectangleWidth, u"21");
    Set(kSectionGraphic, kCircleWidth, u"20");
    Set(kSectionGraphic, kCurveWidth, u"thick");
    AppSettings s = Load();
    EXPECT_EQ(s.graphic.line_width, 1);
    EXPECT_EQ(s.graphic.rect_width, 1);
    EXPECT_EQ(s.graphic.circle_width, 20);
    EXPECT_EQ(s.graphic.curve_width, 1);

    Set(kSectionGraphic, kLineWidth, u" 7px");
    Set(kSectionGraphic, kRectangleWidth, u"-3");
    Set(kSectionGraphic, kCurveWidth, u"99999999999999999999");
    s = Load();
    EXPECT_EQ(s.graphic.line_width, 7);
    EXPECT_EQ(s.graphic.rect_width, 1);
    EXPECT_EQ(s.graphic.curve_width, 1);
}

TEST_F(SettingsTest, NumbersColoursAndFlagsAreRead) {
    Set(kSectionApp, kSmooth, u"1");
    Set(kSectionApp, kAudioIndex, u"3");
    Set(kSectionApp, kEncoderIndex, u"-2");
    Set(kSectionGraphic, kLineColor, u"255");
    Set(kSectionGraphic, kRectFillColor, u"16711680");
    Set(kSectionGraphic, kCircleBFill, u"yes");
    Set(kSectionGraphic, kCurveColor, u"-1");
    const AppSettings s = Load();
    EXPECT_TRUE(s.smooth);
    EXPECT_EQ(s.audio_index, 3);
    EXPECT_EQ(s.encoder_index, -2);
    EXPECT_EQ(s.graphic.line_color, 255u);
    EXPECT_EQ(s.graphic.rect_fill_color, 0xFF0000u);
    EXPECT_TRUE(s.graphic.circle_fill);
    EXPECT_EQ(s.graphic.curve_color, 0xFFFFFFFFu);
}

TEST(SettingsAtoi, FollowsAtoiAndClampsOverflow) {
    EXPECT_EQ(AtoiText(u""), 0);
    EXPECT_EQ(AtoiText(u"  \t42abc"), 42);
    EXPECT_EQ(AtoiText(u"+5"), 5);
    EXPECT_EQ(AtoiText(u"-17"), -17);
    EXPECT_EQ(AtoiText(u"- 1"), 0);
    EXPECT_EQ(AtoiText(u"2147483647"), 2147483647);
    EXPECT_EQ(AtoiText(u"2147483648"), 2147483647);
    EXPECT_EQ(AtoiText(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(AtoiText(u"-99999999999999999999999"), -2147483647 - 1);
}

constexpr RECT kDesktop{0, 0, 1920, 1080};
constexpr int kCaption = 20;

TEST_F(SettingsTest, WindowPlacementDefaultsAndValidation) {
    WindowPlacement p = LoadWindowPlacement(*ini_, kDesktop, kCaption);
    EXPECT_EQ(p.rect, kDefaultWindowRect);
    EXPECT_EQ(p.show_mode, 0u);
    EXPECT_EQ(p.zoom_mode, 1u);

    ASSERT_TRUE(ini_->WriteRect(kSectionApp, kWindowPos, RECT{100, 50, 900, 650}));
    Set(kSectionApp, kShowWindowMode, u"2");
    Set(kSectionApp, kZoomMode, u"4");
    p = LoadWindowPlacement(*ini_, kDesktop, kCaption);
    EXPECT_EQ(p.rect, (RECT{100, 50, 900, 650}));
    EXPECT_EQ(p.show_mode, 2u);
    EXPECT_EQ(p.zoom_mode, 4u);

    Set(kSectionApp, kShowWindowMode, u"7");
    Set(kSectionApp, kZoomMode, u"5");
    p = LoadWindowPlacement(*ini_, kDesktop, kCaption);
    EXPECT_EQ(p.show_mode, 0u);
    EXPECT_EQ(p.zoom_mode, 1u);
}

TEST_F(SettingsTest, WindowPosOffTheDesktopOrMalformedGivesTheDefault) {
    ASSERT_TRUE(ini_->WriteRect(kSectionApp, kWindowPos, RECT{2000, 100, 2600, 550}));
    EXPECT_EQ(LoadWindowPlacement(*ini_, kDesktop, kCaption).rect, kDefaultWindowRect);
    // Body on the desktop but the title strip above it: still unreachable.
    ASSERT_TRUE(ini_->WriteRect(kSectionApp, kWindowPos, RECT{100, -30, 700, 420}));
    EXPECT_EQ(LoadWindowPlacement(*ini_, kDesktop, kCaption).rect, kDefaultWindowRect);
    // 31 hex digits.
    Set(kSectionApp, kWindowPos, u"6400000032000000840300008A02000");
    EXPECT_EQ(LoadWindowPlacement(*ini_, kDesktop, kCaption).rect, kDefaultWindowRect);
    // Partly off the left edge, title strip still grabbable.
    ASSERT_TRUE(ini_->WriteRect(kSectionApp, kWindowPos, RECT{-500, 1070, 100, 1500}));
    EXPECT_EQ(LoadWindowPlacement(*ini_, kDesktop, kCaption).rect, (RECT{-500, 1070, 100, 1500}));
}

TEST(SettingsTitleStrip, NeedsACommonPixel) {
    EXPECT_TRUE(TitleStripOnDesktop(RECT{0, 0, 600, 450}, kCaption, kDesktop));
    EXPECT_TRUE(TitleStripOnDesktop(RECT{1919, 1079, 2500, 1500}, kCaption, kDesktop));
    EXPECT_FALSE(TitleStripOnDesktop(RECT{1920, 0, 2500, 450}, kCaption, kDesktop));
    EXPECT_FALSE(TitleStripOnDesktop(RECT{0, 1080, 600, 1500}, kCaption, kDesktop));
    EXPECT_FALSE(TitleStripOnDesktop(RECT{0, -20, 600, 450}, kCaption, kDesktop));
    EXPECT_FALSE(TitleStripOnDesktop(RECT{600, 0, 0, 450}, kCaption, kDesktop)); // inverted
}

} // namespace

TEST_F(SettingsTest, ResumeOptionsAreOffAndTimeLapseChoicesStayInRange) {
    AppSettings s = Load();
    EXPECT_FALSE(s.resume_after_replug);
    EXPECT_FALSE(s.resume_recording);
    EXPECT_EQ(s.timelapse_interval_s, 10);
    EXPECT_EQ(s.timelapse_target, 0);
    EXPECT_EQ(s.timelapse_rate, 10);
    const struct {
        const char16_t* interval;
        const char16_t* target;
        const char16_t* rate;
        int32_t want_interval, want_target, want_rate;
    } cases[] = {
        {u"1", u"1", u"30", 1, 1, 30},
        {u"86400", u"0", u"1", 86400, 0, 1},
        {u"0", u"2", u"31", 10, 0, 10}, // out of range: the defaults
        {u"86401", u"-1", u"0", 10, 0, 10},
    };
    for (const auto& c : cases) {
        Set(kSectionApp, kTimeLapseInterval, c.interval);
        Set(kSectionApp, kTimeLapseTarget, c.target);
        Set(kSectionApp, kTimeLapseRate, c.rate);
        Set(kSectionApp, kResumeAfterReplug, u"1");
        s = Load();
        EXPECT_TRUE(s.resume_after_replug);
        EXPECT_EQ(s.timelapse_interval_s, c.want_interval) << c.want_interval;
        EXPECT_EQ(s.timelapse_target, c.want_target);
        EXPECT_EQ(s.timelapse_rate, c.want_rate);
    }
}

TEST_F(SettingsTest, SharePortIsTheSystemsChoiceUnlessAValidOne) {
    EXPECT_EQ(Load().share_port, 0) << "no key";
    const std::pair<const char16_t*, int32_t> cases[] = {
        {u"8080", 8080}, {u"1", 1},   {u"65535", 65535}, {u"0", 0},
        {u"65536", 0},   {u"-80", 0}, {u"http", 0},
    };
    for (const auto& [text, want] : cases) {
        Set(kSectionApp, kSharePort, text);
        EXPECT_EQ(Load().share_port, want) << want;
    }
}

TEST_F(SettingsTest, RecordAsShownIsOnOnlyAsSaveWritesIt) {
    EXPECT_FALSE(Load().record_as_shown) << "no key";
    for (const bool on : {true, false}) {
        ASSERT_TRUE(ini_->WriteBool(kSectionApp, kRecordAsShown, on));
        EXPECT_EQ(on, Load().record_as_shown);
    }
    // Malformed: off.
    for (const char16_t* value : {u"", u"2", u"-1", u"01", u"1x", u"on", u"yes", u"\u00b9"}) {
        Set(kSectionApp, kRecordAsShown, value);
        EXPECT_FALSE(Load().record_as_shown) << platform::Utf16ToUtf8(value);
    }
}

namespace {

// An installed program: the folders missing from the INI default to the XDG
// pictures and videos folders, and everything else reads as in a build.
TEST_F(SettingsTest, InstalledFolderDefaultsComeFromTheLayout) {
    const SettingsFolders installed{u"/usr/bin/", u"/home/user/Pictures/", u"/home/user/Videos/",
                                    kDocuments};
    struct Case {
        const char* name;
        const char16_t* capture; // nullptr: key missing
        std::u16string want_capture;
        std::u16string want_record;
    };
    const Case cases[] = {
        {"both missing", nullptr, u"/home/user/Pictures/", u"/home/user/Videos/"},
        {"a chosen folder stays", u"/srv/class/", u"/srv/class/", u"/home/user/Videos/"},
        {"an invalid folder gives the documents", u"/srv/class", kDocuments, u"/home/user/Videos/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path_);
        if (c.capture)
            Set(kSectionApp, kCapturePath, c.capture);
        const AppSettings s = LoadAppSettings(*ini_, installed);
        EXPECT_EQ(s.capture_path, c.want_capture);
        EXPECT_EQ(s.record_path, c.want_record);
        EXPECT_EQ(s.audio_index, 0);
        EXPECT_EQ(s.caption, u"Lumivue"); // the program folder holds '/'
    }
}

} // namespace
