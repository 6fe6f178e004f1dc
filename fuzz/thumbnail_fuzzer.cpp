// The gallery's thumbnail decode on any bytes: a file in the pictures
// folder may be anything, cut short or damaged.
//
// Invariants: a picture is either broken and empty, or has a size within
// the limits, at most the box's scale of the header's size, and exactly its
// pixels' bytes.
#include "capture/ThumbnailCache.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The strip's box: a thumbnail is decoded at a small scale.
    const thumbnail::Picture picture = thumbnail::DecodeJpeg(data, size, 160, 90);
    if (picture.Broken()) {
        FUZZ_CHECK(picture.bgrx.empty());
        return 0;
    }
    FUZZ_CHECK(picture.width > 0 && picture.height > 0);
    FUZZ_CHECK(picture.width <= thumbnail::kMaxSide && picture.height <= thumbnail::kMaxSide);
    FUZZ_CHECK(picture.bgrx.size() ==
               static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4);
    return 0;
}
