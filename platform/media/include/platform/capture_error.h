// The failure of a capture graph as its owner sees it: a short user text for
// the program's status bar and a debug text for whoever reads the trace
// (element, GStreamer's message and its debug string with file, function and
// line). Both capture libraries describe failures here, so one failure reads
// the same in either camera family, and each keeps the first failure of a run
// in a FirstCaptureError for its GetLastError export.
//
// No Qt and no GStreamer types beyond the message handle.
#pragma once

#include "platform/thread_annotations.h"

#include <mutex>
#include <optional>
#include <string>

typedef struct _GstMessage GstMessage;

namespace platform {

// The user texts, one per kind of failure.
inline constexpr char kCameraStoppedText[] = "The camera stopped sending pictures.";
inline constexpr char kFormatNotSupportedText[] = "The camera's picture format is not supported.";
inline constexpr char kCameraNotOpenedText[] = "The camera could not be opened.";

struct CaptureError {
    std::string user_text;
    std::string debug_text;
};

// What a bus message of a capture graph means to its owner: an error message
// (formats refused, negotiation failed, a device that cannot be opened, any
// other error), or the end of stream, which a live camera never sends.
// nullopt for every other message.
std::optional<CaptureError> CaptureErrorFromMessage(GstMessage* message);

// Copies text into buffer (size bytes), cut to fit at a UTF-8 character
// boundary and zero-terminated. Nothing for a null buffer or a size below 1.
void CopyCaptureText(const std::string& text, char* buffer, int size);

// The first failure since the last Clear: later ones never replace it.
// Thread-safe; every member may be called from any thread.
class FirstCaptureError {
public:
    // Keeps error unless one is kept already; true when this one was kept.
    bool Keep(CaptureError error);
    void Clear();
    bool Has() const;
    // The GetLastError shape of both libraries: 0 with both texts when a
    // failure is kept, 1 with both texts "" when none is. A null buffer or a
    // size below 1 skips that text.
    int Copy(char* user_text, int user_size, char* debug_text, int debug_size) const;

private:
    mutable Mutex lock_;
    std::optional<CaptureError> error_ TOVEK_GUARDED_BY(lock_);
};

} // namespace platform
