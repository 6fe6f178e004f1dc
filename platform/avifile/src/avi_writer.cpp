#include "avi_writer.h"
#include "riff_ids.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform::avi {
namespace {

constexpr size_t kIndexEntryBytes = 16;

// Little-endian record builder with back-patched chunk sizes.
class Bytes {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void U16(uint16_t v) {
        data_.push_back(static_cast<uint8_t>(v));
        data_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    // Starts a chunk (or a list when list_type is non-zero); returns the
    // offset of its size field for End.
    size_t Begin(DWORD id, DWORD list_type = 0) {
        U32(id);
        const size_t size_at = data_.size();
        U32(0);
        if (list_type != 0) {
            U32(list_type);
        }
        return size_at;
    }
    // Fills in the size and pads to even; a pad byte is not counted.
    void End(size_t size_at) {
        const auto size = static_cast<uint32_t>(data_.size() - size_at - 4);
        for (int i = 0; i < 4; ++i) {
            data_[size_at + i] = static_cast<uint8_t>(size >> (8 * i));
        }
        if (data_.size() % 2 != 0) {
            data_.push_back(0);
        }
    }
    std::vector<uint8_t>& Data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

DWORD ChunkId(int stream, const AVISTREAMINFOA& info, const std::vector<uint8_t>& format) {
    const char tens = static_cast<char>('0' + stream / 10);
    const char ones = static_cast<char>('0' + stream % 10);
    if (info.fccType == streamtypeAUDIO) {
        return MakeFourCC(tens, ones, 'w', 'b');
    }
    if (info.fccType == streamtypeTEXT) {
        return MakeFourCC(tens, ones, 't', 'x');
    }
    // Uncompressed video is 'db', everything else 'dc'.
    DWORD compression = 1;
    if (format.size() >= sizeof(BITMAPINFOHEADER)) {
        std::memcpy(&compression, format.data() + offsetof(BITMAPINFOHEADER, biCompression), 4);
    }
    return MakeFourCC(tens, ones, 'd', compression == BI_RGB ? 'b' : 'c');
}

double StreamSeconds(const AVISTREAMINFOA& info, DWORD length) {
    if (info.dwRate == 0) {
        return 0.0;
    }
    return static_cast<double>(length) * info.dwScale / info.dwRate;
}

} // namespace

AviWriter::~AviWriter() {
    Finish();
}

HRESULT AviWriter::Create(const std::string& path) {
    return sink_.Open(path) == 0 ? AVIERR_OK : AVIERR_FILEOPEN;
}

HRESULT AviWriter::AddStream(const AVISTREAMINFOA& info, int* index) {
    if (header_written_ || finished_) {
        return AVIERR_UNSUPPORTED;
    }
    if (streams_.size() >= kMaxStreams) {
        return AVIERR_UNSUPPORTED;
    }
    if (info.dwScale == 0 || info.dwRate == 0) {
        return AVIERR_BADPARAM;
    }
    Stream s;
    s.info = info;
    s.info.szName[sizeof(s.info.szName) - 1] = '\0';
    streams_.push_back(s);
    *index = static_cast<int>(streams_.size()) - 1;
    return AVIERR_OK;
}

HRESULT AviWriter::SetFormat(int stream, const void* format, LONG bytes) {
    if (header_written_ || finished_) {
        return AVIERR_UNSUPPORTED;
    }
    if (bytes < 0 || (bytes > 0 && format == nullptr) || bytes > 0xFFFF) {
        return AVIERR_BADPARAM;
    }
    const auto* p = static_cast<const uint8_t*>(format);
    streams_[stream].format.assign(p, p + bytes);
    return AVIERR_OK;
}

std::vector<uint8_t> AviWriter::BuildHeader(bool has_index) const {
    // The longest-lasting video stream sets the frame rate and size readers
    // show for the file.
    const Stream* video = nullptr;
    double seconds = 0.0;
    uint64_t payload = 0;
    DWORD max_chunk = 0;
    for (const Stream& s : streams_) {
        if (s.info.fccType == streamtypeVIDEO && video == nullptr) {
            video = &s;
        }
        seconds = std::max(seconds, StreamSeconds(s.info, s.length));
        payload += s.bytes + 8ull * s.chunks;
        max_chunk = std::max(max_chunk, s.max_chunk);
    }
    const uint64_t movi_size = (movi_end_ > header_bytes_ ? movi_end_ - header_bytes_ : 0) + 4;
    const uint64_t index_bytes = has_index ? 8 + kIndexEntryBytes * index_.size() : 0;

    Bytes h;
    h.U32(kRiff);
    // RIFF size: everything after this field.
    h.U32(static_cast<uint32_t>(header_bytes_ - 8 + (movi_size - 4) + index_bytes));
    h.U32(kAvi);
    const size_t hdrl = h.Begin(kList, kHdrl);
    const size_t avih = h.Begin(kAvih);
    const DWORD usec_per_frame =
        video != nullptr && video->info.dwRate != 0
            ? static_cast<DWORD>(1000000.0 * video->info.dwScale / video->info.dwRate + 0.5)
            : 0;
    h.U32(usec_per_frame);                                                  // dwMicroSecPerFrame
    h.U32(seconds > 0.0 ? static_cast<DWORD>(payload / seconds + 0.5) : 0); // dwMaxBytesPerSec
    h.U32(0);                                                               // dwPaddingGranularity
    h.U32(has_index ? AVIF_HASINDEX : 0);                                   // dwFlags
    h.U32(video != nullptr ? video->length : 0);                            // dwTotalFrames
    h.U32(0);                                                               // dwInitialFrames
    h.U32(static_cast<DWORD>(streams_.size()));                             // dwStreams
    h.U32(max_chunk != 0 ? max_chunk + 8 : 0);                              // dwSuggestedBufferSize
    h.U32(video != nullptr ? video->info.rcFrame.right - video->info.rcFrame.left : 0); // dwWidth
    h.U32(video != nullptr ? video->info.rcFrame.bottom - video->info.rcFrame.top : 0); // dwHeight
    for (int i = 0; i < 4; ++i) {
        h.U32(0); // dwReserved
    }
    h.End(avih);
    for (const Stream& s : streams_) {
        const size_t strl = h.Begin(kList, kStrl);
        const size_t strh = h.Begin(kStrh);
        h.U32(s.info.fccType);
        h.U32(s.info.fccHandler);
        h.U32(s.info.dwFlags);
        h.U16(s.info.wPriority);
        h.U16(s.info.wLanguage);
        h.U32(s.info.dwInitialFrames);
        h.U32(s.info.dwScale);
        h.U32(s.info.dwRate);
        h.U32(s.info.dwStart);
        h.U32(s.length);                                            // dwLength
        h.U32(std::max(s.info.dwSuggestedBufferSize, s.max_chunk)); // dwSuggestedBufferSize
        h.U32(s.info.dwQuality);
        h.U32(s.info.dwSampleSize);
        h.U16(static_cast<uint16_t>(s.info.rcFrame.left)); // rcFrame as 16-bit
        h.U16(static_cast<uint16_t>(s.info.rcFrame.top));
        h.U16(static_cast<uint16_t>(s.info.rcFrame.right));
        h.U16(static_cast<uint16_t>(s.info.rcFrame.bottom));
        h.End(strh);
        const size_t strf = h.Begin(kStrf);
        h.Raw(s.format.data(), s.format.size());
        h.End(strf);
        const size_t strn = h.Begin(kStrn);
        h.Raw(s.info.szName, std::strlen(s.info.szName) + 1);
        h.End(strn);
        h.End(strl);
    }
    h.End(hdrl);
    h.U32(kList);
    h.U32(static_cast<uint32_t>(movi_size));
    h.U32(kMovi);
    return std::move(h.Data());
}

bool AviWriter::WriteHeader() {
    // Built twice: the sizes in it depend on its own length. Until the file
    // is finished they describe an empty movi list.
    header_bytes_ = BuildHeader(false).size();
    movi_end_ = header_bytes_;
    const std::vector<uint8_t> header = BuildHeader(false);
    header_written_ = true;
    return sink_.Append(header.data(), header.size());
}

bool AviWriter::AppendChunk(int stream, const void* data, DWORD bytes, DWORD flags) {
    Stream& s = streams_[stream];
    const DWORD header[2] = {s.chunk_id, bytes};
    if (!sink_.Append(header, sizeof(header)) ||
        (bytes > 0 && !sink_.AppendPadded(data, bytes, bytes % 2))) {
        return false;
    }
    index_.push_back(
        {s.chunk_id, flags, static_cast<DWORD>(movi_end_ - (header_bytes_ - 4)), bytes});
    movi_end_ = sink_.Size();
    s.chunks += 1;
    s.bytes += bytes;
    s.max_chunk = std::max(s.max_chunk, bytes);
    return true;
}

HRESULT AviWriter::Write(int stream, LONG start, LONG samples, const void* data, LONG bytes,
                         DWORD flags, LONG* samples_written, LONG* bytes_written) {
    if (samples_written != nullptr) {
        *samples_written = 0;
    }
    if (bytes_written != nullptr) {
        *bytes_written = 0;
    }
    if (finished_) {
        return AVIERR_UNSUPPORTED;
    }
    if (bytes < 0 || samples < 0 || (bytes > 0 && data == nullptr) || start < -1) {
        return AVIERR_BADPARAM;
    }
    if (sink_.Failed()) {
        return AVIERR_FILEWRITE;
    }
    Stream& s = streams_[stream];
    const DWORD sample_size = s.info.dwSampleSize;
    // Streams counted in bytes may split a sample between chunks; their
    // length follows the bytes in total.
    const DWORD count = sample_size != 0
                            ? static_cast<DWORD>((s.bytes + bytes) / sample_size - s.length)
                            : static_cast<DWORD>(samples);
    DWORD gap = 0;
    // Streams counted in bytes (audio) always append.
    if (sample_size == 0 && start >= 0 && static_cast<DWORD>(start) != s.length) {
        if (static_cast<DWORD>(start) < s.length) {
            return AVIERR_BADPARAM;
        }
        gap = static_cast<DWORD>(start) - s.length;
    }
    // Keep the whole file, index included, within one RIFF.
    const uint64_t header = header_written_ ? 0 : BuildHeader(false).size();
    const uint64_t after = sink_.Size() + header + 8ull * (gap + 1) + bytes + (bytes % 2) + 8 +
                           kIndexEntryBytes * (index_.size() + gap + 1);
    if (after > static_cast<uint64_t>(kAviMaxFileBytes)) {
        return AVIERR_BADSIZE;
    }
    if (!header_written_) {
        for (size_t i = 0; i < streams_.size(); ++i) {
            streams_[i].chunk_id =
                ChunkId(static_cast<int>(i), streams_[i].info, streams_[i].format);
        }
        if (!WriteHeader()) {
            return AVIERR_FILEWRITE;
        }
    }
    for (DWORD i = 0; i < gap; ++i) {
        if (!AppendChunk(stream, nullptr, 0, 0)) {
            return AVIERR_FILEWRITE;
        }
        s.length += 1;
    }
    if (!AppendChunk(stream, data, static_cast<DWORD>(bytes), flags & AVIIF_KEYFRAME)) {
        return AVIERR_FILEWRITE;
    }
    s.length += count;
    if (samples_written != nullptr) {
        *samples_written = static_cast<LONG>(count);
    }
    if (bytes_written != nullptr) {
        *bytes_written = bytes;
    }
    return AVIERR_OK;
}

bool AviWriter::WriteIndex() {
    const DWORD header[2] = {kIdx1, static_cast<DWORD>(kIndexEntryBytes * index_.size())};
    return sink_.Append(header, sizeof(header)) &&
           (index_.empty() || sink_.Append(index_.data(), kIndexEntryBytes * index_.size())) &&
           sink_.Flush();
}

bool AviWriter::PatchHeader(bool has_index) {
    const std::vector<uint8_t> header = BuildHeader(has_index);
    return header.size() == header_bytes_ && sink_.WriteAt(0, header.data(), header.size());
}

void AviWriter::Salvage() {
    // Keep the chunks that reached the disk whole; forget the rest.
    const uint64_t on_disk = sink_.OnDisk();
    if (!header_written_ || on_disk < header_bytes_) {
        sink_.TruncateTo(0);
        return;
    }
    uint64_t end = header_bytes_;
    size_t keep = 0;
    for (const IndexEntry& e : index_) {
        const uint64_t chunk_end = (header_bytes_ - 4) + e.offset + 8 + e.size + (e.size % 2);
        if (chunk_end > on_disk) {
            break;
        }
        end = chunk_end;
        ++keep;
    }
    for (Stream& s : streams_) {
        s.chunks = 0;
        s.bytes = 0;
        s.length = 0;
    }
    index_.resize(keep);
    for (const IndexEntry& e : index_) {
        for (Stream& s : streams_) {
            if (s.chunk_id == e.chunk_id) {
                s.chunks += 1;
                s.bytes += e.size;
                s.length += s.info.dwSampleSize != 0 ? 0 : 1;
            }
        }
    }
    for (Stream& s : streams_) {
        if (s.info.dwSampleSize != 0) {
            s.length = static_cast<DWORD>(s.bytes / s.info.dwSampleSize);
        }
    }
    movi_end_ = end;
    if (!sink_.TruncateTo(end)) {
        return;
    }
    // The index may still fit where the lost data was.
    bool has_index = WriteIndex();
    if (!has_index) {
        sink_.TruncateTo(end);
    }
    PatchHeader(has_index);
}

HRESULT AviWriter::Flush() {
    if (finished_) {
        return AVIERR_UNSUPPORTED;
    }
    if (sink_.Failed()) {
        return AVIERR_FILEWRITE;
    }
    if (!header_written_) {
        return AVIERR_OK; // nothing on disk yet
    }
    // The header is patched only after the chunks it counts reached the file,
    // so a cut at any moment leaves sizes that never claim more than is there.
    if (!sink_.Flush() || !PatchHeader(false) || !sink_.Sync()) {
        return AVIERR_FILEWRITE;
    }
    return AVIERR_OK;
}

HRESULT AviWriter::Finish() {
    if (finished_) {
        return AVIERR_OK;
    }
    finished_ = true;
    HRESULT result = AVIERR_OK;
    if (!header_written_ && !sink_.Failed()) {
        WriteHeader();
    }
    if (sink_.Failed() || !WriteIndex() || !PatchHeader(true)) {
        Salvage();
        result = AVIERR_FILEWRITE;
    }
    sink_.Close();
    return result;
}

} // namespace platform::avi
