// One AVI file being written: stream descriptions, the movi chunks and the
// idx1 index, and the header written back when the file is finished.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_sink.h"
#include "platform/avifile.h"

namespace platform::avi {

class AviWriter {
public:
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    HRESULT Create(const std::string& path);
    // index: the new stream's number (its chunk id prefix).
    HRESULT AddStream(const AVISTREAMINFOA& info, int* index);
    HRESULT SetFormat(int stream, const void* format, LONG bytes);
    HRESULT Write(int stream, LONG start, LONG samples, const void* data, LONG bytes, DWORD flags,
                  LONG* samples_written, LONG* bytes_written);
    // Makes the file on disk readable as it stands: the header's sizes and
    // lengths cover every chunk appended so far (no idx1 yet), and the data is
    // synced. Appending goes on behind it. AVIERR_FILEWRITE once the file has
    // failed.
    HRESULT Flush();
    // Writes the index and the final header and closes the file. Safe to call
    // twice; AVIERR_FILEWRITE when the file had to be cut back.
    HRESULT Finish();

private:
    struct Stream {
        AVISTREAMINFOA info{};
        std::vector<uint8_t> format;
        DWORD chunk_id = 0;
        DWORD length = 0; // in samples (dwSampleSize units, else chunks)
        DWORD chunks = 0;
        uint64_t bytes = 0;  // payload bytes
        DWORD max_chunk = 0; // largest payload, for dwSuggestedBufferSize
    };
    struct IndexEntry {
        DWORD chunk_id;
        DWORD flags;
        DWORD offset; // of the chunk header, from the 'movi' fourcc
        DWORD size;
    };

    std::vector<uint8_t> BuildHeader(bool has_index) const;
    bool WriteHeader();
    bool AppendChunk(int stream, const void* data, DWORD bytes, DWORD flags);
    bool WriteIndex();
    // Cuts a failed file back to its last whole chunk and finishes it there.
    void Salvage();
    bool PatchHeader(bool has_index);

    FileSink sink_;
    std::vector<Stream> streams_;
    std::vector<IndexEntry> index_;
    bool header_written_ = false;
    bool finished_ = false;
    uint64_t header_bytes_ = 0; // RIFF header, hdrl and the movi list header
    uint64_t movi_end_ = 0;     // end of the last whole chunk
};

} // namespace platform::avi
