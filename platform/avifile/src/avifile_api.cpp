// The AVIFile calls: handle bookkeeping over AviWriter.
#include <atomic>
#include <cstring>
#include <limits.h>
#include <memory>
#include <new>
#include <unordered_map>

#include "avi_writer.h"
#include "platform/avifile.h"
#include "platform/thread_annotations.h"

// The objects behind the opaque handles.
struct AviFileHandle {
    platform::Mutex lock;
    platform::avi::AviWriter writer TOVEK_GUARDED_BY(lock);
    int refs TOVEK_GUARDED_BY(lock) = 1; // the file handle and each live stream handle
};

struct AviStreamHandle {
    std::shared_ptr<AviFileHandle> file;
    int index = 0;
};

namespace {

// Live handles, so that a released or foreign handle is refused instead of
// used.
platform::Mutex registry_lock;
std::unordered_map<AviFileHandle*, std::shared_ptr<AviFileHandle>>
    live_files TOVEK_GUARDED_BY(registry_lock);
std::unordered_map<AviStreamHandle*, std::unique_ptr<AviStreamHandle>>
    live_streams TOVEK_GUARDED_BY(registry_lock);
std::atomic<int> init_count{0};

std::shared_ptr<AviFileHandle> FindFile(PAVIFILE file) {
    platform::MutexLock hold(registry_lock);
    auto it = live_files.find(file);
    return it == live_files.end() ? nullptr : it->second;
}

// The stream's file and index, or null for a handle that is not live.
std::shared_ptr<AviFileHandle> FindStream(PAVISTREAM stream, int* index) {
    platform::MutexLock hold(registry_lock);
    auto it = live_streams.find(stream);
    if (it == live_streams.end()) {
        return nullptr;
    }
    *index = it->second->index;
    return it->second->file;
}

// Drops one reference; the last one finishes the file.
ULONG Unref(const std::shared_ptr<AviFileHandle>& file) {
    platform::MutexLock hold(file->lock);
    file->refs -= 1;
    if (file->refs == 0) {
        file->writer.Finish();
    }
    return static_cast<ULONG>(file->refs);
}

} // namespace

void TOVEK_STDCALL AVIFileInit(void) {
    init_count.fetch_add(1);
}

void TOVEK_STDCALL AVIFileExit(void) {
    init_count.fetch_sub(1);
}

HRESULT TOVEK_STDCALL AVIFileOpenA(PAVIFILE* file, const char* path, uint32_t mode,
                                   const GUID* handler) {
    if (file == nullptr || path == nullptr || path[0] == '\0') {
        return AVIERR_BADPARAM;
    }
    if (handler != nullptr || (mode & OF_CREATE) == 0 || (mode & (OF_WRITE | OF_READWRITE)) == 0) {
        return AVIERR_UNSUPPORTED;
    }
    if (std::strlen(path) >= PATH_MAX) {
        return AVIERR_FILEOPEN;
    }
    auto object = std::shared_ptr<AviFileHandle>(new (std::nothrow) AviFileHandle);
    if (!object) {
        return AVIERR_MEMORY;
    }
    HRESULT hr;
    {
        platform::MutexLock created(object->lock); // not published yet: free
        hr = object->writer.Create(path);
    }
    if (hr != AVIERR_OK) {
        return hr;
    }
    platform::MutexLock hold(registry_lock);
    live_files.emplace(object.get(), object);
    *file = object.get();
    return AVIERR_OK;
}

HRESULT TOVEK_STDCALL AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream,
                                           const AVISTREAMINFOA* info) {
    if (stream == nullptr || info == nullptr) {
        return AVIERR_BADPARAM;
    }
    std::shared_ptr<AviFileHandle> object = FindFile(file);
    if (!object) {
        return AVIERR_BADHANDLE;
    }
    auto handle = std::make_unique<AviStreamHandle>();
    handle->file = object;
    {
        platform::MutexLock hold(object->lock);
        const HRESULT hr = object->writer.AddStream(*info, &handle->index);
        if (hr != AVIERR_OK) {
            return hr;
        }
        object->refs += 1;
    }
    platform::MutexLock hold(registry_lock);
    *stream = handle.get();
    live_streams.emplace(handle.get(), std::move(handle));
    return AVIERR_OK;
}

HRESULT TOVEK_STDCALL AVIStreamSetFormat(PAVISTREAM stream, LONG position, const void* format,
                                         LONG format_bytes) {
    int index = 0;
    std::shared_ptr<AviFileHandle> object = FindStream(stream, &index);
    if (!object) {
        return AVIERR_BADHANDLE;
    }
    if (position != 0) {
        return AVIERR_UNSUPPORTED;
    }
    platform::MutexLock hold(object->lock);
    return object->writer.SetFormat(index, format, format_bytes);
}

HRESULT TOVEK_STDCALL AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, const void* data,
                                     LONG bytes, DWORD flags, LONG* samples_written,
                                     LONG* bytes_written) {
    int index = 0;
    std::shared_ptr<AviFileHandle> object = FindStream(stream, &index);
    if (!object) {
        if (samples_written != nullptr) {
            *samples_written = 0;
        }
        if (bytes_written != nullptr) {
            *bytes_written = 0;
        }
        return AVIERR_BADHANDLE;
    }
    platform::MutexLock hold(object->lock);
    return object->writer.Write(index, start, samples, data, bytes, flags, samples_written,
                                bytes_written);
}

ULONG TOVEK_STDCALL AVIStreamRelease(PAVISTREAM stream) {
    std::shared_ptr<AviFileHandle> object;
    {
        platform::MutexLock hold(registry_lock);
        auto it = live_streams.find(stream);
        if (it == live_streams.end()) {
            return 0;
        }
        object = it->second->file;
        live_streams.erase(it);
    }
    return Unref(object);
}

ULONG TOVEK_STDCALL AVIFileRelease(PAVIFILE file) {
    std::shared_ptr<AviFileHandle> object;
    {
        platform::MutexLock hold(registry_lock);
        auto it = live_files.find(file);
        if (it == live_files.end()) {
            return 0;
        }
        object = it->second;
        live_files.erase(it);
    }
    return Unref(object);
}

HRESULT TOVEK_STDCALL AVIFileFlush(PAVIFILE file) {
    std::shared_ptr<AviFileHandle> object = FindFile(file);
    if (!object) {
        return AVIERR_BADHANDLE;
    }
    platform::MutexLock hold(object->lock);
    return object->writer.Flush();
}
