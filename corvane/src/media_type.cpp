#include "media_type.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

bool SameFormat(const CorvaneVideoFormat& a, const CorvaneVideoFormat& b) {
    // Frame rates compare as fractions: 30/1 is 60/2.
    return a.width == b.width && a.height == b.height &&
           static_cast<int64_t>(a.fps_numerator) * b.fps_denominator ==
               static_cast<int64_t>(b.fps_numerator) * a.fps_denominator;
}

void AddFormat(std::vector<CorvaneVideoFormat>& formats, int width, int height,
               const GValue* rate) {
    if (rate == nullptr || !GST_VALUE_HOLDS_FRACTION(rate)) {
        return;
    }
    const CorvaneVideoFormat format{width, height, gst_value_get_fraction_numerator(rate),
                                    gst_value_get_fraction_denominator(rate)};
    if (format.fps_numerator <= 0 || format.fps_denominator <= 0) {
        return;
    }
    for (const CorvaneVideoFormat& known : formats) {
        if (SameFormat(known, format)) {
            return;
        }
    }
    formats.push_back(format);
}

} // namespace

void MediaTypeRecord::Clear() {
    std::memset(&type, 0, sizeof type);
    format.clear();
}

bool MediaTypeFromCaps(const GstCaps* caps, MediaTypeRecord* record) {
    record->Clear();
    if (caps == nullptr || !gst_caps_is_fixed(caps)) {
        return false;
    }
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    const char* name = gst_structure_get_name(structure);
    const bool jpeg = std::strcmp(name, "image/jpeg") == 0;
    const bool raw = std::strcmp(name, "video/x-raw") == 0;
    const bool audio = g_str_has_prefix(name, "audio/");
    record->type.majortype = audio ? MEDIATYPE_Audio : (jpeg || raw) ? MEDIATYPE_Video : GUID_NULL;
    record->type.formattype = GUID_NULL;
    int width = 0;
    int height = 0;
    if (!(jpeg || raw) || !gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height) || width <= 0 || height <= 0) {
        return true; // known kind, no video information
    }
    int fps_n = 0;
    int fps_d = 1;
    gst_structure_get_fraction(structure, "framerate", &fps_n, &fps_d);

    VIDEOINFOHEADER info{};
    info.rcSource = {0, 0, width, height};
    info.rcTarget = {0, 0, width, height};
    info.AvgTimePerFrame =
        fps_n > 0 && fps_d > 0 ? static_cast<REFERENCE_TIME>(10000000LL * fps_d / fps_n) : 0;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (jpeg) {
        record->type.subtype = MEDIASUBTYPE_MJPG;
        record->type.bTemporalCompression = FALSE;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = MakeFourCC('M', 'J', 'P', 'G');
        info.bmiHeader.biSizeImage = static_cast<DWORD>(std::min<uint64_t>(pixels * 3, UINT32_MAX));
    } else {
        record->type.subtype = MEDIASUBTYPE_RGB32;
        record->type.bFixedSizeSamples = TRUE;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        info.bmiHeader.biSizeImage = static_cast<DWORD>(std::min<uint64_t>(pixels * 4, UINT32_MAX));
        record->type.lSampleSize = info.bmiHeader.biSizeImage;
    }
    if (info.AvgTimePerFrame > 0) {
        const uint64_t bits_per_second = static_cast<uint64_t>(info.bmiHeader.biSizeImage) * 8 *
                                         static_cast<uint64_t>(fps_n) /
                                         static_cast<uint64_t>(fps_d);
        info.dwBitRate = static_cast<DWORD>(std::min<uint64_t>(bits_per_second, UINT32_MAX));
    }
    record->format.resize(sizeof info);
    std::memcpy(record->format.data(), &info, sizeof info);
    record->type.formattype = FORMAT_VideoInfo;
    record->type.cbFormat = static_cast<ULONG>(record->format.size());
    record->type.pbFormat = record->format.data();
    return true;
}

bool CopyVideoInfo(const AM_MEDIA_TYPE& type, VIDEOINFOHEADER* out) {
    if (!(type.formattype == FORMAT_VideoInfo) || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    std::memcpy(out, type.pbFormat, sizeof(VIDEOINFOHEADER));
    return true;
}

std::vector<CorvaneVideoFormat> CompressedFormats(const GstCaps* caps) {
    std::vector<CorvaneVideoFormat> formats;
    if (caps == nullptr) {
        return formats;
    }
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        int width = 0;
        int height = 0;
        if (!gst_structure_has_name(structure, "image/jpeg") ||
            !gst_structure_get_int(structure, "width", &width) ||
            !gst_structure_get_int(structure, "height", &height) || width <= 0 || height <= 0) {
            continue;
        }
        const GValue* rates = gst_structure_get_value(structure, "framerate");
        if (rates == nullptr) {
            continue;
        }
        if (GST_VALUE_HOLDS_LIST(rates)) {
            for (guint r = 0; r < gst_value_list_get_size(rates); ++r) {
                AddFormat(formats, width, height, gst_value_list_get_value(rates, r));
            }
        } else if (GST_VALUE_HOLDS_FRACTION_RANGE(rates)) {
            // A stepwise camera: offer its fastest rate.
            AddFormat(formats, width, height, gst_value_get_fraction_range_max(rates));
        } else {
            AddFormat(formats, width, height, rates);
        }
    }
    return formats;
}

GstCaps* CapsForFormat(const CorvaneVideoFormat& format) {
    return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, static_cast<int>(format.width),
                               "height", G_TYPE_INT, static_cast<int>(format.height), "framerate",
                               GST_TYPE_FRACTION, static_cast<int>(format.fps_numerator),
                               static_cast<int>(format.fps_denominator), nullptr);
}

int FormatIndex(const std::vector<CorvaneVideoFormat>& formats, const GstCaps* caps) {
    const std::vector<CorvaneVideoFormat> fixed = CompressedFormats(caps);
    if (caps == nullptr || !gst_caps_is_fixed(caps) || fixed.size() != 1) {
        return -1;
    }
    for (size_t i = 0; i < formats.size(); ++i) {
        if (SameFormat(formats[i], fixed[0])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace corvane
