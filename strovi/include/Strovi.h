// Strovi: writes AVI files with up to four streams (one audio stream, the
// H.264 streams Video0 and Video1, and the Motion-JPEG stream VGA) for the
// recorder.
//
// A handle is created by FileOpen and destroyed by FileClose. Samples are
// copied into a time-ordered delay queue (about five seconds of each stream
// set up) and reach the file when the queue is full, at FileFlush and at
// FileClose, so the file on disk runs up to a few seconds behind the caller.
// A sample stamped 0 while every queued one is stamped 0 too is last in the
// file's order whatever comes after it (no stamp sorts before 0): it goes to
// the file at once, behind the queued ones, without being copied.
//
// Threads: set up every stream before the first write; after that the write
// exports may be called from any number of threads (one lock per handle
// serialises them). FileClose must not run concurrently with writes on the
// same handle. A handle already closed (or never opened) is refused: the
// export does nothing. Different handles are independent.
//
// Results follow the HRESULT convention where the export sets something up
// (0 success, negative failure); see each export.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The object behind a handle. Opaque.
class AviOutputFile;

#define STROVI_API extern "C" TOVEK_EXPORT

// Creates path (UTF-8; at most 259 bytes) and returns its handle, or null when
// the file cannot be created or the path is too long.
STROVI_API AviOutputFile* TOVEK_STDCALL FileOpen(const char* path);
// Not part of the original interface: writes every queued sample (in
// time-stamp order) and makes the file on disk readable as it stands, sizes
// and lengths included, so that a recording cut off by a crash or a power
// loss keeps what was written up to here. Costs a sync to the disk: call it
// every second or so, not per sample. 0 on success; AVIERR_FILEWRITE
// (0x8004406E) once the file can no longer be written (a full disk): the
// file stays readable up to its last whole sample; E_INVALIDARG for a handle
// that is not open. Same threads as the write exports.
STROVI_API int32_t TOVEK_STDCALL FileFlush(AviOutputFile* file);
// Writes every queued sample, finishes the file and destroys the handle.
// Null is ignored.
STROVI_API void TOVEK_STDCALL FileClose(AviOutputFile* file);
// 1 when value is non-null, else 0; no other effect.
STROVI_API int32_t TOVEK_STDCALL FileActive(const void* value);
// Sets both values to 0 (null pointers are skipped); 0. The handle is ignored.
STROVI_API int32_t TOVEK_STDCALL GetFileInfo(AviOutputFile* file, int64_t* first, int64_t* second);

// Set up Video0 (H.264), Video1 (H.264) and VGA (Motion-JPEG): 0 on success,
// E_FAIL when the stream cannot be created, the writer's failure code when the
// format is refused, E_INVALIDARG for a null handle, a size below 1 or a frame
// rate below 1 (or above 1000 for Video1, whose frame period is whole
// milliseconds), E_UNEXPECTED when the stream is already set up.
STROVI_API int32_t TOVEK_STDCALL SetAVCVideo0Param(AviOutputFile* file, int32_t width,
                                                   int32_t height, int32_t frames_per_second,
                                                   int32_t bits_per_pixel);
STROVI_API int32_t TOVEK_STDCALL SetAVCVideo1Param(AviOutputFile* file, int32_t width,
                                                   int32_t height, int32_t frames_per_second,
                                                   int32_t bits_per_pixel);
STROVI_API int32_t TOVEK_STDCALL SetAVCVGAParam(AviOutputFile* file, int32_t width, int32_t height,
                                                int32_t frames_per_second, int32_t bits_per_pixel);
// No effect; 0.
STROVI_API int32_t TOVEK_STDCALL SetVGAParam(AviOutputFile* file, int32_t a, int32_t b, int32_t c,
                                             int32_t d);
STROVI_API int32_t TOVEK_STDCALL SetVideo0Param(AviOutputFile* file, int32_t a, int32_t b,
                                                int32_t c, int32_t d);
STROVI_API int32_t TOVEK_STDCALL SetVideo1Param(AviOutputFile* file, int32_t a, int32_t b,
                                                int32_t c, int32_t d);

// Sets up the audio stream from an audio media type whose format block is a
// WAVEFORMATEX (PCM), an ADPCMWAVEFORMAT or an MPEGLAYER3WAVEFORMAT (any other
// tag is taken as constant-rate data). 1 on success; 0 for a null handle or
// media type, a media type that is not audio, a missing or short format block,
// an audio stream already set up, or a stream the writer refuses.
STROVI_API int32_t TOVEK_STDCALL SetAudioParam(AviOutputFile* file, const AM_MEDIA_TYPE* media_type,
                                               int32_t bit_rate_kbps);
// Sets up an MPEG Layer-3 audio stream (bit rate 0 means 56 kbit/s). With a
// null handle returns the bit rate that would be used and does nothing else;
// otherwise 0 on success, E_FAIL when the stream cannot be created, the
// writer's code when the format is refused, E_INVALIDARG for a channel count
// or sample rate below 1, E_UNEXPECTED when audio is already set up.
STROVI_API int32_t TOVEK_STDCALL SetMp3Param(AviOutputFile* file, int32_t channels,
                                             int32_t sample_rate, int32_t bit_rate_kbps);
// No effect; 0.
STROVI_API int32_t TOVEK_STDCALL SetAudio0Param(AviOutputFile* file, int32_t a, int32_t b,
                                                int32_t c);
STROVI_API int32_t TOVEK_STDCALL WriteHeader(AviOutputFile* file, int32_t a, int32_t b, int32_t c);
STROVI_API int32_t TOVEK_STDCALL WriteVGA2(AviOutputFile* file, int32_t a, int32_t b, int32_t c);

// Queue one sample of the audio stream, Video0, Video1 or VGA: length bytes
// at data are copied (or written at once, see above); key is read as a byte
// (non-zero: key frame); samples reach the file in time_stamp order (equal
// stamps in arrival order).
// reserved is ignored. 0 once queued (a failed write to the file is not
// reported here); -1 for a handle that is not open, a file without any
// stream set up, or data null with a non-zero length; E_OUTOFMEMORY when
// the copy cannot be made.
STROVI_API int32_t TOVEK_STDCALL WriteAudio0(AviOutputFile* file, const void* data, uint32_t length,
                                             int32_t key, uint32_t time_stamp, int32_t reserved);
STROVI_API int32_t TOVEK_STDCALL WriteVideo0(AviOutputFile* file, const void* data, uint32_t length,
                                             int32_t key, uint32_t time_stamp, int32_t reserved);
STROVI_API int32_t TOVEK_STDCALL WriteVideo1(AviOutputFile* file, const void* data, uint32_t length,
                                             int32_t key, uint32_t time_stamp, int32_t reserved);
STROVI_API int32_t TOVEK_STDCALL WriteVGA(AviOutputFile* file, const void* data, uint32_t length,
                                          int32_t key, uint32_t time_stamp, int32_t reserved);

// No effect; 0.
STROVI_API int32_t TOVEK_STDCALL WriteDescription(AviOutputFile* file, int32_t a, int32_t b,
                                                  int32_t c, int32_t d);
STROVI_API int32_t TOVEK_STDCALL WriteFocus(AviOutputFile* file, int32_t a, int32_t b);
STROVI_API int32_t TOVEK_STDCALL WriteScript(AviOutputFile* file, int32_t a, int32_t b, int32_t c,
                                             int32_t d, int32_t e);
