#include "PictureScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int kShift = 14;
constexpr int32_t kOne = 1 << kShift; // weights are fractions of this

uint8_t Rounded(int32_t sum) {
    return static_cast<uint8_t>(std::clamp((sum + kOne / 2) >> kShift, 0, 255));
}

// The row sums, built twice: for any x86-64 processor and for AVX2, whose
// 32-bit multiply SSE2 lacks. Chosen by a test of the processor rather than
// an indirect function, which the sanitizers cannot run.
void AddRowPlain(int32_t* __restrict sums, const uint8_t* __restrict row, int32_t weight,
                 size_t count) {
    for (size_t i = 0; i < count; ++i)
        sums[i] += weight * row[i];
}

[[gnu::target("avx2")]] void AddRowAvx2(int32_t* __restrict sums, const uint8_t* __restrict row,
                                        int32_t weight, size_t count) {
    for (size_t i = 0; i < count; ++i)
        sums[i] += weight * row[i];
}

void StoreRowPlain(const int32_t* __restrict sums, uint8_t* __restrict out, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = Rounded(sums[i]);
}

[[gnu::target("avx2")]] void StoreRowAvx2(const int32_t* __restrict sums, uint8_t* __restrict out,
                                          size_t count) {
    for (size_t i = 0; i < count; ++i)
        out[i] = Rounded(sums[i]);
}

bool HasAvx2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

} // namespace

FittedPicture FitInside(int width, int height, int frame_width, int frame_height) {
    FittedPicture fitted;
    if (width <= 0 || height <= 0 || frame_width <= 0 || frame_height <= 0)
        return fitted;
    // The larger of the two scales that keep the picture inside the frame.
    const double scale = std::min(static_cast<double>(frame_width) / width,
                                  static_cast<double>(frame_height) / height);
    fitted.width = std::clamp(static_cast<int>(std::lround(width * scale)), 1, frame_width);
    fitted.height = std::clamp(static_cast<int>(std::lround(height * scale)), 1, frame_height);
    fitted.left = (frame_width - fitted.width) / 2;
    fitted.top = (frame_height - fitted.height) / 2;
    return fitted;
}

void PlaceInFrame(const uint8_t* picture, const FittedPicture& place, uint8_t* frame,
                  int frame_width, int frame_height) {
    const size_t frame_row = static_cast<size_t>(frame_width) * 4;
    const size_t row = static_cast<size_t>(place.width) * 4;
    const size_t left = static_cast<size_t>(place.left) * 4;
    for (int y = 0; y < frame_height; ++y) {
        uint8_t* out = frame + frame_row * static_cast<size_t>(y);
        const int picture_y = y - place.top;
        if (picture_y < 0 || picture_y >= place.height) {
            std::memset(out, 0, frame_row);
            continue;
        }
        std::memset(out, 0, left);
        std::memcpy(out + left, picture + row * static_cast<size_t>(picture_y), row);
        std::memset(out + left + row, 0, frame_row - left - row);
    }
}

void PictureScaler::Prepare(Axis* axis, int source, int target) {
    if (axis->source == source && axis->target == target)
        return;
    axis->source = source;
    axis->target = target;
    axis->first.resize(static_cast<size_t>(target));
    axis->begin.resize(static_cast<size_t>(target) + 1);
    axis->weights.clear();
    const double scale = static_cast<double>(source) / target;
    for (int t = 0; t < target; ++t) {
        const double low = t * scale;
        const double high = (t + 1) * scale;
        const int first = std::min(static_cast<int>(low), source - 1);
        const int end = std::clamp(static_cast<int>(std::ceil(high)), first + 1, source);
        axis->first[static_cast<size_t>(t)] = first;
        const size_t begin = axis->weights.size();
        axis->begin[static_cast<size_t>(t)] = static_cast<int32_t>(begin);
        size_t largest = begin;
        int32_t sum = 0;
        for (int i = first; i < end; ++i) {
            const double covered = std::min(high, i + 1.0) - std::max(low, static_cast<double>(i));
            const auto weight = static_cast<int32_t>(std::lround(covered / scale * kOne));
            axis->weights.push_back(weight);
            if (weight > axis->weights[largest])
                largest = axis->weights.size() - 1;
            sum += weight;
        }
        // Rounding is settled on the heaviest pixel: the weights add up to one.
        axis->weights[largest] += kOne - sum;
    }
    axis->begin[static_cast<size_t>(target)] = static_cast<int32_t>(axis->weights.size());
}

bool PictureScaler::Scale(const uint8_t* picture, int width, int height, uint8_t* target,
                          int target_width, int target_height) {
    if (picture == nullptr || target == nullptr || width <= 0 || height <= 0 || target_width <= 0 ||
        target_height <= 0)
        return false;
    // Down first: the rows are summed whole, which vectorises, and the
    // pixel-by-pixel pass across then has fewer rows to do.
    const size_t source_row = static_cast<size_t>(width) * 4;
    const size_t rows_bytes = source_row * static_cast<size_t>(target_height);
    if (rows_bytes > rows_bytes_) {
        rows_.reset(new (std::nothrow) uint8_t[rows_bytes]);
        rows_bytes_ = rows_ ? rows_bytes : 0;
        if (!rows_)
            return false;
    }
    Prepare(&across_, width, target_width);
    Prepare(&down_, height, target_height);

    const bool avx2 = HasAvx2();
    const auto add_row = avx2 ? &AddRowAvx2 : &AddRowPlain;
    const auto store_row = avx2 ? &StoreRowAvx2 : &StoreRowPlain;
    sums_.resize(source_row);
    int32_t* sums = sums_.data();
    for (size_t t = 0; t < static_cast<size_t>(target_height); ++t) {
        std::fill(sums_.begin(), sums_.end(), 0);
        const uint8_t* row = picture + static_cast<size_t>(down_.first[t]) * source_row;
        for (int32_t k = down_.begin[t]; k < down_.begin[t + 1]; ++k, row += source_row)
            add_row(sums, row, down_.weights[static_cast<size_t>(k)], source_row);
        store_row(sums, rows_.get() + t * source_row, source_row);
    }

    for (size_t y = 0; y < static_cast<size_t>(target_height); ++y) {
        const uint8_t* in = rows_.get() + y * source_row;
        uint8_t* out = target + y * static_cast<size_t>(target_width) * 4;
        for (size_t t = 0; t < static_cast<size_t>(target_width); ++t, out += 4) {
            const int32_t* weight = across_.weights.data() + across_.begin[t];
            const int32_t* weight_end = across_.weights.data() + across_.begin[t + 1];
            const uint8_t* pixel = in + static_cast<size_t>(across_.first[t]) * 4;
            int32_t sum[4] = {0, 0, 0, 0};
            for (; weight != weight_end; ++weight, pixel += 4) {
                for (int c = 0; c < 4; ++c)
                    sum[c] += *weight * pixel[c];
            }
            for (int c = 0; c < 4; ++c)
                out[c] = Rounded(sum[c]);
        }
    }
    return true;
}
