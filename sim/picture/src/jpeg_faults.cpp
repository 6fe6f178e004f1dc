// Padding and damage for fault injection. Both walk the JPEG's marker
// segments only as far as they need and never read past the input.
#include "sim/picture.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;
constexpr uint8_t kCom = 0xFE;
constexpr size_t kMaxSegment = 0xFFFF; // segment length field, which counts itself
constexpr size_t kNotFound = static_cast<size_t>(-1);

bool StartsWithSoi(std::span<const uint8_t> jpeg) {
    return jpeg.size() >= 2 && jpeg[0] == kMarker && jpeg[1] == kSoi;
}

bool IsStandalone(uint8_t marker) {
    return marker == kSoi || marker == kEoi || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Offset of the first segment whose marker satisfies match, searching the
// header segments up to and including the start of scan; kNotFound if none.
template <typename Match>
size_t FindSegment(std::span<const uint8_t> jpeg, Match match) {
    size_t i = 2;
    while (i + 1 < jpeg.size()) {
        if (jpeg[i] != kMarker) {
            return kNotFound; // not at a segment: the header is broken
        }
        const uint8_t marker = jpeg[i + 1];
        if (marker == kMarker) {
            ++i; // fill byte
            continue;
        }
        if (match(marker)) {
            return i;
        }
        if (IsStandalone(marker)) {
            i += 2;
            continue;
        }
        if (marker == kSos || i + 3 >= jpeg.size()) {
            return kNotFound;
        }
        i += 2 + ((static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3]);
    }
    return kNotFound;
}

// A small deterministic generator, so the same seed damages the same bytes.
uint32_t NextRandom(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void AppendComments(std::vector<uint8_t>& out, size_t grow) {
    while (grow > 0) {
        // A segment takes 4 to kMaxSegment + 2 bytes; never leave 1 to 3 over.
        size_t chunk = std::min(grow, kMaxSegment + 2);
        if (grow - chunk > 0 && grow - chunk < 4) {
            chunk = grow - 4;
        }
        const size_t length = chunk - 2;
        out.push_back(kMarker);
        out.push_back(kCom);
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(length & 0xFF));
        out.insert(out.end(), chunk - 4, 0);
        grow -= chunk;
    }
}

} // namespace

bool PadJpeg(std::span<const uint8_t> jpeg, size_t size, JpegPadding padding,
             std::vector<uint8_t>* padded) {
    if (!padded || !StartsWithSoi(jpeg) || jpeg.size() > size) {
        return false;
    }
    const size_t grow = size - jpeg.size();
    if (padding == JpegPadding::kCommentSegment && grow > 0 && grow < 4) {
        return false;
    }
    std::vector<uint8_t> out;
    out.reserve(size);
    if (padding == JpegPadding::kAfterEnd) {
        out.assign(jpeg.begin(), jpeg.end());
        out.resize(size, 0);
    } else {
        out.assign(jpeg.begin(), jpeg.begin() + 2);
        AppendComments(out, grow);
        out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    }
    *padded = std::move(out);
    return true;
}

std::vector<uint8_t> DamageJpeg(std::span<const uint8_t> jpeg, JpegDamage damage, uint32_t seed) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.end());
    switch (damage) {
    case JpegDamage::kTruncate:
        out.resize(out.size() / 2);
        break;
    case JpegDamage::kScrambleData: {
        const size_t sos = FindSegment(out, [](uint8_t m) { return m == kSos; });
        if (sos == kNotFound || sos + 3 >= out.size()) {
            break;
        }
        const size_t begin = sos + 2 + ((static_cast<size_t>(out[sos + 2]) << 8) | out[sos + 3]);
        size_t end = out.size();
        if (end >= 2 && out[end - 2] == kMarker && out[end - 1] == kEoi) {
            end -= 2;
        }
        if (begin >= end) {
            break;
        }
        uint32_t random = seed == 0 ? 0x9E3779B9u : seed;
        const size_t flips = std::max<size_t>(8, (end - begin) / 256);
        for (size_t k = 0; k < flips; ++k) {
            const size_t at = begin + NextRandom(random) % (end - begin);
            out[at] ^= static_cast<uint8_t>(1 + NextRandom(random) % 255);
        }
        break;
    }
    case JpegDamage::kBreakHeader: {
        // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC): FF Cn, length,
        // precision, height, width.
        const size_t sof = FindSegment(out, [](uint8_t m) {
            return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        });
        if (sof != kNotFound && sof + 8 < out.size()) {
            out[sof + 7] = 0;
            out[sof + 8] = 0;
        }
        break;
    }
    case JpegDamage::kNoStartMarker:
        if (out.size() >= 2) {
            out[0] = 0;
            out[1] = 0;
        }
        break;
    }
    return out;
}

} // namespace sim
