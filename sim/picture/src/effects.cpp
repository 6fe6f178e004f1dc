// The camera state applied to the page: zoom and mirror in one resampling
// pass, focus as a box blur, sharpness as an unsharp mask, then brightness,
// colour gains, mono and negative per pixel. Stages that would change
// nothing are skipped, so the neutral state costs one copy.
#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim::detail {

namespace {

uint8_t Clamp8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Where output column/row i reads from: two neighbours and the weight
// (0..256) of the second one.
struct Tap {
    int lo;
    int hi;
    int weight;
};

std::vector<Tap> Taps(int extent, double magnification, bool flip) {
    std::vector<Tap> taps(static_cast<size_t>(extent));
    const double window = extent / magnification;
    const double start = (extent - window) / 2.0;
    for (int i = 0; i < extent; ++i) {
        const int out = flip ? extent - 1 - i : i;
        double u = start + (out + 0.5) * window / extent - 0.5;
        u = std::clamp(u, 0.0, static_cast<double>(extent - 1));
        const int lo = static_cast<int>(u);
        taps[i] = {lo, std::min(lo + 1, extent - 1), static_cast<int>((u - lo) * 256.0 + 0.5)};
    }
    return taps;
}

// Zoom toward the centre (bilinear) and mirror. Without zoom the taps fall on
// whole pixels and the pass is a plain (possibly mirrored) copy.
void Resample(const RgbImage& src, const CameraState& state, RgbImage& dst) {
    const int w = src.width;
    const int h = src.height;
    dst.Resize(w, h);
    const bool flip_x = state.mirror == Mirror::kHorizontal || state.mirror == Mirror::kBoth;
    const bool flip_y = state.mirror == Mirror::kVertical || state.mirror == Mirror::kBoth;

    if (state.zoom == 0) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.Row(flip_y ? h - 1 - y : y);
            uint8_t* d = dst.Row(y);
            if (!flip_x) {
                std::memcpy(d, s, static_cast<size_t>(w) * 3);
                continue;
            }
            for (int x = 0; x < w; ++x) {
                std::memcpy(d + x * 3, s + (w - 1 - x) * 3, 3);
            }
        }
        return;
    }

    const double magnification = 1.0 + state.zoom / 5.0;
    const std::vector<Tap> xs = Taps(w, magnification, flip_x);
    const std::vector<Tap> ys = Taps(h, magnification, flip_y);
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = src.Row(ys[y].lo);
        const uint8_t* b = src.Row(ys[y].hi);
        const int wy = ys[y].weight;
        uint8_t* d = dst.Row(y);
        for (int x = 0; x < w; ++x) {
            const Tap& t = xs[x];
            const int lo = t.lo * 3;
            const int hi = t.hi * 3;
            for (int c = 0; c < 3; ++c) {
                const int top = a[lo + c] * (256 - t.weight) + a[hi + c] * t.weight;
                const int bottom = b[lo + c] * (256 - t.weight) + b[hi + c] * t.weight;
                d[x * 3 + c] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    }
}

// Box blur of the given radius in place (edges repeat), through tmp; running
// sums make the cost independent of the radius. With a non-zero
// unsharp_amount the blur serves as the mask of an unsharp filter instead:
// image += amount / 256 * (image - blur), which sharpens for a positive amount
// and softens toward the blur for a negative one.
void BoxBlur(RgbImage& image, int radius, RgbImage& tmp, int unsharp_amount = 0) {
    const int w = image.width;
    const int h = image.height;
    const int n = 2 * radius + 1;
    tmp.Resize(w, h);

    for (int y = 0; y < h; ++y) {
        const uint8_t* s = image.Row(y);
        uint8_t* d = tmp.Row(y);
        for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                sum += s[std::clamp(k, 0, w - 1) * 3 + c];
            }
            for (int x = 0; x < w; ++x) {
                d[x * 3 + c] = static_cast<uint8_t>((sum + n / 2) / n);
                sum += s[std::min(x + radius + 1, w - 1) * 3 + c];
                sum -= s[std::max(x - radius, 0) * 3 + c];
            }
        }
    }

    // The vertical pass reads only tmp, so it may write over image.
    const size_t row_bytes = static_cast<size_t>(w) * 3;
    std::vector<int> sums(row_bytes, 0);
    for (int k = -radius; k <= radius; ++k) {
        const uint8_t* s = tmp.Row(std::clamp(k, 0, h - 1));
        for (size_t i = 0; i < row_bytes; ++i) {
            sums[i] += s[i];
        }
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* d = image.Row(y);
        const uint8_t* add = tmp.Row(std::min(y + radius + 1, h - 1));
        const uint8_t* sub = tmp.Row(std::max(y - radius, 0));
        for (size_t i = 0; i < row_bytes; ++i) {
            const int blur = (sums[i] + n / 2) / n;
            d[i] = unsharp_amount == 0 ? static_cast<uint8_t>(blur)
                                       : Clamp8(d[i] + ((d[i] - blur) * unsharp_amount) / 256);
            sums[i] += add[i] - sub[i];
        }
    }
}

bool NeedsToneMapping(const CameraState& state) {
    return state.brightness != 0 || state.red_gain != 0 || state.blue_gain != 0 || state.mono ||
           state.negative;
}

// Brightness and gains through one table per channel; mono takes the luma of
// the adjusted colour; negative inverts last.
void MapTones(RgbImage& image, const CameraState& state) {
    uint8_t lut[3][256];
    const double gains[3] = {1.0 + 0.1 * state.red_gain, 1.0, 1.0 + 0.1 * state.blue_gain};
    const int offset = 16 * state.brightness;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            int out = Clamp8(static_cast<int>(std::lround(v * gains[c])) + offset);
            if (state.negative && !state.mono) {
                out = 255 - out;
            }
            lut[c][v] = static_cast<uint8_t>(out);
        }
    }
    uint8_t* p = image.pixels.data();
    const size_t count = image.pixels.size() / 3;
    for (size_t i = 0; i < count; ++i, p += 3) {
        const uint8_t r = lut[0][p[0]];
        const uint8_t g = lut[1][p[1]];
        const uint8_t b = lut[2][p[2]];
        if (state.mono) {
            int y = (77 * r + 150 * g + 29 * b + 128) >> 8;
            if (state.negative) {
                y = 255 - y;
            }
            p[0] = p[1] = p[2] = static_cast<uint8_t>(y);
        } else {
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

} // namespace

void ApplyState(const RgbImage& page, const CameraState& state, RgbImage& out, RgbImage& scratch) {
    Resample(page, state, out);

    // Blur scales with the picture so every size looks equally out of focus.
    const int radius = static_cast<int>(std::lround(std::abs(state.focus) * page.height / 480.0));
    if (radius > 0) {
        BoxBlur(out, radius, scratch);
    }

    if (state.sharpness != 0) {
        BoxBlur(out, 1, scratch, state.sharpness > 0 ? state.sharpness * 96 : state.sharpness * 48);
    }

    if (NeedsToneMapping(state)) {
        MapTones(out, state);
    }
}

} // namespace sim::detail
