// Finishing an AVI file whose writing was cut off (the process was killed,
// the power failed): a RIFF reader walks the file's chunks, keeps every
// chunk that is whole, cuts a half-written last one and whatever follows it,
// writes the idx1 index and rewrites the sizes and lengths in the header.
//
// Files this writer makes (platform/avifile.h) are the ones meant; any
// RIFF 'AVI ' file of one RIFF with hdrl, movi and chunks named ##dc, ##db,
// ##wb, ##tx or ##pc is taken. Files it does not understand (another format,
// OpenDML's AVIX extension, a header cut short) are left untouched.
// Repaired chunks are all marked key frames: the writer's Motion-JPEG and
// audio chunks are.
//
// Threads: any; the caller makes sure nobody writes the file meanwhile.
#pragma once

#include <cstdint>

#include "platform/avifile.h"

// What AVIFileRepairA found and did.
struct AviRepairReport {
    int32_t repaired = 0;      // 1: the file was rewritten; 0: it was finished already
    uint32_t chunks_kept = 0;  // data chunks in the index
    uint32_t video_frames = 0; // chunks of the first video stream
    uint64_t bytes_cut = 0;    // bytes removed from the end
};

// Checks path and repairs it when it is unfinished. AVIERR_OK: the file is
// finished (report->repaired tells whether this call did it).
// AVIERR_BADFORMAT: not a file this can repair; it is left as it was.
// AVIERR_FILEOPEN: it cannot be opened for reading and writing.
// AVIERR_FILEWRITE: a write failed (a full disk); the chunks and the sizes
// that fit are kept, so the file stays readable without its index.
// report may be null.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIFileRepairA(const char* path, AviRepairReport* report);
