// Camera control: the family-independent control codes of the menus, the
// keyboard and the control tool bar, their translation into the command byte
// of each camera family, and the texts of the camera status codes.
//
// Qt-free and header-only so that every window sending control codes shares
// the one translation (and with it the RVX command counters).
#pragma once

#include "settings/DeviceCatalogue.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

namespace ctl {

// Control codes. Read as signed bytes they are the tool bar's button keys
// (0xA4 is -92, 0xB5 is -75).
inline constexpr uint8_t kMotionEnd = 0xA4; // ends a zoom or focus motion
inline constexpr uint8_t kZoomIn = 0xA5;
inline constexpr uint8_t kZoomOut = 0xA6;
inline constexpr uint8_t kZoomClose = 0xA7; // closes a zoom sequence
inline constexpr uint8_t kFocusNear = 0xA8;
inline constexpr uint8_t kFocusFar = 0xA9;
inline constexpr uint8_t kBrighter = 0xAA;
inline constexpr uint8_t kDarker = 0xAB;
inline constexpr uint8_t kSharpUp = 0xAC;
inline constexpr uint8_t kSharpDown = 0xAD;
inline constexpr uint8_t kAuto = 0xAE;
inline constexpr uint8_t kMirror = 0xAF;
inline constexpr uint8_t kRedUp = 0xB0;
inline constexpr uint8_t kRedDown = 0xB1;
inline constexpr uint8_t kBlueUp = 0xB2;
inline constexpr uint8_t kBlueDown = 0xB3;
inline constexpr uint8_t kNegative = 0xB4;
inline constexpr uint8_t kMonoColor = 0xB5;
inline constexpr uint8_t kFirst = kMotionEnd;
inline constexpr uint8_t kLast = kMonoColor;

// Sent for a code outside kFirst..kLast, whatever the family.
inline constexpr uint8_t kUnknownCommand = 0xBA;

// The RVX family's multi-state commands step through their bytes with these
// counters (indices of the sequencer's three command counters). A camera
// open or change sets them to 0.
enum Counter { kMirrorCounter = 0, kNegCounter = 1, kMonoColorCounter = 2, kCounterCount = 3 };

struct Translation {
    uint8_t q5;
    uint8_t rvx; // for kMirror, kNegative and kMonoColor the counter picks instead
};

// Indexed by code - kFirst.
inline constexpr Translation kTranslations[] = {
    {0xBA, 0x30}, // 0xA4 end of motion
    {0xB1, 0x31}, // 0xA5 zoom in
    {0xB2, 0x32}, // 0xA6 zoom out
    {0xBB, 0x35}, // 0xA7 closes a zoom sequence
    {0xB8, 0x34}, // 0xA8 focus near
    {0xB9, 0x33}, // 0xA9 focus far
    {0xBC, 0x41}, // 0xAA brighter
    {0xBD, 0x40}, // 0xAB darker
    {0xBE, 0x43}, // 0xAC sharpness up
    {0xBF, 0x42}, // 0xAD sharpness down
    {0xB3, 0x35}, // 0xAE auto
    {0xB4, 0x4A}, // 0xAF mirror
    {0xD2, 0x45}, // 0xB0 red up
    {0xD3, 0x44}, // 0xB1 red down
    {0xD0, 0x47}, // 0xB2 blue up
    {0xD1, 0x46}, // 0xB3 blue down
    {0xB6, 0x38}, // 0xB4 negative
    {0xB5, 0x49}, // 0xB5 mono/colour
};
static_assert(std::size(kTranslations) == kLast - kFirst + 1);

// The command byte for code on family. On the RVX family mirror, negative
// and mono/colour use and then advance their counter in counters; any other
// family is served by the Q5 bytes.
inline uint8_t TranslateControlKey(DeviceFamily family, int code, int (&counters)[kCounterCount]) {
    if (code < kFirst || code > kLast)
        return kUnknownCommand;
    const Translation& t = kTranslations[code - kFirst];
    if (family != DeviceFamily::kRVX)
        return t.q5;
    switch (code) {
    case kMirror: {
        // Modulo of a non-negative value: the counter may have wrapped.
        const auto state = static_cast<uint32_t>(counters[kMirrorCounter]++) % 4u;
        return static_cast<uint8_t>(0x4A + state);
    }
    case kNegative:
        return (counters[kNegCounter]++ & 1) == 0 ? 0x38 : 0x37;
    case kMonoColor:
        return (counters[kMonoColorCounter]++ & 1) == 0 ? 0x49 : 0x48;
    default:
        return t.rvx;
    }
}

// ---- camera status -------------------------------------------------------------

inline constexpr int kStatusNormal = 0x11;
// Characters of a status text at most (narrow, not translated).
inline constexpr size_t kMaxStatusText = 1023;

// The banner text of status code (never called for kStatusNormal).
inline std::string StatusText(int code) {
    struct Entry {
        int code;
        const char* text;
    };
    static constexpr Entry kTexts[] = {
        {0x22, "Invalid(Freeze)"},
        {0x33, "Invalid(Split)"},
        {0x44, "Invalid(Recall)"},
        {0x55, "Invalid(Preview)"},
        {0x66, "Invalid(Digital)"},
        {0x77, "Invalid(PC)"},
        {0x80, "Positive"},
        {0x81, "Negative"},
        {0x82, "Tele"},
        {0x83, "Wide"},
        {0x84, "AF"},
        {0x85, "Foucus Far"},
        {0x86, "Foucus Near"},
        {0x87, "Bright +"},
        {0x88, "Bright -"},
        {0x89, "Red +"},
        {0x8A, "Red -"},
        {0x8B, "Blue +"},
        {0x8C, "Blue -"},
        {0x8D, "AWB"},
        {0x8E, "Mirror"},
        {0x8F, "Sharp +"},
        {0x90, "Sharp -"},
        {0x91, "Mono"},
        {0x92, "Color"},
        {0x93, "Text"},
        {0x94, "Dynamic"},
        {0x95, "Auto"},
        {0x96, "Save"},
        {0x97, "Page"},
        {0x98, "Image"},
        {0x99, "Flip"},
        {0x9A, "Rotate"},
        {0x9B, "Exit"},
    };
    for (const Entry& e : kTexts) {
        if (e.code == code)
            return e.text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "Unknown(Error = 0X%02X)", static_cast<unsigned>(code));
    return text;
}

} // namespace ctl
