// Buffered, append-only output to one file, with back-patching of bytes
// already written. Small writes (chunk headers) collect in a buffer; large
// payloads (kDirectBytes and more) go out behind the buffer in one writev.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::avi {

// Writes all bytes at offset of fd, again after an interruption; false when
// the file takes no more (a full disk, an error).
bool WriteAllAt(int fd, uint64_t offset, const void* data, size_t bytes);
// Reads all bytes at offset of fd, again after an interruption; false at an
// error or the end of the file.
bool ReadAllAt(int fd, uint64_t offset, void* out, size_t bytes);

class FileSink {
public:
    FileSink() = default;
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Creates or truncates path; errno-style code on failure, 0 on success.
    int Open(const std::string& path);
    void Close();

    // Appends bytes at the end. False once any write has failed (sticky).
    bool Append(const void* data, size_t bytes);
    // Appends bytes followed by pad zero bytes (what pads an odd chunk to
    // even), which reach the file together with them.
    bool AppendPadded(const void* data, size_t bytes, size_t pad);
    bool Flush();
    // Flush, then ask the kernel to put the data on the disk (fdatasync), so
    // that it survives a power loss.
    bool Sync();
    // Overwrites bytes that are already on disk (after a Flush).
    bool WriteAt(uint64_t offset, const void* data, size_t bytes);
    // Cuts the file to size bytes and makes it the end for further appends;
    // clears the failed state so that a salvage can try again.
    bool TruncateTo(uint64_t size);

    // Bytes appended so far (on disk or buffered).
    uint64_t Size() const { return on_disk_ + buffer_.size(); }
    // Bytes that reached the file; after a failure, what survives.
    uint64_t OnDisk() const { return on_disk_; }
    bool Failed() const { return error_ != 0; }
    int Error() const { return error_; }

private:
    // Writes the buffer, then extra (may be null), then pad zero bytes, in
    // one go.
    bool WriteOut(const void* extra, size_t extra_bytes, size_t pad);

    static constexpr size_t kBufferBytes = 256 * 1024;
    static constexpr size_t kDirectBytes = 32 * 1024;
    int fd_ = -1;
    std::vector<uint8_t> buffer_;
    uint64_t on_disk_ = 0;
    int error_ = 0;
};

} // namespace platform::avi
