// TovekAudioCapture: lists sound sources and audio encoders and delivers the
// encoded sound of one source through a callback, for the AVI recorder.
//
// Results: 0 on success; -1 for an invalid argument (null handle or pointer,
// a handle that is not open) or after Tovek_WAC_UnInitialize; otherwise a
// failure result code (HRESULT, negative).
//
// Threads: the exports may be called from any thread. Opening and closing
// contexts may overlap with Tovek_WAC_UnInitialize without harm: a handle
// destroyed by it is simply no longer open (-1). The stream callback runs on
// a streaming thread of the library and must not call back into this library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// One sound source or encoder as the enumeration exports fill it; passed back
// by value to Tovek_WAC_ConnectDevice, which reads only the name.
struct AudioDeviceRecord {
    int32_t index;   // 1 for the first record filled, then 2, 3, ...
    GUID clsid;      // stable for the same device from run to run
    char name[1024]; // UTF-8 (the ANSI code page here), zero-terminated
};
static_assert(sizeof(AudioDeviceRecord) == 1044);
static_assert(offsetof(AudioDeviceRecord, clsid) == 4);
static_assert(offsetof(AudioDeviceRecord, name) == 20);

// A capture context: one graph from a source through an encoder to the
// stream callback. Opaque; created by Tovek_WAC_Open, destroyed by
// Tovek_WAC_Close or Tovek_WAC_UnInitialize.
struct AudioCaptureContext;

// Receives each encoded buffer: data and length in bytes (valid only during
// the call) and the user value given to Tovek_WAC_SetStreamCallback.
// PCM buffers hold whole 4-byte frames, Microsoft ADPCM buffers whole blocks
// (nBlockAlign bytes each), MPEG Layer-3 buffers one whole frame each.
typedef void (*TovekWacStreamCallback)(const BYTE* data, LONG length, void* user);

#define TOVEK_WAC_API extern "C" TOVEK_EXPORT

// Makes the library usable (again) after Tovek_WAC_UnInitialize; 0.
TOVEK_WAC_API int32_t Tovek_WAC_Initialize(void);
// Destroys every open context (their handles become invalid) and refuses most
// exports until Tovek_WAC_Initialize; 0.
TOVEK_WAC_API int32_t Tovek_WAC_UnInitialize(void);

// Sound sources: those the program added first (the simulated microphone
// where the emulated devices are installed), then the system's.
// context: any non-null value. records null: stores the number of sources
// through count and returns 0. records non-null: *count is read as the number
// of records the array holds; fills at most that many, numbered from 1, and
// leaves *count as it is. No source at all: stores 0, returns -1.
TOVEK_WAC_API int32_t Tovek_WAC_EnumSourceDevice(AudioCaptureContext* context,
                                                 AudioDeviceRecord* records, int32_t* count);
// Encoders "MPEG Layer-3", "Microsoft ADPCM" and "PCM", each when available
// here; same rules as above. Works also after Tovek_WAC_UnInitialize.
TOVEK_WAC_API int32_t Tovek_WAC_EnumEncoderDevice(AudioCaptureContext* context,
                                                  AudioDeviceRecord* records, int32_t* count);

// Creates an empty context and stores its handle through context; 0.
TOVEK_WAC_API int32_t Tovek_WAC_Open(AudioCaptureContext** context);
// Stops and destroys the context; 0. A handle already closed gives -1.
TOVEK_WAC_API int32_t Tovek_WAC_Close(AudioCaptureContext* context);

// Builds the graph from the source named in source to the encoder named in
// encoder (names compared exactly, case included), replacing any earlier one.
// 0 on success; -1 when either is not found; a failure code when the encoder
// cannot take the 22050 Hz, 2-channel, 16-bit capture format.
TOVEK_WAC_API int32_t Tovek_WAC_ConnectDevice(AudioCaptureContext* context,
                                              AudioDeviceRecord source, AudioDeviceRecord encoder);
// Sets (or with a null callback removes) the stream callback; 0. When it
// returns, a callback that was replaced is no longer running.
TOVEK_WAC_API int32_t Tovek_WAC_SetStreamCallback(AudioCaptureContext* context,
                                                  TovekWacStreamCallback callback, void* user);
// Stores a pointer to the encoded stream's media type: major type audio,
// format type WAVEFORMATEX, and as format block a WAVEFORMATEX (PCM), an
// MPEGLAYER3WAVEFORMAT or an ADPCMWAVEFORMAT, ready for an AVI stream header.
// The record belongs to the context and stays valid until its next
// Tovek_WAC_ConnectDevice or Tovek_WAC_Close. 0, or -1 before a connect.
TOVEK_WAC_API int32_t Tovek_WAC_GetStreamMediaType(AudioCaptureContext* context,
                                                   AM_MEDIA_TYPE** media_type);

// Starts (Run) and stops (Stop) the capture of a connected context; 0 or a
// failure code; -1 for a context that is not connected. Stop releases the
// sound device; once it returns no callback runs any more.
TOVEK_WAC_API int32_t Tovek_WAC_Run(AudioCaptureContext* context);
TOVEK_WAC_API int32_t Tovek_WAC_Stop(AudioCaptureContext* context);
