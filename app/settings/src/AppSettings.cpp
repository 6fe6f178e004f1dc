#include "settings/AppSettings.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace settings {

namespace {

// The whole value of key, or default_text when it is missing.
std::u16string ReadText(const IniStore& ini, const char16_t* section, const char16_t* key,
                        const std::u16string& default_text) {
    const uint32_t length = ini.GetString(section, key, nullptr, 0, default_text.c_str());
    std::vector<char16_t> buffer(static_cast<size_t>(length) + 1, u'\0');
    const uint32_t copied =
        ini.GetString(section, key, buffer.data(), length + 1, default_text.c_str());
    return std::u16string(buffer.data(), copied);
}

// Numbers are read as text with the program folder as default and converted
// with atoi, so a missing key reads 0.
int32_t ReadNumber(const IniStore& ini, const char16_t* section, const char16_t* key,
                   const std::u16string& program_folder) {
    char16_t buffer[kNumberChars + 1] = {};
    const uint32_t copied =
        ini.GetString(section, key, buffer, kNumberChars + 1, program_folder.c_str());
    return AtoiText(std::u16string_view(buffer, copied));
}

} // namespace

int32_t AtoiText(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1)
            break; // clamped below; more digits change nothing
    }
    if (negative)
        value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

bool IsValidCaption(std::u16string_view caption) {
    // The Windows program refuses a backslash; here the path separator is
    // '/', and the default (the program folder) holds '/', so both are refused.
    return !caption.empty() && caption.find(u'\\') == std::u16string_view::npos &&
           caption.find(u'/') == std::u16string_view::npos;
}

std::u16string ValidFolder(std::u16string_view value, std::u16string_view documents_folder) {
    if (value.size() >= 3 && value.back() == u'/')
        return std::u16string(value);
    return std::u16string(documents_folder);
}

int32_t ValidWidth(int32_t width) {
    return width < kMinWidth || width > kMaxWidth ? kMinWidth : width;
}

AppSettings LoadAppSettings(IniStore& ini, std::u16string_view program_folder,
                            std::u16string_view documents_folder) {
    return LoadAppSettings(
        ini, SettingsFolders{program_folder, program_folder, program_folder, documents_folder});
}

AppSettings LoadAppSettings(IniStore& ini, const SettingsFolders& folders) {
    const std::u16string program_folder(folders.program_folder);
    const std::u16string_view documents_folder = folders.documents_folder;
    AppSettings s;

    s.smooth = ini.GetBool(kSectionApp, kSmooth, false);
    s.resume_after_replug = ini.GetBool(kSectionApp, kResumeAfterReplug, false);
    s.resume_recording = ini.GetBool(kSectionApp, kResumeRecording, false);
    // Only what Save writes turns it on: a stray value must not make every
    // recording cost a re-encoding.
    s.record_as_shown = ReadText(ini, kSectionApp, kRecordAsShown, u"0") == u"1";
    s.document_filter_grey = ReadText(ini, kSectionApp, kDocumentFilterGrey, u"0") == u"1";
    // Out of range: the default.
    const auto ranged = [&](const char16_t* key, int32_t low, int32_t high, int32_t fallback) {
        const int32_t value = ReadNumber(ini, kSectionApp, key, program_folder);
        return value >= low && value <= high ? value : fallback;
    };
    s.timelapse_interval_s = ranged(kTimeLapseInterval, 1, 24 * 3600, s.timelapse_interval_s);
    s.timelapse_target = ranged(kTimeLapseTarget, 0, 1, 0);
    s.timelapse_rate = ranged(kTimeLapseRate, 1, 30, s.timelapse_rate);
    s.share_port = ranged(kSharePort, 1, 65535, 0);
    s.capture_path = ValidFolder(
        ReadText(ini, kSectionApp, kCapturePath, std::u16string(folders.capture_default)),
        documents_folder);
    s.record_path =
        ValidFolder(ReadText(ini, kSectionApp, kRecordPath, std::u16string(folders.record_default)),
                    documents_folder);
    s.audio_index = ReadNumber(ini, kSectionApp, kAudioIndex, program_folder);
    s.encoder_index = ReadNumber(ini, kSectionApp, kEncoderIndex, program_folder);
    s.caption = ReadText(ini, kSectionApp, kMessageBoxString, program_folder);
    s.show_logo = ini.GetBool(kSectionApp, kShowLogo, false);

    GraphicDefaults& g = s.graphic;
    auto number = [&](const char16_t* key) {
        return ReadNumber(ini, kSectionGraphic, key, program_folder);
    };
    // Colours are stored as signed decimals ("%ld"); the bits are the COLORREF.
    auto colour = [&](const char16_t* key) { return static_cast<COLORREF>(number(key)); };
    g.line_width = ValidWidth(number(kLineWidth));
    g.line_color = colour(kLineColor);
    g.rect_width = ValidWidth(number(kRectangleWidth));
    g.rect_color = colour(kRectangleColor);
    g.rect_fill = ini.GetBool(kSectionGraphic, kRectangleBFill, false);
    g.rect_fill_color = colour(kRectFillColor);
    g.circle_width = ValidWidth(number(kCircleWidth));
    g.circle_color = colour(kCircleColor);
    g.circle_fill = ini.GetBool(kSectionGraphic, kCircleBFill, false);
    g.circle_fill_color = colour(kCircleFillColor);
    g.curve_width = ValidWidth(number(kCurveWidth));
    g.curve_color = colour(kCurveColor);

    if (!IsValidCaption(s.caption)) {
        s.caption = kDefaultCaption;
        ini.WriteString(kSectionApp, kMessageBoxString, s.caption.c_str());
    }
    ini.WriteString(kSectionApp, kShowLogo, s.show_logo ? u"1" : u"0");
    return s;
}

bool TitleStripOnDesktop(const RECT& r, int32_t caption_height, const RECT& desktop) {
    const int64_t left = std::max<int64_t>(r.left, desktop.left);
    const int64_t right = std::min<int64_t>(r.right, desktop.right);
    const int64_t top = std::max<int64_t>(r.top, desktop.top);
    const int64_t bottom =
        std::min<int64_t>(static_cast<int64_t>(r.top) + caption_height, desktop.bottom);
    return left < right && top < bottom;
}

WindowPlacement LoadWindowPlacement(const IniStore& ini, const RECT& desktop,
                                    int32_t caption_height) {
    WindowPlacement p;
    const RECT stored = ini.GetRect(kSectionApp, kWindowPos, kDefaultWindowRect);
    if (TitleStripOnDesktop(stored, caption_height, desktop))
        p.rect = stored;
    p.show_mode = ini.GetUInt(kSectionApp, kShowWindowMode, 0, 10);
    if (p.show_mode >= kShowModeCount)
        p.show_mode = 0;
    p.zoom_mode = ini.GetUInt(kSectionApp, kZoomMode, kDefaultZoomMode, 10);
    if (p.zoom_mode >= kZoomModeCount)
        p.zoom_mode = kDefaultZoomMode;
    return p;
}

} // namespace settings
