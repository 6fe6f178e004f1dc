// Media types of the capture graph's streams in the platform's records, and
// the camera's compressed formats.
#pragma once

#include "TovekCorvane.h"

#include <gst/gst.h>

#include <vector>

namespace corvane {

// A media type with its own format block; pbFormat points into format.
struct MediaTypeRecord {
    MediaTypeRecord() { Clear(); }
    MediaTypeRecord(const MediaTypeRecord&) = delete;
    MediaTypeRecord& operator=(const MediaTypeRecord&) = delete;

    void Clear();

    AM_MEDIA_TYPE type;
    std::vector<BYTE> format;
};

// Fills record from negotiated caps: compressed pictures (image/jpeg) and
// 32-bit frames (video/x-raw BGRx) as video with a video information header;
// any other stream with its kind but no video format. False for caps that
// are not fixed.
bool MediaTypeFromCaps(const GstCaps* caps, MediaTypeRecord* record);

// Copies the first 88 bytes of the format block to out when the type carries
// video information of at least that size; otherwise out is untouched.
// True when copied.
bool CopyVideoInfo(const AM_MEDIA_TYPE& type, VIDEOINFOHEADER* out);

// The compressed formats in caps (image/jpeg structures with fixed sizes),
// one per size and frame rate, in the order the caps list them; duplicates
// are left out.
std::vector<CorvaneVideoFormat> CompressedFormats(const GstCaps* caps);

// Fixed image/jpeg caps of format.
GstCaps* CapsForFormat(const CorvaneVideoFormat& format);

// The index of the format that fixed caps describe in formats, or -1.
int FormatIndex(const std::vector<CorvaneVideoFormat>& formats, const GstCaps* caps);

} // namespace corvane
