// The program's settings: every key of the INI file, its default, its
// validation and when it is written back, in one place. No window is needed:
// the application object and the main window call these with their IniStore.
#pragma once

#include "platform/wintypes.h"
#include "settings/GraphicDefaults.h"
#include "settings/IniStore.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace settings {

// Section and key names: fixed texts, never translated.
inline constexpr char16_t kSectionApp[] = u"TovekCamera";
inline constexpr char16_t kSectionGraphic[] = u"GraphicDefault";

inline constexpr char16_t kSmooth[] = u"Smooth";
inline constexpr char16_t kCapturePath[] = u"CaptruePath";
inline constexpr char16_t kRecordPath[] = u"RecordPath";
inline constexpr char16_t kAudioIndex[] = u"AudioIndex";
inline constexpr char16_t kEncoderIndex[] = u"EncoderIndex";
inline constexpr char16_t kMessageBoxString[] = u"MessageBoxString";
inline constexpr char16_t kShowLogo[] = u"ShowLogo";
inline constexpr char16_t kWindowPos[] = u"WindowPos";
inline constexpr char16_t kShowWindowMode[] = u"ShowWindowMode";
inline constexpr char16_t kZoomMode[] = u"ZoomMode";
inline constexpr char16_t kDeviceSelect[] = u"DeviceSelect";
inline constexpr char16_t kAppLogoIcon[] = u"AppLogoIcon";
// Off unless the user turns them on in the settings dialog.
inline constexpr char16_t kResumeAfterReplug[] = u"ResumeAfterReplug";
inline constexpr char16_t kResumeRecording[] = u"ResumeRecording";
// Recordings store the picture as shown (annotations, turn) when "1";
// anything else, or no key, records the camera's own frames.
inline constexpr char16_t kRecordAsShown[] = u"RecordAsShown";
// The document filter makes the picture grey when "1" (set by hand in the
// INI); anything else, or no key, keeps its colours.
inline constexpr char16_t kDocumentFilterGrey[] = u"DocumentFilterGrey";
// The time-lapse dialog's last choice.
inline constexpr char16_t kTimeLapseInterval[] = u"TimeLapseInterval";
inline constexpr char16_t kTimeLapseTarget[] = u"TimeLapseTarget";
inline constexpr char16_t kTimeLapseRate[] = u"TimeLapseRate";
// The port File > Share With Class listens on (1..65535); none, or anything
// else: the system chooses a free one each time sharing starts.
inline constexpr char16_t kSharePort[] = u"SharePort";

inline constexpr char16_t kLineWidth[] = u"LineWidth";
inline constexpr char16_t kLineColor[] = u"LineColor";
inline constexpr char16_t kRectangleWidth[] = u"RectangleWidth";
inline constexpr char16_t kRectangleColor[] = u"RectangleColor";
inline constexpr char16_t kRectangleBFill[] = u"RectangleBFill";
inline constexpr char16_t kRectFillColor[] = u"RectFillColor";
inline constexpr char16_t kCircleWidth[] = u"CircleWidth";
inline constexpr char16_t kCircleColor[] = u"CircleColor";
inline constexpr char16_t kCircleBFill[] = u"CircleBFill";
inline constexpr char16_t kCircleFillColor[] = u"CircleFillColor";
inline constexpr char16_t kCurveWidth[] = u"CurveWidth";
inline constexpr char16_t kCurveColor[] = u"CurveColor";

inline constexpr char16_t kDefaultCaption[] = u"Lumivue";
inline constexpr int32_t kMinWidth = 1;
inline constexpr int32_t kMaxWidth = 20;
// Numbers are read as text of at most this many characters.
inline constexpr uint32_t kNumberChars = 780;

inline constexpr RECT kDefaultWindowRect{0, 0, 600, 450};
inline constexpr uint32_t kShowModeCount = 5; // 0 restored ... 4
inline constexpr uint32_t kZoomModeCount = 5; // 0 Actual Size ... 4 Fit Image
inline constexpr uint32_t kDefaultZoomMode = 1;

// What start-up reads from section TovekCamera and GraphicDefault.
struct AppSettings {
    bool smooth = false;
    std::u16string capture_path;
    std::u16string record_path;
    int32_t audio_index = 0;
    int32_t encoder_index = 0;
    std::u16string caption; // MessageBoxString: every message box's caption, help file name
    bool show_logo = false;
    // A camera plugged back plays again in the states the user set.
    bool resume_after_replug = false;
    // ... and a recording the removal ended goes on in a new file.
    bool resume_recording = false;
    // Recordings are of the picture as shown, not the camera's frames.
    bool record_as_shown = false;
    // View > Document Filter gives grey pictures.
    bool document_filter_grey = false;
    // Time-lapse: seconds between pictures (1..86400), 0 pictures or 1 a
    // video, the video's frames per second (1..30).
    int32_t timelapse_interval_s = 10;
    int32_t timelapse_target = 0;
    int32_t timelapse_rate = 10;
    // Sharing's port; 0: chosen by the system.
    int32_t share_port = 0;
    GraphicDefaults graphic;
};

// The folders start-up reads the settings against.
struct SettingsFolders {
    // The executable's folder, ending in '/': the default text of every key
    // read as text (so a missing number reads 0 and a missing caption is
    // replaced).
    std::u16string_view program_folder;
    std::u16string_view capture_default;  // CaptruePath when missing, ends in '/'
    std::u16string_view record_default;   // RecordPath when missing, ends in '/'
    std::u16string_view documents_folder; // replaces an invalid folder; no trailing '/'
};

// Reads every start-up setting, validates it and writes back the two keys
// that start-up writes (MessageBoxString when replaced, ShowLogo always).
AppSettings LoadAppSettings(IniStore& ini, const SettingsFolders& folders);
// The same with the program folder as the default picture and video folder,
// as a program run from its build folder has it.
AppSettings LoadAppSettings(IniStore& ini, std::u16string_view program_folder,
                            std::u16string_view documents_folder);

// The window's placement as the main window reads it when it starts.
struct WindowPlacement {
    RECT rect = kDefaultWindowRect; // normal position
    uint32_t show_mode = 0;         // 1 minimised, 2 maximised, else normal
    uint32_t zoom_mode = kDefaultZoomMode;
};

// True when the strip (left, top, right, top + caption_height) of r shares at
// least one pixel with desktop.
bool TitleStripOnDesktop(const RECT& r, int32_t caption_height, const RECT& desktop);

// WindowPos (used only when its title strip is on the desktop), ShowWindowMode
// and ZoomMode, validated.
WindowPlacement LoadWindowPlacement(const IniStore& ini, const RECT& desktop,
                                    int32_t caption_height);

// atoi over UTF-16 text: leading blanks, an optional sign, decimal digits up
// to the first non-digit; no digits give 0. Values beyond 32 bits are clamped
// (the C atoi leaves them undefined).
int32_t AtoiText(std::u16string_view text);

// True when caption can name the program: not empty and free of path
// separators (it becomes the help file's name).
bool IsValidCaption(std::u16string_view caption);

// A capture or record folder as read: kept when it has at least 3 characters
// and ends in '/', else the documents folder.
std::u16string ValidFolder(std::u16string_view value, std::u16string_view documents_folder);

// A line, rectangle, circle or curve width: outside 1..20 becomes 1.
int32_t ValidWidth(int32_t width);

} // namespace settings
