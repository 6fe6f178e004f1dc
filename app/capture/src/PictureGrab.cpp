#include "capture/PictureGrab.h"

#include <cstring>

void PictureGrab::OnSample(const uint8_t* pixels, int width, int height) {
    if (pixels == nullptr || width < 1 || height < 1 || !wanted_.exchange(false))
        return;
    auto picture = std::make_shared<Picture>();
    picture->pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
    picture->width = width;
    picture->height = height;
    if (receiver_)
        receiver_(std::move(picture));
}
