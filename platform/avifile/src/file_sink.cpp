#include "file_sink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace platform::avi {

FileSink::~FileSink() {
    Close();
}

int FileSink::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        return errno != 0 ? errno : EIO;
    }
    buffer_.reserve(kBufferBytes);
    on_disk_ = 0;
    error_ = 0;
    return 0;
}

void FileSink::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FileSink::Append(const void* data, size_t bytes) {
    return AppendPadded(data, bytes, 0);
}

bool FileSink::AppendPadded(const void* data, size_t bytes, size_t pad) {
    if (error_ != 0) {
        return false;
    }
    // A picture goes to the kernel from the caller's memory, behind what is
    // buffered and with its pad: copying it into the buffer first would cost
    // about as much as the write itself, and a chunk that reached the file
    // without its pad would be lost to a repair after a crash.
    if (bytes >= kDirectBytes) {
        return WriteOut(data, bytes, pad);
    }
    if (buffer_.size() + bytes + pad > kBufferBytes && !WriteOut(nullptr, 0, 0)) {
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + bytes);
    buffer_.insert(buffer_.end(), pad, uint8_t{0});
    return true;
}

bool FileSink::Flush() {
    return error_ == 0 && WriteOut(nullptr, 0, 0);
}

bool FileSink::Sync() {
    if (!Flush()) {
        return false;
    }
    while (::fdatasync(fd_) != 0) {
        if (errno != EINTR) {
            error_ = errno != 0 ? errno : EIO;
            return false;
        }
    }
    return true;
}

bool FileSink::WriteOut(const void* extra, size_t extra_bytes, size_t pad) {
    static const uint8_t kZeros[2] = {0, 0};
    constexpr int kParts = 3;
    iovec parts[kParts] = {{buffer_.data(), buffer_.size()},
                           {const_cast<void*>(extra), extra_bytes},
                           {const_cast<uint8_t*>(kZeros), pad}};
    int first = 0;
    while (first < kParts) {
        if (parts[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t n = ::writev(fd_, parts + first, kParts - first);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = errno != 0 ? errno : EIO;
            break;
        }
        if (n == 0) {
            error_ = ENOSPC;
            break;
        }
        on_disk_ += static_cast<uint64_t>(n);
        size_t left = static_cast<size_t>(n);
        while (left > 0 && first < kParts) {
            const size_t step = left < parts[first].iov_len ? left : parts[first].iov_len;
            parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + step;
            parts[first].iov_len -= step;
            left -= step;
            if (parts[first].iov_len == 0) {
                ++first;
            }
        }
    }
    buffer_.clear();
    return error_ == 0;
}

namespace {

// pread and pwrite until every byte is moved; again after an interruption.
// False at an error or when no byte moves (end of file, a full disk).
template <typename Byte, typename Transfer>
bool TransferAllAt(Byte* p, uint64_t offset, size_t bytes, Transfer transfer) {
    while (bytes > 0) {
        const ssize_t n = transfer(p, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool WriteAllAt(int fd, uint64_t offset, const void* data, size_t bytes) {
    return TransferAllAt(
        static_cast<const uint8_t*>(data), offset, bytes,
        [fd](const uint8_t* p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); });
}

bool ReadAllAt(int fd, uint64_t offset, void* out, size_t bytes) {
    return TransferAllAt(static_cast<uint8_t*>(out), offset, bytes,
                         [fd](uint8_t* p, size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool FileSink::WriteAt(uint64_t offset, const void* data, size_t bytes) {
    return WriteAllAt(fd_, offset, data, bytes);
}

bool FileSink::TruncateTo(uint64_t size) {
    buffer_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
        ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) {
        return false;
    }
    on_disk_ = size;
    error_ = 0;
    return true;
}

} // namespace platform::avi
