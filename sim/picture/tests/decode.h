// Test helper: decodes a JPEG with TurboJPEG, the independent reader.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <span>
#include <vector>

namespace sim::test {

struct Decoded {
    bool ok = false;     // decoded without error or warning
    bool header = false; // the header alone could be read
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<uint8_t> rgb;

    const uint8_t* At(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

inline Decoded Decode(std::span<const uint8_t> jpeg) {
    Decoded d;
    tjhandle tj = tjInitDecompress();
    int colourspace = 0;
    auto* data = const_cast<unsigned char*>(jpeg.data());
    if (tjDecompressHeader3(tj, data, jpeg.size(), &d.width, &d.height, &d.subsampling,
                            &colourspace) == 0 &&
        d.width > 0 && d.height > 0) {
        d.header = true;
        d.rgb.resize(static_cast<size_t>(d.width) * d.height * 3);
        d.ok = tjDecompress2(tj, data, jpeg.size(), d.rgb.data(), d.width, 0, d.height, TJPF_RGB,
                             0) == 0;
    }
    tjDestroy(tj);
    return d;
}

// Mean of one channel (0 red, 1 green, 2 blue) over the whole picture.
inline double MeanChannel(const Decoded& d, int channel) {
    uint64_t sum = 0;
    for (size_t i = channel; i < d.rgb.size(); i += 3) {
        sum += d.rgb[i];
    }
    return static_cast<double>(sum) / (d.rgb.size() / 3);
}

} // namespace sim::test
