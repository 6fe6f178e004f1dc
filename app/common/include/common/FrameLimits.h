// The frame size limit every stage of the program shares.
#pragma once

#include <cstddef>

// The largest frame the program handles, compressed or rendered: frame
// buffers are allocated once at this size so that no frame ever resizes one.
inline constexpr size_t kMaxFrameBytes = 12999168;

// The largest decoded picture the sample callback and the overlay take: the
// RVX's 2592 x 1944 in 32-bit pixels, so that shapes over it and snapshots
// of it as shown work at every size the camera offers.
inline constexpr size_t kMaxPictureBytes = size_t{2592} * 1944 * 4;
static_assert(kMaxPictureBytes >= kMaxFrameBytes);
