// The exported C interface: handle checks around AviOutputFile.

#include <new>
#include <unordered_set>

#include "Strovi.h"
#include "avi_output_file.h"

namespace {

// Handles between FileOpen and FileClose, so that a closed handle is refused
// rather than used.
platform::Mutex live_lock;
std::unordered_set<const AviOutputFile*> live TOVEK_GUARDED_BY(live_lock);

bool IsOpen(const AviOutputFile* file) {
    if (file == nullptr) {
        return false;
    }
    platform::MutexLock hold(live_lock);
    return live.count(file) != 0;
}

int32_t Queue(AviOutputFile* file, strovi::StreamType type, const void* data, uint32_t length,
              int32_t key, uint32_t time_stamp) {
    if (!IsOpen(file)) {
        return -1;
    }
    // The flag is a byte: only its low eight bits count.
    return file->Queue(type, data, length, static_cast<uint8_t>(key) != 0, time_stamp);
}

HRESULT SetVideo(AviOutputFile* file, strovi::StreamType type, int32_t width, int32_t height,
                 int32_t fps, int32_t bpp) {
    if (!IsOpen(file)) {
        return E_INVALIDARG;
    }
    return file->SetVideoParam(type, width, height, fps, bpp);
}

} // namespace

AviOutputFile* TOVEK_STDCALL FileOpen(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    auto* file = new (std::nothrow) AviOutputFile;
    if (file == nullptr) {
        return nullptr;
    }
    if (!file->Open(path)) {
        delete file;
        return nullptr;
    }
    platform::MutexLock hold(live_lock);
    live.insert(file);
    return file;
}

int32_t TOVEK_STDCALL FileFlush(AviOutputFile* file) {
    if (!IsOpen(file)) {
        return E_INVALIDARG;
    }
    return file->Flush();
}

void TOVEK_STDCALL FileClose(AviOutputFile* file) {
    {
        platform::MutexLock hold(live_lock);
        if (file == nullptr || live.erase(file) == 0) {
            return;
        }
    }
    file->Close();
    delete file;
}

int32_t TOVEK_STDCALL FileActive(const void* value) {
    return value != nullptr ? 1 : 0;
}

int32_t TOVEK_STDCALL GetFileInfo(AviOutputFile*, int64_t* first, int64_t* second) {
    if (first != nullptr) {
        *first = 0;
    }
    if (second != nullptr) {
        *second = 0;
    }
    return 0;
}

int32_t TOVEK_STDCALL SetAVCVideo0Param(AviOutputFile* file, int32_t width, int32_t height,
                                        int32_t frames_per_second, int32_t bits_per_pixel) {
    return SetVideo(file, strovi::kVideo0, width, height, frames_per_second, bits_per_pixel);
}

int32_t TOVEK_STDCALL SetAVCVideo1Param(AviOutputFile* file, int32_t width, int32_t height,
                                        int32_t frames_per_second, int32_t bits_per_pixel) {
    return SetVideo(file, strovi::kVideo1, width, height, frames_per_second, bits_per_pixel);
}

int32_t TOVEK_STDCALL SetAVCVGAParam(AviOutputFile* file, int32_t width, int32_t height,
                                     int32_t frames_per_second, int32_t bits_per_pixel) {
    return SetVideo(file, strovi::kVga, width, height, frames_per_second, bits_per_pixel);
}

int32_t TOVEK_STDCALL SetVGAParam(AviOutputFile*, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL SetVideo0Param(AviOutputFile*, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL SetVideo1Param(AviOutputFile*, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL SetAudioParam(AviOutputFile* file, const AM_MEDIA_TYPE* media_type,
                                    int32_t bit_rate_kbps) {
    if (media_type == nullptr || !IsOpen(file)) {
        return 0;
    }
    return file->SetAudioParam(*media_type, bit_rate_kbps);
}

int32_t TOVEK_STDCALL SetMp3Param(AviOutputFile* file, int32_t channels, int32_t sample_rate,
                                  int32_t bit_rate_kbps) {
    if (file == nullptr) {
        return bit_rate_kbps == 0 ? AviOutputFile::kDefaultMp3KbitsPerSecond : bit_rate_kbps;
    }
    if (!IsOpen(file)) {
        return E_INVALIDARG;
    }
    return file->SetMp3Param(channels, sample_rate, bit_rate_kbps);
}

int32_t TOVEK_STDCALL SetAudio0Param(AviOutputFile*, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL WriteHeader(AviOutputFile*, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL WriteVGA2(AviOutputFile*, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL WriteAudio0(AviOutputFile* file, const void* data, uint32_t length,
                                  int32_t key, uint32_t time_stamp, int32_t) {
    return Queue(file, strovi::kAudio, data, length, key, time_stamp);
}

int32_t TOVEK_STDCALL WriteVideo0(AviOutputFile* file, const void* data, uint32_t length,
                                  int32_t key, uint32_t time_stamp, int32_t) {
    return Queue(file, strovi::kVideo0, data, length, key, time_stamp);
}

int32_t TOVEK_STDCALL WriteVideo1(AviOutputFile* file, const void* data, uint32_t length,
                                  int32_t key, uint32_t time_stamp, int32_t) {
    return Queue(file, strovi::kVideo1, data, length, key, time_stamp);
}

int32_t TOVEK_STDCALL WriteVGA(AviOutputFile* file, const void* data, uint32_t length, int32_t key,
                               uint32_t time_stamp, int32_t) {
    return Queue(file, strovi::kVga, data, length, key, time_stamp);
}

int32_t TOVEK_STDCALL WriteDescription(AviOutputFile*, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL WriteFocus(AviOutputFile*, int32_t, int32_t) {
    return 0;
}

int32_t TOVEK_STDCALL WriteScript(AviOutputFile*, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}
