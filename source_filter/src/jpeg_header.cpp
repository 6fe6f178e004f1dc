#include "jpeg_header.h"

namespace camsrc {
namespace {

constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;

bool IsFrameHeader(uint8_t marker) {
    // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length field.
bool IsStandalone(uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

uint32_t ReadBigEndian16(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

} // namespace

bool ReadJpegFrameSize(const uint8_t* data, size_t size, int* width, int* height) {
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != kSoi) {
        return false;
    }
    size_t pos = 2;
    while (pos + 2 <= size) {
        if (data[pos] != 0xFF) {
            return false;
        }
        const uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte before a marker
            continue;
        }
        pos += 2;
        if (IsStandalone(marker)) {
            continue;
        }
        if (marker == kSoi || marker == kEoi || marker == kSos || pos + 2 > size) {
            return false;
        }
        const size_t length = ReadBigEndian16(data + pos); // counts itself, not the marker
        if (length < 2 || length > size - pos) {
            return false;
        }
        if (IsFrameHeader(marker)) {
            // Precision (1 byte), height (2), width (2), components...
            if (length < 7) {
                return false;
            }
            const int h = static_cast<int>(ReadBigEndian16(data + pos + 3));
            const int w = static_cast<int>(ReadBigEndian16(data + pos + 5));
            if (w == 0 || h == 0) {
                return false;
            }
            *width = w;
            *height = h;
            return true;
        }
        pos += length;
    }
    return false;
}

} // namespace camsrc
