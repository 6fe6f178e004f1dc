#include "text/ReadJob.h"

#include <cstring>

namespace text {

ReadJob::ReadJob(const Picture& picture, std::string languages, std::string data_folder, Done done)
    : languages_(std::move(languages)), data_folder_(std::move(data_folder)),
      done_(std::move(done)) {
    // A picture too large or without pixels is refused by Recognise; only a
    // plausible one is copied.
    if (picture.pixels != nullptr && picture.width > 0 && picture.height > 0 &&
        picture.width <= kMaxSide && picture.height <= kMaxSide &&
        picture.stride >= 4 * picture.width) {
        const size_t row = static_cast<size_t>(picture.width) * 4;
        pixels_.resize(row * picture.height);
        for (int y = 0; y < picture.height; ++y)
            std::memcpy(pixels_.data() + row * y,
                        picture.pixels + static_cast<size_t>(picture.stride) * y, row);
        picture_ = {pixels_.data(), picture.width, picture.height, static_cast<int>(row)};
    }
    worker_ = std::thread([this] { Run(); });
}

ReadJob::~ReadJob() {
    Cancel();
    worker_.join();
}

void ReadJob::Run() {
    Page page;
    Error error;
    ReaderPtr reader;
    int result = OpenReader(languages_, data_folder_, &reader, &error);
    if (result == kOk)
        result = Recognise(reader.get(), picture_, &monitor_, &page, &error);
    reader.reset();
    if (done_)
        done_(result, page, error);
}

} // namespace text
