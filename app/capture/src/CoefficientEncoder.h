// A camera's JPEG picture made into the picture as shown without decoding
// it: libjpeg reads its quantised coefficients, the blocks under drawn
// overlay pixels alone are made into samples, drawn on and made back, and a
// quarter turn moves whole blocks (DctBlock.h); libjpeg then writes the
// coefficients out. Every block nothing was drawn on keeps the camera's own
// values, so the recording loses nothing to a second compression there, and
// the work is that of reading and writing the file's entropy code.
//
// Used for colour pictures of three components whose first is sampled 1 or
// 2 times the others' across and down (4:4:4, 4:2:2, 4:2:0, 4:4:0). A turn
// that moves the picture's edge off the block grid (a length not a whole
// number of blocks on the side the turn brings to the start) makes each
// block from the two or four it straddles.
//
// Threads: one caller at a time. It reads the overlay under the overlay's
// lock (ReadOverlay), without calling libjpeg meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class OverlayWorker;

namespace dct {

class CoefficientEncoder {
public:
    CoefficientEncoder();
    ~CoefficientEncoder();
    CoefficientEncoder(const CoefficientEncoder&) = delete;
    CoefficientEncoder& operator=(const CoefficientEncoder&) = delete;

    // jpeg (length bytes, a whole picture) turned clockwise by turns
    // quarter turns, with what overlay (null: nothing) has drawn for its
    // size, into Data() and Size(). False, and nothing made, for a picture
    // this way does not take (another kind, a damaged one libjpeg gives up
    // on), an overlay whose extent is unknown, or one that draws on more
    // than a quarter of the picture's blocks: the pixels' way is then the
    // faster one.
    bool Encode(const uint8_t* jpeg, size_t length, int turns, OverlayWorker* overlay);

    const uint8_t* Data() const;
    size_t Size() const;

private:
    struct State; // libjpeg's two codecs, their error handling and buffers
    std::unique_ptr<State> state_;
};

} // namespace dct
