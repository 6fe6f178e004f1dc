// Shared helpers of the Strovi tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "avi_test_util.h"
#include "platform/wintypes.h"

namespace strovitest {

// One movi chunk: its id, payload and idx1 flags.
struct Sample {
    std::string id;
    std::vector<uint8_t> data;
    uint32_t flags = 0;
};

// The movi chunks of a finished file in file order, with the flags of their
// idx1 entries (which must match the chunks one to one).
inline std::vector<Sample> ReadSamples(const std::string& path, std::string* error) {
    const std::vector<uint8_t> b = avitest::ReadFile(path);
    const avitest::Chunk root = avitest::ParseRiff(b, error);
    std::vector<Sample> samples;
    if (!error->empty() || root.children.empty()) {
        return samples;
    }
    const avitest::Chunk* movi = root.children[0].Find("movi");
    const avitest::Chunk* idx1 = root.children[0].Find("idx1");
    if (movi == nullptr || idx1 == nullptr || idx1->size != 16 * movi->children.size()) {
        *error = "movi and idx1 do not match";
        return samples;
    }
    for (size_t i = 0; i < movi->children.size(); ++i) {
        const avitest::Chunk& c = movi->children[i];
        Sample s;
        s.id = c.id;
        s.data.assign(b.begin() + static_cast<long>(c.data),
                      b.begin() + static_cast<long>(c.data + c.size));
        s.flags = avitest::U32(b, idx1->data + 16 * i + 4);
        samples.push_back(std::move(s));
    }
    return samples;
}

// A payload carrying a number in its first four bytes.
inline std::vector<uint8_t> Numbered(uint32_t number, size_t bytes = 16) {
    std::vector<uint8_t> data(bytes < 4 ? 4 : bytes, 0x5A);
    std::memcpy(data.data(), &number, 4);
    return data;
}

inline uint32_t NumberOf(const Sample& s) {
    uint32_t number = 0;
    if (s.data.size() >= 4) {
        std::memcpy(&number, s.data.data(), 4);
    }
    return number;
}

// An audio media type over format (which must outlive it).
inline AM_MEDIA_TYPE AudioType(std::vector<uint8_t>* format) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Audio;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = static_cast<ULONG>(format->size());
    mt.pbFormat = format->data();
    return mt;
}

// 22050 Hz stereo 16-bit PCM.
inline std::vector<uint8_t> PcmFormat() {
    WAVEFORMATEX wfx{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    const auto* p = reinterpret_cast<const uint8_t*>(&wfx);
    return std::vector<uint8_t>(p, p + sizeof(wfx));
}

} // namespace strovitest
