#include "jpeg_structure.h"

namespace pixadec {
namespace {

constexpr uint8_t kSOI = 0xD8;
constexpr uint8_t kEOI = 0xD9;
constexpr uint8_t kSOS = 0xDA;
constexpr uint8_t kTEM = 0x01;

bool IsRestart(uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// SOF0-SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool IsFrameHeader(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

unsigned ReadU16(const uint8_t* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}

// A frame header: precision, height, width, component count, then three
// bytes per component.
bool IsValidFrameHeader(const uint8_t* body, size_t body_size) {
    if (body_size < 6) {
        return false;
    }
    const unsigned height = ReadU16(body + 1);
    const unsigned width = ReadU16(body + 3);
    const unsigned components = body[5];
    // A height of 0 would be given later by a DNL marker; cameras never send
    // that and the decoder refuses it, so it counts as broken here.
    return height > 0 && width > 0 && components > 0 && body_size == 6 + 3 * size_t{components};
}

// Skips a scan's entropy-coded data from pos. Returns the position of the
// 0xFF that starts the next marker, or size when the data ends first.
size_t SkipEntropyData(const uint8_t* data, size_t size, size_t pos) {
    while (pos < size) {
        if (data[pos] != 0xFF) {
            ++pos;
            continue;
        }
        if (pos + 1 >= size) {
            return size;
        }
        const uint8_t next = data[pos + 1];
        if (next == 0x00 || IsRestart(next)) {
            pos += 2; // a stuffed 0xFF byte, or a restart marker inside the scan
        } else if (next == 0xFF) {
            ++pos; // fill byte before a marker
        } else {
            return pos;
        }
    }
    return size;
}

} // namespace

bool HasCompleteStructure(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != kSOI) {
        return false;
    }
    bool have_frame = false;
    bool have_scan = false;
    size_t pos = 2;
    while (pos < size) {
        if (data[pos] != 0xFF) {
            return false; // junk where a marker must stand
        }
        while (pos < size && data[pos] == 0xFF) {
            ++pos; // markers may be preceded by any number of fill bytes
        }
        if (pos >= size) {
            return false;
        }
        const uint8_t marker = data[pos++];
        if (marker == kEOI) {
            return have_frame && have_scan;
        }
        if (marker == 0x00 || marker == kSOI || IsRestart(marker)) {
            return false; // none of these may stand between segments
        }
        if (marker == kTEM) {
            continue; // stand-alone, no length
        }
        if (pos + 2 > size) {
            return false;
        }
        const size_t length = ReadU16(data + pos);
        if (length < 2 || pos + length > size) {
            return false;
        }
        const uint8_t* body = data + pos + 2;
        const size_t body_size = length - 2;
        pos += length;
        if (IsFrameHeader(marker)) {
            if (have_frame || !IsValidFrameHeader(body, body_size)) {
                return false;
            }
            have_frame = true;
        } else if (marker == kSOS) {
            if (!have_frame) {
                return false;
            }
            have_scan = true;
            pos = SkipEntropyData(data, size, pos);
        }
    }
    return false; // the data ended before EOI
}

} // namespace pixadec
