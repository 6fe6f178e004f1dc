#include "PictureFit.h"

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

} // namespace

void PictureFit::Prepare(Axis* axis, int source, int target) {
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
        axis->begin[static_cast<size_t>(t)] = static_cast<int32_t>(axis->weights.size());
        const size_t begin = axis->weights.size();
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

bool PictureFit::Fit(const uint8_t* picture, int width, int height, uint8_t* frame, int frame_width,
                     int frame_height) {
    if (picture == nullptr || frame == nullptr || width <= 0 || height <= 0 || frame_width <= 0 ||
        frame_height <= 0)
        return false;
    // The larger of the two scales that keep the picture inside the frame.
    const double scale = std::min(static_cast<double>(frame_width) / width,
                                  static_cast<double>(frame_height) / height);
    const int fitted_width =
        std::clamp(static_cast<int>(std::lround(width * scale)), 1, frame_width);
    const int fitted_height =
        std::clamp(static_cast<int>(std::lround(height * scale)), 1, frame_height);
    Prepare(&across_, width, fitted_width);
    Prepare(&down_, height, fitted_height);

    const size_t row_bytes = static_cast<size_t>(fitted_width) * 4;
    const size_t rows_bytes = row_bytes * static_cast<size_t>(height);
    if (rows_bytes > rows_bytes_) {
        rows_.reset(new (std::nothrow) uint8_t[rows_bytes]);
        rows_bytes_ = rows_ ? rows_bytes : 0;
        if (!rows_)
            return false;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = picture + static_cast<size_t>(y) * width * 4;
        uint8_t* out = rows_.get() + static_cast<size_t>(y) * row_bytes;
        for (int t = 0; t < fitted_width; ++t) {
            const int32_t* weight = across_.weights.data() + across_.begin[static_cast<size_t>(t)];
            const int32_t* weight_end =
                across_.weights.data() + across_.begin[static_cast<size_t>(t) + 1];
            const uint8_t* pixel =
                in + static_cast<size_t>(across_.first[static_cast<size_t>(t)]) * 4;
            int32_t b = 0, g = 0, r = 0;
            for (; weight != weight_end; ++weight, pixel += 4) {
                b += *weight * pixel[0];
                g += *weight * pixel[1];
                r += *weight * pixel[2];
            }
            out[t * 4 + 0] = Rounded(b);
            out[t * 4 + 1] = Rounded(g);
            out[t * 4 + 2] = Rounded(r);
            out[t * 4 + 3] = 0xFF;
        }
    }

    const size_t frame_row_bytes = static_cast<size_t>(frame_width) * 4;
    std::memset(frame, 0, frame_row_bytes * static_cast<size_t>(frame_height));
    const int left = (frame_width - fitted_width) / 2;
    const int top = (frame_height - fitted_height) / 2;
    sums_.resize(row_bytes);
    for (int t = 0; t < fitted_height; ++t) {
        std::fill(sums_.begin(), sums_.end(), 0);
        const int32_t first = down_.first[static_cast<size_t>(t)];
        for (int32_t k = down_.begin[static_cast<size_t>(t)];
             k < down_.begin[static_cast<size_t>(t) + 1]; ++k) {
            const int32_t weight = down_.weights[static_cast<size_t>(k)];
            const uint8_t* row =
                rows_.get() +
                static_cast<size_t>(first + k - down_.begin[static_cast<size_t>(t)]) * row_bytes;
            for (size_t i = 0; i < row_bytes; ++i)
                sums_[i] += weight * row[i];
        }
        uint8_t* out =
            frame + static_cast<size_t>(top + t) * frame_row_bytes + static_cast<size_t>(left) * 4;
        for (size_t i = 0; i < row_bytes; ++i)
            out[i] = Rounded(sums_[i]);
    }
    return true;
}
