// The frame size limit every stage of the program shares.
#pragma once

#include <cstddef>

// The largest frame the program handles, compressed or rendered: frame
// buffers are allocated once at this size so that no frame ever resizes one.
inline constexpr size_t kMaxFrameBytes = 12999168;
