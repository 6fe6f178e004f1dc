// Memory for shown frames that a display server can map: each block is a
// sealed-size anonymous file (memfd), so a window may hand the frame to the
// server by its file descriptor instead of copying the pixels.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

// The process's allocator of such blocks (a new reference).
GstAllocator* tovek_frame_memory_allocator_new_ref(void);

// Where a memory of that allocator lives: its file, the offset of the
// memory's first byte in it, the file's size, and a number no other block
// of this process had or will have (the file descriptor's number is reused
// once the block is freed). False for any other memory.
struct FrameMemoryPlace {
    int fd = -1;
    size_t offset = 0;
    size_t file_size = 0;
    uint64_t id = 0;
};
bool tovek_frame_memory_place(GstMemory* memory, FrameMemoryPlace* place);
