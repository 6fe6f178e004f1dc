#include "avi_repair.h"
#include "file_sink.h"
#include "riff_ids.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::avi {
namespace {

constexpr uint32_t kMaxHdrlBytes = 1 << 20;
constexpr size_t kAvihBytes = 56;
constexpr size_t kStrhBytes = 56;
constexpr size_t kEntryBytes = 16;
// avih and strh fields rewritten.
constexpr size_t kAvihFlags = 12;
constexpr size_t kAvihTotalFrames = 16;
constexpr size_t kStrhLength = 32;
constexpr size_t kStrhSampleSize = 44;
// Offsets in idx1 and RIFF sizes are 32-bit.
constexpr uint64_t kMaxRiffBytes = 0xFFFFFFFFull;

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint64_t Padded(uint32_t size) {
    return static_cast<uint64_t>(size) + (size % 2);
}

// The stream number of a data chunk id (##dc, ##db, ##wb, ##tx, ##pc), or -1.
int DataChunkStream(DWORD id, size_t streams) {
    const char c[4] = {static_cast<char>(id), static_cast<char>(id >> 8),
                       static_cast<char>(id >> 16), static_cast<char>(id >> 24)};
    if (c[0] < '0' || c[0] > '9' || c[1] < '0' || c[1] > '9') {
        return -1;
    }
    const int stream = (c[0] - '0') * 10 + (c[1] - '0');
    const bool known = (c[2] == 'd' && (c[3] == 'c' || c[3] == 'b')) ||
                       (c[2] == 'w' && c[3] == 'b') || (c[2] == 't' && c[3] == 'x') ||
                       (c[2] == 'p' && c[3] == 'c');
    return known && static_cast<size_t>(stream) < streams ? stream : -1;
}

// Reads hdrl (whole, it is small): the avih record and each stream's strh.
bool ReadHeaderList(const ByteSource& source, uint64_t hdrl, uint32_t hdrl_size, RepairPlan* plan) {
    if (hdrl_size < 4 || hdrl_size > kMaxHdrlBytes) {
        return false;
    }
    std::vector<uint8_t> b(hdrl_size);
    if (!source.Read(hdrl + 8, b.data(), b.size()) || Le32(b.data()) != kHdrl) {
        return false;
    }
    const uint64_t base = hdrl + 8; // file offset of b[0]
    size_t at = 4;
    while (at + 8 <= b.size()) {
        const DWORD id = Le32(&b[at]);
        const uint32_t size = Le32(&b[at + 4]);
        if (size > b.size() - at - 8) {
            return false;
        }
        if (id == kAvih && size >= kAvihBytes && plan->avih_data == 0) {
            plan->avih_data = base + at + 8;
        } else if (id == kList && size >= 4 && Le32(&b[at + 8]) == kStrl) {
            // The strl's first strh describes the stream.
            size_t in = at + 12;
            const size_t end = at + 8 + size;
            while (in + 8 <= end) {
                const uint32_t child = Le32(&b[in + 4]);
                if (child > end - in - 8) {
                    return false;
                }
                if (Le32(&b[in]) == kStrh && child >= kStrhBytes) {
                    if (plan->streams.size() >= kMaxStreams) {
                        return false;
                    }
                    RepairStream s;
                    s.strh_data = base + in + 8;
                    s.fcc_type = Le32(&b[in + 8]);
                    s.sample_size = Le32(&b[in + 8 + kStrhSampleSize]);
                    plan->streams.push_back(s);
                    break;
                }
                in += 8 + static_cast<size_t>(Padded(child));
            }
        }
        at += 8 + static_cast<size_t>(Padded(size));
    }
    return plan->avih_data != 0 && !plan->streams.empty();
}

// A finished file: its RIFF ends at the file's end, and idx1 follows the
// movi list and ends there too.
bool LooksFinished(const ByteSource& source, uint32_t riff_size, const RepairPlan& plan) {
    uint8_t b[8];
    if (static_cast<uint64_t>(riff_size) + 8 != plan.file_size ||
        !source.Read(plan.movi_list + 4, b, 4)) {
        return false;
    }
    const uint64_t idx1 = plan.movi_list + 8 + Padded(Le32(b));
    uint8_t flags[4];
    if (!source.Read(idx1, b, 8) || Le32(b) != kIdx1 ||
        idx1 + 8 + Padded(Le32(b + 4)) != plan.file_size ||
        !source.Read(plan.avih_data + kAvihFlags, flags, 4)) {
        return false;
    }
    return (Le32(flags) & AVIF_HASINDEX) != 0;
}

bool Patch32(int fd, uint64_t offset, uint32_t value) {
    uint8_t b[4];
    PutLe32(b, value);
    return WriteAllAt(fd, offset, b, 4);
}

class FileSource : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* out, size_t bytes) const override {
        if (offset > size_ || bytes > size_ - offset) {
            return false;
        }
        return ReadAllAt(fd_, offset, out, bytes);
    }

