// The library's C exports: the list of open contexts, the shut-down flag and
// the enumeration of sources and encoders into records.
#include "TovekAudioCapture.h"
#include "audio_devices.h"
#include "capture_context.h"
#include "platform/thread_annotations.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

using namespace tovek::audio;

namespace {

struct OpenContext {
    std::shared_ptr<AudioCaptureContext> context;
    int32_t sequence; // the list's size when the context was opened
};

std::atomic<bool> g_shut_down{false};
platform::Mutex g_contexts_lock;
std::vector<OpenContext> g_contexts TOVEK_GUARDED_BY(g_contexts_lock);

// The open context behind a handle, kept alive for the caller's call even if
// another thread closes it meanwhile; null for a handle that is not open.
std::shared_ptr<AudioCaptureContext> FindContext(AudioCaptureContext* handle) {
    if (!handle || g_shut_down.load()) {
        return nullptr;
    }
    platform::MutexLock lock(g_contexts_lock);
    for (const OpenContext& open : g_contexts) {
        if (open.context.get() == handle) {
            return open.context;
        }
    }
    return nullptr;
}

std::string NameOf(const AudioDeviceRecord& record) {
    return std::string(record.name, strnlen(record.name, sizeof(record.name)));
}

int32_t FillRecords(const std::vector<CatalogEntry>& entries, AudioDeviceRecord* records,
                    int32_t* count) {
    if (entries.empty()) {
        *count = 0;
        return -1;
    }
    if (!records) {
        *count = static_cast<int32_t>(entries.size());
        return 0;
    }
    // The caller sized the array by an earlier count; a device that appeared
    // since then must not be written past its end.
    const size_t capacity = *count > 0 ? static_cast<size_t>(*count) : 0;
    const size_t filled = std::min(capacity, entries.size());
    for (size_t i = 0; i < filled; ++i) {
        AudioDeviceRecord& record = records[i];
        std::memset(&record, 0, sizeof(record));
        record.index = static_cast<int32_t>(i + 1);
        record.clsid = entries[i].clsid;
        std::memcpy(record.name, entries[i].name.data(),
                    std::min(entries[i].name.size(), kMaxRecordName));
    }
    return 0;
}

} // namespace

int32_t Tovek_WAC_Initialize(void) {
    if (!InitializeGStreamer()) {
        return -1;
    }
    g_shut_down.store(false);
    return 0;
}

int32_t Tovek_WAC_UnInitialize(void) {
    g_shut_down.store(true);
    std::vector<OpenContext> closing;
    {
        platform::MutexLock lock(g_contexts_lock);
        closing.swap(g_contexts);
    }
    // Graphs are torn down here, outside the list's lock, unless a call on
    // another thread still uses one: then that call's end destroys it.
    closing.clear();
    return 0;
}

int32_t Tovek_WAC_EnumSourceDevice(AudioCaptureContext* context, AudioDeviceRecord* records,
                                   int32_t* count) {
    if (!context || !count || g_shut_down.load() || !InitializeGStreamer()) {
        return -1;
    }
    return FillRecords(ListSources(), records, count);
}

int32_t Tovek_WAC_EnumEncoderDevice(AudioCaptureContext* context, AudioDeviceRecord* records,
                                    int32_t* count) {
    if (!context || !count || !InitializeGStreamer()) {
        return -1;
    }
    return FillRecords(ListEncoders(), records, count);
}

int32_t Tovek_WAC_Open(AudioCaptureContext** context) {
    if (!context || g_shut_down.load() || !InitializeGStreamer()) {
        return -1;
    }
    auto created = std::make_shared<AudioCaptureContext>();
    {
        platform::MutexLock lock(g_contexts_lock);
        g_contexts.push_back({created, static_cast<int32_t>(g_contexts.size())});
    }
    *context = created.get();
    return 0;
}

int32_t Tovek_WAC_Close(AudioCaptureContext* context) {
    if (!context || g_shut_down.load()) {
        return -1;
    }
    std::shared_ptr<AudioCaptureContext> closing;
    {
        platform::MutexLock lock(g_contexts_lock);
        auto it =
            std::find_if(g_contexts.begin(), g_contexts.end(), [context](const OpenContext& open) {
                return open.context.get() == context;
            });
        if (it == g_contexts.end()) {
            return -1;
        }
        closing = std::move(it->context);
        g_contexts.erase(it);
    }
    closing.reset(); // tears the graph down, outside the list's lock
    return 0;
}

int32_t Tovek_WAC_ConnectDevice(AudioCaptureContext* context, AudioDeviceRecord source,
                                AudioDeviceRecord encoder) {
    std::shared_ptr<AudioCaptureContext> open = FindContext(context);
    if (!open) {
        return -1;
    }
    return open->Connect(NameOf(source), NameOf(encoder));
}

int32_t Tovek_WAC_SetStreamCallback(AudioCaptureContext* context, TovekWacStreamCallback callback,
                                    void* user) {
    std::shared_ptr<AudioCaptureContext> open = FindContext(context);
    return open ? open->SetStreamCallback(callback, user) : -1;
}

int32_t Tovek_WAC_GetStreamMediaType(AudioCaptureContext* context, AM_MEDIA_TYPE** media_type) {
    std::shared_ptr<AudioCaptureContext> open = FindContext(context);
    return open ? open->GetStreamMediaType(media_type) : -1;
}

int32_t Tovek_WAC_Run(AudioCaptureContext* context) {
    std::shared_ptr<AudioCaptureContext> open = FindContext(context);
    return open ? open->Run() : -1;
}

int32_t Tovek_WAC_Stop(AudioCaptureContext* context) {
    std::shared_ptr<AudioCaptureContext> open = FindContext(context);
    return open ? open->Stop() : -1;
}
