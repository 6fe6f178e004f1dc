#include "record/RecordingStatus.h"

#include "record/Recorder.h"

#include <cstdio>

namespace record {

std::string PaneText(int32_t result, bool recording, uint32_t start_tick, uint32_t now_ms,
                     int32_t megabytes, const std::string& path) {
    const uint32_t elapsed_ms = now_ms - start_tick; // correct across the tick's wrap
    if (elapsed_ms < kFailureShownMs && result == kCreateFailed)
        return "Video record failed! Failed to create video files!";
    if (elapsed_ms < kFailureShownMs && result == kNoSpace)
        return "Video record failed! Not enough space on disk!";
    if (!recording)
        return {};
    const uint32_t seconds = elapsed_ms / 1000;
    char text[96];
    std::snprintf(text, sizeof text,
                  "Recording... Time: %02u:%02u:%02u; Size:%dMB; Path:", seconds / 3600,
                  seconds / 60 % 60, seconds % 60, megabytes);
    return text + path;
}

} // namespace record