private:
    const int fd_;
    const uint64_t size_;
};

} // namespace

HRESULT PlanRepair(const ByteSource& source, RepairPlan* plan) {
    *plan = RepairPlan{};
    plan->file_size = source.Size();
    uint8_t b[12];
    if (!source.Read(0, b, 12) || Le32(b) != kRiff || Le32(b + 8) != kAvi ||
        plan->file_size > kMaxRiffBytes) {
        return AVIERR_BADFORMAT;
    }
    const uint32_t riff_size = Le32(b + 4);
    // OpenDML goes on in further RIFFs ('AVIX'): not a file of this writer.
    const uint64_t riff_end = 8 + Padded(riff_size);
    if (riff_end + 4 <= plan->file_size && source.Read(riff_end, b, 4) && Le32(b) == kRiff) {
        return AVIERR_BADFORMAT;
    }
    // hdrl first, then anything (JUNK, INFO) up to the movi list.
    uint64_t at = 12;
    bool have_header = false;
    while (plan->movi_list == 0) {
        if (!source.Read(at, b, 12)) {
            return AVIERR_BADFORMAT;
        }
        const DWORD id = Le32(b);
        const uint32_t size = Le32(b + 4);
        if (id == kList && size >= 4 && Le32(b + 8) == kMovi) {
            plan->movi_list = at;
            break;
        }
        if (at + 8 + Padded(size) > plan->file_size) {
            return AVIERR_BADFORMAT; // the header itself is cut
        }
        if (!have_header) {
            if (id != kList || !ReadHeaderList(source, at, size, plan)) {
                return AVIERR_BADFORMAT;
            }
            have_header = true;
        }
        at += 8 + Padded(size);
    }
    if (!have_header) {
        return AVIERR_BADFORMAT;
    }
    if (LooksFinished(source, riff_size, *plan)) {
        plan->finished = true;
        plan->keep_bytes = plan->file_size;
        return AVIERR_OK;
    }

    // Every whole chunk counts, whatever the header says: a cut-off file's
    // sizes lag behind its chunks.
    const uint64_t movi_fourcc = plan->movi_list + 8;
    at = movi_fourcc + 4;
    plan->keep_bytes = at;
    while (source.Read(at, b, 8)) {
        const DWORD id = Le32(b);
        const uint32_t size = Le32(b + 4);
        const uint64_t end = at + 8 + Padded(size);
        if (id == kIdx1 || end > plan->file_size) {
            break; // the end of the movi list, or a half-written chunk
        }
        // The index that follows must fit the RIFF's 32-bit sizes.
        if (end + 8 + kEntryBytes * (plan->index.size() + 1) > kMaxRiffBytes) {
            break;
        }
        const int stream = DataChunkStream(id, plan->streams.size());
        if (stream >= 0) {
            plan->index.push_back({id, AVIIF_KEYFRAME, static_cast<DWORD>(at - movi_fourcc), size});
            plan->streams[static_cast<size_t>(stream)].chunks += 1;
            plan->streams[static_cast<size_t>(stream)].bytes += size;
        } else if (id != kJunk && id != kList) {
            break; // not a chunk: what follows is no longer the recording
        }
        at = end;
        plan->keep_bytes = end;
    }
    return AVIERR_OK;
}

