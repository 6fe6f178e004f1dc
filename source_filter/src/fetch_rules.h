// The pacing thread's rules, kept free of I/O so they can be driven step by
// step: when the next fetch is due, and what a fetch passes on.
#pragma once

#include <cstdint>

namespace camsrc {

// Milliseconds until the fetch after the one due at schedule_ms is due (one
// period later); 0 when it is due now. The schedule is fixed-rate: a thread
// that fell behind gets 0 until it has caught up. Correct across the tick
// count's wrap.
inline uint32_t MsUntilNextFetch(uint32_t now_ms, uint32_t schedule_ms, uint32_t period_ms) {
    const int64_t late = static_cast<int32_t>(now_ms - schedule_ms);
    return late >= static_cast<int64_t>(period_ms) ? 0 : static_cast<uint32_t>(period_ms - late);
}

// What the pacing thread remembers of the last new picture of a run.
struct LastPicture {
    uint32_t length = 0;     // 0: none yet in this run
    uint32_t fetched_ms = 0; // when it was fetched, or last passed on again
};

enum class FetchOutcome {
    kNothing,   // nothing to pass on
    kPublish,   // a new picture of length bytes: pass it on
    kRepublish, // the camera is held up: pass the last picture on again
};

// Judges one fetch: fetched tells whether the driver copied a picture not
// fetched before, length is what it reported (the newest picture's length),
// max_length what an output buffer holds. A picture already fetched is
// passed on again once repeat_ms passed since the last new one (or the last
// repetition), so the stream and what is drawn over it keep moving. Updates
// last for kPublish and kRepublish.
inline FetchOutcome JudgeFetch(bool fetched, uint32_t length, uint32_t max_length, uint32_t now_ms,
                               uint32_t repeat_ms, LastPicture* last) {
    if (fetched) {
        if (length == 0 || length > max_length) {
            return FetchOutcome::kNothing;
        }
        *last = LastPicture{length, now_ms};
        return FetchOutcome::kPublish;
    }
    if (last->length != 0 && length != 0 && now_ms - last->fetched_ms >= repeat_ms) {
        last->fetched_ms = now_ms;
        return FetchOutcome::kRepublish;
    }
    return FetchOutcome::kNothing;
}

} // namespace camsrc
