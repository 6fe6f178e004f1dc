// The AVIFile calls the AVI writer uses, over our own RIFF AVI writer.
//
// A file is created with AVIFileOpenA (OF_CREATE | OF_WRITE), gains streams
// with AVIFileCreateStreamA and AVIStreamSetFormat, receives samples with
// AVIStreamWrite and is finished (sizes, lengths and the idx1 index written
// back) when the last of its handles is released: the file handle and every
// stream handle each hold a reference, in any order.
//
// Layout: RIFF 'AVI ' { LIST 'hdrl' { avih, LIST 'strl' { strh, strf, strn }
// per stream }, LIST 'movi' { ##dc / ##db / ##wb chunks, each padded to an
// even size }, idx1 }. The header is laid down at the first sample; streams
// and formats must be set up before it. One RIFF holds at most 2 GiB - 1
// bytes (idx1 included): a sample that would pass that fails with
// AVIERR_BADSIZE and the file stays valid. Readers (FFmpeg, GStreamer) take
// such a file whole; OpenDML extensions are not written.
//
// Errors: results are HRESULTs, 0 (AVIERR_OK) on success. A failed disk write
// (full disk, file-size limit, I/O error) makes every later write fail with
// AVIERR_FILEWRITE; at release the file is cut back to the last whole chunk
// and finished with valid headers (and the index when it still fits).
//
// Threads: calls on different files are independent; calls on one file are
// serialised by the file's own lock. A handle must not be used after its
// release; the calls recognise handles already released and refuse them with
// AVIERR_BADHANDLE (until the address is reused by a new handle).
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

struct AviFileHandle;
struct AviStreamHandle;
typedef AviFileHandle* PAVIFILE;
typedef AviStreamHandle* PAVISTREAM;

// Index entry flags (idx1).
constexpr DWORD AVIIF_LIST = 0x00000001;
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;
constexpr DWORD AVIIF_NOTIME = 0x00000100;

// avih dwFlags.
constexpr DWORD AVIF_HASINDEX = 0x00000010;
constexpr DWORD AVIF_ISINTERLEAVED = 0x00000100;

// Open modes (the OpenFile flags).
constexpr uint32_t OF_READ = 0x0000;
constexpr uint32_t OF_WRITE = 0x0001;
constexpr uint32_t OF_READWRITE = 0x0002;
constexpr uint32_t OF_SHARE_DENY_WRITE = 0x0020;
constexpr uint32_t OF_CREATE = 0x1000;

constexpr HRESULT MakeAviErr(uint32_t error) {
    return static_cast<HRESULT>(0x80044000u + error);
}
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = MakeAviErr(101);
constexpr HRESULT AVIERR_BADFORMAT = MakeAviErr(102);
constexpr HRESULT AVIERR_MEMORY = MakeAviErr(103);
constexpr HRESULT AVIERR_BADFLAGS = MakeAviErr(105);
constexpr HRESULT AVIERR_BADPARAM = MakeAviErr(106);
constexpr HRESULT AVIERR_BADSIZE = MakeAviErr(107);
constexpr HRESULT AVIERR_BADHANDLE = MakeAviErr(108);
constexpr HRESULT AVIERR_FILEWRITE = MakeAviErr(110);
constexpr HRESULT AVIERR_FILEOPEN = MakeAviErr(111);

// Largest file (one RIFF, index included) the writer produces.
constexpr int64_t kAviMaxFileBytes = 0x7FFFFFFF;

#define TOVEK_AVIFILE_API extern "C" TOVEK_EXPORT

// Library reference count; kept for the calling pattern, the writer needs no
// global set-up.
TOVEK_AVIFILE_API void TOVEK_STDCALL AVIFileInit(void);
TOVEK_AVIFILE_API void TOVEK_STDCALL AVIFileExit(void);

// Creates (truncates) path for writing. mode must hold OF_CREATE and OF_WRITE
// or OF_READWRITE (reading existing files is not supported:
// AVIERR_UNSUPPORTED); OF_SHARE_DENY_WRITE is accepted. handler must be null
// (AVIERR_UNSUPPORTED otherwise). *file is set only on success; a path that
// cannot be created (missing folder, over-long name, no permission) gives
// AVIERR_FILEOPEN.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIFileOpenA(PAVIFILE* file, const char* path,
                                                     uint32_t mode, const GUID* handler);
// Adds a stream described by info (fccType, fccHandler, dwScale, dwRate,
// dwSampleSize, dwQuality, rcFrame, szName, ...; dwLength and
// dwSuggestedBufferSize are recorded from the samples written). Fails with
// AVIERR_UNSUPPORTED once the first sample has been written.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream,
                                                             const AVISTREAMINFOA* info);
// Sets the stream's format (strf contents: BITMAPINFOHEADER, WAVEFORMATEX...).
// Only position 0 and only before the first sample of the file.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIStreamSetFormat(PAVISTREAM stream, LONG position,
                                                           const void* format, LONG format_bytes);
// Appends one chunk of bytes bytes holding samples samples. For streams
// with dwSampleSize 0 (video), start is the index of the first sample: -1 or
// the stream's current length appends, a start past the end first fills the
// gap with empty chunks, a start before the end is refused (AVIERR_BADPARAM).
// Streams with dwSampleSize > 0 (audio) always append; their length is
// their total bytes / dwSampleSize, and the samples reported written are what
// this chunk adds to it.
// flags: AVIIF_KEYFRAME or 0. The out values may be null.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples,
                                                       const void* data, LONG bytes, DWORD flags,
                                                       LONG* samples_written, LONG* bytes_written);
// Not an AVIFile call of the original service: makes the file on disk
// readable as it stands, for a recording that may be cut off (kill, power
// loss). Writes out what is buffered, rewrites the header's sizes and
// lengths to cover every sample written so far, and syncs the data to the
// disk. The file has no idx1 until it is finished; readers walk its movi list
// (FFmpeg and GStreamer do), and AVIFileRepairA (platform/avi_repair.h)
// finishes it after a crash. Writing goes on afterwards. AVIERR_OK (also
// before the first sample), AVIERR_FILEWRITE once a write has failed (a full
// disk), AVIERR_BADHANDLE for a released handle.
TOVEK_AVIFILE_API HRESULT TOVEK_STDCALL AVIFileFlush(PAVIFILE file);
// Release the handle; the references left on the file (0 when the file was
// finished and closed by this call). Null or released handles give 0.
TOVEK_AVIFILE_API ULONG TOVEK_STDCALL AVIStreamRelease(PAVISTREAM stream);
TOVEK_AVIFILE_API ULONG TOVEK_STDCALL AVIFileRelease(PAVIFILE file);