HRESULT ApplyRepair(int fd, const RepairPlan& plan) {
    if (plan.finished) {
        return AVIERR_OK;
    }
    if (::ftruncate(fd, static_cast<off_t>(plan.keep_bytes)) != 0) {
        return AVIERR_FILEWRITE;
    }
    std::vector<uint8_t> idx1(8 + kEntryBytes * plan.index.size());
    PutLe32(idx1.data(), kIdx1);
    PutLe32(idx1.data() + 4, static_cast<uint32_t>(kEntryBytes * plan.index.size()));
    for (size_t i = 0; i < plan.index.size(); ++i) {
        uint8_t* e = idx1.data() + 8 + kEntryBytes * i;
        PutLe32(e, plan.index[i].chunk_id);
        PutLe32(e + 4, plan.index[i].flags);
        PutLe32(e + 8, plan.index[i].offset);
        PutLe32(e + 12, plan.index[i].size);
    }
    // Without room for the index, the chunks stay with sizes that cover them.
    bool has_index = WriteAllAt(fd, plan.keep_bytes, idx1.data(), idx1.size());
    if (!has_index && ::ftruncate(fd, static_cast<off_t>(plan.keep_bytes)) != 0) {
        return AVIERR_FILEWRITE;
    }
    const uint64_t end = plan.keep_bytes + (has_index ? idx1.size() : 0);

    uint8_t flags[4];
    if (::pread(fd, flags, 4, static_cast<off_t>(plan.avih_data + kAvihFlags)) != 4) {
        return AVIERR_FILEWRITE;
    }
    const uint32_t avih_flags = has_index ? (Le32(flags) | AVIF_HASINDEX)
                                          : (Le32(flags) & ~static_cast<uint32_t>(AVIF_HASINDEX));
    uint32_t total_frames = 0;
    for (const RepairStream& s : plan.streams) {
        if (s.fcc_type == streamtypeVIDEO) {
            total_frames = s.chunks;
            break;
        }
    }
    bool ok = Patch32(fd, 4, static_cast<uint32_t>(end - 8)) &&
              Patch32(fd, plan.movi_list + 4,
                      static_cast<uint32_t>(plan.keep_bytes - (plan.movi_list + 8))) &&
              Patch32(fd, plan.avih_data + kAvihFlags, avih_flags) &&
              Patch32(fd, plan.avih_data + kAvihTotalFrames, total_frames);
    for (const RepairStream& s : plan.streams) {
        const uint64_t length = s.sample_size != 0 ? s.bytes / s.sample_size : s.chunks;
        ok = ok && Patch32(fd, s.strh_data + kStrhLength, static_cast<uint32_t>(length));
    }
    if (!ok || ::fdatasync(fd) != 0 || !has_index) {
        return AVIERR_FILEWRITE;
    }
    return AVIERR_OK;
}

} // namespace platform::avi

HRESULT TOVEK_STDCALL AVIFileRepairA(const char* path, AviRepairReport* report) {
    using namespace platform::avi;
    if (report != nullptr) {
        *report = AviRepairReport{};
    }
    if (path == nullptr || path[0] == '\0') {
        return AVIERR_BADPARAM;
    }
    const int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return AVIERR_FILEOPEN;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return AVIERR_FILEOPEN;
    }
    RepairPlan plan;
    HRESULT hr = PlanRepair(FileSource(fd, static_cast<uint64_t>(st.st_size)), &plan);
    if (hr == AVIERR_OK && !plan.finished) {
        hr = ApplyRepair(fd, plan);
        if (report != nullptr) {
            report->repaired = 1;
            report->chunks_kept = static_cast<uint32_t>(plan.index.size());
            report->bytes_cut = plan.file_size - plan.keep_bytes;
            for (const RepairStream& s : plan.streams) {
                if (s.fcc_type == streamtypeVIDEO) {
                    report->video_frames = s.chunks;
                    break;
                }
            }
        }
    }
    ::close(fd);
    return hr;
}
