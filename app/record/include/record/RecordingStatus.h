// The message pane's texts about recording, from the recorder's getters.
#pragma once

#include <cstdint>
#include <string>

namespace record {

// A failed start is told this long after it.
inline constexpr uint32_t kFailureShownMs = 5000;

// What the message pane shows about recording at tick now_ms: a failed start
// (within kFailureShownMs of start_tick), or the running time, size and path
// while recording. Empty when recording has nothing to tell.
std::string PaneText(int32_t result, bool recording, uint32_t start_tick, uint32_t now_ms,
                     int32_t megabytes, const std::string& path);

} // namespace record
