// The RIFF reader behind AVIFileRepairA: it plans a repair from the file's
// bytes (free of writes, so tests and the fuzz target drive it on memory)
// and applies the plan to the file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/avi_repair.h"

namespace platform::avi {

// Random access to the bytes being checked.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // False when the bytes are not all there.
    virtual bool Read(uint64_t offset, void* out, size_t bytes) const = 0;
};

struct RepairStream {
    uint64_t strh_data = 0; // file offset of the strh record
    DWORD fcc_type = 0;
    DWORD sample_size = 0; // dwSampleSize: 0 counts chunks, else bytes / it
    uint32_t chunks = 0;
    uint64_t bytes = 0;
};

struct RepairEntry {
    DWORD chunk_id;
    DWORD flags;
    DWORD offset; // of the chunk header, from the 'movi' fourcc
    DWORD size;
};

struct RepairPlan {
    bool finished = false;   // nothing to do
    uint64_t file_size = 0;  // as found
    uint64_t avih_data = 0;  // file offset of the avih record
    uint64_t movi_list = 0;  // file offset of the movi list's 'LIST'
    uint64_t keep_bytes = 0; // the file is cut here: end of the last whole chunk
    std::vector<RepairStream> streams;
    std::vector<RepairEntry> index;
};

// Reads the headers and walks the movi list. AVIERR_OK with a plan, or
// AVIERR_BADFORMAT for a file this cannot repair.
HRESULT PlanRepair(const ByteSource& source, RepairPlan* plan);

// Cuts the file open on fd to plan.keep_bytes, appends idx1 and rewrites the
// sizes and lengths; syncs. AVIERR_OK or AVIERR_FILEWRITE.
HRESULT ApplyRepair(int fd, const RepairPlan& plan);

} // namespace platform::avi
